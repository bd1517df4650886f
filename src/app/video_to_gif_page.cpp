// The AVI to GIF page: how it is built, the state its commands follow, and
// what its job reads from it and shows on it.
#include "app/video_to_gif_page.h"

#include "app/artwork.h"
#include "app/background_estimate.h"
#include "app/page_window.h"
#include "app/track_bar.h"
#include "app/window_parts.h"
#include "controls/framed_group_box.h"
#include "controls/hint_tool_bar.h"
#include "controls/image_button.h"
#include "controls/image_control.h"
#include "controls/search_combo_box.h"
#include "convert/size_estimate.h"
#include "gif/gif_document.h"
#include "preview/avi_player.h"
#include "preview/crop_overlay.h"
#include "preview/gif_preview.h"

#include <QAction>
#include <QFontMetrics>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>

namespace framolo {

TVideoToGifPage::TVideoToGifPage(QWidget* sheet, TPageWindow& window, TWindowActions& actions,
                                 TImageButton* stripConvert, TImageButton* stripStop,
                                 QFileDialog& saveDialog)
    : QObject(sheet), window_(window), actions_(actions), saveDialog_(saveDialog),
      ConvertButton_(stripConvert), StopButton_(stripStop) {
    Build(sheet);
    estimate_ = std::make_unique<TBackgroundEstimate>();
    connect(estimate_.get(), &TBackgroundEstimate::Ready, this, [this](std::int64_t bytes) {
        EstimateLabel_->setText(bytes > 0 ? QString::fromStdString(AboutSizeText(bytes))
                                          : QString());
    });
    ConnectControls();

    ParameterGroup_->setEnabled(false);
    Panel2_->hide();
    SetSelectModeIcon(5);
    TrackBar1_->setEnabled(false);
    AVIPlayer1_->hide();
    Image_avi_->show();
    ImageGifPreview_->hide();
    Image_Gif_->show();
    StopButton_->hide();
    StopAviButton_->hide();
}

TVideoToGifPage::~TVideoToGifPage() = default;

void TVideoToGifPage::Build(QWidget* page) {
    auto* AviPreviewGroup = Place(new TFramedGroupBox(QStringLiteral(" AVI Preview "), page),
                                  "AviPreviewGroup", QRect(8, 0, 172, 143));
    auto* PanelAviPreview = MakePanel(AviPreviewGroup, "PanelAviPreview", QRect(6, 14, 160, 121));
    Image_avi_ = MakeImage(PanelAviPreview, "Image_avi", QRect(0, 0, 160, 121), "placeholder_avi");
    AVIPlayer1_ = MakePlayer(PanelAviPreview, "AVIPlayer1", QRect(0, 0, 160, 121));
    // The window fits the player into its panel; it must not size itself to the clip.
    AVIPlayer1_->SetAutoSize(false);

    TrackBar1_ = Place(new TTrackBar(page), "TrackBar1", QRect(2, 156, 154, 25));
    edit1_ = Place(new QLineEdit(page), "edit1", QRect(148, 159, 35, 15));
    edit1_->setReadOnly(true);
    edit1_->setToolTip(QStringLiteral("Current Frame"));
    edit1_->installEventFilter(this);

    auto* PlayerToolBar = Place(new THintToolBar(page), "PlayerToolBar", QRect(10, 191, 132, 25));
    auto* ToolBar1 = Place(new QToolBar(page), "ToolBar1", QRect(10, 225, 132, 25));
    for (QToolBar* bar : {static_cast<QToolBar*>(PlayerToolBar), ToolBar1}) {
        bar->setIconSize(QSize(18, 18));
        bar->setMovable(false);
        bar->setContentsMargins(0, 0, 0, 0);
    }
    ToolButton1_ = actions_.AddToolButton(PlayerToolBar, TCommand::Open, "ToolButton1");
    ToolButton2_ = actions_.AddToolButton(PlayerToolBar, TCommand::CloseClip, "ToolButton2");
    ToolButton3_ = actions_.AddToolButton(PlayerToolBar, TCommand::Play, "ToolButton3");
    ToolButton8_ = actions_.AddToolButton(PlayerToolBar, TCommand::Pause, "ToolButton8");
    ToolButton7_ = actions_.AddToolButton(PlayerToolBar, TCommand::StopPlaying, "ToolButton7");
    ToolButton5_ = actions_.AddToolButton(ToolBar1, TCommand::SelectMode, "ToolButton5");
    ToolButton6_ = actions_.AddToolButton(ToolBar1, TCommand::SelectStart, "ToolButton6");
    ToolButton9_ = actions_.AddToolButton(ToolBar1, TCommand::SelectEnd, "ToolButton9");
    ToolButton10_ = actions_.AddToolButton(ToolBar1, TCommand::PreviousFrame, "ToolButton10");
    ToolButton11_ = actions_.AddToolButton(ToolBar1, TCommand::NextFrame, "ToolButton11");
    // Space plays and pauses.
    actions_.NameKey(ToolButton3_, TCommand::PlayPause);
    actions_.NameKey(ToolButton8_, TCommand::PlayPause);

    ParameterGroup_ = Place(new TFramedGroupBox(QStringLiteral(" Converting Parameter "), page),
                            "ParameterGroup", QRect(189, 0, 260, 225));
    BuildParameterGroup(ParameterGroup_);

    auto* GifPreviewGroup = Place(new TFramedGroupBox(QStringLiteral(" GIF Preview "), page),
                                  "GifPreviewGroup", QRect(456, 0, 172, 143));
    auto* PanelGifPreview = MakePanel(GifPreviewGroup, "PanelGifPreview", QRect(6, 14, 160, 121));
    Image_Gif_ = MakeImage(PanelGifPreview, "Image_Gif", QRect(0, 0, 160, 121), "placeholder_gif");
    ImageGifPreview_ =
        Place(new TGIFPreview(PanelGifPreview), "ImageGifPreview", QRect(0, 0, 160, 121));
    PaintOnPage(ImageGifPreview_);

    Panel2_ = MakePanel(page, "Panel2", QRect(458, 150, 169, 107));
    MakeLabel(Panel2_, "The report of result :  ", QRect(4, 2, 161, 16));
    const QFontMetrics metrics = Panel2_->fontMetrics();
    // Each value follows its caption; ShowReport moves the units after the values.
    const auto caption = [&](const char* text, int top) {
        const int width = metrics.horizontalAdvance(QString::fromLatin1(text));
        MakeLabel(Panel2_, text, QRect(8, top, width, 16));
        return 8 + width;
    };
    int left = caption("GIF Width : ", 22);
    ReportWidthLabel_ = MakeLabel(Panel2_, "", QRect(left, 22, 30, 16), "ReportWidthLabel");
    reportWidthUnit_ = MakeLabel(Panel2_, "pixels", QRect(left + 35, 22, 40, 16));
    left = caption("GIF Height : ", 42);
    ReportHeightLabel_ = MakeLabel(Panel2_, "", QRect(left, 42, 30, 16), "ReportHeightLabel");
    reportHeightUnit_ = MakeLabel(Panel2_, "pixels", QRect(left + 35, 42, 40, 16));
    left = caption("Total Frame Count : ", 62);
    ReportFrameCountLabel_ =
        MakeLabel(Panel2_, "", QRect(left, 62, 161 - left, 16), "ReportFrameCountLabel");
    left = caption("GIF File Size : ", 82);
    Filesize_ = MakeLabel(Panel2_, "", QRect(left, 82, 30, 16), "Filesize");
    _kb_ = MakeLabel(Panel2_, " KB ", QRect(left + 35, 82, 28, 16), "_kb");

    ConvertAviButton_ =
        MakeCommandButton(page, "ConvertAviButton", "convert", QRect(288, 225, 46, 46),
                          "Convert current AVI to GIF image");
    StopAviButton_ =
        MakeCommandButton(page, "StopAviButton", "stop", QRect(288, 225, 46, 46), "Stop working");

    // Beside Convert: the size the GIF may take, and the size it would take.
    MakeLabel(page, "Fit under", QRect(338, 228, 54, 18));
    FitUnderEdit_ = MakeField(page, "FitUnderEdit", QRect(393, 228, 34, 18));
    FitUnderEdit_->setAccessibleName(QStringLiteral("Fit under MB"));
    FitUnderEdit_->setToolTip(
        QStringLiteral("The most the GIF may take, in MB; empty for no limit"));
    MakeLabel(page, "MB", QRect(430, 228, 24, 18));
    // Like the parameters, it waits for a clip.
    FitUnderEdit_->setEnabled(false);
    EstimateLabel_ = MakeLabel(page, "", QRect(338, 250, 117, 18), "EstimateLabel");
    BuildCrop(page);
}

void TVideoToGifPage::BuildParameterGroup(TFramedGroupBox* group) {
    auto* intro = MakeLabel(
        group,
        "Specify the frame range of source avi that will be converted : ", QRect(8, 15, 246, 28));
    intro->setWordWrap(true);
    // The label column is as wide as its longest text in the window's font.
    const QFontMetrics metrics = group->fontMetrics();
    int labelWidth = 0;
    for (const char* text : {"Start Frame : ", "End Frame : ", "Width : ", "Height : ",
                             "Frame Delay : ", "Looping : ", "ColorReduction : ", "DitherMode : "})
        labelWidth = std::max(labelWidth, metrics.horizontalAdvance(QString::fromLatin1(text)));
    constexpr int kLabelLeft = 8;
    const int kFieldLeft = kLabelLeft + labelWidth + 2;
    constexpr int kFieldWidth = 44;
    const int kUnitLeft = kFieldLeft + kFieldWidth + 4;
    constexpr int kRow = 22;
    constexpr int kTop = 46;
    const auto row = [&](int index) { return kTop + kRow * index; };
    const int stepLabelWidth = metrics.horizontalAdvance(QStringLiteral("Step : "));

    // One row: its caption, its field and, when it has one, its unit.
    const auto fieldRow = [&](int index, const char* caption, const char* name, const char* unit) {
        QLabel* label = MakeLabel(group, caption, QRect(kLabelLeft, row(index), labelWidth, 18));
        QLineEdit* field = MakeField(group, name, QRect(kFieldLeft, row(index), kFieldWidth, 18));
        label->setBuddy(field);
        if (unit != nullptr)
            MakeLabel(group, unit, QRect(kUnitLeft, row(index), 252 - kUnitLeft, 18));
        return field;
    };
    StartEdit_ = fieldRow(0, "Start Frame : ", "StartEdit", nullptr);
    QLabel* stepLabel =
        MakeLabel(group, "Step : ", QRect(kUnitLeft + 8, row(0), stepLabelWidth, 18));
    const int stepLeft = kUnitLeft + 10 + stepLabelWidth;
    StepEdit_ = MakeField(group, "StepEdit", QRect(stepLeft, row(0), 252 - stepLeft, 18));
    stepLabel->setBuddy(StepEdit_);
    EndEdit_ = fieldRow(1, "End Frame : ", "EndEdit", nullptr);
    WidthEdit_ = fieldRow(2, "Width : ", "WidthEdit", "pixels ");
    HeightEdit_ = fieldRow(3, "Height : ", "HeightEdit", "pixels ");
    // A chain after the units of Width and Height links the two rows: while
    // it is closed, editing one field sets the other by the clip's aspect.
    const int chainLeft = kUnitLeft + metrics.horizontalAdvance(QStringLiteral("pixels ")) + 6;
    KeepAspectButton_ = Place(new QToolButton(group), "KeepAspectButton",
                              QRect(chainLeft, row(2), 16, row(3) + 18 - row(2)));
    QIcon chain;
    for (const qreal ratio : {1.0, 2.0}) {
        chain.addPixmap(RenderArt(QStringLiteral("aspect_linked"), QSize(14, 40), ratio),
                        QIcon::Normal, QIcon::On);
        chain.addPixmap(RenderArt(QStringLiteral("aspect_unlinked"), QSize(14, 40), ratio),
                        QIcon::Normal, QIcon::Off);
    }
    KeepAspectButton_->setIcon(chain);
    KeepAspectButton_->setIconSize(QSize(14, 40));
    KeepAspectButton_->setCheckable(true);
    KeepAspectButton_->setChecked(true);
    KeepAspectButton_->setAccessibleName(QStringLiteral("Keep aspect ratio"));
    KeepAspectButton_->setToolTip(
        QStringLiteral("Keep aspect ratio: a new Width sets the Height, and back"));
    KeepAspectButton_->setStyleSheet(
        QStringLiteral("QToolButton { padding: 0px; } QToolButton:checked { background: "
                       "transparent; }"));
    // Edits by the person only: the field set in answer raises no edit of its own.
    connect(WidthEdit_, &QLineEdit::textEdited, this, [this] { FollowAspect(WidthEdit_); });
    connect(HeightEdit_, &QLineEdit::textEdited, this, [this] { FollowAspect(HeightEdit_); });
    DelayEdit_ = fieldRow(4, "Frame Delay : ", "DelayEdit", "millisecond");
    LoopEdit_ = fieldRow(5, "Looping : ", "LoopEdit", " ( 0 is forever ) ");

    QLabel* reductionLabel =
        MakeLabel(group, "ColorReduction : ", QRect(kLabelLeft, row(6) + 1, labelWidth, 18));
    ColorReductionBox_ = Place(new TSearchComboBox(group), "ColorReductionBox",
                               QRect(kFieldLeft, row(6), 252 - kFieldLeft, 20));
    reductionLabel->setBuddy(ColorReductionBox_);
    ColorReductionBox_->addItems({"Windows20 ", "Windows256 ", "WindowsGray ", "Monochrome ",
                                  "GrayScale ", "Netscape ", "Quantize  ( commend ) ",
                                  "QuantizeWindows ", kBestQualityItem, kBestSmallerItem});
    QLabel* ditherLabel =
        MakeLabel(group, "DitherMode : ", QRect(kLabelLeft, row(7) + 3, labelWidth, 18));
    DitherModeBox_ = Place(new TSearchComboBox(group), "DitherModeBox",
                           QRect(kFieldLeft, row(7) + 2, 252 - kFieldLeft, 20));
    ditherLabel->setBuddy(DitherModeBox_);
    DitherModeBox_->addItems({"Nearest", "FloydSteinberg ( commend ) ", "Stucki", "Sierra",
                              "JaJuNI", "SteveArche", "Burkes\t"});
    // Both lists start without a selection; opening a clip picks their items.
    ColorReductionBox_->setCurrentIndex(-1);
    DitherModeBox_->setCurrentIndex(-1);
    StepEdit_->setText(QStringLiteral("1"));
    LoopEdit_->setText(QStringLiteral("0"));
}

void TVideoToGifPage::ConnectControls() {
    // A double click on a run button starts the run and no more: its second
    // click would land on the stop button that took the button's place.
    for (TImageButton* run : {ConvertAviButton_, StopAviButton_})
        run->SetIgnoresDoubleClick(true);
    actions_.Bind(ConvertAviButton_, TCommand::Convert);
    actions_.Bind(StopAviButton_, TCommand::Stop);
    connect(edit1_, &QLineEdit::textChanged, this, [this] { FrameShown(); });
    TrackBar1_->OnMouseDown = [this] { TrackPressed(); };
    TrackBar1_->OnMouseMove = [this] { TrackMoved(); };
    TrackBar1_->OnMouseUp = [this] { TrackReleased(); };
    // Every change of a setting starts a new estimate (after the aspect
    // follows, which is connected first): typed, or set by the range buttons,
    // the track bar or the aspect chain.
    const QList<QLineEdit*> fields = {StartEdit_,  EndEdit_,   StepEdit_, WidthEdit_,
                                      HeightEdit_, DelayEdit_, LoopEdit_};
    for (QLineEdit* field : fields) {
        field->installEventFilter(this);
        connect(field, &QLineEdit::textChanged, this, [this] {
            if (!running_)
                RequestEstimate();
        });
    }
    for (TSearchComboBox* list : {ColorReductionBox_, DitherModeBox_})
        connect(list, &QComboBox::currentIndexChanged, this, [this] { RequestEstimate(); });

    // The result's pop-up menu saves it.
    auto* save = new QAction(QStringLiteral("Save the current GIF image"), ImageGifPreview_);
    save->setObjectName(QStringLiteral("SavetheGIFimage1"));
    connect(save, &QAction::triggered, actions_.Action(TCommand::Save), &QAction::trigger);
    ImageGifPreview_->addAction(save);
    ImageGifPreview_->setContextMenuPolicy(Qt::ActionsContextMenu);

    // The frame field never keeps the focus, and the track bar is stepped with
    // Left and Right, which move the player with it.
    edit1_->setFocusPolicy(Qt::NoFocus);
    TrackBar1_->setFocusPolicy(Qt::NoFocus);
    // A paste into a number field keeps its digits.
    for (QLineEdit* field : fields)
        connect(field, &QLineEdit::textEdited, this, [field] {
            const QString text = field->text();
            QString digits;
            int cursor = 0;
            for (qsizetype i = 0; i < text.size(); ++i) {
                if (text[i] < QLatin1Char('0') || text[i] > QLatin1Char('9'))
                    continue;
                digits += text[i];
                if (i < field->cursorPosition())
                    ++cursor;
            }
            if (digits == text)
                return;
            field->setText(digits);
            field->setCursorPosition(cursor);
        });
}

bool TVideoToGifPage::ClipOpen() const {
    return !AVIPlayer1_->FileName().empty();
}

void TVideoToGifPage::SetHasClip(bool has) {
    hasClip_ = has;
    ParameterGroup_->setEnabled(has);
    FitUnderEdit_->setEnabled(has);
    TrackBar1_->setEnabled(has);
    CropButton_->setEnabled(has);
    OrderBox_->setEnabled(has);
    emit Changed();
}

void TVideoToGifPage::SetPlayback(TPlayback playback) {
    if (playback == playback_)
        return;
    playback_ = playback;
    emit Changed();
}

void TVideoToGifPage::SetSelectModeIcon(int icon) {
    selecting_ = icon == 6;
    actions_.Action(TCommand::SelectMode)
        ->setIcon(
            ArtIcon(selecting_ ? QStringLiteral("tb_select_on") : QStringLiteral("tb_select_off"),
                    QSize(18, 18)));
    emit Changed();
}

void TVideoToGifPage::ShowRunButtons(bool running) {
    running_ = running;
    ConvertButton_->setVisible(!running);
    ConvertAviButton_->setVisible(!running);
    StopButton_->setVisible(running);
    StopAviButton_->setVisible(running);
    emit Changed();
}

void TVideoToGifPage::SetRunning(bool running) {
    if (!running) {
        ShowRunButtons(false);
        RequestEstimate();
        return;
    }
    // An estimate still at work would take a core from the run.
    estimate_->Cancel();
    // A new run replaces the result before it, saved or not, and its report.
    resultUnsaved_ = false;
    ClearReport();
    ImageGifPreview_->show();
    ShowRunButtons(true);
    Image_Gif_->hide();
}

QList<QToolButton*> TVideoToGifPage::ToolButtons() const {
    return {ToolButton1_, ToolButton2_, ToolButton3_,  ToolButton8_,  ToolButton7_, ToolButton5_,
            ToolButton6_, ToolButton9_, ToolButton10_, ToolButton11_, CropButton_};
}

QList<QWidget*> TVideoToGifPage::Lists() const {
    return {ColorReductionBox_, DitherModeBox_, OrderBox_};
}

QList<QWidget*> TVideoToGifPage::TabChain() const {
    return {CropButton_,    StartEdit_,        StepEdit_,     EndEdit_,          WidthEdit_,
            HeightEdit_,    KeepAspectButton_, DelayEdit_,    LoopEdit_,         ColorReductionBox_,
            DitherModeBox_, OrderBox_,         FitUnderEdit_, ConvertAviButton_, StopAviButton_};
}

QLineEdit* TVideoToGifPage::Field(TParamField field) const {
    QLineEdit* const edits[] = {StartEdit_,  EndEdit_,   StepEdit_, WidthEdit_,
                                HeightEdit_, DelayEdit_, LoopEdit_};
    return edits[static_cast<std::size_t>(field)];
}

QString TVideoToGifPage::FieldText(TParamField field) const {
    return Field(field)->text();
}

void TVideoToGifPage::FocusField(TParamField field) {
    Field(field)->setFocus(Qt::OtherFocusReason);
}

void TVideoToGifPage::ReadChoices(TFrameParams& params) const {
    const TReductionItem item = WindowReductionItem(ColorReductionBox_->currentIndex());
    params.Reduction = item.Reduction;
    params.Dither = ListDither(DitherModeBox_->currentIndex());
    // The window's documents are always LZW-coded; only the last reduction
    // item asks for optimised frames.
    params.DataCoding = 0;
    params.Optimize = item.Optimize;
    params.Quality = item.Optimize && fitQuality_ ? *fitQuality_ : item.Quality;
    params.Crop = CropRect();
    params.Order = static_cast<TFrameOrder>(std::max(0, OrderBox_->currentIndex()));
}

void TVideoToGifPage::ShowResult(std::unique_ptr<TGIFDocument> document) {
    ImageGifPreview_->SetPicture(std::move(document));
    resultUnsaved_ = true;
}

void TVideoToGifPage::ShowReport(int frameCount, const QString& sizeKBText) {
    ReportFrameCountLabel_->setText(QString::number(frameCount));
    // The size as the fields give it, whatever the run made of it.
    ReportWidthLabel_->setText(WidthEdit_->text());
    ReportHeightLabel_->setText(HeightEdit_->text());
    Filesize_->setText(sizeKBText);
    _kb_->show();
    // Each unit sits 5 pixels after the right edge of its value.
    const auto follow = [](QLabel* value, QLabel* unit) {
        value->adjustSize();
        unit->move(value->x() + value->width() + 5, unit->y());
    };
    follow(ReportWidthLabel_, reportWidthUnit_);
    follow(ReportHeightLabel_, reportHeightUnit_);
    follow(Filesize_, _kb_);
    Panel2_->show();
}

void TVideoToGifPage::MarkReportStopped() {
    // The preview holds the last frame as a still picture, not a GIF: its size
    // would be no file's size.
    Filesize_->setText(QStringLiteral("stopped"));
    Filesize_->adjustSize();
    _kb_->hide();
}

void TVideoToGifPage::DiscardResult() {
    ImageGifPreview_->SetPicture(nullptr);
    // An empty preview paints its own ground, so it steps aside for the placeholder.
    ImageGifPreview_->hide();
    Image_Gif_->show();
    ClearReport();
    resultUnsaved_ = false;
}

void TVideoToGifPage::ClearReport() {
    for (QLabel* value : {ReportWidthLabel_, ReportHeightLabel_, ReportFrameCountLabel_, Filesize_})
        value->clear();
    Panel2_->hide();
}

void TVideoToGifPage::ShowFrameDelay(int milliseconds) {
    // A clip without a frame rate reports -1, which stays in sight until a
    // delay is typed: a run refuses it instead of reusing another clip's.
    DelayEdit_->setText(QString::number(milliseconds));
}

void TVideoToGifPage::ShowPosition(int position) {
    if (trackDragging_)
        return;
    TrackBar1_->setValue(position);
    edit1_->setText(QString::number(position));
}

bool TVideoToGifPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == CropButton_ || watched == cropOverlay_)
        return CropKey(event);
    // The current-frame field never keeps the focus (edit1Enter).
    if (watched == edit1_) {
        if (event->type() == QEvent::FocusIn)
            window_.ParkFocus();
        return false;
    }
    if (event->type() == QEvent::KeyPress && FilterNumericKey(static_cast<QKeyEvent*>(event)))
        return true;
    if (watched == StepEdit_ && event->type() == QEvent::FocusOut)
        CheckStep();
    return false;
}

} // namespace framolo
