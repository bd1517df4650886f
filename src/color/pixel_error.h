#pragma once

#include <cstddef>
#include <cstdint>

namespace framolo {

// How far a picture is from what a screen shows. The picture is width x
// height pixels (blue, green, red), row y at bgr + y * stride; the screen is
// packed red, green, blue rows of the same size.

// The sum of the squared RGB distances of every pixel.
std::int64_t SquaredError(const std::uint8_t* bgr, std::ptrdiff_t stride, const std::uint8_t* rgb,
                          int width, int height);

// The side of the blocks StructuralLoss measures.
inline constexpr int kSsimBlock = 8;

// 1 minus the mean SSIM of the picture's kSsimBlock-square blocks (whole
// blocks only), over red, green and blue; 0 for a picture smaller than a
// block. The constants are those video tools report (ffmpeg's ssim filter),
// which weigh a shifted mean in a dark block strongly.
double StructuralLoss(const std::uint8_t* bgr, std::ptrdiff_t stride, const std::uint8_t* rgb,
                      int width, int height);

} // namespace framolo
