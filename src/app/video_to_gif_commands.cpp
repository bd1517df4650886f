// The commands of the AVI to GIF page: opening and closing the clip, the
// player, the frame range, the parameter fields, the conversion and saving.
#include "app/video_to_gif_page.h"

#include "app/damage_notes.h"
#include "app/last_folder.h"
#include "app/leave_prompts.h"
#include "app/main_texts.h"
#include "app/message_boxes.h"
#include "app/page_window.h"
#include "app/project_links.h"
#include "app/track_bar.h"
#include "app/wait_cursor.h"
#include "app/window_parts.h"
#include "controls/image_control.h"
#include "controls/places_open_dialog.h"
#include "controls/search_combo_box.h"
#include "convert/avi_to_gif_job.h"
#include "convert/job_support.h"
#include "convert/output_size.h"
#include "gif/gif_document.h"
#include "platform/avifile/video_extensions.h"
#include "platform/graphics/bitmap.h"
#include "platform/streams/output_file.h"
#include "preview/avi_player.h"
#include "preview/gif_preview.h"

#include <QApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QToolButton>

#include <cmath>
#include <exception>
#include <tuple>

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

} // namespace

int TVideoToGifPage::CurrentFrame() const {
    return edit1_->text().toInt();
}

void TVideoToGifPage::ChooseClip(TPlacesOpenDialog& dialog) {
    dialog.SetDefaultExt(QStringLiteral("avi"));
    dialog.SetFilter(AviFilter());
    StartInLastFolder(dialog);
    if (dialog.Execute()) {
        RememberFolder(dialog.FileName());
        OpenClip(dialog.FileName().toStdString());
    }
}

void TVideoToGifPage::OpenClip(const std::string& chosen) {
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
        ShowBox(TBoxKind::Error, UnknownFormatText(), window_.BoxParent());
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
    window_.SetCurrentFileName(chosen);

    AVIPlayer1_->SetStretch(true);
    FitInPanel(AVIPlayer1_, AVIPlayer1_->FrameWidth(), AVIPlayer1_->FrameHeight());
    // A crop belongs to the clip it was drawn on.
    ResetCrop();
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
    // A range marked on the clip before means nothing on this one.
    TrackBar1_->SetSelStart(0);
    TrackBar1_->SetSelEnd(0);
    SetSelectModeIcon(5);

    SetHasClip(true);
    EndEdit_->setText(QString::number(stopFrame));
    WidthEdit_->setText(QString::number(AVIPlayer1_->FrameWidth()));
    HeightEdit_->setText(QString::number(AVIPlayer1_->FrameHeight()));
    ColorReductionBox_->setCurrentIndex(6);
    DitherModeBox_->setCurrentIndex(1);

    Play();
    RequestEstimate();
    window_.ShowStatus(ClipEndsEarlyText(chosen).value_or(QString::fromLatin1(AviOpenedText)));
}

QString TVideoToGifPage::UnknownFormatText() {
    return QStringLiteral("Error, Unknown AVI format, please contact with author (") +
           QString::fromLatin1(SupportMailAddress) + QLatin1Char(')');
}

void TVideoToGifPage::CloseClip() {
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
    playback_ = TPlayback::Stopped;
    SetHasClip(false);
    ResetCrop();
    SetSelectModeIcon(5);
    TrackBar1_->SetSelStart(0);
    TrackBar1_->SetSelEnd(0);
    RequestEstimate();
    window_.ShowStatus(QString::fromLatin1(WelcomeText));
}

void TVideoToGifPage::Play() {
    if (AVIPlayer1_->FileName().empty())
        return;
    if (playback_ != TPlayback::Stopped) {
        // Paused: go on from the frame shown.
        AVIPlayer1_->Play(static_cast<std::uint16_t>(CurrentFrame()),
                          static_cast<std::uint16_t>(AVIPlayer1_->StopFrame()), 1);
        SetPlayback(TPlayback::Playing);
        return;
    }
    SetPlayback(TPlayback::Playing);
    if (TrackBar1_->SelStart() != 0 || TrackBar1_->SelEnd() != 0)
        AVIPlayer1_->Play(static_cast<std::uint16_t>(TrackBar1_->SelStart()),
                          static_cast<std::uint16_t>(TrackBar1_->SelEnd()), 1);
    else
        AVIPlayer1_->Play(0, static_cast<std::uint16_t>(AVIPlayer1_->FrameCount() - 1), 1);
}

void TVideoToGifPage::Pause() {
    AVIPlayer1_->Stop();
    if (playback_ == TPlayback::Playing)
        SetPlayback(TPlayback::Paused);
}

void TVideoToGifPage::StopPlaying() {
    AVIPlayer1_->SetActive(false);
    AVIPlayer1_->SetPosition(0);
    SetPlayback(TPlayback::Stopped);
}

void TVideoToGifPage::ToggleSelectMode() {
    if (!selecting_) {
        TrackBar1_->SetSelStart(TrackBar1_->minimum());
        TrackBar1_->SetSelEnd(TrackBar1_->maximum());
        SetSelectModeIcon(6);
        return;
    }
    TrackBar1_->SetSelStart(0);
    TrackBar1_->SetSelEnd(0);
    SetSelectModeIcon(5);
    StartEdit_->setText(QStringLiteral("0"));
    EndEdit_->setText(QString::number(AVIPlayer1_->FrameCount() - 1));
}

void TVideoToGifPage::SelectStartFrame() {
    TrackBar1_->SetSelStart(CurrentFrame());
    StartEdit_->setText(edit1_->text());
}

void TVideoToGifPage::SelectEndFrame() {
    TrackBar1_->SetSelEnd(CurrentFrame());
    EndEdit_->setText(edit1_->text());
    AVIPlayer1_->Stop();
    AVIPlayer1_->Play(static_cast<std::uint16_t>(StartEdit_->text().toInt()),
                      static_cast<std::uint16_t>(EndEdit_->text().toInt()), 1);
    SetPlayback(TPlayback::Playing);
}

void TVideoToGifPage::PreviousFrame() {
    AVIPlayer1_->SetPosition(CurrentFrame() - 1);
    if (playback_ == TPlayback::Playing)
        SetPlayback(TPlayback::Paused);
}

void TVideoToGifPage::NextFrame() {
    AVIPlayer1_->SetPosition(CurrentFrame() + 1);
    if (playback_ == TPlayback::Playing)
        SetPlayback(TPlayback::Paused);
}

void TVideoToGifPage::FrameShown() {
    if (edit1_->text() == QString::number(AVIPlayer1_->StopFrame()))
        SetPlayback(TPlayback::Stopped);
}

void TVideoToGifPage::TrackPressed() {
    trackDragging_ = true;
}

void TVideoToGifPage::TrackMoved() {
    edit1_->setText(QString::number(TrackBar1_->value()));
}

void TVideoToGifPage::TrackReleased() {
    if (hasClip_ && playback_ != TPlayback::Playing) {
        AVIPlayer1_->SetPosition(CurrentFrame());
    } else {
        AVIPlayer1_->Stop();
        AVIPlayer1_->Play(static_cast<std::uint16_t>(CurrentFrame()),
                          static_cast<std::uint16_t>(EndEdit_->text().toInt()), 1);
    }
    trackDragging_ = false;
}

void TVideoToGifPage::FollowAspect(const QLineEdit* edited) {
    // The crop's aspect while one is set.
    const QSize picture = PictureSize();
    const int clipWidth = picture.width();
    const int clipHeight = picture.height();
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

bool TVideoToGifPage::FilterNumericKey(QKeyEvent* event) {
    const QString text = event->text();
    // Keys that type nothing (arrows, Home, End, Delete, Backspace), the focus
    // keys and the editing commands (Ctrl+A, Ctrl+C, Ctrl+V, Ctrl+X) pass; a
    // paste keeps its digits.
    if (text.isEmpty() || event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab)
        return false;
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const QChar typed = text.front();
    if ((typed >= QLatin1Char('0') && typed <= QLatin1Char('9')) || !typed.isPrint())
        return false;
    QApplication::beep();
    ShowBox(TBoxKind::Error, QString::fromLatin1(jobmsg::BadInteger), window_.BoxParent());
    return true;
}

void TVideoToGifPage::CheckStep() {
    if (checkingStep_ || !IsZeroStep(StepEdit_->text().toStdString()))
        return;
    checkingStep_ = true;
    QApplication::beep();
    ShowBox(TBoxKind::Error, QString::fromLatin1(jobmsg::StepGreaterThanZero), window_.BoxParent());
    StepEdit_->clear();
    StepEdit_->setFocus(Qt::OtherFocusReason);
    checkingStep_ = false;
}

std::optional<std::string> TVideoToGifPage::SizeProblem(int width, int height) {
    // A GIF's sides are 16-bit numbers, and a frame must fit in one bitmap.
    constexpr int kMaxSide = 65535;
    for (const auto& [name, side] : {std::pair{"width", width}, std::pair{"height", height}}) {
        if (side < 1 || side > kMaxSide) {
            std::string field = name;
            field[0] = static_cast<char>(field[0] - 'a' + 'A');
            return field + " " + std::to_string(side) + ": the GIF's " + name + " is 1 to " +
                   std::to_string(kMaxSide) + " pixels";
        }
    }
    if (std::int64_t{width} * height > TBitmap::kMaxPixels)
        return "Width " + std::to_string(width) + " x Height " + std::to_string(height) +
               ": a frame may have at most " + std::to_string(TBitmap::kMaxPixels) + " pixels";
    return std::nullopt;
}

bool TVideoToGifPage::RunMayStart() {
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
    bool widthOk = false;
    bool heightOk = false;
    const int width = WidthEdit_->text().toInt(&widthOk);
    const int height = HeightEdit_->text().toInt(&heightOk);
    if (!problem && widthOk && heightOk)
        problem = SizeProblem(width, height);
    if (!problem && delayOk && delay < 0)
        problem = "Frame Delay " + std::to_string(delay) +
                  ": the clip gives no frame rate to take a delay from; type the delay each "
                  "frame shows for, in milliseconds";
    if (!problem)
        return true;
    ShowBox(TBoxKind::Error, QString::fromStdString(*problem), window_.BoxParent());
    return false;
}

void TVideoToGifPage::Convert() {
    const QString limitText = FitUnderEdit_->text().trimmed();
    if (!limitText.isEmpty()) {
        const std::optional<std::int64_t> limit = ParseMegabytes(limitText);
        if (!limit) {
            ShowBox(TBoxKind::Error,
                    QStringLiteral("Fit under '%1': type the most the GIF may take in MB, such as "
                                   "8 or 2.5, or leave the field empty")
                        .arg(limitText),
                    window_.BoxParent());
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
    TAviToGifJob(*host_, *host_, ConversionThreads()).Run();
}

void TVideoToGifPage::StopRun() {
    window_.SetStopRequested(true);
    ShowRunButtons(false);
}

void TVideoToGifPage::Save() {
    // Without a GIF document the command does nothing, but says so.
    if (dynamic_cast<TGIFDocument*>(ImageGifPreview_->Picture()) == nullptr &&
        !AVIPlayer1_->FileName().empty())
        window_.ShowStatus(QString::fromLatin1(NothingToSaveText));
    SaveResult();
}

bool TVideoToGifPage::SaveResult() {
    auto* document = dynamic_cast<TGIFDocument*>(ImageGifPreview_->Picture());
    if (document == nullptr)
        return false;
    saveDialog_.setDefaultSuffix(QStringLiteral("gif"));
    const std::optional<QString> chosen =
        AskSavePath(saveDialog_, {QStringLiteral("GIF Image (*.gif)")},
                    QString::fromStdString(ChangeFileExt(window_.CurrentFileName(), ".gif")));
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
        ShowBox(TBoxKind::ApplicationError, QString::fromStdString(error.what()),
                window_.BoxParent());
        return false;
    }
    resultUnsaved_ = false;
    window_.ShowStatus(QString::fromLatin1(GifSavedText));
    return true;
}

void TVideoToGifPage::SaveProgress(TProgressStage stage, int percentDone) {
    QProgressBar& bar = window_.Progress();
    switch (stage) {
    case TProgressStage::psStarting:
        bar.setValue(0);
        bar.setRange(0, 100);
        break;
    case TProgressStage::psRunning:
        bar.setValue(percentDone);
        // A large GIF takes seconds to write: the window repaints between
        // its frames, and the keys and clicks wait until it is written.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        break;
    case TProgressStage::psEnding:
        bar.setValue(0);
        break;
    }
}

bool TVideoToGifPage::HasUnsavedResult() const {
    return resultUnsaved_ && !running_ && ImageGifPreview_->Picture() != nullptr;
}

bool TVideoToGifPage::MayDiscardResult(TDiscardTrigger trigger, bool* discarded) {
    if (discarded != nullptr)
        *discarded = false;
    if (!HasUnsavedResult())
        return true;
    switch (AskBeforeDiscard(trigger, window_.BoxParent())) {
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

} // namespace framolo
