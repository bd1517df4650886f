#pragma once

#include "platform/graphics/bitmap.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace framolo::test {

// A true-colour image as the tests build it: rows top to bottom, pixels left
// to right, three bytes red, green, blue each.
struct TRgbImage {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint8_t> Rgb;

    const std::uint8_t* Pixel(int x, int y) const {
        return Rgb.data() + 3 * (static_cast<std::size_t>(y) * static_cast<std::size_t>(Width) +
                                 static_cast<std::size_t>(x));
    }
    std::uint8_t* Pixel(int x, int y) {
        return Rgb.data() + 3 * (static_cast<std::size_t>(y) * static_cast<std::size_t>(Width) +
                                 static_cast<std::size_t>(x));
    }
};

TRgbImage MakeImage(int width, int height);
// Every channel uniformly random.
TRgbImage RandomImage(int width, int height, std::uint32_t seed);
// Smooth gradients with mild noise, a few hard-edged blocks and saturated
// corners: long runs of similar colours like a photograph, plus the extremes
// that make dithering clamp.
TRgbImage PhotoLikeImage(int width, int height, std::uint32_t seed);
// Colours drawn from a small set, so that a quantizer may keep them all.
TRgbImage FewColorsImage(int width, int height, int colors, std::uint32_t seed);

// A 24-bit bitmap holding the image.
std::unique_ptr<TBitmap> ToBitmap(const TRgbImage& image);
// The first width bytes of each row of an 8-bit bitmap, top row first.
std::vector<std::uint8_t> IndicesOf(const TBitmap& bitmap);

} // namespace framolo::test
