#pragma once

// TGIFPainter walks a document's frames with their delays, disposal methods
// and loop count. A threaded painter runs its own thread, which only waits and
// computes delays: every step that reads the document, draws or fires an event
// runs on the GUI thread through TMainThreadCalls, so the document and the
// target canvas are only ever touched by the GUI thread.

#include "gif/animation/painter_support.h"
#include "gif/gif_document.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <thread>

namespace framolo {

// Receives the error that ended a threaded painter's run, on the GUI thread
// when the painter is freed. Unset: the animation just stops.
extern std::function<void(std::exception_ptr)> PainterErrorHandler;

class TPainterRegistry;

class TGIFPainter : public TPersistent {
public:
    // Stores itself into *slot. Created suspended: a threaded painter starts
    // its thread in Launch. A painter that registry started leaves it when it
    // ends.
    TGIFPainter(TGIFDocument* document, TGIFDrawOptions options, const TRect& rect, TCanvas* canvas,
                TGIFPainter** slot, TPainterRegistry* registry = nullptr);
    ~TGIFPainter() override;
    TGIFPainter(const TGIFPainter&) = delete;
    TGIFPainter& operator=(const TGIFPainter&) = delete;

    // Starts the thread of a threaded painter.
    void Launch();
    // Ends the run as soon as it can: wakes a frame wait and drops queued steps.
    void Halt();
    bool Threaded() const { return (options_ & poThreaded) != 0; }
    // The document is going away: forget it and never touch it again. Called
    // under the registry's lock.
    void DocumentDestroyed();

    // The thread body, or the whole run of a painter that is not threaded.
    void RunAnimation();
    // Runs step on the GUI thread (directly when not threaded); nothing once
    // terminated. False when the step did not run.
    bool RunOnMainThread(const std::function<void()>& step);
    void PaintFrameDirect();
    void PaintFrameComposed();
    void RestoreFrameArea();
    // Forgets the document and frees the buffers; on the GUI thread.
    void DetachFromImage();

    TGIFDocument* OwnerImage() const { return ownerImage_; }
    TCanvas* Target() const { return target_; }
    const TRect& TargetRect() const { return targetRect_; }
    TGIFDrawOptions Options() const { return options_; }
    std::int32_t SpeedPercent() const { return speedPercent_; }
    TColor BackgroundColor() const { return backgroundColor_; }
    bool Terminated() const { return terminated_.load(); }
    bool Launched() const { return launched_; }
    TBitmap* ComposeBuffer() const { return compose_ ? &compose_->Bitmap : nullptr; }
    TBitmap* PreviousBuffer() const { return previous_ ? &previous_->Bitmap : nullptr; }
    TBitmap* UnderlayBuffer() const { return underlay_ ? &underlay_->Bitmap : nullptr; }
    TAutoResetEvent* WakeEvent() const { return wakeEvent_.get(); }
    std::exception_ptr CapturedError() const { return error_; }

    // Frame being shown; -1 when not running. Event handlers may move it.
    std::atomic<int> FrameIndex{-1};
    int CurrentDisposal = 1;
    int PriorDisposal = 1;
    // Set by an event handler: the run starts over from frame 0.
    std::atomic<bool> RestartPending{false};
    std::atomic<bool> HasPainted{false};

    TNotifyEvent OnAnimBegin;
    TNotifyEvent OnFrameBefore;
    TNotifyEvent OnFrameAfter;
    TNotifyEvent OnPassRepeat;
    TNotifyEvent OnAnimEnd;

    // Owns a threaded painter until the GUI thread has run its last step and
    // joined its thread.
    static void KeepUntilJoined(std::unique_ptr<TGIFPainter> painter);
    // Painters that are running or waiting for their thread to be joined.
    static std::size_t LiveCount();

private:
    struct TBuffer {
        TBitmap Bitmap;
        TBitmapCanvas Canvas{Bitmap};
        TBuffer() : Bitmap(0, 0, TPixelFormat::pf24bit) {}
    };
    // What the frame loop learns from the document on the GUI thread.
    struct TFrameFacts {
        bool Exists = false;
        int Delay = 0;
    };

    void Fire(const TNotifyEvent& event);
    bool InspectFrame(int index, bool render);
    // The frame clock of one run: when the last wait started, how long it was
    // meant to last, and the part of earlier overruns not yet taken off a wait.
    struct TFrameClock {
        std::int64_t LastTime = 0;
        std::int64_t Lag = 0;
        std::int64_t Carry = 0;
    };
    void WaitBeforeFrame(int delay, TFrameClock& frameClock);
    void ScanAndPaint(int& loopsLeft, int& firstFrame, bool& loopSeen, TFrameFacts& facts);
    TGIFSubImage* CurrentFrame() const;
    std::unique_ptr<TBuffer> SnapshotTarget() const;
    void CopyToTarget(const TBitmap& buffer);
    void Terminate();
    // Clears the slot while it holds this painter, forgets the document and
    // frees the buffers.
    void DropDocument();
    void ThreadMain();

    TGIFDocument* ownerImage_;
    TCanvas* target_;
    TRect targetRect_;
    TGIFDrawOptions options_;
    std::int32_t speedPercent_;
    TColor backgroundColor_ = clWhite;
    std::unique_ptr<TBuffer> compose_;
    std::unique_ptr<TBuffer> previous_;
    std::unique_ptr<TBuffer> underlay_;
    std::uintptr_t watchedDC_ = 0;
    TGIFPainter** ownerSlot_;
    TPainterRegistry* registry_;
    std::unique_ptr<TAutoResetEvent> wakeEvent_;
    std::exception_ptr error_;
    std::atomic<bool> terminated_{false};
    bool launched_ = false;
    std::thread thread_;
    TPainterClock* clock_;
};

} // namespace framolo
