#include "gif/animation/painter_registry.h"

#include "gif/animation/gif_painter.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace framolo {

std::function<void()> PumpPainterCalls = [] { TMainThreadCalls::Instance().WaitAndPump(1); };

namespace {

std::unique_ptr<TGIFPainterRegistry> MakeRegistry(TGIFDocument& document) {
    return std::make_unique<TPainterRegistry>(document);
}

std::chrono::steady_clock::time_point StopDeadline() {
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(kPainterStopBoundMs);
}

} // namespace

void InstallGIFAnimation() {
    SetGIFPainterRegistryFactory(&MakeRegistry);
}

TPainterRegistry& Painters(TGIFDocument& document) {
    auto* registry = dynamic_cast<TPainterRegistry*>(document.PainterRegistry());
    if (registry == nullptr)
        throw std::logic_error("GIF animation is not installed");
    return *registry;
}

TPainterRegistry::~TPainterRegistry() {
    StopAllPainters();
    std::lock_guard lock(lock_);
    for (TGIFPainter* painter : painters_)
        painter->DocumentDestroyed();
    painters_.clear();
    current_ = nullptr;
}

TGIFPainter* TPainterRegistry::CurrentPainter() const {
    std::lock_guard lock(lock_);
    return current_;
}

std::vector<TGIFPainter*> TPainterRegistry::PainterList() const {
    std::lock_guard lock(lock_);
    return painters_;
}

void TPainterRegistry::Forget(TGIFPainter* painter, TGIFPainter** slot) {
    std::lock_guard lock(lock_);
    if (slot != nullptr && *slot == painter)
        *slot = nullptr;
    std::erase(painters_, painter);
}

void TPainterRegistry::Draw(TCanvas& canvas, const TRect& rect) {
    const TGIFDrawOptions options = document_.PaintOptions();
    const bool onTarget = (options & poOnTarget) != 0;
    std::lock_guard lock(lock_);
    // A halted painter is on its way out; a new one takes over.
    if (current_ != nullptr && current_->Target() == &canvas && current_->TargetRect() == rect &&
        !current_->Terminated())
        return;
    document_.StopCurrentPainter();

    TCanvas* target = &canvas;
    TRect targetRect = rect;
    if (!onTarget) {
        const int width = document_.Width();
        const int height = document_.Height();
        auto bitmap = std::make_unique<TBitmap>(width, height, TPixelFormat::pf24bit);
        auto bitmapCanvas = std::make_unique<TBitmapCanvas>(*bitmap);
        targetRect = TRect{0, 0, width, height};
        // Masked frames show what was on the canvas under them.
        if (std::unique_ptr<TBitmap> under = canvas.CopyRect(rect))
            bitmapCanvas->StretchDrawBitmap(targetRect, *under);
        renderedCanvas_ = std::move(bitmapCanvas);
        document_.SetRenderedBitmap(std::move(bitmap));
        target = renderedCanvas_.get();
    }

    TGIFPainter* painter = StartPainter(&current_, *target, options, targetRect);
    if (painter != nullptr)
        painter->Launch();
    if (onTarget)
        return;
    // The first frame must be in the bitmap before it is shown. The painter
    // leaves current_ before it is freed, so that is checked first.
    while (painter != nullptr && current_ == painter && !painter->Terminated() &&
           !painter->HasPainted.load()) {
        if (PumpPainterCalls)
            PumpPainterCalls();
        std::this_thread::yield();
    }
    if (TBitmap* rendered = document_.RenderedBitmap())
        document_.StretchOrTile(canvas, rect, *rendered);
}

TGIFPainter* TPainterRegistry::StartPainter(TGIFPainter** slot, TCanvas& canvas,
                                            TGIFDrawOptions options, const TRect& rect) {
    const int frames = document_.Frames().Count();
    if (frames == 0 || rect.Width() <= 0 || rect.Height() <= 0) {
        if (slot != nullptr) {
            std::lock_guard lock(lock_);
            *slot = nullptr;
        }
        return nullptr;
    }
    if (frames == 1)
        options = static_cast<TGIFDrawOptions>(options & ~(poThreaded | poAllFrames));
    std::unique_ptr<TGIFPainter> painter;
    {
        std::lock_guard lock(lock_);
        painter = std::make_unique<TGIFPainter>(&document_, options, rect, &canvas, slot, this);
        painters_.push_back(painter.get());
    }
    TGIFPainter* p = painter.get();
    p->OnAnimBegin = document_.OnAnimBegin;
    p->OnFrameBefore = document_.OnFrameBefore;
    p->OnFrameAfter = document_.OnFrameAfter;
    p->OnPassRepeat = document_.OnPassRepeat;
    p->OnAnimEnd = document_.OnAnimEnd;
    if (p->Threaded()) {
        TGIFPainter::KeepUntilJoined(std::move(painter));
        return p;
    }
    p->RunAnimation();
    p->DetachFromImage();
    const std::exception_ptr error = p->CapturedError();
    painter.reset();
    if (slot != nullptr) {
        std::lock_guard lock(lock_);
        *slot = nullptr;
    }
    if (error)
        std::rethrow_exception(error);
    return nullptr;
}

void TPainterRegistry::HaltCurrentPainter() {
    std::lock_guard lock(lock_);
    if (current_ != nullptr)
        current_->Halt();
}

void TPainterRegistry::StopCurrentPainter() {
    const auto deadline = StopDeadline();
    for (;;) {
        {
            std::lock_guard lock(lock_);
            if (current_ == nullptr)
                break;
            current_->Halt();
            if (!current_->Threaded())
                break;
            if (std::chrono::steady_clock::now() > deadline) {
                TGIFPainter* late = current_;
                late->DocumentDestroyed();
                std::erase(painters_, late);
                current_ = nullptr;
                break;
            }
        }
        if (PumpPainterCalls)
            PumpPainterCalls();
        std::this_thread::yield();
    }
    HaltCurrentPainter();
}

void TPainterRegistry::StopAllPainters() {
    const auto deadline = StopDeadline();
    for (;;) {
        int threaded = 0;
        {
            std::lock_guard lock(lock_);
            for (auto it = painters_.rbegin(); it != painters_.rend(); ++it) {
                (*it)->Halt();
                if ((*it)->Threaded())
                    ++threaded;
            }
        }
        if (threaded == 0)
            break;
        // A halted painter's thread only has to wake and post its last step;
        // if that does not happen in time, the painters are cut loose.
        if (!PumpPainterCalls || std::chrono::steady_clock::now() > deadline) {
            KillPainterThreads();
            break;
        }
        PumpPainterCalls();
        std::this_thread::yield();
    }
}

void TPainterRegistry::KillPainterThreads() {
    std::lock_guard lock(lock_);
    for (auto it = painters_.rbegin(); it != painters_.rend();) {
        TGIFPainter* painter = *it;
        if (!painter->Threaded()) {
            ++it;
            continue;
        }
        // The thread never touches the document itself; once cut loose it
        // ends on its own and the GUI thread joins it at its last step.
        painter->DocumentDestroyed();
        it = std::make_reverse_iterator(painters_.erase(std::next(it).base()));
    }
    if (current_ != nullptr && current_->Threaded())
        current_ = nullptr;
}

} // namespace framolo
