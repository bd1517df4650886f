#pragma once

#include "preview/avi_player.h"

#include "platform/graphics/graphics.h"

#include <QCloseEvent>
#include <QHash>
#include <QKeySequence>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class QFileDialog;
class QDragEnterEvent;
class QDropEvent;
class QKeyEvent;
class QMimeData;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QStackedWidget;
class QToolBar;
class QToolButton;

namespace framolo {

class TClickArea;
class TFramedGroupBox;
class TGIFPreview;
class THintToolBar;
class TImageButton;
class TImageControl;
class TPlacesOpenDialog;
class TSearchComboBox;
class TTrackBar;
enum class TJobKind;
enum class TDiscardTrigger;
class TWindowHost;
class TBackgroundEstimate;
struct TFrameParams;

// The program's one window: a borderless 643 x 435 form with a painted title
// bar, a strip of picture buttons, two picture tabs over two pages, a status
// line and a progress bar. Every control carries its name as its object name.
class TFormmain : public QWidget, public TAVIPlayerObserver {
    Q_OBJECT
public:
    static constexpr int ClientWidth = 643;
    static constexpr int ClientHeight = 435;
    // RGB (99, 101, 156), the colour of both pages.
    static constexpr unsigned PageColor = 0x63659C;

    TFormmain();
    ~TFormmain() override;

    // ---- State ----
    const std::string& CurrentFileName() const { return currentFileName_; }
    void SetCurrentFileName(const std::string& name) { currentFileName_ = name; }
    bool StopRequested() const { return stopRequested_; }
    void SetStopRequested(bool value) { stopRequested_ = value; }
    bool TrackDragging() const override { return trackDragging_; }
    // 0 for the AVI to GIF page, 1 for the GIF to AVI page.
    int ActivePage() const;

    // Clears the status line, adds the text as its only line and scrolls one
    // page down; without scroll the line stays at its top.
    void ShowStatus(const QString& text, bool scroll = true);
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

    TAVIPlayer& AVIPlayer1() { return *AVIPlayer1_; }
    TAVIPlayer& AVIPlayer2() { return *AVIPlayer2_; }
    TBackgroundEstimate& SizeEstimate() { return *estimate_; }
    // A size in MB as typed in the Fit under field ("8", "2.5"), in bytes;
    // unset for anything else, 0 and less included.
    static std::optional<std::int64_t> ParseMegabytes(const QString& text);
    TGIFPreview& ImageGifPreview() { return *ImageGifPreview_; }
    TGIFPreview& Gifpreview_B() { return *Gifpreview_B_; }
    // Select mode shows icon 5 when off and icon 6 when on.
    int SelectModeIcon() const { return selectModeIcon_; }
    void SetSelectModeIcon(int icon);

    // The text of the box shown when a chosen clip cannot be played.
    static QString UnknownFormatText();

protected:
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Asks first when the window system closes the window.
    void closeEvent(QCloseEvent* event) override;

private:
    friend class TWindowHost;

    void BuildTitleBar();
    void ConnectCommands();
    // With keep aspect on and a clip open, the field not edited follows the
    // edited one by the clip's aspect.
    void FollowAspect(const QLineEdit* edited);
    // Tells the person that nothing opened a link, with what to copy instead.
    void SayLinkDidNotOpen(const QString& what, const QString& copyable);
    // Places a preview showing a picture of width x height inside its panel.
    static void FitInPanel(QWidget* preview, int width, int height);
    // The number the current-frame field shows; 0 when it shows none.
    int CurrentFrame() const;
    // Refuses, with an error box and before any work, a run whose range lies
    // outside the open clip or ends before it starts, or whose delay is
    // negative (a clip without a frame rate puts -1 there). Fields that hold
    // no number are left to the job, which fails on them as it always has.
    bool RunMayStart();
    // Digits and Backspace only, in the numeric fields.
    bool FilterNumericKey(QKeyEvent* event);
    // The one local file a drag carries; empty otherwise.
    static QString DroppedFile(const QMimeData* data);
    // Runs a save dialog with one name filter, proposing a path when one is
    // given: the chosen file, empty when none; nothing when cancelled.
    static std::optional<QString> AskSavePath(QFileDialog& dialog, const QStringList& nameFilters,
                                              const QString& proposed);
    // Starts a new estimate of the GIF the fields would make, or clears it
    // when no clip is open or a field holds no usable number.
    void RequestEstimate();
    // The parameters the fields and lists hold; unset when a field holds no number.
    std::optional<TFrameParams> FieldParams();
    // Convert with a limit: chooses quality, step and size as the command
    // line does, shows them in the fields, converts, and keeps the result only
    // when it is within limit bytes.
    void ConvertUnderLimit(std::int64_t limit);
    void BuildCommandStrip();
    void BuildTabs();
    void BuildPage1(QWidget* page);
    void BuildParameterGroup(TFramedGroupBox* group);
    void BuildPage2(QWidget* page);
    void BuildBottom();
    void ApplyLook();

    // The Convert buttons of a job while it is idle, its Stop buttons while it runs.
    void ShowRunButtons(TJobKind kind, bool running);
    // Removes the converted GIF image and its report.
    void DiscardResult();

    // The keyboard: shortcuts, focus order, the names assistive technology
    // reads, and the keys the fields and buttons keep for themselves.
    void BuildKeyboard();
    void AddShortcut(const QKeySequence& keys, void (TFormmain::*command)());
    // Shows a hint with the shortcut that does the same; the hint text itself
    // stays as it is.
    void NameShortcut(QWidget* control, const QString& keys);
    bool KeyboardEvent(QObject* watched, QEvent* event);
    // A paste into a number field keeps its digits.
    static void KeepDigits(QLineEdit* field);
    // The keyboard's commands: each does what its button does, and nothing
    // while that button cannot be used.
    void ConvertKey();
    void StopKey();
    void PlayPauseKey();
    void PreviousFrameKey();
    void NextFrameKey();
    void CloseClipKey();
    void SwitchTabKey();

    void FormCreate();
    void FormActivate();
    void FormDestroy();

    TImageButton* MakeCommandButton(QWidget* parent, const char* name, const char* glyph,
                                    QRect geometry, const char* hint);
    QToolButton* MakeToolButton(QToolBar* bar, const char* name, const char* icon,
                                const char* hint);

    std::string currentFileName_;
    bool stopRequested_ = false;
    bool running_ = false; // a conversion job runs
    bool trackDragging_ = false;
    int selectModeIcon_ = 5;
    // The open clip's first and last frame, as opening it found them.
    int clipFirst_ = 0;
    int clipLast_ = -1;
    // The converted GIF image shown was never saved.
    bool resultUnsaved_ = false;

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

    // First page.
    TFramedGroupBox* ParameterGroup_ = nullptr;
    QWidget* Panel2_ = nullptr;
    TImageControl* Image_avi_ = nullptr;
    TAVIPlayer* AVIPlayer1_ = nullptr;
    TGIFPreview* ImageGifPreview_ = nullptr;
    TImageControl* Image_Gif_ = nullptr;
    TTrackBar* TrackBar1_ = nullptr;
    QLineEdit* edit1_ = nullptr;
    QToolButton* ToolButton1_ = nullptr;
    QToolButton* ToolButton2_ = nullptr;
    QToolButton* ToolButton3_ = nullptr;
    QToolButton* ToolButton8_ = nullptr;
    QToolButton* ToolButton7_ = nullptr;
    QToolButton* ToolButton5_ = nullptr;
    QToolButton* ToolButton6_ = nullptr;
    QToolButton* ToolButton9_ = nullptr;
    QToolButton* ToolButton10_ = nullptr;
    QToolButton* ToolButton11_ = nullptr;
    TSearchComboBox* ColorReductionBox_ = nullptr;
    TSearchComboBox* DitherModeBox_ = nullptr;
    QLineEdit* StartEdit_ = nullptr;
    QLineEdit* EndEdit_ = nullptr;
    QLineEdit* StepEdit_ = nullptr;
    QLineEdit* WidthEdit_ = nullptr;
    QLineEdit* HeightEdit_ = nullptr;
    QToolButton* KeepAspectButton_ = nullptr;
    QLineEdit* DelayEdit_ = nullptr;
    QLineEdit* LoopEdit_ = nullptr;
    QLabel* ReportWidthLabel_ = nullptr;
    QLabel* ReportHeightLabel_ = nullptr;
    QLabel* ReportFrameCountLabel_ = nullptr;
    QLabel* Filesize_ = nullptr;
    QLabel* _kb_ = nullptr;
    QLabel* reportWidthUnit_ = nullptr;
    QLabel* reportHeightUnit_ = nullptr;
    TImageButton* ConvertAviButton_ = nullptr;
    TImageButton* StopAviButton_ = nullptr;

    // Second page.
    TImageControl* ImageGifSplash_B_ = nullptr;
    TGIFPreview* Gifpreview_B_ = nullptr;
    TAVIPlayer* AVIPlayer2_ = nullptr;
    TImageControl* ImageAviSplash_B_ = nullptr;
    TImageButton* ConvertGifButton_ = nullptr;
    TImageButton* StopGifButton_ = nullptr;

    // Bottom.
    QPlainTextEdit* StatusMemo_ = nullptr;
    QProgressBar* ProgressBar_ = nullptr;

    TPlacesOpenDialog* openDialog_ = nullptr;
    QFileDialog* SaveDialog1_ = nullptr;
    QFileDialog* SavePictureDialog1_ = nullptr;
    QLabel* cannotPreviewLabel_ = nullptr;
    std::unique_ptr<TWindowHost> host_;
    QLineEdit* FitUnderEdit_ = nullptr;
    QLabel* EstimateLabel_ = nullptr;
    std::unique_ptr<TBackgroundEstimate> estimate_;
    // While a limited run converts: the quality chosen for the small-file road.
    std::optional<int> fitQuality_;
    bool checkingStep_ = false;
    // Controls whose hint is shown with a shortcut, and its keys.
    QHash<QObject*, QString> shortcutHints_;
};

} // namespace framolo
