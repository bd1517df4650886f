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

    // Pixels of a 24-bit row are blue, green, red.
    std::vector<TPaletteEntry> Quantize(TDIB& reader) const;
    std::vector<TPaletteEntry> Quantize(const std::uint8_t* bgr, int width, int height,
                                        std::ptrdiff_t rowStride) const;

    int Colors() const { return colors_; }

    // Rounds of k-means after the split; the error no longer falls much after them.
    static constexpr int kRefineRounds = 4;
    // Pixels the k-means rounds look at, at most.
    static constexpr int kSamplePixels = 65536;

private:
    int colors_;
};

// A new palette of at most `colors` entries by TBestQuantizer, for the
// reduction driver; it holds only the colours found, without padding.
HPALETTE BuildBestPalette(TDIB& reader, int colors);

} // namespace framolo
