#include "gif/animation/gif_painter.h"

#include "gif/animation/painter_registry.h"
#include "gif/frame_render.h"
#include "platform/graphics/mul_div.h"

#include <algorithm>
#include <bitset>
#include <limits>
#include <mutex>
#include <vector>

namespace framolo {

std::function<void(std::exception_ptr)> PainterErrorHandler;

namespace {

// Owns every threaded painter from StartPainter until the GUI thread has run
// its last step and joined its thread.
class TLivePainters {
public:
    static TLivePainters& Instance() {
        static TLivePainters live;
        return live;
    }

    TLivePainters(const TLivePainters&) = delete;
    TLivePainters& operator=(const TLivePainters&) = delete;

    void Add(std::unique_ptr<TGIFPainter> painter) {
        std::lock_guard lock(mutex_);
        painters_.push_back(std::move(painter));
    }

    std::unique_ptr<TGIFPainter> Take(TGIFPainter* painter) {
        std::lock_guard lock(mutex_);
        auto it = std::find_if(painters_.begin(), painters_.end(),
                               [&](const auto& p) { return p.get() == painter; });
        if (it == painters_.end())
            return nullptr;
        std::unique_ptr<TGIFPainter> owned = std::move(*it);
        painters_.erase(it);
        return owned;
    }

    std::size_t Count() {
        std::lock_guard lock(mutex_);
        return painters_.size();
    }

    // At process exit: painters still running are halted and joined. Their
    // last steps stay queued and never run.
    ~TLivePainters() {
        std::vector<std::unique_ptr<TGIFPainter>> left;
        {
            std::lock_guard lock(mutex_);
            left.swap(painters_);
        }
        for (auto& p : left)
            p->Halt();
        left.clear();
    }

private:
    // The call queue outlives the registry, since painters use it to the end.
    TLivePainters() { TMainThreadCalls::Instance(); }

    std::mutex mutex_;
    std::vector<std::unique_ptr<TGIFPainter>> painters_;
};

bool HasRestoringDisposal(const std::bitset<8>& census) {
    return census[dmBackground] || census[dmPrevious];
}

} // namespace

// ---- Construction ----

TGIFPainter::TGIFPainter(TGIFDocument* document, TGIFDrawOptions options, const TRect& rect,
                         TCanvas* canvas, TGIFPainter** slot, TPainterRegistry* registry)
    : ownerImage_(document), target_(canvas), targetRect_(rect), options_(options),
      speedPercent_(document->SpeedPercent()), ownerSlot_(slot), registry_(registry),
      clock_(&CurrentPainterClock()) {
    if (ownerSlot_ != nullptr)
        *ownerSlot_ = this;
    const int frameCount = document->Frames().Count();
    if ((options_ & poThreaded) != 0 && (options_ & poAllFrames) != 0 && frameCount > 1 &&
        speedPercent_ >= 0)
        wakeEvent_ = std::make_unique<TAutoResetEvent>();

    backgroundColor_ = DocumentBackgroundColor(*document);

    std::bitset<8> census;
    for (int i = 0; i < frameCount; ++i) {
        const TGIFExtensionList& extensions = document->Frames()[i]->Extensions();
        for (int e = 0; e < extensions.Count(); ++e)
            if (const auto* gce = dynamic_cast<const TGIFGraphicControlExtension*>(extensions[e]))
                census.set(static_cast<std::size_t>(gce->Disposal()));
    }
    if ((options_ & poClearPerPass) != 0)
        census.set(dmBackground);

    if (census[dmBackground] && (options_ & poMasked) != 0)
        underlay_ = SnapshotTarget();
    if (HasRestoringDisposal(census)) {
        compose_ = SnapshotTarget();
        previous_ = std::make_unique<TBuffer>();
    }
}

TGIFPainter::~TGIFPainter() {
    Halt();
    if (thread_.joinable())
        thread_.join();
}

std::unique_ptr<TGIFPainter::TBuffer> TGIFPainter::SnapshotTarget() const {
    auto buffer = std::make_unique<TBuffer>();
    const int w = std::max(targetRect_.Width(), 0);
    const int h = std::max(targetRect_.Height(), 0);
    std::unique_ptr<TBitmap> copy = target_ != nullptr ? target_->CopyRect(targetRect_) : nullptr;
    if (copy && copy->Width() == w && copy->Height() == h) {
        copy->SetPixelFormat(TPixelFormat::pf24bit);
        buffer->Bitmap.Assign(copy.get());
    } else {
        buffer->Bitmap.SetSize(w, h);
        buffer->Canvas.FillRect(TRect{0, 0, w, h}, backgroundColor_);
    }
    return buffer;
}

void TGIFPainter::KeepUntilJoined(std::unique_ptr<TGIFPainter> painter) {
    TLivePainters::Instance().Add(std::move(painter));
}

std::size_t TGIFPainter::LiveCount() {
    return TLivePainters::Instance().Count();
}

// ---- Starting and stopping ----

void TGIFPainter::ThreadMain() {
    RunAnimation();
    // The GUI thread detaches and frees the painter; this thread does nothing
    // after posting, so the join there returns at once.
    TGIFPainter* self = this;
    TMainThreadCalls::Instance().Post([self] {
        self->DetachFromImage();
        if (self->error_ && PainterErrorHandler)
            PainterErrorHandler(self->error_);
        std::unique_ptr<TGIFPainter> owned = TLivePainters::Instance().Take(self);
        if (self->thread_.joinable())
            self->thread_.join();
    });
}

void TGIFPainter::Launch() {
    if (!Threaded() || launched_)
        return;
    launched_ = true;
    thread_ = std::thread([this] { ThreadMain(); });
}

void TGIFPainter::Halt() {
    terminated_.store(true);
    if (!Threaded())
        return;
    if (wakeEvent_)
        wakeEvent_->Set();
    TMainThreadCalls::Instance().Cancel(this);
    // A painter that never started runs through to its end, which frees it.
    if (!launched_ && ownerImage_ != nullptr)
        Launch();
}

void TGIFPainter::Terminate() {
    terminated_.store(true);
}

void TGIFPainter::DetachFromImage() {
    if (ownerImage_ == nullptr)
        return;
    if (registry_ != nullptr)
        registry_->Forget(this, ownerSlot_);
    DropDocument();
}

void TGIFPainter::DocumentDestroyed() {
    terminated_.store(true);
    if (wakeEvent_)
        wakeEvent_->Set();
    TMainThreadCalls::Instance().Cancel(this);
    DropDocument();
}

void TGIFPainter::DropDocument() {
    if (ownerSlot_ != nullptr && *ownerSlot_ == this)
        *ownerSlot_ = nullptr;
    ownerSlot_ = nullptr;
    ownerImage_ = nullptr;
    registry_ = nullptr;
    compose_.reset();
    previous_.reset();
    underlay_.reset();
}

bool TGIFPainter::RunOnMainThread(const std::function<void()>& step) {
    if (Terminated())
        return false;
    auto guarded = [this, &step] {
        if (!Terminated() && ownerImage_ != nullptr)
            step();
    };
    if (!Threaded()) {
        guarded();
        return !Terminated();
    }
    return TMainThreadCalls::Instance().Call(this, guarded) && !Terminated();
}

void TGIFPainter::Fire(const TNotifyEvent& event) {
    if (event)
        RunOnMainThread([&] { event(this); });
}

// ---- The run ----

TGIFSubImage* TGIFPainter::CurrentFrame() const {
    const int index = FrameIndex.load();
    if (ownerImage_ == nullptr || index < 0 || index >= ownerImage_->Frames().Count())
        return nullptr;
    return ownerImage_->Frames()[index];
}

bool TGIFPainter::InspectFrame(int index, bool render) {
    bool exists = false;
    RunOnMainThread([&] {
        if (index < 0 || index >= ownerImage_->Frames().Count())
            return;
        TGIFSubImage* frame = ownerImage_->Frames()[index];
        if (frame->Empty())
            return;
        exists = true;
        // Rendering before the wait starts makes decoding count as waited time.
        if (render)
            frame->RenderBitmap();
    });
    return exists;
}

void TGIFPainter::WaitBeforeFrame(int delay, TFrameClock& frameClock) {
    if (delay < 1) {
        std::this_thread::yield();
        return;
    }
    const std::int64_t now = clock_->Now();
    std::int64_t wait = 0;
    if (speedPercent_ >= 1) {
        // Half of any overrun of the last wait comes off this one, so slow
        // frames do not stretch the animation. A delay unit counts 12 ms. What
        // this wait does not take off is carried to the next, so a steady
        // drawing cost is repaid in full and the animation keeps its pace; the
        // carry is held to one frame's wait.
        const std::int64_t overrun = now - frameClock.LastTime - frameClock.Lag + frameClock.Carry;
        frameClock.Carry = 0;
        std::int64_t nominal = 0;
        if (MulDiv(std::int64_t{delay} * 12 - overrun / 2, 100, speedPercent_, wait) &&
            MulDiv(std::int64_t{delay} * 12, 100, speedPercent_, nominal)) {
            frameClock.Lag = wait;
            frameClock.Carry = std::clamp(overrun - (nominal - wait), -nominal, nominal);
        } else {
            wait = 12000;
            frameClock.Lag = 0;
        }
    } else {
        wait = Threaded() ? -1 : 12000;
        frameClock.Carry = 0;
    }
    frameClock.LastTime = now;

    if (Threaded()) {
        if (wait > 0 || speedPercent_ == 0) {
            const bool woken = wakeEvent_ ? clock_->WaitFor(*wakeEvent_, wait) : true;
            if (woken) {
                frameClock.Lag = 0;
                frameClock.Carry = 0;
                frameClock.LastTime = clock_->Now();
            }
        }
        return;
    }
    // A painter on the GUI thread sleeps in short slices and keeps the GUI
    // thread's calls moving in between.
    wait = std::max<std::int64_t>(wait, 1);
    while (wait > 0 && !Terminated() && !RestartPending.load()) {
        const std::int64_t before = clock_->Now();
        clock_->Sleep(std::min<std::int64_t>(wait, 100));
        wait -= clock_->Now() - before;
        TMainThreadCalls::Instance().Pump();
    }
}

void TGIFPainter::ScanAndPaint(int& loopsLeft, int& firstFrame, bool& loopSeen,
                               TFrameFacts& facts) {
    RunOnMainThread([&] {
        TGIFSubImage* frame = CurrentFrame();
        if (frame == nullptr)
            return;
        facts.Exists = true;
        CurrentDisposal = dmNoDisposal;
        const TGIFExtensionList& extensions = frame->Extensions();
        for (int e = 0; e < extensions.Count(); ++e) {
            TGIFExtension* extension = extensions[e];
            if (auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(extension)) {
                if (!loopSeen) {
                    loopSeen = true;
                    loopsLeft = loop->LoopCount();
                    firstFrame = FrameIndex.load();
                    if ((loopsLeft == 0 || (options_ & poEndless) != 0) && Threaded())
                        loopsLeft = -1;
                }
            } else if (auto* gce = dynamic_cast<TGIFGraphicControlExtension*>(extension)) {
                CurrentDisposal = gce->Disposal();
            }
        }
        if (compose_)
            PaintFrameComposed();
        else
            PaintFrameDirect();
        facts.Delay = frame->GraphicControl() != nullptr ? frame->GraphicControl()->Delay() : 0;
        if (!ownerImage_->KeepFrameBitmaps() && ownerImage_->Frames().Count() > 1) {
            frame->FreeBitmap();
            frame->FreeMask();
        }
    });
}

void TGIFPainter::RunAnimation() {
    try {
        if ((options_ & poCheckDC) != 0)
            RunOnMainThread([&] { watchedDC_ = target_->Handle(); });
        const bool allFrames = (options_ & poAllFrames) != 0;
        const bool repeat = allFrames && (options_ & poRepeat) != 0;
        const bool endless = (options_ & poEndless) != 0;
        RestartPending.store(true);
        while (RestartPending.load() && !Terminated()) {
            FrameIndex.store(0);
            Fire(OnAnimBegin);
            HasPainted.store(false);
            RestartPending.store(false);

            int loopsLeft = 1;
            int firstFrame = 0;
            bool loopSeen = false;
            int delay = Threaded() ? 0 : 1;
            PriorDisposal = dmNoDisposal;
            TFrameClock frameClock;
            frameClock.LastTime = clock_->Now();

            while ((loopsLeft != 0 || endless) && !Terminated() && !RestartPending.load()) {
                FrameIndex.store(firstFrame);
                if (HasPainted.load())
                    Fire(OnPassRepeat);
                for (;;) {
                    if (Terminated() || RestartPending.load())
                        break;
                    if (!InspectFrame(FrameIndex.load(), delay >= 1))
                        break;
                    WaitBeforeFrame(delay, frameClock);
                    Fire(OnFrameBefore);
                    if (Terminated())
                        break;
                    TFrameFacts facts;
                    ScanAndPaint(loopsLeft, firstFrame, loopSeen, facts);
                    if (!facts.Exists)
                        break;
                    PriorDisposal = CurrentDisposal;
                    delay = 10;
                    if (facts.Delay != 0) {
                        delay = std::max(facts.Delay, 3);
                        if (!Threaded())
                            delay = std::min(delay, 1000);
                    }
                    const int shown = FrameIndex.load();
                    Fire(OnFrameAfter);
                    if (FrameIndex.load() == shown)
                        FrameIndex.store(shown + 1);
                    if (!allFrames)
                        break;
                }
                if (loopsLeft > 0)
                    --loopsLeft;
                if (!repeat)
                    break;
            }
        }
        FrameIndex.store(-1);
        Fire(OnAnimEnd);
    } catch (...) {
        error_ = std::current_exception();
        Terminate();
        FrameIndex.store(-1);
    }
}

// ---- Painting, on the GUI thread ----

void TGIFPainter::PaintFrameDirect() {
    TGIFSubImage* frame = CurrentFrame();
    if (frame == nullptr)
        return;
    frame->DrawScaled(*target_, targetRect_, (options_ & poTiled) != 0, (options_ & poMasked) != 0);
    HasPainted.store(true);
}

void TGIFPainter::CopyToTarget(const TBitmap& buffer) {
    target_->StretchDrawBitmap(targetRect_, buffer);
}

void TGIFPainter::PaintFrameComposed() {
    TGIFSubImage* frame = CurrentFrame();
    if (frame == nullptr || !compose_)
        return;
    if ((options_ & poCheckDC) != 0 && target_->Handle() != watchedDC_) {
        Terminate();
        return;
    }
    const bool clearFirst = (options_ & poClearPerPass) != 0 && FrameIndex.load() == 0;
    const bool tiled = (options_ & poTiled) != 0;
    const bool masked = (options_ & poMasked) != 0;
    const TRect whole{0, 0, compose_->Bitmap.Width(), compose_->Bitmap.Height()};

    if (clearFirst)
        RestoreFrameArea();
    switch (CurrentDisposal) {
    case dmNone:
    case dmNoDisposal:
        frame->DrawScaled(compose_->Canvas, whole, tiled, masked);
        CopyToTarget(compose_->Bitmap);
        break;
    case dmBackground:
        frame->DrawScaled(compose_->Canvas, whole, tiled, masked);
        CopyToTarget(compose_->Bitmap);
        RestoreFrameArea();
        break;
    case dmPrevious:
        if (PriorDisposal == dmNone || PriorDisposal == dmNoDisposal) {
            // The compose buffer keeps the screen without this frame, and the
            // next frame is drawn over that.
            frame->DrawScaled(*target_, targetRect_, tiled, masked);
        } else if (PriorDisposal == dmBackground || PriorDisposal == dmPrevious) {
            previous_->Bitmap.Assign(&compose_->Bitmap);
            frame->DrawScaled(previous_->Canvas, whole, tiled, masked);
            CopyToTarget(previous_->Bitmap);
        } else {
            return;
        }
        break;
    default:
        // Disposal values 4 to 7 are undefined: the frame is skipped.
        return;
    }
    HasPainted.store(true);
}

void TGIFPainter::RestoreFrameArea() {
    TGIFSubImage* frame = CurrentFrame();
    if (frame == nullptr || !compose_ || ownerImage_ == nullptr)
        return;
    const TRect whole{0, 0, compose_->Bitmap.Width(), compose_->Bitmap.Height()};
    const bool masked = (options_ & poMasked) != 0 && underlay_;
    auto restore = [&](const TRect& cell) {
        const TRect area = frame->ScaleToRect(cell);
        if (masked) {
            if (std::unique_ptr<TBitmap> under = underlay_->Canvas.CopyRect(area))
                compose_->Canvas.StretchDrawBitmap(area, *under);
        } else {
            compose_->Canvas.FillRect(area, backgroundColor_);
        }
    };
    ForEachCell(whole, (options_ & poTiled) != 0, ownerImage_->Width(), ownerImage_->Height(),
                restore);
}

} // namespace framolo
