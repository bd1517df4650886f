#pragma once

#include "platform/graphics/graphics.h"

#include <cstdint>
#include <optional>
#include <string>

namespace framolo {

class TBitmap;
class TGIFDocument;

// The parameter fields a conversion job reads, as text, when it needs them.
enum class TParamField { Start, End, Step, Width, Height, Delay, Loop };

// Which job is running, for hosts that show per-job buttons.
enum class TJobKind { AviToGif, GifToAvi };

// Everything a conversion job needs from the program around it: the window
// implements it over its controls, the command-line tool over its options.
class TConversionHost {
public:
    virtual ~TConversionHost() = default;

    // ---- Parameters ----
    virtual std::string FieldText(TParamField field) = 0;
    // Selected list items; -1 when none is selected.
    virtual int ColorReductionIndex() = 0;
    virtual int DitherModeIndex() = 0;
    virtual void FocusField(TParamField field) { (void)field; }

    // ---- Program state ----
    virtual bool SourceOpen() = 0;
    virtual void StopSourcePlayer() {}
    virtual const std::string& CurrentFileName() = 0;
    virtual void SetCurrentFileName(const std::string& name) = 0;
    virtual bool StopRequested() = 0;
    virtual void SetStopRequested(bool value) = 0;
    // Runs pending user-interface work; a stop command may set StopRequested here.
    virtual void ProcessMessages() = 0;

    // ---- Running state: stop buttons, wait cursor ----
    virtual void BeginRun(TJobKind kind) = 0;
    virtual void EndRun(TJobKind kind) = 0;

    // ---- Progress bar ----
    virtual void SetProgressRange(int minimum, int maximum) = 0;
    virtual void SetProgressPosition(int position) = 0;
    virtual void ShowProgress() {}
    virtual int ProgressMaximum() = 0;

    // ---- Frames ----
    // Appends one stretched frame to the document being built and returns its
    // index; by default the document imports it with its own settings. A host
    // may build the frame another way; a frame that arrives with a graphic
    // control extension keeps it, and the job only sets its delay.
    virtual int AddFrame(TGIFDocument& document, TBitmap& frame);

    // ---- Previews ----
    // Places the GIF preview for a picture of width x height.
    virtual void FitGifPreview(int width, int height) { (void)width, (void)height; }
    // The preview takes a copy of the bitmap, or of the finished document.
    virtual void ShowPreviewBitmap(const TBitmap& bitmap) = 0;
    virtual void ShowPreviewDocument(const TGIFDocument& document) = 0;
    // What the tab-1 preview holds now (null when nothing).
    virtual TGraphic* PreviewPicture() = 0;
    // The GIF document shown on tab 2 (null when none).
    virtual TGIFDocument* SourceDocument() = 0;
    // Plays a written AVI file; false when it cannot be previewed.
    virtual bool PreviewAvi(const std::string& fileName) {
        (void)fileName;
        return true;
    }

    // ---- Report panel ----
    virtual void ShowReport(int frameCount, const std::string& widthText,
                            const std::string& heightText, const std::string& sizeKBText) = 0;

    // ---- Boxes and status line ----
    virtual void ShowWarning(const std::string& message) = 0;
    virtual void ShowError(const std::string& message) = 0;
    virtual void ShowInformation(const std::string& message) = 0;
    // The plain box titled with the program's name.
    virtual void ShowMessage(const std::string& message) = 0;
    // The application's standard display of an error that ended a job.
    virtual void ShowApplicationError(const std::string& message) = 0;
    virtual void SetStatusLine(const std::string& line) { (void)line; }

    // Asks for the output file name, proposing one; nullopt when cancelled.
    virtual std::optional<std::string> AskSaveFileName(const std::string& proposed,
                                                       const std::string& filterDescription,
                                                       const std::string& filterPattern) = 0;
};

} // namespace framolo
