#pragma once

#include "color/dib_access.h"
#include "platform/graphics/graphics.h"

#include <cstdint>
#include <vector>

namespace framolo {

// A palette that keeps the squared error of one true-colour image small: the
// colour cube is split by Wu's variance method into as many boxes as colours
// are asked for, and the boxes' means are then moved by a few rounds of
// k-means over a fixed sample of the image's own pixels. An image with no
// more distinct colours than asked gets exactly those colours.
//
// The result never has more than `colors` entries (kept within 1..256), is
// empty for an image without pixels, holds no entry twice, and is sorted by
// luminance, then red, green and blue. The same image always gives the same
// palette.
class TBestQuantizer {
public:
    explicit TBestQuantizer(int colors);
    // rounds of k-means (at least 0) over samples pixels (at least 1); a large
    // sample is shared among threads (at least 1) threads, which gives the
    // same palette as one thread.
    TBestQuantizer(int colors, int rounds, std::int64_t samples, int threads = 1);

    // Pixels of a 24-bit row are blue, green, red.
    std::vector<TPaletteEntry> Quantize(TDIB& reader) const;
    std::vector<TPaletteEntry> Quantize(const std::uint8_t* bgr, int width, int height,
                                        std::ptrdiff_t rowStride) const;

    int Colors() const { return colors_; }

    // Rounds of k-means after the split; the error no longer falls much after them.
    static constexpr int kRefineRounds = 4;
    // Pixels the k-means rounds look at, at most.
    static constexpr int kSamplePixels = 65536;
    // A smaller sample is not worth a thread's start.
    static constexpr std::int64_t kSamplesPerThread = 65536;

private:
    int colors_;
    int rounds_ = kRefineRounds;
    std::int64_t samples_ = kSamplePixels;
    int threads_ = 1;
};

// The step between the pixels ForEachSampledPixel visits.
inline std::int64_t SampleStep(int width, int height, std::int64_t maxSamples) {
    const std::int64_t total = static_cast<std::int64_t>(width) * height;
    std::int64_t step = total / maxSamples > 1 ? total / maxSamples : 1;
    if (step > 1 && width % step == 0)
        ++step;
    return step;
}

// Calls visit(pixel) for an evenly spread sample of about maxSamples pixels
// (all of them for a smaller picture) of a width x height 24-bit picture whose
// rows lie rowStride bytes apart; pixel points at blue, green, red. The step
// never divides the width, so the sample does not fall into the same columns
// on every row.
template <class Visit>
void ForEachSampledPixel(const std::uint8_t* bgr, int width, int height, std::ptrdiff_t rowStride,
                         std::int64_t maxSamples, Visit&& visit) {
    const std::int64_t total = static_cast<std::int64_t>(width) * height;
    const std::int64_t step = SampleStep(width, height, maxSamples);
    for (std::int64_t i = 0; i < total; i += step)
        visit(bgr + rowStride * (i / width) + 3 * (i % width));
}

// A new palette of at most `colors` entries by TBestQuantizer, for the
// reduction driver; it holds only the colours found, without padding.
HPALETTE BuildBestPalette(TDIB& reader, int colors);

} // namespace framolo
