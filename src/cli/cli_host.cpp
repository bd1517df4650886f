#include "cli/cli_host.h"

#include "convert/job_support.h"
#include "platform/avifile/avifile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>

namespace framolo {

std::atomic<bool> TCliHost::Interrupted{false};

TCliHost::TCliHost(std::ostream& out, std::ostream& err, bool quiet, bool progressBar)
    : out_(out), err_(err), quiet_(quiet), progressBar_(progressBar) {}

void TCliHost::ProcessMessages() {
    if (Interrupted.load())
        stopRequested_ = true;
}

void TCliHost::EndRun(TJobKind kind) {
    endedRun_ = kind;
    if (progressBar_ && lastDrawn_ >= 0) {
        err_ << "\r\033[K" << std::flush;
        lastDrawn_ = -1;
    }
}

void TCliHost::SetProgressRange(int minimum, int maximum) {
    progressMin_ = minimum;
    progressMax_ = maximum;
}

void TCliHost::SetProgressPosition(int position) {
    progressPos_ = std::clamp(position, progressMin_, std::max(progressMin_, progressMax_));
    DrawProgress();
}

void TCliHost::DrawProgress() {
    if (!progressBar_ || quiet_)
        return;
    const int span = progressMax_ - progressMin_;
    const int percent =
        span > 0
            ? static_cast<int>(static_cast<std::int64_t>(progressPos_ - progressMin_) * 100 / span)
            : 0;
    if (percent == lastDrawn_)
        return;
    lastDrawn_ = percent;
    barShown_ = true;
    DrawBar(percent);
}

void TCliHost::DrawBar(int percent) {
    constexpr int kBar = 40;
    const int filled = percent * kBar / 100;
    err_ << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
         << std::string(static_cast<std::size_t>(kBar - filled), ' ') << "] " << percent << "%"
         << std::flush;
}

void TCliHost::ShowFinishedProgress() {
    if (!barShown_)
        return;
    DrawBar(100);
    err_ << "\n" << std::flush;
    barShown_ = false;
}

std::string OpenFailureReason(const std::string& path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
        return std::strerror(EISDIR);
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return std::strerror(errno != 0 ? errno : ENOENT);
    std::fclose(file);
    PAVIFile clip = nullptr;
    const THResult opened = AVIFileOpen(clip, path, OF_SHARE_DENY_WRITE);
    if (clip != nullptr)
        AVIFileRelease(clip);
    if (opened == AVIERR_UNSUPPORTED)
        return "the clip's frame numbers are too large";
    return "not a video file that can be read";
}

void TCliHost::ShowApplicationError(const std::string& message) {
    const std::string text = endedRun_ ? JobErrorText(*endedRun_, message) : message;
    if (text == jobmsg::FailedOpenFile)
        Box(text + ": " + OpenFailureReason(currentFileName_));
    else
        Box(text);
}

TGIFWarning PrintWarningsOnce(std::ostream& err) {
    auto seen = std::make_shared<std::set<std::string>>();
    return [&err, seen](TPersistent*, int, const std::string& message) {
        if (seen->insert(message).second)
            err << "framolo-cli: warning: " << message << "\n" << std::flush;
    };
}

void TCliHost::ShowInformation(const std::string&) {
    // The success box has nothing to add on a terminal: the report says it all.
}

void TCliHost::ShowMessage(const std::string& message) {
    // The jobs use the plain box for "nothing to do" and for the final word of
    // GIF to AVI; the caller decides where each goes.
    LastMessage = message;
}

void TCliHost::Box(const std::string& message) {
    hadError_ = true;
    lastError_ = message;
    err_ << "framolo-cli: " << message << "\n" << std::flush;
}

std::optional<std::string> TCliHost::AskSaveFileName(const std::string&,
                                                     const std::vector<TFileFilter>&) {
    return OutputName;
}

} // namespace framolo
