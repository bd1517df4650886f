// The commands on the two pages: opening, playback, the frame range, the
// parameter fields, both conversions and saving.
#include "app/form_main.h"

#include "app/last_folder.h"
#include "app/leave_prompts.h"
#include "app/main_texts.h"
#include "app/message_boxes.h"
#include "app/project_links.h"
#include "app/track_bar.h"
#include "app/wait_cursor.h"
#include "app/window_host.h"
#include "controls/framed_group_box.h"
#include "controls/image_button.h"
#include "controls/image_control.h"
#include "controls/modal_seam.h"
#include "controls/places_open_dialog.h"
#include "controls/search_combo_box.h"
#include "convert/avi_to_gif_job.h"
#include "convert/gif_to_avi_job.h"
#include "convert/job_support.h"
#include "convert/output_size.h"
#include "gif/gif_document.h"
#include "platform/avifile/video_extensions.h"
#include "platform/graphics/bitmap.h"
#include "platform/streams/output_file.h"
#include "preview/gif_preview.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QToolButton>
#include <QUrl>

#include <cmath>
#include <exception>

namespace framolo {

namespace {

// AVI files, then every kind of video the reader opens.
QString AviFilter() {
    QStringList patterns;
    for (const char* extension : VideoFileExtensions)
        patterns << QLatin1Char('*') + QLatin1String(extension);
    return QStringLiteral("Microsoft Avi Files ( *.avi )|*.avi|All videos|") +
           patterns.join(QLatin1Char(';'));
}

constexpr const char* kGifFilter = "gif files ( *.gif ) |*.gif";

// Starts a dialog in the folder last used, when there is one.
void StartInLastFolder(QFileDialog& dialog) {
    const QString folder = LastFolder();
    if (!folder.isEmpty())
        dialog.setDirectory(folder);
}

} // namespace

QString TFormmain::UnknownFormatText() {
    return QStringLiteral("Error, Unknown AVI format, please contact with author (") +
           QString::fromLatin1(SupportMailAddress) + QLatin1Char(')');
}

void TFormmain::FitInPanel(QWidget* preview, int width, int height) {
    const QWidget* panel = preview->parentWidget();
    const TPreviewPlacement place = FitPreview(width, height, panel->width(), panel->height());
    if (place.FillClient)
        preview->setGeometry(panel->contentsRect());
    else
        preview->setGeometry(place.Left, place.Top, place.Width, place.Height);
}

int TFormmain::CurrentFrame() const {
    return edit1_->text().toInt();
}

void TFormmain::OpenClick() {
    if (ActivePage() == 0) {
        openDialog_->SetDefaultExt(QStringLiteral("avi"));
        openDialog_->SetFilter(AviFilter());
        StartInLastFolder(*openDialog_);
        if (openDialog_->Execute()) {
            RememberFolder(openDialog_->FileName());
            OpenClip(openDialog_->FileName().toStdString());
        }
        return;
    }
    if (ActivePage() == 1) {
        openDialog_->SetDefaultExt(QStringLiteral("gif"));
        openDialog_->SetFilter(QString::fromLatin1(kGifFilter));
        StartInLastFolder(*openDialog_);
        if (openDialog_->Execute()) {
            RememberFolder(openDialog_->FileName());
            OpenGif(openDialog_->FileName().toStdString());
        }
    }
}

void TFormmain::OpenClip(const std::string& chosen) {
    bool discarded = false;
    if (!MayDiscardResult(TDiscardTrigger::OpenClip, &discarded))
        return;
    const std::string previous = AVIPlayer1_->FileName();
    bool played = false;
    try {
        AVIPlayer1_->SetFileName(chosen);
        AVIPlayer1_->Play(0, 1, 1);
        // The player fails silently; a file it could not open has no frames.
        played = AVIPlayer1_->FrameCount() > 0;
    } catch (const std::exception&) {
        played = false;
    }
    if (!played) {
        ShowBox(TBoxKind::Error, UnknownFormatText(), this);
        // The clip that was open before stays open, as the fields describe it.
        AVIPlayer1_->SetFileName(previous);
        AVIPlayer1_->Reopen();
        // So does its result, still to be saved when it was.
        if (discarded)
            resultUnsaved_ = true;
        return;
    }
    // The result of the clip before goes with it: Save must never write it
    // under the name of this clip.
    DiscardResult();
    AVIPlayer1_->SetFileName(std::string());
    AVIPlayer1_->Reopen();
    AVIPlayer1_->SetFileName(chosen);
    currentFileName_ = chosen;

    AVIPlayer1_->SetStretch(true);
    FitInPanel(AVIPlayer1_, AVIPlayer1_->FrameWidth(), AVIPlayer1_->FrameHeight());
    AVIPlayer1_->show();
    Image_avi_->hide();

    const int stopFrame = AVIPlayer1_->StopFrame();
    clipFirst_ = AVIPlayer1_->StartFrame();
    clipLast_ = stopFrame;
    StartEdit_->setText(QString::number(AVIPlayer1_->StartFrame()));
    TrackBar1_->setMinimum(0);
    // A tick every 25th of the clip, rounded half to even (never a tie: 25 is odd).
    TrackBar1_->setTickInterval(stopFrame > 25 ? static_cast<int>(std::lrint(stopFrame / 25.0))
                                               : 1);
    TrackBar1_->setMaximum(stopFrame);

    ParameterGroup_->setEnabled(true);
    FitUnderEdit_->setEnabled(true);
    EndEdit_->setText(QString::number(stopFrame));
    WidthEdit_->setText(QString::number(AVIPlayer1_->FrameWidth()));
    HeightEdit_->setText(QString::number(AVIPlayer1_->FrameHeight()));
    ColorReductionBox_->setCurrentIndex(6);
    DitherModeBox_->setCurrentIndex(1);

    for (QToolButton* button :
         {ToolButton2_, ToolButton3_, ToolButton5_, ToolButton10_, ToolButton11_})
        button->setEnabled(true);
    TrackBar1_->setEnabled(true);
    ToolButton3Click();
    RequestEstimate();
    ShowStatus(QString::fromLatin1(AviOpenedText));
}

void TFormmain::OpenGif(const std::string& chosen) {
    QCoreApplication::processEvents();
    TWaitCursor wait(Qt::WaitCursor);
    ImageGifSplash_B_->hide();
    Gifpreview_B_->show();
    currentFileName_ = chosen;
    try {
        std::unique_ptr<TGraphic> picture;
        const std::string extension = LowerCase(ExtractFileExt(chosen));
        if (extension == ".gif")
            picture = std::make_unique<TGIFDocument>();
        else if (extension == ".bmp")
            picture = std::make_unique<TBitmap>();
        else
            throw std::runtime_error("Unknown picture file extension (" + extension + ")");
        picture->LoadFromFile(chosen);
        Gifpreview_B_->SetPicture(std::move(picture));
    } catch (const std::exception& error) {
        Gifpreview_B_->SetPicture(nullptr);
        ShowBox(TBoxKind::ApplicationError, QString::fromStdString(error.what()), this);
        return;
    }
    const auto* document = dynamic_cast<const TGIFDocument*>(Gifpreview_B_->Picture());
    if (document != nullptr && !document->Empty()) {
        FitInPanel(Gifpreview_B_, document->Width(), document->Height());
        Gifpreview_B_->SetStretch(true);
        ShowStatus(QString::fromLatin1(GifOpenedText));
    } else {
        // Read without an error, yet nothing to show: the person hears why.
        ShowStatus(QString::fromLatin1(GifWithoutFramesText));
    }
}

QString TFormmain::DroppedFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls() || data->urls().size() != 1)
        return {};
    const QUrl url = data->urls().first();
    return url.isLocalFile() ? url.toLocalFile() : QString();
}

void TFormmain::OpenDropped(const QString& path) {
    // A GIF image opens on the GIF to AVI page, anything else as a clip on the first page.
    const bool gif = path.endsWith(QStringLiteral(".gif"), Qt::CaseInsensitive);
    if (gif && ActivePage() == 0)
        Label_Tab1Click();
    else if (!gif && ActivePage() == 1)
        Label_tab2Click();
    // A person who kept an unsaved GIF stays on its tab, and the file is not opened.
    if (ActivePage() != (gif ? 1 : 0))
        return;
    if (gif)
        OpenGif(path.toStdString());
    else
        OpenClip(path.toStdString());
}

void TFormmain::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TFormmain::dropEvent(QDropEvent* event) {
    const QString path = DroppedFile(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    OpenDropped(path);
}

void TFormmain::ToolButton3Click() {
    if (AVIPlayer1_->FileName().empty())
        return;
    if (ToolButton7_->isEnabled()) {
        // Paused: go on from the frame shown.
        AVIPlayer1_->Play(static_cast<std::uint16_t>(CurrentFrame()),
                          static_cast<std::uint16_t>(AVIPlayer1_->StopFrame()), 1);
        ToolButton3_->setEnabled(false);
        ToolButton7_->setEnabled(true);
        ToolButton8_->setEnabled(true);
        return;
    }
    ToolButton3_->setEnabled(false);
    ToolButton7_->setEnabled(true);
    ToolButton8_->setEnabled(true);
    if (TrackBar1_->SelStart() != 0 || TrackBar1_->SelEnd() != 0)
        AVIPlayer1_->Play(static_cast<std::uint16_t>(TrackBar1_->SelStart()),
                          static_cast<std::uint16_t>(TrackBar1_->SelEnd()), 1);
    else
        AVIPlayer1_->Play(0, static_cast<std::uint16_t>(AVIPlayer1_->FrameCount() - 1), 1);
}

void TFormmain::ToolButton8Click() {
    AVIPlayer1_->Stop();
    ToolButton8_->setEnabled(false);
    ToolButton3_->setEnabled(true);
}

void TFormmain::ToolButton7Click() {
    AVIPlayer1_->SetActive(false);
    AVIPlayer1_->SetPosition(0);
    ToolButton3_->setEnabled(true);
    ToolButton7_->setEnabled(false);
    ToolButton8_->setEnabled(false);
}

void TFormmain::ToolButton5Click() {
    if (selectModeIcon_ == 5) {
        ToolButton6_->setEnabled(true);
        ToolButton9_->setEnabled(true);
        TrackBar1_->SetSelStart(TrackBar1_->minimum());
        TrackBar1_->SetSelEnd(TrackBar1_->maximum());
        SetSelectModeIcon(6);
        return;
    }
    ToolButton6_->setEnabled(false);
    ToolButton9_->setEnabled(false);
    TrackBar1_->SetSelStart(0);
    TrackBar1_->SetSelEnd(0);
    SetSelectModeIcon(5);
    StartEdit_->setText(QStringLiteral("0"));
    EndEdit_->setText(QString::number(AVIPlayer1_->FrameCount() - 1));
}

void TFormmain::ToolButton6Click() {
    TrackBar1_->SetSelStart(CurrentFrame());
    StartEdit_->setText(edit1_->text());
}

void TFormmain::ToolButton9Click() {
    TrackBar1_->SetSelEnd(CurrentFrame());
    EndEdit_->setText(edit1_->text());
    AVIPlayer1_->Stop();
    AVIPlayer1_->Play(static_cast<std::uint16_t>(StartEdit_->text().toInt()),
                      static_cast<std::uint16_t>(EndEdit_->text().toInt()), 1);
    ToolButton3_->setEnabled(false);
    ToolButton8_->setEnabled(true);
    ToolButton7_->setEnabled(true);
}

void TFormmain::ToolButton10Click() {
    AVIPlayer1_->SetPosition(CurrentFrame() - 1);
    ToolButton3_->setEnabled(true);
    ToolButton8_->setEnabled(false);
}

void TFormmain::ToolButton11Click() {
    AVIPlayer1_->SetPosition(CurrentFrame() + 1);
    ToolButton3_->setEnabled(true);
    ToolButton8_->setEnabled(false);
}

void TFormmain::edit1Change() {
    if (edit1_->text() == QString::number(AVIPlayer1_->StopFrame())) {
        ToolButton3_->setEnabled(true);
        ToolButton8_->setEnabled(false);
        ToolButton7_->setEnabled(false);
    }
}

void TFormmain::TrackBar1MouseDown() {
    trackDragging_ = true;
}

void TFormmain::TrackBar1MouseMove() {
    edit1_->setText(QString::number(TrackBar1_->value()));
}

void TFormmain::TrackBar1MouseUp() {
    if (ToolButton3_->isEnabled()) {
        AVIPlayer1_->SetPosition(CurrentFrame());
    } else {
        AVIPlayer1_->Stop();
        AVIPlayer1_->Play(static_cast<std::uint16_t>(CurrentFrame()),
                          static_cast<std::uint16_t>(EndEdit_->text().toInt()), 1);
    }
    trackDragging_ = false;
}

void TFormmain::FollowAspect(const QLineEdit* edited) {
    const int clipWidth = AVIPlayer1_->FrameWidth();
    const int clipHeight = AVIPlayer1_->FrameHeight();
    if (!KeepAspectButton_->isChecked() || clipWidth <= 0 || clipHeight <= 0)
        return;
    bool number = false;
    const int given = edited->text().toInt(&number);
    // An emptied field, or one on its way to a number, leaves the other alone.
    if (!number || given <= 0)
        return;
    if (edited == WidthEdit_)
        HeightEdit_->setText(QString::number(AspectSide(given, clipWidth, clipHeight)));
    else
        WidthEdit_->setText(QString::number(AspectSide(given, clipHeight, clipWidth)));
}

bool TFormmain::FilterNumericKey(QKeyEvent* event) {
    const QString text = event->text();
    // Keys that type nothing (arrows, Home, End, Delete, Backspace), the focus
    // keys and the editing commands (Ctrl+A, Ctrl+C, Ctrl+V, Ctrl+X) pass; a
    // paste keeps its digits (KeepDigits).
    if (text.isEmpty() || event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab)
        return false;
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const QChar typed = text.front();
    if ((typed >= QLatin1Char('0') && typed <= QLatin1Char('9')) || !typed.isPrint())
        return false;
    QApplication::beep();
    ShowBox(TBoxKind::Error, QString::fromLatin1(jobmsg::BadInteger), this);
    return true;
}

void TFormmain::StepEditExit() {
    if (checkingStep_ || !IsZeroStep(StepEdit_->text().toStdString()))
        return;
    checkingStep_ = true;
    QApplication::beep();
    ShowBox(TBoxKind::Error, QString::fromLatin1(jobmsg::StepGreaterThanZero), this);
    StepEdit_->clear();
    StepEdit_->setFocus(Qt::OtherFocusReason);
    checkingStep_ = false;
}

void TFormmain::ConvertClick() {
    // The page is read once: a run that pumps messages may end on the other page,
    // and that page's job was not asked for.
    const int page = ActivePage();
    if (page == 0)
        ConvertAviClick();
    else if (page == 1)
        ConvertGifClick();
}

bool TFormmain::RunMayStart() {
    // Without a clip or a step the job says so itself.
    if (AVIPlayer1_->FileName().empty() || StepEdit_->text().isEmpty())
        return true;
    bool startOk = false;
    bool endOk = false;
    bool delayOk = false;
    const int start = StartEdit_->text().toInt(&startOk);
    const int end = EndEdit_->text().toInt(&endOk);
    const int delay = DelayEdit_->text().toInt(&delayOk);
    std::optional<std::string> problem;
    if (startOk && endOk)
        problem = FrameRangeProblem("Start Frame", start, "End Frame", end, clipFirst_, clipLast_);
    if (!problem && delayOk && delay < 0)
        problem = "Frame Delay " + std::to_string(delay) +
                  ": the clip gives no frame rate to take a delay from; type the delay each "
                  "frame shows for, in milliseconds";
    if (!problem)
        return true;
    ShowBox(TBoxKind::Error, QString::fromStdString(*problem), this);
    return false;
}

void TFormmain::ConvertAviClick() {
    const QString limitText = FitUnderEdit_->text().trimmed();
    if (!limitText.isEmpty()) {
        const std::optional<std::int64_t> limit = ParseMegabytes(limitText);
        if (!limit) {
            ShowBox(TBoxKind::Error,
                    QStringLiteral("Fit under '%1': type the most the GIF may take in MB, such as "
                                   "8 or 2.5, or leave the field empty")
                        .arg(limitText),
                    this);
            FitUnderEdit_->setFocus(Qt::OtherFocusReason);
            return;
        }
        if (!RunMayStart())
            return;
        ConvertUnderLimit(*limit);
        return;
    }
    if (!RunMayStart())
        return;
    TAviToGifJob(*host_, *host_).Run();
}

void TFormmain::ConvertGifClick() {
    TGifToAviJob(*host_).Run();
}

std::optional<QString> TFormmain::AskSavePath(QFileDialog& dialog, const QStringList& nameFilters,
                                              const QString& proposed) {
    dialog.setNameFilters(nameFilters);
    if (!proposed.isEmpty()) {
        const QFileInfo info(proposed);
        dialog.setDirectory(info.absolutePath());
        dialog.selectFile(info.fileName());
    } else {
        StartInLastFolder(dialog);
    }
    if (RunModal(dialog) != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    const QString chosen = files.isEmpty() ? QString() : files.first();
    RememberFolder(chosen);
    return chosen;
}

void TFormmain::SaveClick() {
    if (ActivePage() == 1) {
        ConvertGifClick();
        return;
    }
    // Without a GIF document the command does nothing, but says so.
    if (dynamic_cast<TGIFDocument*>(ImageGifPreview_->Picture()) == nullptr &&
        !AVIPlayer1_->FileName().empty())
        ShowStatus(QString::fromLatin1(NothingToSaveText));
    SaveResult();
}

bool TFormmain::SaveResult() {
    auto* document = dynamic_cast<TGIFDocument*>(ImageGifPreview_->Picture());
    if (document == nullptr)
        return false;
    SavePictureDialog1_->setDefaultSuffix(QStringLiteral("gif"));
    const std::optional<QString> chosen =
        AskSavePath(*SavePictureDialog1_, {QStringLiteral("GIF Image (*.gif)")},
                    QString::fromStdString(ChangeFileExt(currentFileName_, ".gif")));
    if (!chosen || chosen->isEmpty())
        return false;
    const std::string path = chosen->toStdString();
    try {
        TWaitCursor wait(Qt::WaitCursor);
        document->OnProgress = [this](TPersistent*, TProgressStage stage, std::uint8_t percent,
                                      bool, const TRect&,
                                      const std::string&) { SaveProgress(stage, percent); };
        // Written beside its name, which it takes only once complete: a full
        // disk or a kill leaves an earlier file as it was.
        TOutputFile output(path);
        document->SaveToFile(output.WritePath());
        output.Commit();
        ImageGifPreview_->repaint();
    } catch (const std::exception& error) {
        ShowBox(TBoxKind::ApplicationError, QString::fromStdString(error.what()), this);
        return false;
    }
    resultUnsaved_ = false;
    ShowStatus(QString::fromLatin1(GifSavedText));
    return true;
}

bool TFormmain::HasUnsavedResult() const {
    return resultUnsaved_ && !running_ && ImageGifPreview_->Picture() != nullptr;
}

bool TFormmain::MayDiscardResult(TDiscardTrigger trigger, bool* discarded) {
    if (discarded != nullptr)
        *discarded = false;
    if (!HasUnsavedResult())
        return true;
    switch (AskBeforeDiscard(trigger, this)) {
    case TDiscardAnswer::Save:
        // A save that is cancelled or fails gives the command up too.
        return SaveResult();
    case TDiscardAnswer::Discard:
        resultUnsaved_ = false;
        if (discarded != nullptr)
            *discarded = true;
        return true;
    case TDiscardAnswer::Cancel:
        break;
    }
    return false;
}

bool TFormmain::MayClose() {
    if (running_)
        return AskStopRunAndClose(this);
    return MayDiscardResult(TDiscardTrigger::Quit);
}

void TFormmain::closeEvent(QCloseEvent* event) {
    // The window system's close asks as the Close button does. The program's
    // own close() has asked already, or must not wait for an answer.
    if (event->spontaneous() && !MayClose()) {
        event->ignore();
        return;
    }
    // A run still going stops before its next frame, so the program ends
    // with the window.
    if (running_)
        stopRequested_ = true;
    QWidget::closeEvent(event);
}

void TFormmain::SaveProgress(TProgressStage stage, int percentDone) {
    switch (stage) {
    case TProgressStage::psStarting:
        ProgressBar_->setValue(0);
        ProgressBar_->setRange(0, 100);
        break;
    case TProgressStage::psRunning:
        ProgressBar_->setValue(percentDone);
        break;
    case TProgressStage::psEnding:
        ProgressBar_->setValue(0);
        break;
    }
}

} // namespace framolo
