#include "test_images.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace framolo::test {

TRgbImage MakeImage(int width, int height) {
    TRgbImage image;
    image.Width = width;
    image.Height = height;
    image.Rgb.assign(3 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    return image;
}

TRgbImage RandomImage(int width, int height, std::uint32_t seed) {
    TRgbImage image = MakeImage(width, height);
    std::mt19937 rng(seed);
    for (auto& v : image.Rgb)
        v = static_cast<std::uint8_t>(rng() & 0xFF);
    return image;
}

TRgbImage PhotoLikeImage(int width, int height, std::uint32_t seed) {
    TRgbImage image = MakeImage(width, height);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> noise(-6, 6);
    const double fx = 1.0 + static_cast<double>(seed % 5);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double u = x / fx / 7.0;
            const double v = y / fx / 5.0;
            int r = static_cast<int>(128 + 120 * std::sin(u + 0.3 * v));
            int g = static_cast<int>(110 + 100 * std::cos(0.7 * u - v));
            int b = static_cast<int>(90 + 90 * std::sin(0.5 * (u + v)));
            // Hard-edged blocks and saturated corners.
            if ((x / 9 + y / 7) % 5 == 0) {
                r = 250;
                g = 8;
                b = 4;
            }
            if (x < width / 6 && y < height / 4) {
                r = g = b = 255;
            }
            if (x >= width - width / 6 && y >= height - height / 4) {
                r = g = b = 0;
            }
            std::uint8_t* p = image.Pixel(x, y);
            p[0] = static_cast<std::uint8_t>(std::clamp(r + noise(rng), 0, 255));
            p[1] = static_cast<std::uint8_t>(std::clamp(g + noise(rng), 0, 255));
            p[2] = static_cast<std::uint8_t>(std::clamp(b + noise(rng), 0, 255));
        }
    }
    return image;
}

TRgbImage FewColorsImage(int width, int height, int colors, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> set(3 * static_cast<std::size_t>(colors));
    for (auto& v : set)
        v = static_cast<std::uint8_t>(rng() & 0xFF);
    TRgbImage image = MakeImage(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const auto k = 3 * (rng() % static_cast<std::uint32_t>(colors));
            std::uint8_t* p = image.Pixel(x, y);
            p[0] = set[k];
            p[1] = set[k + 1];
            p[2] = set[k + 2];
        }
    return image;
}

std::unique_ptr<TBitmap> ToBitmap(const TRgbImage& image) {
    auto bitmap = std::make_unique<TBitmap>(image.Width, image.Height, TPixelFormat::pf24bit);
    for (int y = 0; y < image.Height; ++y) {
        std::uint8_t* row = bitmap->ScanLine(y);
        for (int x = 0; x < image.Width; ++x) {
            const std::uint8_t* p = image.Pixel(x, y);
            row[3 * x] = p[2];
            row[3 * x + 1] = p[1];
            row[3 * x + 2] = p[0];
        }
    }
    return bitmap;
}

std::vector<std::uint8_t> IndicesOf(const TBitmap& bitmap) {
    std::vector<std::uint8_t> indices;
    for (int y = 0; y < bitmap.Height(); ++y) {
        const std::uint8_t* row = bitmap.ScanLine(y);
        indices.insert(indices.end(), row, row + bitmap.Width());
    }
    return indices;
}

} // namespace framolo::test
