#pragma once

#include "convert/frame_params.h"
#include "convert/job_host.h"
#include "convert/job_support.h"
#include "gif/gif_document.h"

#include <atomic>
#include <optional>
#include <ostream>
#include <string>

namespace framolo {

// The command-line tool as the conversion jobs' host: the parameters are the
// options' (Params, fixed for the run), boxes go to the terminal, and there
// are no previews.
// What the tool says of a clip from which no frame could be made into the GIF.
inline constexpr const char* kNoFrameDecoded = jobmsg::NoFrameDecoded;

class TCliHost : public TFixedParamSource, public TPreviewingJobHost {
public:
    TCliHost(std::ostream& out, std::ostream& err, bool quiet, bool progressBar);

    bool Open = true;
    std::string OutputName;
    std::string LastMessage;
    // Set from a signal handler to stop a run.
    static std::atomic<bool> Interrupted;

    bool SourceOpen() override { return Open; }
    const std::string& CurrentFileName() override { return currentFileName_; }
    void SetCurrentFileName(const std::string& name) override { currentFileName_ = name; }
    bool StopRequested() override { return stopRequested_; }
    void SetStopRequested(bool value) override { stopRequested_ = value; }
    void ProcessMessages() override;
    void BeginRun(TJobKind) override {}
    void EndRun(TJobKind) override;
    void SetProgressRange(int minimum, int maximum) override;
    void SetProgressPosition(int position) override;
    int ProgressMaximum() override { return progressMax_; }
    // The jobs the tool runs (streaming AVI to GIF, GIF to AVI) show no
    // previews and leave the report to the tool.
    void ShowPreviewBitmap(const TBitmap&) override {}
    void ShowPreviewDocument(std::unique_ptr<TGIFDocument>) override {}
    TGraphic* PreviewPicture() override { return nullptr; }
    TGIFDocument* SourceDocument() override { return sourceDocument_; }
    void SetSourceDocument(TGIFDocument* document) { sourceDocument_ = document; }
    void ShowReport(int, const std::string&) override {}
    void ShowWarning(const std::string& message) override { Box(message); }
    void ShowError(const std::string& message) override { Box(message); }
    void ShowInformation(const std::string& message) override;
    void ShowMessage(const std::string& message) override;
    void ShowApplicationError(const std::string& message) override;
    std::optional<std::string> AskSaveFileName(const std::string& proposed,
                                               const std::vector<TFileFilter>&) override;

    // After a run that finished: the bar, if one was shown, at 100 % on a
    // line of its own (the run's end took it down).
    void ShowFinishedProgress();

    bool HadError() const { return hadError_; }
    const std::string& LastError() const { return lastError_; }

private:
    void Box(const std::string& message);
    void DrawProgress();
    void DrawBar(int percent);

    std::ostream& out_;
    std::ostream& err_;
    bool quiet_;
    bool progressBar_;
    std::string currentFileName_;
    bool stopRequested_ = false;
    int progressMin_ = 0;
    int progressMax_ = 100;
    int progressPos_ = 0;
    int lastDrawn_ = -1;
    bool barShown_ = false;
    std::optional<TJobKind> endedRun_;
    TGIFDocument* sourceDocument_ = nullptr;
    bool hadError_ = false;
    std::string lastError_;
};

// A warning handler for a GIF document that prints each distinct warning once
// on err.
TGIFWarning PrintWarningsOnce(std::ostream& err);

// Why the clip at `path` could not be opened, in the system's words where it
// has some ("No such file or directory").
std::string OpenFailureReason(const std::string& path);

} // namespace framolo
