#pragma once

#include "app/window_actions.h"
#include "app/window_host.h"
#include "convert/frame_params.h"
#include "platform/graphics/graphics.h"

#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class QFileDialog;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QSize;
class QToolButton;
class QWidget;

namespace framolo {

class TAVIPlayer;
class TBackgroundEstimate;
class TCropOverlay;
class TFramedGroupBox;
class TGIFPreview;
class TImageButton;
class TImageControl;
class TPageWindow;
class TPlacesOpenDialog;
class TSearchComboBox;
class TTrackBar;
enum class TDiscardTrigger;

// The AVI to GIF page: the clip's player with its track bar and tool bars,
// the converting parameters, the GIF made of them with its report, and the
// estimate of its size. It owns the open clip, the converted GIF and whether
// that was saved, and whether its conversion runs. Every change of that state
// is announced by Changed, which the window's commands follow.
class TVideoToGifPage : public QObject, public TAviToGifJobView {
    Q_OBJECT
public:
    // Builds the page on sheet. The strip's Convert and Stop buttons swap
    // with the page's own while its conversion runs.
    TVideoToGifPage(QWidget* sheet, TPageWindow& window, TWindowActions& actions,
                    TImageButton* stripConvert, TImageButton* stripStop, QFileDialog& saveDialog);
    ~TVideoToGifPage() override;

    // The jobs' host, made once both pages are.
    void SetHost(TWindowHost& host) { host_ = &host; }

    // ---- State ----
    // The commands that need a clip are enabled.
    bool HasClip() const { return hasClip_; }
    bool Running() const { return running_; }
    TPlayback Playback() const { return playback_; }
    bool Selecting() const { return selecting_; }
    bool TrackDragging() const { return trackDragging_; }
    // Select mode shows icon 5 when off and icon 6 when on.
    int SelectModeIcon() const { return selecting_ ? 6 : 5; }
    void SetSelectModeIcon(int icon);

    TAVIPlayer& Player() { return *AVIPlayer1_; }
    TGIFPreview& Result() override { return *ImageGifPreview_; }
    TBackgroundEstimate& Estimate() { return *estimate_; }

    // ---- The clip and its player ----
    // Asks for a clip in the open dialog and opens it.
    void ChooseClip(TPlacesOpenDialog& dialog);
    void OpenClip(const std::string& fileName);
    // The text of the box shown when a chosen clip cannot be played.
    static QString UnknownFormatText();
    // Empties the fields and disables what needs a clip.
    void CloseClip();
    void Play();
    void Pause();
    void StopPlaying();
    void ToggleSelectMode();
    void SelectStartFrame();
    void SelectEndFrame();
    void PreviousFrame();
    void NextFrame();
    // The current-frame field changed: at the clip's last frame the player stands.
    void FrameShown();
    void TrackPressed();
    void TrackMoved();
    void TrackReleased();
    // The step field lost the focus: a step of 0 is refused.
    void CheckStep();
    void ShowFrameDelay(int milliseconds);
    void ShowPosition(int position);

    // ---- The conversion and its result ----
    void Convert();
    void StopRun();
    // Save as the strip's button does it: says when there is nothing to save.
    void Save();
    // Writes the converted GIF image to a file chosen in the save dialog; true
    // once written.
    bool SaveResult();
    void SaveProgress(TProgressStage stage, int percentDone);
    // A converted GIF image is shown that was never saved.
    bool HasUnsavedResult() const;
    // Asks before `trigger` throws away an unsaved GIF image: true when the
    // command may go on (nothing to lose, saved, or let go). `discarded` learns
    // whether the person let it go.
    bool MayDiscardResult(TDiscardTrigger trigger, bool* discarded = nullptr);
    // Removes the converted GIF image and its report.
    void DiscardResult();
    // Empties and hides the report of the last run.
    void ClearReport();

    // A size in MB as typed in the Fit under field ("8", "2.5"), in bytes;
    // unset for anything else, 0 and less included.
    static std::optional<std::int64_t> ParseMegabytes(const QString& text);

    // ---- The keyboard ----
    // The tool bars' buttons, in their order, and the crop button beside them.
    QList<QToolButton*> ToolButtons() const;
    // The lists, which open with Space.
    QList<QWidget*> Lists() const;
    // The page's controls after its tool bars, in the order Tab takes them.
    QList<QWidget*> TabChain() const;

    // ---- As the AVI to GIF job sees it ----
    // The player holds a clip.
    bool ClipOpen() const override;
    QString FieldText(TParamField field) const override;
    void FocusField(TParamField field) override;
    void ReadChoices(TFrameParams& params) const override;
    void PausePlayer() override { Pause(); }
    void SetRunning(bool running) override;
    void ShowResult(std::unique_ptr<TGIFDocument> document) override;
    void ShowReport(int frameCount, const QString& sizeKBText) override;
    void MarkReportStopped() override;

signals:
    void Changed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Build(QWidget* page);
    void BuildParameterGroup(TFramedGroupBox* group);
    void ConnectControls();
    void SetHasClip(bool has);
    void SetPlayback(TPlayback playback);
    // The Convert buttons while idle, the Stop buttons while running.
    void ShowRunButtons(bool running);
    QLineEdit* Field(TParamField field) const;
    // The number the current-frame field shows; 0 when it shows none.
    int CurrentFrame() const;
    // With keep aspect on and a clip open, the field not edited follows the
    // edited one by the clip's aspect.
    void FollowAspect(const QLineEdit* edited);
    // Digits and Backspace only, in the numeric fields.
    bool FilterNumericKey(QKeyEvent* event);
    // Refuses, with an error box and before any work, a run whose range lies
    // outside the open clip or ends before it starts, whose width or height
    // no GIF frame can have, or whose delay is negative (a clip without a
    // frame rate puts -1 there). Fields that hold no number are left to the
    // job, which fails on them as it always has.
    bool RunMayStart();
    // What is wrong with a size no GIF frame can have; unset for a size it can.
    static std::optional<std::string> SizeProblem(int width, int height);
    // Starts a new estimate of the GIF the fields would make, or clears it
    // when no clip is open or a field holds no usable number.
    void RequestEstimate();
    // The parameters the fields and lists hold; unset when a field holds no number.
    std::optional<TFrameParams> FieldParams();
    // Crop and frame order (video_to_gif_crop.cpp). The crop is the
    // rectangle dragged on the player in crop mode; leaving crop mode, by its
    // button or Escape, clears it.
    void BuildCrop(QWidget* page);
    std::optional<TCropRect> CropRect() const;
    // The crop's size while one is set, else the clip's.
    QSize PictureSize() const;
    void SetCropMode(bool on);
    // No crop, forward order; the controls follow whether a clip is open.
    void ResetCrop();
    void CropChanged();
    // Escape on the crop button or the rectangle while crop mode is on.
    bool CropKey(QEvent* event);
    // Convert with a limit: chooses quality, step and size as the command
    // line does, shows them in the fields, converts, and keeps the result only
    // when it is within limit bytes.
    void ConvertUnderLimit(std::int64_t limit);

    TPageWindow& window_;
    TWindowActions& actions_;
    QFileDialog& saveDialog_;
    TWindowHost* host_ = nullptr;

    bool hasClip_ = false;
    TPlayback playback_ = TPlayback::Stopped;
    bool selecting_ = false;
    bool running_ = false;
    bool trackDragging_ = false;
    // The open clip's first and last frame, as opening it found them.
    int clipFirst_ = 0;
    int clipLast_ = -1;
    // The converted GIF image shown was never saved.
    bool resultUnsaved_ = false;
    // While a limited run converts: the quality chosen for the small-file road.
    std::optional<int> fitQuality_;
    bool checkingStep_ = false;

    TImageButton* ConvertButton_ = nullptr;
    TImageButton* StopButton_ = nullptr;
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
    QLineEdit* FitUnderEdit_ = nullptr;
    QLabel* EstimateLabel_ = nullptr;
    QToolButton* CropButton_ = nullptr;
    TSearchComboBox* OrderBox_ = nullptr;
    TCropOverlay* cropOverlay_ = nullptr;
    std::unique_ptr<TBackgroundEstimate> estimate_;
};

} // namespace framolo
