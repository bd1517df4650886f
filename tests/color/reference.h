#pragma once

// Slow, plain versions of the colour algorithms, written for obviousness
// rather than speed. The production code must agree with them bit for bit.

#include "color/color_types.h"
#include "platform/graphics/graphics.h"
#include "test_images.h"

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace framolo::test {

struct TRgb {
    int Red = 0;
    int Green = 0;
    int Blue = 0;
    friend bool operator==(const TRgb&, const TRgb&) = default;
};

// A lookup result: the index and the colour of that palette entry.
struct TMapped {
    int Index = 0;
    TRgb Chosen;
};

using TRefLookup = std::function<TMapped(TRgb)>;

// Nearest palette entry by the sum of absolute differences, remembered per
// bin of 5 bits per channel.
class TRefFastLookup {
public:
    explicit TRefFastLookup(std::vector<TPaletteEntry> palette);
    TMapped Map(TRgb color);

private:
    static int Key(TRgb c) { return (c.Blue / 8) * 1024 + (c.Green / 8) * 32 + c.Red / 8; }
    std::vector<TPaletteEntry> palette_;
    std::vector<int> bins_;
};

TMapped RefNetscape(TRgb c);
TMapped RefGrayScale(TRgb c);
TMapped RefMonochrome(TRgb c);

// Error diffusion straight from the kernel tables, with one error sum per
// pixel of the whole image. Returns the indices, top row first.
std::vector<std::uint8_t> RefDither(TDitherMode mode, const TRgbImage& image,
                                    const TRefLookup& lookup);

// The octree quantizer with heap nodes and linked reducible lists; returns
// the leaf colours in tree order (red, green, blue).
std::vector<TRgb> RefQuantize(const TRgbImage& image, int colorLimit, int depthBits);

// The whole reduction for the methods with a palette lookup.
std::vector<std::uint8_t> RefReduce(const TRgbImage& image, TColorReduction method,
                                    TDitherMode mode, const std::vector<TPaletteEntry>& palette);

} // namespace framolo::test
