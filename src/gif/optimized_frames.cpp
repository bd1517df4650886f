#include "gif/optimized_frames.h"

#include "color/dib_access.h"
#include "gif/lzw_string_choice.h"

#include <algorithm>

namespace framolo {

TOptimizedFrameSequence::TOptimizedFrameSequence(TDitherMode mode, int colors, int tolerance)
    : TOptimizedFrameSequence(mode, TSharedPaletteReducer::TTuning{colors, tolerance}) {}

TOptimizedFrameSequence::TOptimizedFrameSequence(TDitherMode mode,
                                                 const TSharedPaletteReducer::TTuning& tuning)
    : mode_(mode), tuning_(tuning) {}

TOptimizedFrameSequence::~TOptimizedFrameSequence() = default;

TOptimizedFrame TOptimizedFrameSequence::Next(TBitmap& frame) {
    const int width = frame.Width();
    const int height = frame.Height();
    if (width <= 0 || height <= 0 ||
        (reducer_ && (width != reducer_->Width() || height != reducer_->Height())))
        throw GIFException("Invalid image dimensions");
    if (!reducer_) {
        reducer_ = std::make_unique<TSharedPaletteReducer>(width, height, mode_, tuning_);
        optimizer_ = std::make_unique<TFrameOptimizer>(width, height);
    }
    TDIBReader reader(frame, TPixelFormat::pf24bit);
    const std::ptrdiff_t stride = height > 1 ? reader.RowPointer(1) - reader.RowPointer(0) : 0;
    TReducedFrame& reduced = reducer_->Next(reader.RowPointer(0), stride);
    if (tuning_.LzwBound > 0) {
        const bool kept = !reduced.NewPalette && shown_.size() == reduced.Indices.size();
        ExtendLzwStrings({reduced.Indices.data(), width, reduced.Left, reduced.Top, reduced.Width,
                          reduced.Height, reader.RowPointer(0), stride,
                          kept ? shown_.data() : nullptr},
                         reduced.Palette, tuning_.LzwBound);
        shown_ = reduced.Indices;
    }
    std::vector<TGIFColor> palette;
    palette.reserve(reduced.Palette.size());
    for (const TPaletteEntry& e : reduced.Palette)
        palette.push_back(TGIFColor{e.peRed, e.peGreen, e.peBlue});
    TOptimizedFrame optimized = optimizer_->Locate(reduced.Indices.data(), palette);
    if (global_.empty())
        global_ = optimized.Colors;
    optimized.UsesGlobalTable = optimized.Colors == global_;
    return optimized;
}

int AddOptimizedFrame(TGIFDocument& document, TOptimizedFrame&& frame) {
    auto sub = std::make_unique<TGIFSubImage>(&document);
    sub->SetBounds(frame.Left, frame.Top, frame.Width, frame.Height);
    sub->SetPixels(std::move(frame.Pixels));
    if (!frame.UsesGlobalTable)
        sub->ColorMap().SetColors(frame.Colors);

    auto control = std::make_unique<TGIFGraphicControlExtension>(sub.get());
    control->SetDisposal(frame.Disposal);
    if (frame.TransparentIndex >= 0) {
        control->SetTransparentColorIndex(frame.TransparentIndex);
        control->SetTransparent(true);
    }
    sub->Extensions().Add(std::move(control));
    return document.Add(std::move(sub));
}

TOptimizedFrameAdder::TOptimizedFrameAdder(TDitherMode mode, int colors, int tolerance)
    : sequence_(mode, colors, tolerance) {}

TOptimizedFrameAdder::TOptimizedFrameAdder(TDitherMode mode,
                                           const TSharedPaletteReducer::TTuning& tuning)
    : sequence_(mode, tuning) {}

int TOptimizedFrameAdder::Add(TGIFDocument& document, TBitmap& frame) {
    TOptimizedFrame optimized = sequence_.Next(frame);
    TFrameOptimizer::ChooseTransparency(optimized);
    if (document.GlobalColorMap().Count() == 0)
        document.GlobalColorMap().SetColors(optimized.Colors);
    return AddOptimizedFrame(document, std::move(optimized));
}

} // namespace framolo
