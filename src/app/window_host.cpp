#include "app/window_host.h"

#include "app/message_boxes.h"
#include "app/page_window.h"
#include "app/window_parts.h"
#include "convert/job_support.h"
#include "gif/gif_document.h"
#include "platform/graphics/bitmap.h"
#include "preview/gif_preview.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QProgressBar>

namespace framolo {

namespace {
QString Q(const std::string& text) {
    return QString::fromStdString(text);
}
} // namespace

TWindowHost::TWindowHost(TPageWindow& window, TAviToGifJobView& toGif, TGifToVideoJobView& toAvi)
    : window_(window), toGif_(toGif), toAvi_(toAvi) {}

TWindowHost::~TWindowHost() = default;

bool TWindowHost::HasStep() {
    return !toGif_.FieldText(TParamField::Step).isEmpty();
}

void TWindowHost::FocusField(TParamField field) {
    toGif_.FocusField(field);
}

void TWindowHost::Read(TFrameParams& params, std::initializer_list<TParamField> fields) {
    for (const TParamField field : fields)
        params[field] = StrToInt(toGif_.FieldText(field).toStdString());
}

void TWindowHost::ReadChoices(TFrameParams& params) {
    toGif_.ReadChoices(params);
}

bool TWindowHost::SourceOpen() {
    return toGif_.ClipOpen();
}

void TWindowHost::StopSourcePlayer() {
    toGif_.PausePlayer();
}

const std::string& TWindowHost::CurrentFileName() {
    return window_.CurrentFileName();
}

void TWindowHost::SetCurrentFileName(const std::string& name) {
    window_.SetCurrentFileName(name);
}

bool TWindowHost::StopRequested() {
    return window_.StopRequested();
}

void TWindowHost::SetStopRequested(bool value) {
    window_.SetStopRequested(value);
}

void TWindowHost::ProcessMessages() {
    QCoreApplication::processEvents();
}

void TWindowHost::BeginRun(TJobKind kind) {
    lastKind_ = kind;
    // Nothing the last run said stays in sight while this one works.
    window_.ShowStatus(QString());
    if (kind == TJobKind::AviToGif)
        toGif_.SetRunning(true);
    else
        toAvi_.SetRunning(true);
    if (!waitCursor_)
        waitCursor_.emplace(Qt::WaitCursor);
}

void TWindowHost::EndRun(TJobKind kind) {
    if (kind == TJobKind::AviToGif)
        toGif_.SetRunning(false);
    else
        toAvi_.SetRunning(false);
    waitCursor_.reset();
    if (window_.StopRequested())
        EmptyProgress();
}

void TWindowHost::EmptyProgress() {
    window_.Progress().setValue(window_.Progress().minimum());
}

void TWindowHost::SetProgressRange(int minimum, int maximum) {
    window_.Progress().setRange(minimum, maximum);
}

void TWindowHost::SetProgressPosition(int position) {
    window_.Progress().setValue(position);
}

void TWindowHost::ShowProgress() {
    window_.Progress().show();
}

int TWindowHost::ProgressMaximum() {
    return window_.Progress().maximum();
}

void TWindowHost::FitGifPreview(int width, int height) {
    FitInPanel(&toGif_.Result(), width, height);
    toGif_.Result().SetStretch(true);
}

void TWindowHost::ShowPreviewBitmap(const TBitmap& bitmap) {
    auto copy = std::make_unique<TBitmap>();
    copy->Assign(&bitmap);
    toGif_.Result().SetPicture(std::move(copy));
    toGif_.Result().repaint();
}

void TWindowHost::ShowPreviewDocument(std::unique_ptr<TGIFDocument> document) {
    if (holding_) {
        heldDocument_ = std::move(document);
        return;
    }
    toGif_.ShowResult(std::move(document));
}

TGraphic* TWindowHost::PreviewPicture() {
    if (heldDocument_)
        return heldDocument_.get();
    return toGif_.Result().Picture();
}

TGIFDocument* TWindowHost::SourceDocument() {
    return toAvi_.SourceDocument();
}

bool TWindowHost::PreviewAvi(const std::string& fileName) {
    return toAvi_.PreviewVideo(fileName);
}

void TWindowHost::ShowReport(int frameCount, const std::string& sizeKBText) {
    if (holding_) {
        heldReport_.emplace(frameCount, sizeKBText);
        return;
    }
    toGif_.ShowReport(frameCount, Q(sizeKBText));
}

void TWindowHost::MarkReportStopped() {
    ReleaseResult();
    toGif_.MarkReportStopped();
    // A full bar would say the run went to its end.
    EmptyProgress();
}

void TWindowHost::ShowWarning(const std::string& message) {
    ShowBox(TBoxKind::Warning, Q(message), window_.BoxParent());
}

void TWindowHost::ShowError(const std::string& message) {
    ShowBox(TBoxKind::Error, Q(message), window_.BoxParent());
}

void TWindowHost::ShowInformation(const std::string& message) {
    if (holding_) {
        heldInformation_ = message;
        return;
    }
    ShowBox(TBoxKind::Information, Q(message), window_.BoxParent());
}

void TWindowHost::HoldResult() {
    DropResult();
    holding_ = true;
}

void TWindowHost::ReleaseResult() {
    holding_ = false;
    if (heldDocument_)
        ShowPreviewDocument(std::move(heldDocument_));
    if (heldReport_)
        ShowReport(heldReport_->first, heldReport_->second);
    heldReport_.reset();
    if (heldInformation_) {
        const std::string message = *heldInformation_;
        heldInformation_.reset();
        ShowInformation(message);
    }
}

void TWindowHost::DropResult() {
    holding_ = false;
    heldDocument_.reset();
    heldReport_.reset();
    heldInformation_.reset();
}

void TWindowHost::ShowMessage(const std::string& message) {
    ShowBox(TBoxKind::Plain, Q(message), window_.BoxParent());
}

void TWindowHost::ShowApplicationError(const std::string& message) {
    ShowBox(TBoxKind::ApplicationError, Q(JobErrorText(lastKind_, message)), window_.BoxParent());
}

void TWindowHost::SetStatusLine(const std::string& line) {
    window_.ShowStatus(Q(line), lastKind_ != TJobKind::GifToVideo);
}

std::optional<std::string> TWindowHost::AskSaveFileName(const std::string& proposed,
                                                        const std::vector<TFileFilter>& filters) {
    QStringList names;
    for (const TFileFilter& filter : filters)
        names << Q(filter.Description) + QStringLiteral(" (") + Q(filter.Pattern) +
                     QLatin1Char(')');
    QFileDialog& dialog = toAvi_.OutputDialog();
    const std::optional<QString> chosen = AskSavePath(dialog, names, Q(proposed));
    if (!chosen)
        return std::nullopt;
    // A name typed without an extension takes the one of the kind chosen in
    // the dialog, when that is not the first.
    const int kind = static_cast<int>(names.indexOf(dialog.selectedNameFilter()));
    if (kind > 0 && !chosen->isEmpty() && QFileInfo(*chosen).suffix().isEmpty()) {
        const std::string& pattern = filters[static_cast<std::size_t>(kind)].Pattern;
        return chosen->toStdString() + pattern.substr(pattern.find('.'));
    }
    return chosen->toStdString();
}

} // namespace framolo
