#pragma once

// TAVIPlayer: a widget that shows one AVI file (or any clip the AVIFile calls
// open). It paints the frame at its position, plays a range of frames at the
// clip's own rate with the clip's sound, and shows the frame stretched over
// the widget, at natural size (optionally centred), or colour-keyed over its
// parent (transparent mode). Failures are silent: a clip that cannot be opened
// leaves the player closed, a sound that cannot be played leaves it silent.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <QColor>
#include <QElapsedTimer>
#include <QImage>
#include <QRect>
#include <QTimer>
#include <QWidget>

#include "platform/avifile/avifile_guards.h"
#include "preview/audio_play.h"

namespace framolo {

class TAVIPlayer;

// What a player tells the window that holds it. The window implements this
// and hands it to SetObserver; several players may share one observer. All
// calls come on the GUI thread.
//
//   class TMainWindow : public QWidget, public TAVIPlayerObserver {
//       void ReportFrameDelay(int ms) override { DelayEdit->setText(QString::number(ms)); }
//       void ReportPosition(int frame) override {
//           TrackBar1->setValue(frame);
//           edit1->setText(QString::number(frame));
//       }
//       bool TrackDragging() const override { return FTrackDragging; }
//   };
class TAVIPlayerObserver {
public:
    virtual ~TAVIPlayerObserver() = default;
    // At every Play: the clip's frame period in milliseconds, rounded to the
    // nearest (halves away from zero); -1 for a clip without a frame rate.
    virtual void ReportFrameDelay(int milliseconds) = 0;
    // After every painted frame: the player's Position. Not called while
    // TrackDragging() is true.
    virtual void ReportPosition(int position) = 0;
    // True while the user holds the track bar.
    virtual bool TrackDragging() const = 0;
};

class TAVIPlayer : public QWidget {
    Q_OBJECT
public:
    using TPlayerEvent = std::function<void(TAVIPlayer* sender)>;

    // A player on the default sound output.
    explicit TAVIPlayer(QWidget* parent = nullptr);
    // A player on `sound` (tests pass a scripted device).
    TAVIPlayer(QWidget* parent, std::unique_ptr<TSoundDevice> sound);
    ~TAVIPlayer() override;

    // ---- Properties; a setter does nothing when the value is unchanged ----

    // A play is running. true plays StartFrame to StopFrame, Repetitions
    // passes, with the frame numbers cut to 16 bits; false stops.
    bool Active() const { return FActive; }
    virtual void SetActive(bool value);
    // Resize the widget to the frame size when a clip opens.
    bool AutoSize() const { return FAutoSize; }
    virtual void SetAutoSize(bool value);
    // Centre an unstretched frame.
    bool Center() const { return FCenter; }
    virtual void SetCenter(bool value);
    // The clip; setting it closes the old one and opens the new one. A play
    // that was running starts again on the new clip from its start.
    const std::string& FileName() const { return FFileName; }
    virtual void SetFileName(const std::string& value);
    // Play the sound during a play.
    bool PlaySound() const { return FPlaySound; }
    virtual void SetPlaySound(bool value);
    // Passes of a play started through SetActive(true); 0 or less: endless.
    std::int32_t Repetitions() const { return FRepetitions; }
    virtual void SetRepetitions(std::int32_t value);
    // The play range; clamped to the clip while one is open.
    std::int32_t StartFrame() const { return FStartFrame; }
    virtual void SetStartFrame(std::int32_t value);
    std::int32_t StopFrame() const { return FStopFrame; }
    virtual void SetStopFrame(std::int32_t value);
    // Scale the frame to the whole widget.
    bool Stretch() const { return FStretch; }
    virtual void SetStretch(bool value);
    // Pixels of the colour of the scaled frame's bottom-left pixel show what
    // the parent draws behind the player.
    bool Transparent() const { return FTransparent; }
    virtual void SetTransparent(bool value);
    // The current frame. Setting it ends a play, clamps to the clip while one
    // is open and repaints.
    std::int32_t Position() const { return FPosition; }
    void SetPosition(std::int32_t value);
    // Fills the widget where no frame is drawn.
    QColor Color() const { return FColor; }
    void SetColor(const QColor& value);

    std::int32_t FrameCount() const { return FFrameCount; }
    std::int32_t FrameWidth() const { return FFrameWidth; }
    std::int32_t FrameHeight() const { return FFrameHeight; }

    // The frame period of the last Play in milliseconds (-1: no rate).
    std::int32_t Interval() const { return FInterval; }
    // Whether the frame clock runs: a play is on at a usable rate.
    bool TimerRunning() const { return FActive && FInterval > 0; }
    // Where the frame goes: its top-left corner (negative when the frame is
    // larger than a centring widget) and its size before any stretching.
    QRect CalcFrameRect() const;

    TAudioPlay& Audio() { return *FAudio; }
    void SetObserver(TAVIPlayerObserver* observer) { FObserver = observer; }
    TAVIPlayerObserver* Observer() const { return FObserver; }

    // ---- Operations ----

    // Plays frames FromFrame to ToFrame, Count passes (0 or less: endless).
    // The first tick shows FromFrame + 1; the range is not clamped.
    void Play(std::uint16_t FromFrame, std::uint16_t ToFrame, std::int32_t Count);
    // Ends the play and keeps the position.
    void Stop();
    virtual void Open();
    virtual void Close();
    void Reopen();

    TPlayerEvent OnOpen;
    TPlayerEvent OnClose;
    TPlayerEvent OnStart;
    TPlayerEvent OnStop;

protected:
    // Each calls its event's handler, if one is set.
    virtual void DoOpen() { Fire(OnOpen); }
    virtual void DoClose() { Fire(OnClose); }
    virtual void DoStart() { Fire(OnStart); }
    virtual void DoStop() { Fire(OnStop); }

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Fire(const TPlayerEvent& event) {
        if (event)
            event(this);
    }
    void ClockFired();
    void ScheduleTick();
    void Tick();
    void CheckEnd();
    void StartSound(std::int32_t From, std::int32_t To);
    std::int32_t ClampFrame(std::int32_t n) const;
    bool PaintBlocked() const;
    void PaintCurrent();
    void DrawFrame(QPainter& painter);
    void FitToFrame();
    void UpdateOpaque();
    // The decoded frame at Position as an image, null when there is none.
    QImage DecodeCurrent();

    bool FOpened = false;
    std::int32_t FFrameCount = 0;
    std::int32_t FFrameWidth = 0;
    std::int32_t FFrameHeight = 0;
    // The open clip's handles, in the order they are acquired.
    struct TClip {
        TAVIFileGuard File;
        TAVIStreamGuard Video;
        TAVIGetFrameGuard Frames;
        TAVIStreamGuard Audio; // none for a clip without sound
    };
    PAVIStream VideoStream() const { return FClip ? FClip->Video.Stream : nullptr; }
    PAVIStream AudioStream() const { return FClip ? FClip->Audio.Stream : nullptr; }

    TAVILibraryGuard FLibrary;
    std::unique_ptr<TClip> FClip;
    bool FPainting = false;
    bool FDestroying = false;
    std::int32_t FRepeatsLeft = 0;
    std::int32_t FInterval = 0;
    std::unique_ptr<TAudioPlay> FAudio;
    // The frame clock: tick n is due n * FInterval ms after Play. Ticks that
    // fall due while the GUI thread is busy are not lost but run one by one,
    // as soon as it is free again, each painting its own frame.
    QTimer FTimer;
    QElapsedTimer FClock;
    std::int64_t FTicksDone = 0;
    TAVIPlayerObserver* FObserver = nullptr;

    bool FActive = false;
    bool FAutoSize = true;
    bool FCenter = true;
    std::string FFileName;
    bool FPlaySound = true;
    std::int32_t FRepetitions = 0;
    std::int32_t FStartFrame = 1;
    std::int32_t FStopFrame = 0;
    bool FStretch = false;
    bool FTransparent = true;
    std::int32_t FPosition = 0;
    QColor FColor;
};

} // namespace framolo
