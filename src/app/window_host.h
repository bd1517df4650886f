#pragma once

#include "app/wait_cursor.h"
#include "convert/frame_params.h"
#include "convert/job_host.h"

#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <utility>

class QFileDialog;

namespace framolo {

class TGIFPreview;
class TPageWindow;

// The AVI to GIF page as its job sees it.
class TAviToGifJobView {
public:
    // The text of a parameter field, read whenever the job asks.
    virtual QString FieldText(TParamField field) const = 0;
    virtual void FocusField(TParamField field) = 0;
    // The reduction and dithering the lists choose, and what goes with them.
    virtual void ReadChoices(TFrameParams& params) const = 0;
    virtual bool ClipOpen() const = 0;
    virtual void PausePlayer() = 0;
    // The run's buttons, and while it runs the preview of its frames.
    virtual void SetRunning(bool running) = 0;
    // Where the frames and the GIF made of them are shown.
    virtual TGIFPreview& Result() = 0;
    // Shows the finished GIF, which is then not saved.
    virtual void ShowResult(std::unique_ptr<TGIFDocument> document) = 0;
    virtual void ShowReport(int frameCount, const QString& sizeKBText) = 0;
    virtual void MarkReportStopped() = 0;

protected:
    ~TAviToGifJobView() = default;
};

// The GIF to AVI page as its job sees it.
class TGifToVideoJobView {
public:
    // The GIF image the page shows; null when none.
    virtual TGIFDocument* SourceDocument() = 0;
    // Plays a written clip beside its GIF; false when it cannot.
    virtual bool PreviewVideo(const std::string& fileName) = 0;
    virtual void SetRunning(bool running) = 0;
    // The dialog that asks where the clip goes.
    virtual QFileDialog& OutputDialog() = 0;

protected:
    ~TGifToVideoJobView() = default;
};

// The conversion jobs' view of the main window. As their parameter source it
// reads the parameter fields and the two lists whenever a job asks, so edits
// made during a run count from the next frame on; a field that holds no number
// fails the job at the step that reads it. As their sink it drives the buttons
// that swap while a job runs, the wait cursor, the progress bar, the previews,
// the report panel, the boxes and the status line.
class TWindowHost : public TFrameParamSource, public TPreviewingJobHost {
public:
    TWindowHost(TPageWindow& window, TAviToGifJobView& toGif, TGifToVideoJobView& toAvi);
    ~TWindowHost() override;

    bool HasStep() override;
    void FocusField(TParamField field) override;
    void Read(TFrameParams& params, std::initializer_list<TParamField> fields) override;
    void ReadChoices(TFrameParams& params) override;

    bool SourceOpen() override;
    void StopSourcePlayer() override;
    const std::string& CurrentFileName() override;
    void SetCurrentFileName(const std::string& name) override;
    bool StopRequested() override;
    void SetStopRequested(bool value) override;
    void ProcessMessages() override;

    void BeginRun(TJobKind kind) override;
    void EndRun(TJobKind kind) override;

    void SetProgressRange(int minimum, int maximum) override;
    void SetProgressPosition(int position) override;
    void ShowProgress() override;
    int ProgressMaximum() override;

    void FitGifPreview(int width, int height) override;
    void ShowPreviewBitmap(const TBitmap& bitmap) override;
    void ShowPreviewDocument(std::unique_ptr<TGIFDocument> document) override;
    TGraphic* PreviewPicture() override;
    TGIFDocument* SourceDocument() override;
    bool PreviewAvi(const std::string& fileName) override;

    void ShowReport(int frameCount, const std::string& sizeKBText) override;
    void MarkReportStopped() override;

    void ShowWarning(const std::string& message) override;
    void ShowError(const std::string& message) override;
    void ShowInformation(const std::string& message) override;
    void ShowMessage(const std::string& message) override;
    void ShowApplicationError(const std::string& message) override;
    void SetStatusLine(const std::string& line) override;

    std::optional<std::string> AskSaveFileName(const std::string& proposed,
                                               const std::vector<TFileFilter>& filters) override;

    // While held, a finished run's GIF, report and closing box wait: shown by
    // ReleaseResult, thrown away by DropResult. A run under a size limit shows
    // only a GIF that fits, never an attempt that came out over.
    void HoldResult();
    void ReleaseResult();
    void DropResult();

private:
    void EmptyProgress();

    TPageWindow& window_;
    TAviToGifJobView& toGif_;
    TGifToVideoJobView& toAvi_;
    // The job that runs, or ran last: the GIF to AVI job's last line is shown
    // without scrolling.
    TJobKind lastKind_ = TJobKind::AviToGif;
    // Set while a run goes on.
    std::optional<TWaitCursor> waitCursor_;
    bool holding_ = false;
    std::unique_ptr<TGIFDocument> heldDocument_;
    std::optional<std::pair<int, std::string>> heldReport_;
    std::optional<std::string> heldInformation_;
};

} // namespace framolo
