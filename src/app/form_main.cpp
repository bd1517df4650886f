#include "app/form_main.h"

#include "app/artwork.h"
#include "app/background_estimate.h"
#include "app/click_area.h"
#include "app/leave_prompts.h"
#include "app/link_opener.h"
#include "app/main_texts.h"
#include "app/message_boxes.h"
#include "app/project_links.h"
#include "app/track_bar.h"
#include "app/window_host.h"
#include "controls/file_type_names.h"
#include "controls/framed_group_box.h"
#include "controls/hint_tool_bar.h"
#include "controls/image_button.h"
#include "controls/places_open_dialog.h"
#include "controls/search_combo_box.h"
#include "convert/frame_params.h"
#include "convert/output_size.h"
#include "convert/size_estimate.h"
#include "gif/animation/painter_registry.h"
#include "gif/gif_document.h"
#include "preview/gif_preview.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPen>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScreen>
#include <QScrollBar>
#include <QStackedWidget>
#include <QToolButton>
#include <QUrl>
#include <QWindow>

#include <algorithm>

namespace framolo {

namespace {

// Frames and tool bars drawn to sit on the indigo pages.
constexpr const char* kPageStyle = R"(
QGroupBox { border: 1px solid #9a9ee0; border-radius: 5px; margin-top: 6px; }
QGroupBox:disabled { border-color: #7d80c0; }
QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 8px;
                   padding: 0 2px; color: #ffffff; }
QGroupBox::title:disabled { color: #c9cbf0; }
QToolBar { background: transparent; border: none; spacing: 0px; padding: 0px; }
QToolButton { border: 1px solid transparent; border-radius: 4px; padding: 1px; margin: 0px; }
QToolButton:hover { background: rgba(255, 255, 255, 40); border-color: #9a9ee0; }
QToolButton:pressed { background: rgba(0, 0, 0, 50); }
QToolButton:focus { border: 2px dashed #ffffff; padding: 0px; }
)";

// The status line: read-only text that shows a dashed ring while it has the
// keyboard's focus, so that Tab never seems to lose its way.
class TStatusLine : public QPlainTextEdit {
public:
    using QPlainTextEdit::QPlainTextEdit;

protected:
    void paintEvent(QPaintEvent* event) override {
        QPlainTextEdit::paintEvent(event);
        if (!hasFocus())
            return;
        QPainter painter(viewport());
        painter.setPen(QPen(QColor(0x1f, 0x21, 0x46), 1.0, Qt::DashLine));
        painter.drawRect(QRectF(viewport()->rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    }
    void focusInEvent(QFocusEvent* event) override {
        QPlainTextEdit::focusInEvent(event);
        viewport()->update();
    }
    void focusOutEvent(QFocusEvent* event) override {
        QPlainTextEdit::focusOutEvent(event);
        viewport()->update();
    }
};

template <class T> T* Place(T* widget, const char* name, QRect geometry) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(geometry);
    return widget;
}

TImageControl* MakeImage(QWidget* parent, const char* name, QRect geometry, const char* art,
                         bool stretch = true) {
    auto* image = Place(new TImageControl(parent), name, geometry);
    image->SetStretch(stretch);
    image->SetDisplayed(RenderArt(QString::fromLatin1(art), geometry.size()));
    return image;
}

QLabel* MakeLabel(QWidget* parent, const char* text, QRect geometry, const char* name = "") {
    auto* label = Place(new QLabel(QString::fromLatin1(text), parent), name, geometry);
    return label;
}

QLineEdit* MakeField(QWidget* parent, const char* name, QRect geometry) {
    auto* field = Place(new QLineEdit(parent), name, geometry);
    field->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return field;
}

// Both players draw every frame whole, never colour-keyed, on the desktop's
// window-text colour where no frame is drawn.
TAVIPlayer* MakePlayer(QWidget* panel, const char* name, QRect geometry) {
    auto* player = Place(new TAVIPlayer(panel), name, geometry);
    player->SetTransparent(false);
    player->SetColor(QGuiApplication::palette().color(QPalette::WindowText));
    return player;
}

// A preview's empty ground is the page's own colour, whatever the frames
// around it are styled with.
void PaintOnPage(QWidget* preview) {
    QPalette palette = preview->palette();
    palette.setColor(QPalette::Window, QColor::fromRgb(TFormmain::PageColor));
    preview->setPalette(palette);
}

QWidget* MakePanel(QWidget* parent, const char* name, QRect geometry) {
    auto* panel = Place(new QWidget(parent), name, geometry);
    return panel;
}

// A window button of the title bar: a face and a glyph, with a danger face
// for Close.
TImageButton* MakeWindowButton(QWidget* parent, const char* name, const char* glyph, int left,
                               bool danger) {
    auto* button = Place(new TImageButton(parent), name, QRect(left, 4, 19, 19));
    const QSize size(19, 19);
    const QString g = QString::fromLatin1(glyph);
    button->SetPicture(ComposeArt({{QStringLiteral("win_face_normal")}, {g}}, size));
    button->Pictures().SetPicEnter(ComposeArt(
        {{danger ? QStringLiteral("win_face_close_hover") : QStringLiteral("win_face_hover")}, {g}},
        size));
    button->Pictures().SetPicDown(ComposeArt(
        {{danger ? QStringLiteral("win_face_close_down") : QStringLiteral("win_face_down")},
         {g, QPoint(0, 1)}},
        size));
    return button;
}

} // namespace

TFormmain::TFormmain() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("Formmain"));
    setWindowTitle(QStringLiteral("Framolo"));
    setWindowIcon(ArtIcon(QStringLiteral("framolo"), QSize(64, 64)));
    setFixedSize(ClientWidth, ClientHeight);
    setAcceptDrops(true);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    ApplyLook();
    BuildTitleBar();
    BuildCommandStrip();
    BuildTabs();
    BuildBottom();
    openDialog_ = new TPlacesOpenDialog(this);
    openDialog_->setObjectName(QStringLiteral("OpenDialog"));
    for (QFileDialog** dialog : {&SaveDialog1_, &SavePictureDialog1_}) {
        *dialog = new QFileDialog(this);
        (*dialog)->setAcceptMode(QFileDialog::AcceptSave);
        (*dialog)->setFileMode(QFileDialog::AnyFile);
        // Qt's own dialog shows each file type as its filter is written.
        (*dialog)->setOption(QFileDialog::DontUseNativeDialog);
    }
    // Its descriptions already show their patterns.
    ShowFileTypeDescriptions(*SaveDialog1_);
    SaveDialog1_->setObjectName(QStringLiteral("SaveDialog1"));
    SavePictureDialog1_->setObjectName(QStringLiteral("SavePictureDialog1"));
    host_ = std::make_unique<TWindowHost>(*this);
    estimate_ = std::make_unique<TBackgroundEstimate>();
    connect(estimate_.get(), &TBackgroundEstimate::Ready, this, [this](std::int64_t bytes) {
        EstimateLabel_->setText(bytes > 0 ? QString::fromStdString(AboutSizeText(bytes))
                                          : QString());
    });
    ConnectCommands();
    BuildKeyboard();
    FormCreate();
}

TFormmain::~TFormmain() {
    FormDestroy();
}

void TFormmain::ApplyLook() {
    // The window's own background, the desktop's button face.
    setAutoFillBackground(true);
    QFont small = font();
    small.setPointSizeF(8.0);
    setFont(small);
}

void TFormmain::BuildTitleBar() {
    Panel1_ = MakePanel(this, "Panel1", QRect(0, 0, 643, 31));
    Image1_ = MakeImage(Panel1_, "Image1", QRect(0, 0, 643, 31), "title_back");
    MakeImage(this, "Image4", QRect(0, 0, 2, 31), "edge");
    Image2_ = MakeImage(Panel1_, "Image2", QRect(6, 4, 263, 19), "title", false);
    Image9_ = MakeImage(Panel1_, "Image9", QRect(572, 0, 71, 30), "title_end", false);
    for (TImageControl* image : {Image1_, Image2_, Image9_})
        image->OnMouseDown = [this](QMouseEvent*) { Image1MouseDown(); };

    MinimizeButton_ = MakeWindowButton(Panel1_, "MinimizeButton", "win_glyph_min", 579, false);
    MinimizeButton_->OnClick = [this] { MinimizeClick(); };
    MaximizeButton_ = Place(new TImageButton(Panel1_), "MaximizeButton", QRect(600, 4, 19, 19));
    MaximizeButton_->SetPicture(ComposeArt(
        {{QStringLiteral("win_face_disabled")}, {QStringLiteral("win_glyph_max")}}, QSize(19, 19)));
    MaximizeButton_->setEnabled(false);
    CloseButton_ = MakeWindowButton(Panel1_, "CloseButton", "win_glyph_close", 619, true);
    CloseButton_->OnClick = [this] { CloseClick(); };
    MinimizeButton_->setToolTip(QStringLiteral("Minimize"));
    CloseButton_->setToolTip(QStringLiteral("Close"));
}

TImageButton* TFormmain::MakeCommandButton(QWidget* parent, const char* name, const char* glyph,
                                           QRect geometry, const char* hint) {
    auto* button = Place(new TImageButton(parent), name, geometry);
    const QSize size(46, 46);
    const QString g = QStringLiteral("cmd_glyph_") + QString::fromLatin1(glyph);
    button->SetPicture(ComposeArt({{QStringLiteral("cmd_face_normal")}, {g}}, size));
    button->Pictures().SetPicEnter(ComposeArt({{QStringLiteral("cmd_face_hover")}, {g}}, size));
    button->Pictures().SetPicDown(
        ComposeArt({{QStringLiteral("cmd_face_down")}, {g, QPoint(1, 1)}}, size));
    button->setCursor(Qt::PointingHandCursor);
    button->setToolTip(QString::fromLatin1(hint));
    return button;
}

void TFormmain::BuildCommandStrip() {
    MakeImage(this, "Image7", QRect(2, 31, 639, 46), "strip_back");
    OpenButton_ = MakeCommandButton(this, "OpenButton", "open", QRect(10, 31, 46, 46), OpenAviHint);
    SaveButton_ = MakeCommandButton(this, "SaveButton", "save", QRect(66, 31, 46, 46), "Save");
    ConvertButton_ =
        MakeCommandButton(this, "ConvertButton", "convert", QRect(122, 31, 46, 46), "Convert");
    StopButton_ =
        MakeCommandButton(this, "StopButton", "stop", QRect(122, 31, 46, 46), "Stop working");
    StopButton_->OnClick = [this] { StopClick(); };
    MailButton_ = MakeCommandButton(this, "MailButton", "mail", QRect(184, 31, 46, 46),
                                    "Any  questions or suggestions , Please Email to me ! ");
    MailButton_->OnClick = [this] { MailClick(); };
    WebsiteButton_ = MakeCommandButton(this, "WebsiteButton", "web", QRect(242, 31, 46, 46),
                                       "Visite our website ! ");
    WebsiteButton_->OnClick = [this] { WebsiteClick(); };
    HelpButton_ = MakeCommandButton(this, "HelpButton", "help", QRect(300, 31, 46, 46), "Help");
    HelpButton_->OnClick = [this] { HelpClick(); };
}

void TFormmain::BuildTabs() {
    PageControl1_ = Place(new QStackedWidget(this), "PageControl1", QRect(2, 113, 639, 320));
    auto* TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    auto* TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    for (QWidget* page : {TabSheet1, TabSheet2}) {
        QPalette palette = page->palette();
        palette.setColor(QPalette::Window, QColor::fromRgb(PageColor));
        palette.setColor(QPalette::WindowText, QColor(240, 241, 255));
        palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(172, 175, 222));
        palette.setColor(QPalette::Disabled, QPalette::Text, QColor(120, 122, 160));
        page->setPalette(palette);
        page->setAutoFillBackground(true);
        page->setStyleSheet(QString::fromLatin1(kPageStyle));
        PageControl1_->addWidget(page);
    }
    BuildPage1(TabSheet1);
    BuildPage2(TabSheet2);

    // Each header panel shows both tab names, with its own tab drawn in front;
    // the name of the other tab is the click area that switches to it.
    Panel_pt1_ = MakePanel(this, "Panel_pt1", QRect(2, 77, 250, 37));
    MakeImage(Panel_pt1_, "Image_pt1", QRect(0, 0, 250, 37), "tabs_1");
    auto* Label_Tab1 = Place(new TClickArea(Panel_pt1_), "Label_Tab1", QRect(119, 6, 95, 25));
    Label_Tab1->OnClick = [this] { Label_Tab1Click(); };
    Panel_pt2_ = MakePanel(this, "Panel_pt2", QRect(2, 77, 250, 37));
    MakeImage(Panel_pt2_, "Image_pt2", QRect(0, 0, 250, 37), "tabs_2");
    auto* Label_tab2 = Place(new TClickArea(Panel_pt2_), "Label_tab2", QRect(22, 9, 74, 20));
    Label_tab2->OnClick = [this] { Label_tab2Click(); };
    MakeImage(this, "Image10", QRect(248, 77, 393, 37), "tabs_deco");
    // The headers overlap the page's first row, so the active tab joins its page.
    Panel_pt1_->raise();
    Panel_pt2_->raise();
}

QToolButton* TFormmain::MakeToolButton(QToolBar* bar, const char* name, const char* icon,
                                       const char* hint) {
    QAction* action =
        bar->addAction(ArtIcon(QStringLiteral("tb_") + QString::fromLatin1(icon), QSize(18, 18)),
                       QString::fromLatin1(hint));
    action->setToolTip(QString::fromLatin1(hint));
    auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(action));
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

void TFormmain::BuildPage1(QWidget* page) {
    auto* AviPreviewGroup = Place(new TFramedGroupBox(QStringLiteral(" AVI Preview "), page),
                                  "AviPreviewGroup", QRect(8, 0, 172, 143));
    auto* PanelAviPreview = MakePanel(AviPreviewGroup, "PanelAviPreview", QRect(6, 14, 160, 121));
    Image_avi_ = MakeImage(PanelAviPreview, "Image_avi", QRect(0, 0, 160, 121), "placeholder_avi");
    AVIPlayer1_ = MakePlayer(PanelAviPreview, "AVIPlayer1", QRect(0, 0, 160, 121));
    // The window fits the player into its panel; it must not size itself to the clip.
    AVIPlayer1_->SetAutoSize(false);
    AVIPlayer1_->SetObserver(this);

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
    ToolButton1_ = MakeToolButton(PlayerToolBar, "ToolButton1", "open", "Open");
    ToolButton2_ = MakeToolButton(PlayerToolBar, "ToolButton2", "close", "Close");
    connect(ToolButton2_, &QToolButton::clicked, this, [this] { ToolButton2Click(); });
    ToolButton3_ = MakeToolButton(PlayerToolBar, "ToolButton3", "play", "Play");
    ToolButton8_ = MakeToolButton(PlayerToolBar, "ToolButton8", "pause", "Pause");
    ToolButton7_ = MakeToolButton(PlayerToolBar, "ToolButton7", "stop", "Stop");
    ToolButton5_ =
        MakeToolButton(ToolBar1, "ToolButton5", "select_off", "Open/Close Select Mode  ");
    ToolButton6_ = MakeToolButton(ToolBar1, "ToolButton6", "sel_start", "Select Start Frame");
    ToolButton9_ = MakeToolButton(ToolBar1, "ToolButton9", "sel_stop", "Select Stop Frame");
    ToolButton10_ = MakeToolButton(ToolBar1, "ToolButton10", "prev", "Previous Frame");
    ToolButton11_ = MakeToolButton(ToolBar1, "ToolButton11", "next", "Next Frame");

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
    StopAviButton_->OnClick = [this] { StopAviClick(); };

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
}

void TFormmain::BuildParameterGroup(TFramedGroupBox* group) {
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

void TFormmain::BuildPage2(QWidget* page) {
    auto* GifSourceGroup = Place(new TFramedGroupBox(QStringLiteral(" GIF Preview "), page),
                                 "GifSourceGroup", QRect(9, 11, 280, 230));
    auto* PanelGifPreview_B =
        MakePanel(GifSourceGroup, "PanelGifPreview_B", QRect(2, 14, 276, 213));
    ImageGifSplash_B_ =
        MakeImage(PanelGifPreview_B, "ImageGifSplash_B", QRect(0, 0, 276, 213), "placeholder_gif");
    Gifpreview_B_ =
        Place(new TGIFPreview(PanelGifPreview_B), "Gifpreview_B", QRect(0, 0, 276, 213));
    PaintOnPage(Gifpreview_B_);
    auto* AviResultGroup = Place(new TFramedGroupBox(QStringLiteral(" AVI Preview "), page),
                                 "AviResultGroup", QRect(345, 11, 280, 230));
    auto* PanelAviPreview_B =
        MakePanel(AviResultGroup, "PanelAviPreview_B", QRect(2, 14, 276, 213));
    ImageAviSplash_B_ =
        MakeImage(PanelAviPreview_B, "ImageAviSplash_B", QRect(0, 0, 276, 213), "placeholder_avi");
    cannotPreviewLabel_ = MakeLabel(PanelAviPreview_B, "Cannot preview AVI", QRect(0, 0, 276, 213));
    cannotPreviewLabel_->setAlignment(Qt::AlignCenter);
    AVIPlayer2_ = MakePlayer(PanelAviPreview_B, "AVIPlayer2", QRect(0, 0, 276, 213));
    AVIPlayer2_->SetObserver(this);
    ConvertGifButton_ = MakeCommandButton(page, "ConvertGifButton", "convert",
                                          QRect(292, 95, 46, 46), "Convert GIF to AVI");
    StopGifButton_ =
        MakeCommandButton(page, "StopGifButton", "stop", QRect(295, 95, 46, 46), "Stop working");
    StopGifButton_->OnClick = [this] { StopGifClick(); };
}

void TFormmain::BuildBottom() {
    MakeImage(this, "Image3", QRect(0, 31, 2, 404), "edge");
    MakeImage(this, "Image6", QRect(641, 31, 2, 404), "edge");
    MakeImage(this, "Image8", QRect(0, 433, 643, 2), "edge");

    StatusMemo_ = Place(new TStatusLine(this), "StatusMemo", QRect(3, 390, 638, 28));
    StatusMemo_->setReadOnly(true);
    StatusMemo_->setFrameShape(QFrame::NoFrame);
    StatusMemo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StatusMemo_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Read-only text shows no caret; it takes the focus only so that no field keeps it.
    StatusMemo_->setTextInteractionFlags(Qt::NoTextInteraction);
    StatusMemo_->setFocusPolicy(Qt::StrongFocus);
    StatusMemo_->viewport()->setCursor(Qt::ArrowCursor);
    // Two lines of the window's font fill the line's 28 pixels.
    StatusMemo_->document()->setDocumentMargin(1);
    QPalette palette = StatusMemo_->palette();
    palette.setColor(QPalette::Base, QColor(192, 192, 192));
    palette.setColor(QPalette::Text, Qt::black);
    StatusMemo_->setPalette(palette);

    ProgressBar_ = Place(new QProgressBar(this), "ProgressBar", QRect(2, 418, 640, 16));
    ProgressBar_->setRange(0, 100);
    ProgressBar_->setValue(0);
    ProgressBar_->setTextVisible(false);
}

void TFormmain::ConnectCommands() {
    OpenButton_->OnClick = [this] { OpenClick(); };
    SaveButton_->OnClick = [this] { SaveClick(); };
    // A double click on a run button starts the run and no more: its second
    // click would land on the stop button that took the button's place.
    for (TImageButton* run : {ConvertButton_, StopButton_, ConvertAviButton_, StopAviButton_,
                              ConvertGifButton_, StopGifButton_})
        run->SetIgnoresDoubleClick(true);
    ConvertButton_->OnClick = [this] { ConvertClick(); };
    ConvertAviButton_->OnClick = [this] { ConvertAviClick(); };
    ConvertGifButton_->OnClick = [this] { ConvertGifClick(); };
    const auto on = [this](QToolButton* button, void (TFormmain::*handler)()) {
        connect(button, &QToolButton::clicked, this, [this, handler] { (this->*handler)(); });
    };
    on(ToolButton1_, &TFormmain::OpenClick);
    on(ToolButton3_, &TFormmain::ToolButton3Click);
    on(ToolButton8_, &TFormmain::ToolButton8Click);
    on(ToolButton7_, &TFormmain::ToolButton7Click);
    on(ToolButton5_, &TFormmain::ToolButton5Click);
    on(ToolButton6_, &TFormmain::ToolButton6Click);
    on(ToolButton9_, &TFormmain::ToolButton9Click);
    on(ToolButton10_, &TFormmain::ToolButton10Click);
    on(ToolButton11_, &TFormmain::ToolButton11Click);
    connect(edit1_, &QLineEdit::textChanged, this, [this] { edit1Change(); });
    TrackBar1_->OnMouseDown = [this] { TrackBar1MouseDown(); };
    TrackBar1_->OnMouseMove = [this] { TrackBar1MouseMove(); };
    TrackBar1_->OnMouseUp = [this] { TrackBar1MouseUp(); };
    // Every change of a setting starts a new estimate (after the aspect
    // follows, which is connected first): typed, or set by the range buttons,
    // the track bar or the aspect chain.
    for (QLineEdit* field :
         {StartEdit_, EndEdit_, StepEdit_, WidthEdit_, HeightEdit_, DelayEdit_, LoopEdit_}) {
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
    connect(save, &QAction::triggered, this, [this] { SaveClick(); });
    ImageGifPreview_->addAction(save);
    ImageGifPreview_->setContextMenuPolicy(Qt::ActionsContextMenu);
}

void TFormmain::FormCreate() {
    InstallGIFAnimation();
    DefaultPaintOptions |= poOnTarget;

    ParameterGroup_->setEnabled(false);
    trackDragging_ = false;
    Panel2_->hide();

    for (QToolButton* button :
         {ToolButton2_, ToolButton3_, ToolButton8_, ToolButton7_, ToolButton5_, ToolButton6_,
          ToolButton9_, ToolButton10_, ToolButton11_})
        button->setEnabled(false);
    SetSelectModeIcon(5);
    TrackBar1_->setEnabled(false);

    Panel_pt1_->show();
    Panel_pt2_->hide();
    PageControl1_->setCurrentIndex(0);

    AVIPlayer1_->hide();
    Image_avi_->show();
    ImageGifPreview_->hide();
    Image_Gif_->show();
    StopButton_->hide();
    StopAviButton_->hide();
    ImageGifSplash_B_->show();
    ImageAviSplash_B_->show();
    Gifpreview_B_->hide();
    AVIPlayer2_->hide();
    cannotPreviewLabel_->hide();
    StopGifButton_->hide();
    ConvertGifButton_->show();

    ShowStatus(QString::fromLatin1(WelcomeText));
}

void TFormmain::FormActivate() {
    StatusMemo_->setFocus(Qt::OtherFocusReason);
}

void TFormmain::FormDestroy() {
    // The documents stop animating and go before the window does.
    ImageGifPreview_->SetPicture(nullptr);
    Gifpreview_B_->SetPicture(nullptr);
    currentFileName_.clear();
}

void TFormmain::ReportFrameDelay(int milliseconds) {
    // A clip without a frame rate reports -1, which stays in sight until a
    // delay is typed: a run refuses it instead of reusing another clip's.
    DelayEdit_->setText(QString::number(milliseconds));
}

void TFormmain::ReportPosition(int position) {
    if (trackDragging_)
        return;
    TrackBar1_->setValue(position);
    edit1_->setText(QString::number(position));
}

void TFormmain::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}

bool TFormmain::eventFilter(QObject* watched, QEvent* event) {
    if (KeyboardEvent(watched, event))
        return true;
    // The current-frame field never keeps the focus (edit1Enter).
    if (watched == edit1_ && event->type() == QEvent::FocusIn)
        StatusMemo_->setFocus(Qt::OtherFocusReason);
    if (event->type() == QEvent::KeyPress && watched != edit1_ &&
        qobject_cast<QLineEdit*>(watched) != nullptr &&
        FilterNumericKey(static_cast<QKeyEvent*>(event)))
        return true;
    if (watched == StepEdit_ && event->type() == QEvent::FocusOut)
        StepEditExit();
    return QWidget::eventFilter(watched, event);
}

int TFormmain::ActivePage() const {
    return PageControl1_->currentIndex();
}

void TFormmain::SetSelectModeIcon(int icon) {
    selectModeIcon_ = icon;
    ToolButton5_->setIcon(
        ArtIcon(icon == 6 ? QStringLiteral("tb_select_on") : QStringLiteral("tb_select_off"),
                QSize(18, 18)));
}

void TFormmain::ShowStatus(const QString& text, bool scroll) {
    StatusMemo_->clear();
    StatusMemo_->appendPlainText(text);
    QScrollBar* bar = StatusMemo_->verticalScrollBar();
    // The line is two lines high: a message that needs more is set smaller
    // until it fits whole, so the scroll below always leaves its first line
    // in view (the scroll bar's maximum is the number of lines that do not fit).
    QFont smaller = font();
    StatusMemo_->setFont(smaller);
    constexpr qreal kSmallestPoints = 6.0;
    while (bar->maximum() > 0 && smaller.pointSizeF() > kSmallestPoints) {
        smaller.setPointSizeF(std::max(kSmallestPoints, smaller.pointSizeF() - 0.5));
        StatusMemo_->setFont(smaller);
    }
    if (scroll)
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    else
        bar->setValue(bar->minimum());
}

QString TFormmain::StatusText() const {
    return StatusMemo_->toPlainText();
}

void TFormmain::Image1MouseDown() {
    // Qt lets the platform move a window without a frame, as the caption would.
    if (QWindow* handle = windowHandle())
        handle->startSystemMove();
}

void TFormmain::MinimizeClick() {
    showMinimized();
}

void TFormmain::CloseClick() {
    if (MayClose())
        close();
}

QString TFormmain::HelpFilePath() {
    const QDir programDir(QCoreApplication::applicationDirPath());
    const QString beside = programDir.filePath(QString::fromLatin1(HelpFileName));
    if (QFileInfo::exists(beside))
        return beside;
    return QDir::cleanPath(programDir.filePath(QStringLiteral("../share/framolo/")) +
                           QLatin1Char('/') + QString::fromLatin1(HelpFileName));
}

void TFormmain::SayLinkDidNotOpen(const QString& what, const QString& copyable) {
    ShowBox(TBoxKind::Warning,
            QStringLiteral("No program on this computer could open ") + what +
                QStringLiteral(". You can copy it from here:\n\n") + copyable,
            this);
}

void TFormmain::HelpClick() {
    const QString path = HelpFilePath();
    if (!OpenLink(QUrl::fromLocalFile(path)))
        SayLinkDidNotOpen(QStringLiteral("the help page"), QDir::toNativeSeparators(path));
}

void TFormmain::WebsiteClick() {
    const QString address = QString::fromLatin1(ProjectWebPage);
    if (!OpenLink(QUrl(address)))
        SayLinkDidNotOpen(QStringLiteral("the web site"), address);
    QCoreApplication::processEvents();
}

void TFormmain::MailClick() {
    const QString address = QString::fromLatin1(SupportMailAddress);
    if (!OpenLink(QUrl(QStringLiteral("mailto:") + address + QStringLiteral("?SUBJECT=Framolo"))))
        SayLinkDidNotOpen(QStringLiteral("a mail to the author"), address);
    QCoreApplication::processEvents();
}

void TFormmain::Label_Tab1Click() {
    if (!MayDiscardResult(TDiscardTrigger::SwitchTab))
        return;
    Panel_pt1_->hide();
    Panel_pt2_->show();
    PageControl1_->setCurrentIndex(1);
    ToolButton2Click();
    ShowStatus(QString::fromLatin1(GifTabText));
    OpenButton_->setToolTip(QString::fromLatin1(OpenGifHint));
}

void TFormmain::Label_tab2Click() {
    Panel_pt1_->show();
    Panel_pt2_->hide();
    PageControl1_->setCurrentIndex(0);
    StopGifClick();
    ShowStatus(QString::fromLatin1(WelcomeText));
    Gifpreview_B_->SetPicture(nullptr);
    AVIPlayer2_->SetFileName(std::string());
    Gifpreview_B_->hide();
    AVIPlayer2_->hide();
    cannotPreviewLabel_->hide();
    ImageGifSplash_B_->show();
    ImageAviSplash_B_->show();
    OpenButton_->setToolTip(QString::fromLatin1(OpenAviHint));
}

void TFormmain::ToolButton2Click() {
    if (!MayDiscardResult(TDiscardTrigger::CloseClip))
        return;
    AVIPlayer1_->SetActive(false);
    AVIPlayer1_->SetFileName(std::string());
    AVIPlayer1_->hide();
    Image_avi_->show();
    DiscardResult();
    TrackBar1_->setValue(0);
    edit1_->clear();
    for (QLineEdit* field : {HeightEdit_, WidthEdit_, DelayEdit_, StartEdit_, EndEdit_})
        field->clear();
    StepEdit_->setText(QStringLiteral("1"));
    ColorReductionBox_->setCurrentIndex(-1);
    DitherModeBox_->setCurrentIndex(-1);
    ParameterGroup_->setEnabled(false);
    FitUnderEdit_->setEnabled(false);
    for (QToolButton* button : {ToolButton2_, ToolButton3_, ToolButton8_, ToolButton7_})
        button->setEnabled(false);
    SetSelectModeIcon(5);
    for (QToolButton* button :
         {ToolButton5_, ToolButton6_, ToolButton9_, ToolButton10_, ToolButton11_})
        button->setEnabled(false);
    TrackBar1_->SetSelStart(0);
    TrackBar1_->SetSelEnd(0);
    TrackBar1_->setEnabled(false);
    RequestEstimate();
    ShowStatus(QString::fromLatin1(WelcomeText));
}

void TFormmain::StopClick() {
    // Dispatched by the page shown at this moment, tested for each page in turn.
    if (ActivePage() == 0)
        StopAviClick();
    if (ActivePage() == 1)
        StopGifClick();
}

void TFormmain::StopAviClick() {
    stopRequested_ = true;
    ShowRunButtons(TJobKind::AviToGif, false);
}

void TFormmain::StopGifClick() {
    stopRequested_ = true;
    ShowRunButtons(TJobKind::GifToAvi, false);
}

void TFormmain::DiscardResult() {
    ImageGifPreview_->SetPicture(nullptr);
    // An empty preview paints its own ground, so it steps aside for the placeholder.
    ImageGifPreview_->hide();
    Image_Gif_->show();
    ReportWidthLabel_->clear();
    ReportHeightLabel_->clear();
    ReportFrameCountLabel_->clear();
    Panel2_->hide();
    resultUnsaved_ = false;
}

void TFormmain::ShowRunButtons(TJobKind kind, bool running) {
    running_ = running;
    if (kind == TJobKind::AviToGif) {
        ConvertButton_->setVisible(!running);
        ConvertAviButton_->setVisible(!running);
        StopButton_->setVisible(running);
        StopAviButton_->setVisible(running);
    } else {
        ConvertGifButton_->setVisible(!running);
        StopGifButton_->setVisible(running);
    }
}

} // namespace framolo
