#include "gif/encode/optimized_frames.h"

#include "color/best_quantizer.h"
#include "color/changed_rect.h"
#include "color/exact_color_lookup.h"
#include "color/parallel_parts.h"
#include "gif/encode/lzw_string_choice.h"

#include <algorithm>
#include <cmath>
#include <limits>

// Layers: a frame drawn with a palette of its own over what the screen
// shows, only where that brings pixels closer by more than a margin.

namespace framolo {

namespace {
// A layer's palette is made from the pixels further from their colour than
// the margin by kLayerPoolSlack RGB levels, and than kLayerPoolShare of the
// picture's pixels (measured on every kLayerSampleStep-th one), though never
// leaving out pixels further than kLayerNoise: the share stands for the noise
// of a picture that stands still, and where it moves most pixels are further
// off than noise.
constexpr double kLayerPoolSlack = 2.0;
constexpr double kLayerPoolShare = 0.75;
constexpr double kLayerNoise = 6.0;
constexpr std::size_t kLayerSampleStep = 7;
// A layer with fewer pixels to look up is drawn on one thread.
constexpr std::size_t kLayerPixelsPerThread = 131072;
} // namespace

TOptimizedFrame TOptimizedFrameSequence::PlaceLayer(const TReducedStep& step, int colors,
                                                    double layerMargin, int lzwBound) {
    const auto w = static_cast<std::size_t>(step.Width);
    const std::size_t pixels = w * static_cast<std::size_t>(step.Height);
    const bool first = !optimizer_->Started();
    const std::vector<std::uint8_t>& screen = optimizer_->Screen();
    const double margin = std::max(layerMargin, 0.0);
    // How far each pixel's colour is from what the screen shows (squared).
    layerShown_.resize(pixels);
    // Pixels past the margin, each of which the drawing below looks up.
    std::size_t lookups = 0;
    const double marginSquared = margin * margin;
    for (int y = 0; y < step.Height; ++y) {
        const std::uint8_t* p = step.Bgr + step.Stride * y;
        const std::uint8_t* s = screen.data() + 3 * static_cast<std::size_t>(y) * w;
        int* shown = layerShown_.data() + static_cast<std::size_t>(y) * w;
        for (std::size_t x = 0; x < w; ++x, p += 3, s += 3) {
            shown[x] =
                first ? std::numeric_limits<int>::max() : TExactColorLookup::ScreenDistance(p, s);
            lookups += static_cast<double>(shown[x]) > marginSquared ? 1 : 0;
        }
    }
    // The palette is spent on the pixels the screen shows worst: further from
    // their colour than the margin by kLayerPoolSlack, and than three
    // quarters of the picture (or kLayerNoise). Built over every pixel that could be drawn, it
    // would go to the many that are off by a level or two (noise in video,
    // rounding in drawn pictures) and mend few; pixels left out still take an
    // entry that lands near them.
    double poolDistance = margin + kLayerPoolSlack;
    if (!first) {
        std::vector<int> sample;
        sample.reserve(pixels / kLayerSampleStep + 1);
        for (std::size_t i = 0; i < pixels; i += kLayerSampleStep)
            sample.push_back(layerShown_[i]);
        const auto at = sample.begin() + static_cast<std::ptrdiff_t>(
                                             static_cast<double>(sample.size()) * kLayerPoolShare);
        std::nth_element(sample.begin(), at, sample.end());
        poolDistance =
            std::max(poolDistance, std::min(kLayerNoise, std::sqrt(static_cast<double>(*at))));
    }
    layerPool_.clear();
    for (int y = 0; y < step.Height; ++y) {
        const std::uint8_t* row = step.Bgr + step.Stride * y;
        const int* shown = layerShown_.data() + static_cast<std::size_t>(y) * w;
        for (std::size_t x = 0; x < w; ++x)
            if (static_cast<double>(shown[x]) > poolDistance * poolDistance)
                layerPool_.insert(layerPool_.end(), row + 3 * x, row + 3 * x + 3);
    }
    // With nothing far off, the last palette serves the few pixels that may still gain.
    if (!layerPool_.empty())
        layerPalette_ = TBestQuantizer(std::clamp(colors, 1, 255), tuning_.RefineRounds,
                                       tuning_.SamplePixels, threads_)
                            .Quantize(layerPool_.data(), static_cast<int>(layerPool_.size() / 3), 1,
                                      static_cast<std::ptrdiff_t>(layerPool_.size()));
    if (layerPalette_.empty())
        layerPalette_.push_back(TPaletteEntry{});
    layerIndices_.assign(pixels, 0);
    layerDrawn_.assign(pixels, 0);
    // Bands of rows are drawn apart, each with a lookup of its own.
    const int bands = lookups >= kLayerPixelsPerThread ? threads_ : 1;
    // Locals, since the byte stores below could otherwise alias them.
    const int* distances = layerShown_.data();
    std::uint8_t* indices = layerIndices_.data();
    std::uint8_t* drawn = layerDrawn_.data();
    const std::uint8_t* bgr = step.Bgr;
    const std::ptrdiff_t stride = step.Stride;
    const int height = step.Height;
    RunInParts(bands, [=, this](int band) {
        TExactColorLookup lookup(layerPalette_);
        for (int y = height * band / bands; y < height * (band + 1) / bands; ++y) {
            const std::uint8_t* p = bgr + stride * y;
            const std::size_t at = static_cast<std::size_t>(y) * w;
            for (std::size_t x = 0; x < w; ++x, p += 3) {
                // On the first frame every distance is the largest int: all is drawn.
                const double shown = static_cast<double>(distances[at + x]);
                if (shown <= marginSquared)
                    continue;
                int distance = 0;
                const int index = lookup.Nearest(p[2], p[1], p[0], distance);
                if (std::sqrt(static_cast<double>(distance)) + margin < std::sqrt(shown)) {
                    indices[at + x] = static_cast<std::uint8_t>(index);
                    drawn[at + x] = 1;
                }
            }
        }
    });
    if (lzwBound > 0 && !first) {
        // Over the drawn pixels' rectangle, which the frame is cut to.
        const TChangedRect rect = FindChangedRect(
            step.Width, step.Height, [](int) { return false; },
            [&](int x, int y) {
                return drawn[static_cast<std::size_t>(y) * w + static_cast<std::size_t>(x)] != 0;
            });
        if (!rect.Empty()) {
            TLzwChoiceBlock block{indices,
                                  step.Width,
                                  rect.Left,
                                  rect.Top,
                                  rect.Right - rect.Left + 1,
                                  rect.Bottom - rect.Top + 1,
                                  bgr,
                                  stride,
                                  nullptr};
            block.Drawn = drawn;
            block.ScreenRgb = screen.data();
            ExtendLzwStrings(block, layerPalette_, lzwBound);
        }
    }
    return Locate(layerPalette_, layerIndices_.data(), layerDrawn_.data());
}

} // namespace framolo
