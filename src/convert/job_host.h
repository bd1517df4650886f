#pragma once

#include "platform/graphics/graphics.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace framolo {

class TBitmap;
class TGIFDocument;

// Which job is running, for hosts that show per-job buttons.
enum class TJobKind { AviToGif, GifToVideo };

enum class TJobEnd { NotStarted, Finished, Stopped, Failed };

struct TJobOutcome {
    TJobEnd End = TJobEnd::NotStarted;
    int FrameCount = 0;
    // Size of the written file, when the job writes one; for the window's AVI
    // to GIF run, the size of the GIF it shows.
    std::int64_t Bytes = 0;
    std::string Error;
    // GIF to video: frames whose delay of 0 or 1 was shown for a tenth of a second.
    int RaisedDelays = 0;
    // When stopped: the frames the run would have written (AVI to GIF: the
    // range as it stood when the run stopped).
    int PlannedFrames = 0;
};

// One kind of file a save dialog offers: "Avi File ( *.avi)" with "*.avi".
struct TFileFilter {
    std::string Description;
    std::string Pattern;
};

// The program's state a job reads and sets, and the run it marks: the window
// implements it over its controls, the command-line tool over the terminal.
// The parameters come from a TFrameParamSource.
class TJobControl {
public:
    virtual ~TJobControl() = default;

    virtual bool SourceOpen() = 0;
    virtual void StopSourcePlayer() {}
    virtual const std::string& CurrentFileName() = 0;
    virtual void SetCurrentFileName(const std::string& name) = 0;
    virtual bool StopRequested() = 0;
    virtual void SetStopRequested(bool value) = 0;
    // Runs pending user-interface work; a stop command may set StopRequested here.
    virtual void ProcessMessages() = 0;

    // Stop buttons and wait cursor for the time of a run.
    virtual void BeginRun(TJobKind kind) = 0;
    virtual void EndRun(TJobKind kind) = 0;
};

// How far a run has come: a bar from a minimum to a maximum.
class TJobProgress {
public:
    virtual ~TJobProgress() = default;

    virtual void SetProgressRange(int minimum, int maximum) = 0;
    virtual void SetProgressPosition(int position) = 0;
    virtual void ShowProgress() {}
    virtual int ProgressMaximum() = 0;
};

// Where a job shows pictures and its report: the clip's and the GIF's
// previews and the report panel.
class TJobPreview {
public:
    virtual ~TJobPreview() = default;

    // Places the GIF preview for a picture of width x height.
    virtual void FitGifPreview(int width, int height) { (void)width, (void)height; }
    // The preview takes a copy of the bitmap, or the finished document itself:
    // a copy of a long run's frames would hold them twice.
    virtual void ShowPreviewBitmap(const TBitmap& bitmap) = 0;
    virtual void ShowPreviewDocument(std::unique_ptr<TGIFDocument> document) = 0;
    // What the preview of the clip's GIF holds now (null when nothing).
    virtual TGraphic* PreviewPicture() = 0;
    // The GIF document opened to be written as a video (null when none).
    virtual TGIFDocument* SourceDocument() = 0;
    // Plays a written AVI file; false when it cannot be previewed.
    virtual bool PreviewAvi(const std::string& fileName) {
        (void)fileName;
        return true;
    }

    // The report of an AVI to GIF run: the frames converted and the size of
    // the preview's picture in KB (empty when there is none to measure). The
    // output size shown beside them is the host's own: the window shows what
    // its Width and Height fields hold at this moment.
    virtual void ShowReport(int frameCount, const std::string& sizeKBText) = 0;
    // After ShowReport, for a run that was stopped: no GIF was made, so the
    // report says so where the size of the file would stand.
    virtual void MarkReportStopped() {}
};

// What a job says to the person: boxes, the status line, and the question
// for an output file's name.
class TJobMessages {
public:
    virtual ~TJobMessages() = default;

    virtual void ShowWarning(const std::string& message) = 0;
    virtual void ShowError(const std::string& message) = 0;
    virtual void ShowInformation(const std::string& message) = 0;
    // The plain box titled with the program's name.
    virtual void ShowMessage(const std::string& message) = 0;
    // The application's standard display of an error that ended a job.
    virtual void ShowApplicationError(const std::string& message) = 0;
    virtual void SetStatusLine(const std::string& line) { (void)line; }

    // Asks for the output file name, proposing one and offering the kinds of
    // file in `filters` (the first is chosen at first); nullopt when cancelled.
    virtual std::optional<std::string> AskSaveFileName(const std::string& proposed,
                                                       const std::vector<TFileFilter>& filters) = 0;
};

// What every job works with: state, progress and messages. A job that writes
// a GIF into a stream (a size sample, the command line's file) needs no more.
class TJobHost : public TJobControl, public TJobProgress, public TJobMessages {};

// A job that shows what it reads or makes: the window's two jobs, which the
// command line runs too.
class TPreviewingJobHost : public TJobHost, public TJobPreview {};

// The running part every job shares: clears the stop flag, shows the run's
// buttons and cursor, and runs convert; an error it raises ends the run as
// Failed with the error's text in outcome.
void RunJobSteps(TJobControl& control, TJobKind kind, TJobOutcome& outcome,
                 const std::function<void()>& convert);

// What a host shows for an error that ended a run of kind: the GIF writer's
// version error after an AVI to GIF run means that no frame was converted.
std::string JobErrorText(TJobKind kind, const std::string& message);

} // namespace framolo
