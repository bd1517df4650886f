#pragma once

#include <QString>

#include <string>

class QProgressBar;
class QWidget;

namespace framolo {

// The window around the two pages, as the pages and the jobs' host use it:
// the file the jobs work on (a clip, a GIF image, or the clip a GIF became),
// the request to stop a run, the status line, the progress bar and the window
// every box is shown over.
class TPageWindow {
public:
    virtual QWidget* BoxParent() = 0;
    virtual const std::string& CurrentFileName() const = 0;
    virtual void SetCurrentFileName(const std::string& name) = 0;
    virtual bool StopRequested() const = 0;
    virtual void SetStopRequested(bool value) = 0;
    // Clears the status line, adds the text as its only line and scrolls one
    // page down; without scroll the line stays at its top.
    virtual void ShowStatus(const QString& text, bool scroll = true) = 0;
    virtual QProgressBar& Progress() = 0;
    // Gives the focus to the status line, so that no field keeps it.
    virtual void ParkFocus() = 0;

protected:
    ~TPageWindow() = default;
};

} // namespace framolo
