#pragma once

#include "app/page_window.h"
#include "app/window_parts.h"
#include "preview/avi_player.h"

#include "platform/graphics/graphics.h"

#include <QCloseEvent>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class QFileDialog;
class QDragEnterEvent;
class QDropEvent;
class QMimeData;
class QPlainTextEdit;
class QProgressBar;
class QStackedWidget;

namespace framolo {

class TBackgroundEstimate;
class TGIFPreview;
class TGifToVideoPage;
class TImageButton;
class TImageControl;
class TPlacesOpenDialog;
class TVideoToGifPage;
class TWindowActions;
class TWindowHost;
enum class TDiscardTrigger;

// The program's one window: a borderless 643 x 435 form with a painted title
// bar, a strip of picture buttons, two picture tabs over two pages, a status
// line and a progress bar. Every control carries its name as its object name.
// The work of each tab is its page's; the form's handlers hand each command
// to the page shown.
class TFormmain : public QWidget, public TAVIPlayerObserver, public TPageWindow {
    Q_OBJECT
public:
    static constexpr int ClientWidth = 643;
    static constexpr int ClientHeight = 435;
    // RGB (99, 101, 156), the colour of both pages.
    static constexpr unsigned PageColor = kPageColor;

    TFormmain();
    ~TFormmain() override;

    // ---- State ----
    const std::string& CurrentFileName() const override { return currentFileName_; }
    void SetCurrentFileName(const std::string& name) override { currentFileName_ = name; }
    bool StopRequested() const override { return stopRequested_; }
    void SetStopRequested(bool value) override { stopRequested_ = value; }
    bool TrackDragging() const override;
    // 0 for the AVI to GIF page, 1 for the GIF to AVI page.
    int ActivePage() const;
    // Either conversion runs.
    bool Running() const;

    void ShowStatus(const QString& text, bool scroll = true) override;
    QString StatusText() const;

    // ---- Window commands ----
    void Image1MouseDown();
    void MinimizeClick();
    void CloseClick();
    void HelpClick();
    void WebsiteClick();
    void MailClick();
    // The help page beside the program, or in the installed data folder.
    static QString HelpFilePath();

    // ---- Tabs ----
    void Label_Tab1Click();
    void Label_tab2Click();

    // ---- Commands on the pages ----
    // Open: a clip on the first page, a GIF image on the second.
    void OpenClick();
    // Opens a chosen clip on the first page, or a chosen GIF image on the second.
    void OpenClip(const std::string& fileName);
    void OpenGif(const std::string& fileName);
    // A file dropped on the window opens on the page for its kind.
    void OpenDropped(const QString& path);
    // Close of the first page: empties the fields and disables what needs a clip.
    void ToolButton2Click();
    void ToolButton3Click();  // Play
    void ToolButton8Click();  // Pause
    void ToolButton7Click();  // Stop
    void ToolButton5Click();  // select mode
    void ToolButton6Click();  // select start frame
    void ToolButton9Click();  // select stop frame
    void ToolButton10Click(); // previous frame
    void ToolButton11Click(); // next frame
    void edit1Change();
    void TrackBar1MouseDown();
    void TrackBar1MouseMove();
    void TrackBar1MouseUp();
    void StepEditExit();

    void ConvertClick();
    void ConvertAviClick();
    void ConvertGifClick();
    void StopClick();
    void StopAviClick();
    void StopGifClick();
    void SaveClick();
    void SaveProgress(TProgressStage stage, int percentDone);

    // ---- Nothing is lost without asking ----
    // A converted GIF image is shown that was never saved.
    bool HasUnsavedResult() const;
    // Asks before `trigger` throws away an unsaved GIF image: true when the
    // command may go on (nothing to lose, saved, or let go). `discarded` learns
    // whether the person let it go.
    bool MayDiscardResult(TDiscardTrigger trigger, bool* discarded = nullptr);
    // Asks before the window closes: to stop a running conversion, or to save
    // an unsaved GIF image. True when it may close.
    bool MayClose();
    // Writes the converted GIF image to a file chosen in the save dialog; true
    // once written.
    bool SaveResult();

    // ---- Reports of both players ----
    void ReportFrameDelay(int milliseconds) override;
    void ReportPosition(int position) override;

    TAVIPlayer& AVIPlayer1();
    TAVIPlayer& AVIPlayer2();
    TBackgroundEstimate& SizeEstimate();
    // A size in MB as typed in the Fit under field ("8", "2.5"), in bytes;
    // unset for anything else, 0 and less included.
    static std::optional<std::int64_t> ParseMegabytes(const QString& text);
    TGIFPreview& ImageGifPreview();
    TGIFPreview& Gifpreview_B();
    // Select mode shows icon 5 when off and icon 6 when on.
    int SelectModeIcon() const;
    void SetSelectModeIcon(int icon);

    // The text of the box shown when a chosen clip cannot be played.
    static QString UnknownFormatText();

    // ---- The window as its pages use it ----
    QWidget* BoxParent() override { return this; }
    QProgressBar& Progress() override { return *ProgressBar_; }
    void ParkFocus() override;

protected:
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Asks first when the window system closes the window.
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildTitleBar();
    void BuildCommandStrip();
    void BuildTabs();
    void BuildBottom();
    void ApplyLook();
    void ConnectCommands();
    // Sets what every command may do from the pages' state.
    void UpdateCommands();
    // Space: plays the clip when it may, or else pauses it.
    void PlayOrPause();
    // Ctrl+Tab: the other tab.
    void SwitchTab();
    // Tells the person that nothing opened a link, with what to copy instead.
    void SayLinkDidNotOpen(const QString& what, const QString& copyable);
    // The one local file a drag carries; empty otherwise.
    static QString DroppedFile(const QMimeData* data);

    // The keyboard: the focus order, the names assistive technology reads,
    // and the keys buttons and lists keep for themselves.
    void BuildKeyboard();
    bool KeyboardEvent(QObject* watched, QEvent* event);

    void FormCreate();
    void FormActivate();
    void FormDestroy();

    std::string currentFileName_;
    bool stopRequested_ = false;

    // Title bar and command strip.
    QWidget* Panel1_ = nullptr;
    TImageControl* Image1_ = nullptr;
    TImageControl* Image2_ = nullptr;
    TImageControl* Image9_ = nullptr;
    TImageButton* MinimizeButton_ = nullptr;
    TImageButton* MaximizeButton_ = nullptr;
    TImageButton* CloseButton_ = nullptr;
    TImageButton* OpenButton_ = nullptr;
    TImageButton* SaveButton_ = nullptr;
    TImageButton* ConvertButton_ = nullptr;
    TImageButton* StopButton_ = nullptr;
    TImageButton* MailButton_ = nullptr;
    TImageButton* WebsiteButton_ = nullptr;
    TImageButton* HelpButton_ = nullptr;

    // Tabs and pages.
    QWidget* Panel_pt1_ = nullptr;
    QWidget* Panel_pt2_ = nullptr;
    QStackedWidget* PageControl1_ = nullptr;

    // Bottom.
    QPlainTextEdit* StatusMemo_ = nullptr;
    QProgressBar* ProgressBar_ = nullptr;

    TPlacesOpenDialog* openDialog_ = nullptr;
    QFileDialog* SaveDialog1_ = nullptr;
    QFileDialog* SavePictureDialog1_ = nullptr;

    // Before the pages: they lay their buttons out from the actions.
    TWindowActions* actions_ = nullptr;
    TVideoToGifPage* videoToGif_ = nullptr;
    TGifToVideoPage* gifToVideo_ = nullptr;
    std::unique_ptr<TWindowHost> host_;
};

} // namespace framolo
