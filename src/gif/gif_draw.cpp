// How a document draws itself: the still paths here, an animation through the
// painter registry that the animation library installs.
#include "gif/frame_render.h"
#include "gif/gif_document.h"

#include <atomic>

namespace framolo {

namespace {
std::atomic<TGIFPainterRegistryFactory> installedFactory{nullptr};
} // namespace

void SetGIFPainterRegistryFactory(TGIFPainterRegistryFactory factory) {
    installedFactory.store(factory);
}

TGIFPainterRegistryFactory GIFPainterRegistryFactory() {
    return installedFactory.load();
}

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

    const bool animated = frames_.Count() > 1 && (paintOptions_ & poAllFrames) != 0;
    if (animated && renderedBitmap_ && (paintOptions_ & poOnTarget) == 0) {
        StretchOrTile(canvas, rect, *renderedBitmap_);
        return;
    }
    TGIFPainterRegistry* painters = animated ? PainterRegistry() : nullptr;
    if (painters != nullptr) {
        painters->Draw(canvas, rect);
        return;
    }
    // A still picture, or an animation without painters to play it: frame 0.
    frames_[0]->DrawScaled(canvas, rect, (paintOptions_ & poTiled) != 0,
                           (paintOptions_ & poMasked) != 0);
}

TGIFPainterRegistry* TGIFDocument::PainterRegistry() {
    if (!painters_) {
        if (TGIFPainterRegistryFactory factory = GIFPainterRegistryFactory())
            painters_ = factory(*this);
    }
    return painters_.get();
}

void TGIFDocument::StopCurrentPainter() {
    if (painters_)
        painters_->StopCurrentPainter();
    renderedBitmap_.reset();
}

void TGIFDocument::StopAllPainters() {
    if (painters_)
        painters_->StopAllPainters();
    renderedBitmap_.reset();
}

void TGIFDocument::KillPainterThreads() {
    if (painters_)
        painters_->KillPainterThreads();
}

} // namespace framolo
