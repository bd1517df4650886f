#include "color/pixel_error.h"

#include "color/exact_color_lookup.h"

namespace framolo {

std::int64_t SquaredError(const std::uint8_t* bgr, std::ptrdiff_t stride, const std::uint8_t* rgb,
                          int width, int height) {
    const auto w = static_cast<std::size_t>(width);
    std::int64_t sum = 0;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* p = bgr + stride * y;
        const std::uint8_t* s = rgb + 3 * static_cast<std::size_t>(y) * w;
        for (std::size_t x = 0; x < w; ++x, p += 3, s += 3)
            sum += TExactColorLookup::ScreenDistance(p, s);
    }
    return sum;
}

double StructuralLoss(const std::uint8_t* bgr, std::ptrdiff_t stride, const std::uint8_t* rgb,
                      int width, int height) {
    // Video tools take (0.01 * 255)^2 for the mean and (0.03 * 255)^2 for the
    // contrast, then scale both for 8-bit samples as ffmpeg's ssim filter
    // does: its integer form weighs the mean's constant by 1/64 and the
    // contrast's by 63/64 against the textbook's.
    constexpr double kC1 = 6.5025 / 64, kC2 = 58.5225 * 63 / 64;
    const auto w = static_cast<std::size_t>(width);
    double sum = 0;
    int blocks = 0;
    for (int top = 0; top + kSsimBlock <= height; top += kSsimBlock)
        for (int left = 0; left + kSsimBlock <= width; left += kSsimBlock)
            for (int c = 0; c < 3; ++c) {
                std::int64_t a = 0, b = 0, aa = 0, bb = 0, ab = 0;
                for (int y = top; y < top + kSsimBlock; ++y) {
                    const std::uint8_t* p = bgr + stride * y + 3 * left + (2 - c);
                    const std::uint8_t* s =
                        rgb +
                        3 * (static_cast<std::size_t>(y) * w + static_cast<std::size_t>(left)) + c;
                    for (int x = 0; x < kSsimBlock; ++x, p += 3, s += 3) {
                        a += *p;
                        b += *s;
                        aa += *p * *p;
                        bb += *s * *s;
                        ab += *p * *s;
                    }
                }
                constexpr double n = kSsimBlock * kSsimBlock;
                const double ma = static_cast<double>(a) / n, mb = static_cast<double>(b) / n;
                const double va = static_cast<double>(aa) / n - ma * ma;
                const double vb = static_cast<double>(bb) / n - mb * mb;
                const double cov = static_cast<double>(ab) / n - ma * mb;
                sum += (2 * ma * mb + kC1) * (2 * cov + kC2) /
                       ((ma * ma + mb * mb + kC1) * (va + vb + kC2));
                ++blocks;
            }
    return blocks > 0 ? 1.0 - sum / blocks : 0;
}

} // namespace framolo
