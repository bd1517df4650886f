#include "app/form_main.h"

#include "app/artwork.h"
#include "app/click_area.h"
#include "app/gif_to_video_page.h"
#include "app/leave_prompts.h"
#include "app/link_opener.h"
#include "app/main_texts.h"
#include "app/message_boxes.h"
#include "app/project_links.h"
#include "app/video_to_gif_page.h"
#include "app/window_actions.h"
#include "app/window_host.h"
#include "controls/file_type_names.h"
#include "controls/image_button.h"
#include "controls/image_control.h"
#include "controls/places_open_dialog.h"
#include "gif/animation/painter_registry.h"
#include "gif/gif_document.h"
#include "preview/gif_preview.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QPen>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScreen>
#include <QScrollBar>
#include <QStackedWidget>
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
    actions_ = new TWindowActions(*this);
    BuildCommandStrip();
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
    BuildTabs();
    BuildBottom();
    host_ = std::make_unique<TWindowHost>(*this, *videoToGif_, *gifToVideo_);
    videoToGif_->SetHost(*host_);
    gifToVideo_->SetHost(*host_);
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

void TFormmain::BuildCommandStrip() {
    MakeImage(this, "Image7", QRect(2, 31, 639, 46), "strip_back");
    OpenButton_ = MakeCommandButton(this, "OpenButton", "open", QRect(10, 31, 46, 46), OpenAviHint);
    SaveButton_ = MakeCommandButton(this, "SaveButton", "save", QRect(66, 31, 46, 46), "Save");
    ConvertButton_ =
        MakeCommandButton(this, "ConvertButton", "convert", QRect(122, 31, 46, 46), "Convert");
    StopButton_ =
        MakeCommandButton(this, "StopButton", "stop", QRect(122, 31, 46, 46), "Stop working");
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
    videoToGif_ = new TVideoToGifPage(TabSheet1, *this, *actions_, ConvertButton_, StopButton_,
                                      *SavePictureDialog1_);
    gifToVideo_ = new TGifToVideoPage(TabSheet2, *this, *actions_, *SaveDialog1_);
    connect(videoToGif_, &TVideoToGifPage::Changed, this, &TFormmain::UpdateCommands);
    connect(gifToVideo_, &TGifToVideoPage::Changed, this, &TFormmain::UpdateCommands);

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

void TFormmain::FormCreate() {
    InstallGIFAnimation();
    DefaultPaintOptions |= poOnTarget;

    Panel_pt1_->show();
    Panel_pt2_->hide();
    PageControl1_->setCurrentIndex(0);
    UpdateCommands();

    ShowStatus(QString::fromLatin1(WelcomeText));
}

void TFormmain::FormActivate() {
    StatusMemo_->setFocus(Qt::OtherFocusReason);
}

void TFormmain::FormDestroy() {
    // The documents stop animating and go before the window does.
    ImageGifPreview().SetPicture(nullptr);
    Gifpreview_B().SetPicture(nullptr);
    currentFileName_.clear();
}

void TFormmain::UpdateCommands() {
    TCommandState state;
    state.Page = ActivePage();
    state.Running = Running();
    state.ClipOpen = videoToGif_->HasClip();
    state.Playback = videoToGif_->Playback();
    state.Selecting = videoToGif_->Selecting();
    actions_->Update(state);
}

void TFormmain::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}

int TFormmain::ActivePage() const {
    return PageControl1_->currentIndex();
}

bool TFormmain::Running() const {
    return videoToGif_->Running() || gifToVideo_->Running();
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

void TFormmain::ParkFocus() {
    StatusMemo_->setFocus(Qt::OtherFocusReason);
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
    UpdateCommands();
    OpenButton_->setToolTip(QString::fromLatin1(OpenGifHint));
}

void TFormmain::Label_tab2Click() {
    Panel_pt1_->show();
    Panel_pt2_->hide();
    PageControl1_->setCurrentIndex(0);
    StopGifClick();
    ShowStatus(QString::fromLatin1(WelcomeText));
    gifToVideo_->Clear();
    UpdateCommands();
    OpenButton_->setToolTip(QString::fromLatin1(OpenAviHint));
}

void TFormmain::SwitchTab() {
    if (ActivePage() == 0)
        Label_Tab1Click();
    else
        Label_tab2Click();
}

} // namespace framolo
