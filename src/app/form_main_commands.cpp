// The form's handlers: each command goes to the page it belongs to, or to the
// page shown. Also what both pages share: dropped files, closing, and the
// players' reports.
#include "app/form_main.h"

#include "app/gif_to_video_page.h"
#include "app/leave_prompts.h"
#include "app/video_to_gif_page.h"
#include "app/window_actions.h"
#include "controls/image_button.h"
#include "preview/gif_preview.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace framolo {

void TFormmain::ConnectCommands() {
    videoToGif_->Player().SetObserver(this);
    gifToVideo_->Player().SetObserver(this);
    // A double click on a run button starts the run and no more: its second
    // click would land on the stop button that took the button's place.
    for (TImageButton* run : {ConvertButton_, StopButton_})
        run->SetIgnoresDoubleClick(true);
    actions_->Bind(OpenButton_, TCommand::Open);
    actions_->Bind(SaveButton_, TCommand::Save);
    actions_->Bind(ConvertButton_, TCommand::Convert);
    actions_->Bind(StopButton_, TCommand::Stop);
    actions_->Bind(HelpButton_, TCommand::Help);
    const auto on = [this](TCommand command, void (TFormmain::*handler)()) {
        connect(actions_->Action(command), &QAction::triggered, this,
                [this, handler] { (this->*handler)(); });
    };
    on(TCommand::Open, &TFormmain::OpenClick);
    on(TCommand::Save, &TFormmain::SaveClick);
    on(TCommand::Convert, &TFormmain::ConvertClick);
    on(TCommand::Stop, &TFormmain::StopClick);
    on(TCommand::Help, &TFormmain::HelpClick);
    on(TCommand::CloseClip, &TFormmain::ToolButton2Click);
    on(TCommand::Play, &TFormmain::ToolButton3Click);
    on(TCommand::Pause, &TFormmain::ToolButton8Click);
    on(TCommand::StopPlaying, &TFormmain::ToolButton7Click);
    on(TCommand::SelectMode, &TFormmain::ToolButton5Click);
    on(TCommand::SelectStart, &TFormmain::ToolButton6Click);
    on(TCommand::SelectEnd, &TFormmain::ToolButton9Click);
    on(TCommand::PreviousFrame, &TFormmain::ToolButton10Click);
    on(TCommand::NextFrame, &TFormmain::ToolButton11Click);
    on(TCommand::PlayPause, &TFormmain::PlayOrPause);
    on(TCommand::SwitchTab, &TFormmain::SwitchTab);
}

void TFormmain::PlayOrPause() {
    QAction* play = actions_->Action(TCommand::Play);
    (play->isEnabled() ? play : actions_->Action(TCommand::Pause))->trigger();
}

void TFormmain::OpenClick() {
    if (ActivePage() == 0)
        videoToGif_->ChooseClip(*openDialog_);
    else if (ActivePage() == 1)
        gifToVideo_->ChooseGif(*openDialog_);
}

void TFormmain::OpenClip(const std::string& fileName) {
    videoToGif_->OpenClip(fileName);
}

void TFormmain::OpenGif(const std::string& fileName) {
    gifToVideo_->OpenGif(fileName);
}

QString TFormmain::UnknownFormatText() {
    return TVideoToGifPage::UnknownFormatText();
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

void TFormmain::ToolButton2Click() {
    videoToGif_->CloseClip();
}

void TFormmain::ToolButton3Click() {
    videoToGif_->Play();
}

void TFormmain::ToolButton8Click() {
    videoToGif_->Pause();
}

void TFormmain::ToolButton7Click() {
    videoToGif_->StopPlaying();
}

void TFormmain::ToolButton5Click() {
    videoToGif_->ToggleSelectMode();
}

void TFormmain::ToolButton6Click() {
    videoToGif_->SelectStartFrame();
}

void TFormmain::ToolButton9Click() {
    videoToGif_->SelectEndFrame();
}

void TFormmain::ToolButton10Click() {
    videoToGif_->PreviousFrame();
}

void TFormmain::ToolButton11Click() {
    videoToGif_->NextFrame();
}

void TFormmain::edit1Change() {
    videoToGif_->FrameShown();
}

void TFormmain::TrackBar1MouseDown() {
    videoToGif_->TrackPressed();
}

void TFormmain::TrackBar1MouseMove() {
    videoToGif_->TrackMoved();
}

void TFormmain::TrackBar1MouseUp() {
    videoToGif_->TrackReleased();
}

void TFormmain::StepEditExit() {
    videoToGif_->CheckStep();
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

void TFormmain::ConvertAviClick() {
    videoToGif_->Convert();
}

void TFormmain::ConvertGifClick() {
    gifToVideo_->Convert();
}

void TFormmain::StopClick() {
    // Dispatched by the page shown at this moment, tested for each page in turn.
    if (ActivePage() == 0)
        StopAviClick();
    if (ActivePage() == 1)
        StopGifClick();
}

void TFormmain::StopAviClick() {
    videoToGif_->StopRun();
}

void TFormmain::StopGifClick() {
    gifToVideo_->StopRun();
}

void TFormmain::SaveClick() {
    if (ActivePage() == 1) {
        ConvertGifClick();
        return;
    }
    videoToGif_->Save();
}

bool TFormmain::SaveResult() {
    return videoToGif_->SaveResult();
}

void TFormmain::SaveProgress(TProgressStage stage, int percentDone) {
    videoToGif_->SaveProgress(stage, percentDone);
}

bool TFormmain::HasUnsavedResult() const {
    return videoToGif_->HasUnsavedResult();
}

bool TFormmain::MayDiscardResult(TDiscardTrigger trigger, bool* discarded) {
    return videoToGif_->MayDiscardResult(trigger, discarded);
}

bool TFormmain::MayClose() {
    if (Running())
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
    if (Running())
        stopRequested_ = true;
    QWidget::closeEvent(event);
}

bool TFormmain::TrackDragging() const {
    return videoToGif_->TrackDragging();
}

void TFormmain::ReportFrameDelay(int milliseconds) {
    videoToGif_->ShowFrameDelay(milliseconds);
}

void TFormmain::ReportPosition(int position) {
    videoToGif_->ShowPosition(position);
}

TAVIPlayer& TFormmain::AVIPlayer1() {
    return videoToGif_->Player();
}

TAVIPlayer& TFormmain::AVIPlayer2() {
    return gifToVideo_->Player();
}

TBackgroundEstimate& TFormmain::SizeEstimate() {
    return videoToGif_->Estimate();
}

std::optional<std::int64_t> TFormmain::ParseMegabytes(const QString& text) {
    return TVideoToGifPage::ParseMegabytes(text);
}

TGIFPreview& TFormmain::ImageGifPreview() {
    return videoToGif_->Result();
}

TGIFPreview& TFormmain::Gifpreview_B() {
    return gifToVideo_->Preview();
}

int TFormmain::SelectModeIcon() const {
    return videoToGif_->SelectModeIcon();
}

void TFormmain::SetSelectModeIcon(int icon) {
    videoToGif_->SetSelectModeIcon(icon);
}

} // namespace framolo
