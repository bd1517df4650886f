// How a document draws itself: the still paths, and the hand-over to a painter.
#include "gif/frame_render.h"
#include "gif/gif_document.h"
#include "gif/gif_painter.h"

#include <thread>

namespace framolo {

TRect TGIFSubImage::ScaleToRect(const TRect& rect) const {
    return ScaleFrameToRect(*this, rect);
}

void TGIFSubImage::DrawScaled(TCanvas& canvas, const TRect& rect, bool tiled, bool masked) {
    const bool tiling = tiled && document_ != nullptr;
    ForEachCell(rect, tiling, tiling ? document_->Width() : 0, tiling ? document_->Height() : 0,
                [&](const TRect& cell) { DrawFrameScaled(*this, canvas, cell, masked); });
}

void TGIFDocument::StretchOrTile(TCanvas& canvas, const TRect& rect, const TBitmap& bitmap) {
    ForEachCell(rect, (paintOptions_ & poTiled) != 0, Width(), Height(),
                [&](const TRect& cell) { canvas.StretchDrawBitmap(cell, bitmap); });
}

void TGIFDocument::Draw(TCanvas& canvas, const TRect& rect) {
    if (Drawing || frames_.Count() == 0)
        return;
    Drawing = true;
    struct TDrawingGuard {
        bool& flag;
        ~TDrawingGuard() { flag = false; }
    } guard{Drawing};

    const bool tiled = (paintOptions_ & poTiled) != 0;
    const bool masked = (paintOptions_ & poMasked) != 0;
    if (frames_.Count() == 1 || (paintOptions_ & poAllFrames) == 0) {
        frames_[0]->DrawScaled(canvas, rect, tiled, masked);
        return;
    }
    const bool onTarget = (paintOptions_ & poOnTarget) != 0;
    if (renderedBitmap_ && !onTarget) {
        StretchOrTile(canvas, rect, *renderedBitmap_);
        return;
    }

    std::lock_guard lock(painterLock_);
    if (auto* current = dynamic_cast<TGIFPainter*>(CurrentPainter)) {
        // A halted painter is on its way out; a new one takes over.
        if (current->Target() == &canvas && current->TargetRect() == rect && !current->Terminated())
            return;
    }
    StopCurrentPainter();

    TCanvas* target = &canvas;
    TRect targetRect = rect;
    if (!onTarget) {
        auto bitmap = std::make_unique<TBitmap>(Width(), Height(), TPixelFormat::pf24bit);
        auto bitmapCanvas = std::make_unique<TBitmapCanvas>(*bitmap);
        targetRect = TRect{0, 0, Width(), Height()};
        // Masked frames show what was on the canvas under them.
        if (std::unique_ptr<TBitmap> under = canvas.CopyRect(rect))
            bitmapCanvas->StretchDrawBitmap(targetRect, *under);
        renderedCanvas_ = std::move(bitmapCanvas);
        renderedBitmap_ = std::move(bitmap);
        target = renderedCanvas_.get();
    }

    TGIFPainter* painter = StartPainter(&CurrentPainter, *target, paintOptions_, targetRect);
    if (painter != nullptr)
        painter->Launch();
    if (onTarget)
        return;
    // The first frame must be in the bitmap before it is shown. The painter
    // leaves CurrentPainter before it is freed, so it is checked first.
    while (painter != nullptr && CurrentPainter == painter && !painter->Terminated() &&
           !painter->HasPainted.load()) {
        if (PumpPainterCalls)
            PumpPainterCalls();
        std::this_thread::yield();
    }
    if (renderedBitmap_)
        StretchOrTile(canvas, rect, *renderedBitmap_);
}

} // namespace framolo
