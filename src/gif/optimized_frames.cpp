#include "gif/optimized_frames.h"

#include "color/dib_access.h"
#include "color/exact_color_lookup.h"
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
    TReducedStep step = Reduce(frame);
    return Place(step);
}

TOptimizedFrameSequence::TReducedStep TOptimizedFrameSequence::Reduce(TBitmap& frame) {
    const int width = frame.Width();
    const int height = frame.Height();
    if (width <= 0 || height <= 0 ||
        (reducer_ && (width != reducer_->Width() || height != reducer_->Height())))
        throw GIFException("Invalid image dimensions");
    if (!reducer_)
        reducer_ = std::make_unique<TSharedPaletteReducer>(width, height, mode_, tuning_);
    TDIBReader reader(frame, TPixelFormat::pf24bit);
    TReducedStep step;
    step.Width = width;
    step.Height = height;
    step.Bgr = reader.RowPointer(0);
    step.Stride = height > 1 ? reader.RowPointer(1) - reader.RowPointer(0) : 0;
    // What the reducer chose before, for telling the pixels it kept; only the
    // string search needs it.
    if (tuning_.LzwBound > 0)
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
    if (tuning_.LzwBound > 0) {
        // A pixel the reducer kept shows what it showed, unless that entry is
        // now further from its colour than the bound allows beside the
        // reducer's own; the others may take an entry that lengthens the
        // coder's strings.
        const bool kept = !step.Before.empty() && shown_.size() == reduced.Indices.size();
        std::size_t changed = reduced.Indices.size();
        if (kept) {
            changed = 0;
            std::vector<std::uint8_t> indices = shown_;
            const auto w = static_cast<std::size_t>(step.Width);
            const int slack = tuning_.LzwBound * tuning_.LzwBound;
            const auto distance = [&](const std::uint8_t* bgr, std::uint8_t index) {
                return TExactColorLookup::Distance(reduced.Palette[index], bgr);
            };
            for (int y = reduced.Top; y < reduced.Top + reduced.Height; ++y) {
                const std::uint8_t* row = step.Bgr + step.Stride * y;
                for (int x = reduced.Left; x < reduced.Left + reduced.Width; ++x) {
                    const std::size_t i =
                        static_cast<std::size_t>(y) * w + static_cast<std::size_t>(x);
                    const std::uint8_t own = reduced.Indices[i];
                    changed += own != step.Before[i] ? 1 : 0;
                    if (own != step.Before[i] ||
                        (own != indices[i] &&
                         distance(row + 3 * x, indices[i]) > distance(row + 3 * x, own) + slack))
                        indices[i] = own;
                }
            }
            reduced.Indices = std::move(indices);
        }
        // An error that moves with the picture is seen less than one that
        // stands: the more of the frame changed, the further the bound goes,
        // up to 2.5 times the tuning's for a frame that changed as a whole.
        const std::size_t total = std::max<std::size_t>(reduced.Indices.size(), 1);
        const int grown =
            tuning_.LzwBound + static_cast<int>(static_cast<std::size_t>(3 * tuning_.LzwBound) *
                                                changed / (2 * total));
        // Past 10 levels a grown bound spoils drawn edges (text, lines) that
        // then stand still, and saves little: it grows no further.
        const int bound = std::min(grown, std::max(tuning_.LzwBound, 10));
        ExtendLzwStrings({reduced.Indices.data(), step.Width, reduced.Left, reduced.Top,
                          reduced.Width, reduced.Height, step.Bgr, step.Stride,
                          kept ? shown_.data() : nullptr},
                         reduced.Palette, bound);
    }
    std::vector<TGIFColor> palette;
    palette.reserve(reduced.Palette.size());
    for (const TPaletteEntry& e : reduced.Palette)
        palette.push_back(TGIFColor{e.peRed, e.peGreen, e.peBlue});
    TOptimizedFrame optimized = optimizer_->Locate(reduced.Indices.data(), palette);
    // The step is spent: its indexes become what the screen shows.
    if (tuning_.LzwBound > 0)
        shown_ = std::move(reduced.Indices);
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
