#include "gif/encode/optimized_frames.h"

#include "color/exact_color_lookup.h"
#include "gif/encode/lzw_string_choice.h"

#include <algorithm>

// The shared palette's side of placing a frame: a rich first frame, and the
// LZW string choice over the frame's changed rectangle.

namespace framolo {

namespace {
// A smaller picture gets no rich first frame: there a second table and the
// richer frame cost more than the colours its still parts keep give back.
constexpr std::int64_t kRichFirstPixels = 65536;
// Nor does a first frame that the shared palette fits within 4 RGB levels
// (TReducedFrame::PaletteError): a drawn picture of few colours, which more
// colours would change by nothing a person sees.
constexpr double kRichFirstError = 16.0;
} // namespace

bool TOptimizedFrameSequence::TakesRichFirst(const TReducedStep& step) const {
    return !optimizer_->Started() && tuning_.FirstColors > 0 &&
           static_cast<std::int64_t>(step.Width) * step.Height >= kRichFirstPixels &&
           step.Frame.PaletteError >= kRichFirstError;
}

TOptimizedFrame TOptimizedFrameSequence::PlaceRichFirst(TReducedStep& step) {
    TReducedFrame& reduced = step.Frame;
    // The reducer goes on from its own first frame; only the screen shows
    // the richer one. The file's global table is the reducer's, which the
    // frames after this one use.
    richFirst_ = true;
    global_ = TFrameOptimizer::TableFor(GifColors(reduced.Palette));
    if (tuning_.LzwBound > 0)
        shown_ = std::move(reduced.Indices);
    TOptimizedFrame first = PlaceLayer(step, tuning_.FirstColors, 0, 0);
    if (!first.UsesGlobalTable)
        first.GlobalTable = global_;
    return first;
}

std::vector<std::uint8_t>
TOptimizedFrameSequence::DrawnAfterRichFirst(const TReducedStep& step) const {
    const TReducedFrame& reduced = step.Frame;
    std::vector<std::uint8_t> drawn;
    if (richFirst_ && !step.Before.empty()) {
        drawn.resize(reduced.Indices.size());
        for (std::size_t i = 0; i < drawn.size(); ++i)
            drawn[i] = reduced.Indices[i] != step.Before[i] ? 1 : 0;
    }
    return drawn;
}

void TOptimizedFrameSequence::ChooseSharedStrings(TReducedStep& step) {
    TReducedFrame& reduced = step.Frame;
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
                const std::size_t i = static_cast<std::size_t>(y) * w + static_cast<std::size_t>(x);
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
        tuning_.LzwBound +
        static_cast<int>(static_cast<std::size_t>(3 * tuning_.LzwBound) * changed / (2 * total));
    // Past 10 levels a grown bound spoils drawn edges (text, lines) that
    // then stand still, and saves little: it grows no further.
    const int bound = std::min(grown, std::max(tuning_.LzwBound, 10));
    ExtendLzwStrings({reduced.Indices.data(), step.Width, reduced.Left, reduced.Top, reduced.Width,
                      reduced.Height, step.Bgr, step.Stride, kept ? shown_.data() : nullptr},
                     reduced.Palette, bound);
}

} // namespace framolo
