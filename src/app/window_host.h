#pragma once

#include "app/wait_cursor.h"
#include "convert/conversion_host.h"

#include <optional>
#include <string>

namespace framolo {

class TFormmain;

// The conversion jobs' view of the main window: the parameter fields, the
// buttons that swap while a job runs, the wait cursor, the progress bar, the
// previews, the report panel, the boxes and the status line.
class TWindowHost : public TConversionHost {
public:
    explicit TWindowHost(TFormmain& form) : form_(form) {}

    std::string FieldText(TParamField field) override;
    int ColorReductionIndex() override;
    int DitherModeIndex() override;
    void FocusField(TParamField field) override;

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
    void ShowPreviewDocument(const TGIFDocument& document) override;
    TGraphic* PreviewPicture() override;
    TGIFDocument* SourceDocument() override;
    bool PreviewAvi(const std::string& fileName) override;

    void ShowReport(int frameCount, const std::string& widthText, const std::string& heightText,
                    const std::string& sizeKBText) override;

    void ShowWarning(const std::string& message) override;
    void ShowError(const std::string& message) override;
    void ShowInformation(const std::string& message) override;
    void ShowMessage(const std::string& message) override;
    void ShowApplicationError(const std::string& message) override;
    void SetStatusLine(const std::string& line) override;

    std::optional<std::string> AskSaveFileName(const std::string& proposed,
                                               const std::string& filterDescription,
                                               const std::string& filterPattern) override;

private:
    TFormmain& form_;
    // The job that runs, or ran last: the GIF to AVI job's last line is shown
    // without scrolling.
    TJobKind lastKind_ = TJobKind::AviToGif;
    // Set while a run goes on.
    std::optional<TWaitCursor> waitCursor_;
};

} // namespace framolo
