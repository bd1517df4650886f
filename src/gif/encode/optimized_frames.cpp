#include "gif/encode/optimized_frames.h"

#include "color/dib_access.h"

#include <algorithm>

namespace framolo {

TOptimizedFrameSequence::TOptimizedFrameSequence(TDitherMode mode, int colors, int tolerance)
    : TOptimizedFrameSequence(mode, TEncoderTuning{{colors, tolerance}}) {}

TOptimizedFrameSequence::TOptimizedFrameSequence(TDitherMode mode, const TEncoderTuning& tuning,
                                                 int threads)
    : mode_(mode), tuning_(tuning), threads_(std::max(threads, 1)) {}

TOptimizedFrameSequence::~TOptimizedFrameSequence() = default;

TOptimizedFrame TOptimizedFrameSequence::Next(TBitmap& frame) {
    TReducedStep step = Reduce(frame);
    return Place(step);
}

TOptimizedFrameSequence::TReducedStep TOptimizedFrameSequence::Reduce(TBitmap& frame) {
    const int width = frame.Width();
    const int height = frame.Height();
    if (width <= 0 || height <= 0 || (width_ > 0 && (width != width_ || height != height_)))
        throw GIFException("Invalid image dimensions");
    width_ = width;
    height_ = height;
    TDIBReader reader(frame, TPixelFormat::pf24bit);
    TReducedStep step;
    step.Width = width;
    step.Height = height;
    step.Bgr = reader.RowPointer(0);
    step.Stride = height > 1 ? reader.RowPointer(1) - reader.RowPointer(0) : 0;
    // Layers are made from the screen, which only Place knows.
    if (tuning_.LayerMargin >= 0 || layered_.load())
        return step;
    if (!reducer_)
        reducer_ = std::make_unique<TSharedPaletteReducer>(width, height, mode_, tuning_);
    // What the reducer chose before, for telling the pixels it kept; only the
    // string search and a rich first frame need it.
    if (tuning_.LzwBound > 0 || tuning_.FirstColors > 0)
        step.Before = reducer_->Indices();
    step.Frame = reducer_->Next(step.Bgr, step.Stride);
    if (step.Frame.NewPalette)
        step.Before.clear();
    return step;
}

TOptimizedFrame TOptimizedFrameSequence::Place(TReducedStep& step) {
    TReducedFrame& reduced = step.Frame;
    if (!optimizer_)
        optimizer_ = std::make_unique<TFrameOptimizer>(step.Width, step.Height);
    if (tuning_.LayerMargin >= 0)
        return PlaceLayer(step, tuning_.Colors, tuning_.LayerMargin, 0);
    if (layered_.load()) {
        // The layers taken may go further than the tried ones.
        if (tuning_.LayeredMargin > tuning_.ProbeMargin)
            return PlaceLayer(step, tuning_.ProbeColors, tuning_.LayeredMargin,
                              tuning_.LayeredLzwBound);
        return PlaceLayer(step, tuning_.ProbeColors, tuning_.ProbeMargin, tuning_.ProbeLzwBound);
    }
    if (TakesRichFirst(step))
        return PlaceRichFirst(step);
    const std::vector<std::uint8_t> drawn = DrawnAfterRichFirst(step);
    const bool probe = TryLayers(step);
    if (tuning_.LzwBound > 0)
        ChooseSharedStrings(step);
    TOptimizedFrame optimized =
        Locate(reduced.Palette, reduced.Indices.data(), drawn.empty() ? nullptr : drawn.data());
    // The step is spent: its indexes become what the screen shows.
    if (tuning_.LzwBound > 0)
        shown_ = std::move(reduced.Indices);
    if (probe)
        WeighTrial(optimized, step);
    return optimized;
}

std::vector<TGIFColor>
TOptimizedFrameSequence::GifColors(const std::vector<TPaletteEntry>& entries) {
    std::vector<TGIFColor> colors;
    colors.reserve(entries.size());
    for (const TPaletteEntry& e : entries)
        colors.push_back(TGIFColor{e.peRed, e.peGreen, e.peBlue});
    return colors;
}

TOptimizedFrame TOptimizedFrameSequence::Locate(const std::vector<TPaletteEntry>& entries,
                                                const std::uint8_t* indices,
                                                const std::uint8_t* drawn) {
    TOptimizedFrame optimized = optimizer_->Locate(indices, GifColors(entries), drawn);
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

TOptimizedFrameAdder::TOptimizedFrameAdder(TDitherMode mode, const TEncoderTuning& tuning)
    : sequence_(mode, tuning) {}

int TOptimizedFrameAdder::Add(TGIFDocument& document, TBitmap& frame) {
    TOptimizedFrame optimized = sequence_.Next(frame);
    TFrameOptimizer::ChooseTransparency(optimized);
    if (document.GlobalColorMap().Count() == 0)
        document.GlobalColorMap().SetColors(optimized.GlobalTable.empty() ? optimized.Colors
                                                                          : optimized.GlobalTable);
    return AddOptimizedFrame(document, std::move(optimized));
}

} // namespace framolo
