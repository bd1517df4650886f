#include "color/shared_palette_reducer.h"

#include "color/best_quantizer.h"
#include "color/changed_rect.h"
#include "color/dither_engine.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace framolo {

namespace {
// Pixels looked at when measuring how well a palette fits a frame.
constexpr std::int64_t kErrorSamples = 16384;
// Every kMoveGrid-th pixel of every kMoveGrid-th row tells how much of a frame moved.
constexpr int kMoveGrid = 8;

} // namespace

TSharedPaletteReducer::TSharedPaletteReducer(int width, int height, int colors, TDitherMode mode,
                                             int tolerance)
    : TSharedPaletteReducer(width, height, mode, TSettings{colors, tolerance}) {}

TSharedPaletteReducer::TSharedPaletteReducer(int width, int height, TDitherMode mode,
                                             const TSettings& settings)
    : width_(std::max(width, 0)), height_(std::max(height, 0)),
      colors_(std::clamp(settings.Colors, 1, 256)), mode_(mode),
      tolerance_(std::clamp(settings.Tolerance, 0, 255)),
      movingTolerance_(settings.MovingTolerance < 0
                           ? tolerance_
                           : std::min(settings.MovingTolerance, tolerance_)),
      frameTolerance_(tolerance_), rebuildFactor_(settings.RebuildFactor),
      refineRounds_(settings.RefineRounds), samplePixels_(settings.SamplePixels) {}

bool TSharedPaletteReducer::Moved(const std::uint8_t* a, const std::uint8_t* b) const {
    const int d0 = a[0] - b[0], d1 = a[1] - b[1], d2 = a[2] - b[2];
    return d0 * d0 + d1 * d1 + d2 * d2 > frameTolerance_ * frameTolerance_;
}

int TSharedPaletteReducer::FrameTolerance(const std::uint8_t* bgr, std::ptrdiff_t stride) const {
    if (movingTolerance_ == tolerance_)
        return tolerance_;
    std::int64_t moved = 0, looked = 0;
    const int limit = movingTolerance_ * movingTolerance_;
    for (int y = kMoveGrid / 2; y < height_; y += kMoveGrid) {
        const std::uint8_t* now = bgr + stride * y;
        const std::uint8_t* before =
            dithered_.data() + 3 * static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
        for (int x = kMoveGrid / 2; x < width_; x += kMoveGrid, ++looked) {
            const int d0 = now[3 * x] - before[3 * x], d1 = now[3 * x + 1] - before[3 * x + 1],
                      d2 = now[3 * x + 2] - before[3 * x + 2];
            moved += d0 * d0 + d1 * d1 + d2 * d2 > limit ? 1 : 0;
        }
    }
    if (looked == 0)
        return tolerance_;
    return tolerance_ - static_cast<int>((tolerance_ - movingTolerance_) * moved / looked);
}

TSharedPaletteReducer::~TSharedPaletteReducer() = default;

double TSharedPaletteReducer::SampledError(const std::uint8_t* bgr, std::ptrdiff_t stride) {
    double sum = 0;
    std::int64_t n = 0;
    ForEachSampledPixel(bgr, width_, height_, stride, kErrorSamples, [&](const std::uint8_t* p) {
        int distance = 0;
        lookup_->Nearest(p[2], p[1], p[0], distance);
        sum += distance;
        ++n;
    });
    return n > 0 ? sum / static_cast<double>(n) : 0;
}

void TSharedPaletteReducer::Dither(const std::uint8_t* bgr, std::ptrdiff_t stride, int left,
                                   int top, int width, int height, bool keepUnchanged) {
    // tolerance_ is at most 255, so its square fits.
    TKeepingColorLookup keeper(*lookup_,
                               frameTolerance_ > 0 ? frameTolerance_ * frameTolerance_ : -1);
    TColorLookup& lookup = keepUnchanged ? static_cast<TColorLookup&>(keeper) : *lookup_;
    std::unique_ptr<TDitherEngine> engine = CreateBestDitherEngine(mode_, width, lookup);
    if (!engine)
        engine = CreateDitherEngine(TDitherMode::Nearest, width, lookup);
    const auto rowBytes = static_cast<std::size_t>(width) * 3;
    const auto changed = std::make_unique<bool[]>(static_cast<std::size_t>(width));
    std::vector<std::uint8_t> previous(static_cast<std::size_t>(width));
    for (int y = top; y < top + height; ++y) {
        const std::uint8_t* source = bgr + stride * y + 3 * left;
        const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                               static_cast<std::size_t>(left);
        if (keepUnchanged) {
            const std::uint8_t* before = dithered_.data() + 3 * at;
            for (int x = 0; x < width; ++x)
                changed[static_cast<std::size_t>(x)] = Moved(source + 3 * x, before + 3 * x);
            std::copy_n(frame_.Indices.data() + at, width, previous.data());
            keeper.BeginRow(changed.get(), previous.data(), engine->Column(), engine->Direction());
        }
        engine->DitherRow(source, frame_.Indices.data() + at);
        engine->NextRow();
        if (!keepUnchanged) {
            std::memcpy(dithered_.data() + 3 * at, source, rowBytes);
            continue;
        }
        // Kept pixels keep the colour they were dithered from.
        std::uint8_t* reference = dithered_.data() + 3 * at;
        for (int x = 0; x < width; ++x)
            if (changed[static_cast<std::size_t>(x)])
                std::memcpy(reference + 3 * x, source + 3 * x, 3);
    }
}

const TReducedFrame& TSharedPaletteReducer::Next(const std::uint8_t* bgr, std::ptrdiff_t stride) {
    const std::size_t pixels = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
    frame_.NewPalette = false;
    if (pixels == 0) {
        frame_.Left = frame_.Top = frame_.Width = frame_.Height = 0;
        return frame_;
    }
    bool rebuild = lookup_ == nullptr;
    if (!rebuild)
        rebuild = SampledError(bgr, stride) > rebuildFactor_ * frame_.PaletteError + kRebuildSlack;
    if (rebuild) {
        frame_.Palette = TBestQuantizer(colors_, refineRounds_, samplePixels_)
                             .Quantize(bgr, width_, height_, stride);
        frame_.NewPalette = true;
        lookup_ = std::make_unique<TExactColorLookup>(frame_.Palette);
        frame_.PaletteError = SampledError(bgr, stride);
        ++palettesBuilt_;
        // Dithering the whole frame writes every index and reference colour.
        frame_.Indices.resize(pixels);
        dithered_.resize(pixels * 3);
        frame_.Left = frame_.Top = 0;
        frame_.Width = width_;
        frame_.Height = height_;
        Dither(bgr, stride, 0, 0, width_, height_, false);
        return frame_;
    }

    frameTolerance_ = FrameTolerance(bgr, stride);
    const auto now = [&](int y) { return bgr + stride * y; };
    const auto before = [&](int y) {
        return dithered_.data() +
               3 * static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
    };
    const TChangedRect rect = FindChangedRect(
        width_, height_,
        // Equal bytes never moved; the pixel test settles the rest.
        [&](int y) {
            return std::memcmp(now(y), before(y), static_cast<std::size_t>(width_) * 3) == 0;
        },
        [&](int x, int y) { return Moved(now(y) + 3 * x, before(y) + 3 * x); });
    if (rect.Empty()) {
        frame_.Left = frame_.Top = frame_.Width = frame_.Height = 0;
        return frame_;
    }
    frame_.Left = rect.Left;
    frame_.Top = rect.Top;
    frame_.Width = rect.Right - rect.Left + 1;
    frame_.Height = rect.Bottom - rect.Top + 1;
    Dither(bgr, stride, frame_.Left, frame_.Top, frame_.Width, frame_.Height, true);
    return frame_;
}

} // namespace framolo
