#include "color/best_quantizer.h"
#include "color/exact_color_lookup.h"
#include "color/reduce_colors.h"
#include "test_images.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <tuple>

namespace framolo {
namespace {

using test::TRgbImage;

std::vector<TPaletteEntry> PaletteOf(const TRgbImage& image, int colors) {
    auto bitmap = test::ToBitmap(image);
    TDIBReader reader(*bitmap, TPixelFormat::pf24bit);
    return TBestQuantizer(colors).Quantize(reader);
}

std::tuple<int, int, int> Key(const TPaletteEntry& e) {
    return {e.peRed, e.peGreen, e.peBlue};
}

// Mean squared error per channel of a reduction against its source.
double MeanSquaredError(const TRgbImage& image, const TBitmap& reduced) {
    const std::vector<std::uint8_t> indices = test::IndicesOf(reduced);
    const std::vector<TRGBQuad> table = reduced.ColorTable();
    double sum = 0;
    for (int y = 0; y < image.Height; ++y)
        for (int x = 0; x < image.Width; ++x) {
            const TRGBQuad& q = table[indices[static_cast<std::size_t>(y * image.Width + x)]];
            const std::uint8_t* p = image.Pixel(x, y);
            const double dr = p[0] - q.rgbRed, dg = p[1] - q.rgbGreen, db = p[2] - q.rgbBlue;
            sum += dr * dr + dg * dg + db * db;
        }
    return sum / (3.0 * image.Width * image.Height);
}

std::unique_ptr<TBitmap> ReduceBest(const TRgbImage& image, TDitherMode mode, int bits = 8) {
    auto source = test::ToBitmap(image);
    return ReduceBitmapColors(*source, TColorReduction::BestQuality, mode, bits, nullptr);
}

// Lowest index with the smallest squared distance, by looking at every entry.
int BruteForceNearest(const std::vector<TPaletteEntry>& palette, int r, int g, int b) {
    int best = 0;
    int bestDistance = 1 << 30;
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const int dr = palette[i].peRed - r, dg = palette[i].peGreen - g,
                  db = palette[i].peBlue - b;
        if (dr * dr + dg * dg + db * db < bestDistance) {
            bestDistance = dr * dr + dg * dg + db * db;
            best = static_cast<int>(i);
        }
    }
    return best;
}

TEST(ExactColorLookup, EqualsBruteForceOnRandomPalettes) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> byte(0, 255);
    for (const int size : {1, 2, 5, 37, 128, 256}) {
        for (int trial = 0; trial < 3; ++trial) {
            std::vector<TPaletteEntry> palette;
            // Trial 1 crowds the entries into a corner and trial 2 repeats
            // entries, so that cells hold many candidates and exact ties.
            for (int i = 0; i < size; ++i) {
                const int spread = trial == 1 ? 24 : 256;
                palette.push_back(TPaletteEntry{static_cast<std::uint8_t>(byte(rng) % spread),
                                                static_cast<std::uint8_t>(byte(rng) % spread),
                                                static_cast<std::uint8_t>(byte(rng) % spread), 0});
                if (trial == 2 && i % 3 == 2)
                    palette.back() = palette[static_cast<std::size_t>(i - 1)];
            }
            TExactColorLookup lookup(palette);
            ASSERT_EQ(lookup.ColorCount(), size);
            for (int k = 0; k < 20000; ++k) {
                const int r = byte(rng), g = byte(rng), b = byte(rng);
                std::uint8_t cr = 0, cg = 0, cb = 0;
                const int index =
                    lookup.MapColor(static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                                    static_cast<std::uint8_t>(b), cr, cg, cb);
                ASSERT_EQ(index, BruteForceNearest(palette, r, g, b))
                    << "size " << size << " trial " << trial << " colour " << r << "," << g << ","
                    << b;
                const TPaletteEntry& e = palette[static_cast<std::size_t>(index)];
                ASSERT_EQ(std::make_tuple(cr, cg, cb),
                          std::make_tuple(e.peRed, e.peGreen, e.peBlue));
            }
            // Every colour of the cells at the cube's corners and centre.
            for (const int base : {0, 120, 248})
                for (int r = base; r < base + 8; ++r)
                    for (int g = base; g < base + 8; ++g)
                        for (int b = base; b < base + 8; ++b)
                            ASSERT_EQ(lookup.Nearest(static_cast<std::uint8_t>(r),
                                                     static_cast<std::uint8_t>(g),
                                                     static_cast<std::uint8_t>(b)),
                                      BruteForceNearest(palette, r, g, b));
        }
    }
}

TEST(BestQuantizer, NeverMoreColorsThanAskedAndNoEntryTwice) {
    const TRgbImage photo = test::PhotoLikeImage(96, 64, 3);
    for (const int colors : {1, 2, 3, 16, 200, 255, 256}) {
        const auto palette = PaletteOf(photo, colors);
        ASSERT_FALSE(palette.empty());
        EXPECT_LE(static_cast<int>(palette.size()), colors);
        std::set<std::tuple<int, int, int>> seen;
        for (const auto& e : palette)
            EXPECT_TRUE(seen.insert(Key(e)).second) << "colours " << colors;
    }
    EXPECT_EQ(PaletteOf(photo, 0).size(), 1u); // kept at one colour at least
    EXPECT_LE(PaletteOf(photo, 1000).size(), 256u);
}

TEST(BestQuantizer, KeepsEveryColorOfAnImageWithFewColors) {
    for (const int distinct : {1, 2, 40, 256}) {
        const TRgbImage image = test::FewColorsImage(64, 48, distinct, 11);
        std::set<std::tuple<int, int, int>> colors;
        for (int y = 0; y < image.Height; ++y)
            for (int x = 0; x < image.Width; ++x)
                colors.insert({image.Pixel(x, y)[0], image.Pixel(x, y)[1], image.Pixel(x, y)[2]});
        const auto palette = PaletteOf(image, static_cast<int>(colors.size()));
        std::set<std::tuple<int, int, int>> got;
        for (const auto& e : palette)
            got.insert(Key(e));
        EXPECT_EQ(got, colors);
        // Every colour is in the palette, so no engine has an error to spread.
        for (const TDitherMode mode :
             {TDitherMode::Nearest, TDitherMode::FloydSteinberg, TDitherMode::SteveArche})
            EXPECT_EQ(MeanSquaredError(image, *ReduceBest(image, mode)), 0.0);
    }
}

TEST(BestQuantizer, IsDeterministic) {
    const TRgbImage photo = test::PhotoLikeImage(120, 90, 5);
    EXPECT_EQ(PaletteOf(photo, 256), PaletteOf(photo, 256));
    const auto a = ReduceBest(photo, TDitherMode::FloydSteinberg);
    const auto b = ReduceBest(photo, TDitherMode::FloydSteinberg);
    EXPECT_EQ(test::IndicesOf(*a), test::IndicesOf(*b));
    EXPECT_EQ(a->ColorTable(), b->ColorTable());
}

// The point of the method: less error than the octree, with and without dithering.
TEST(BestQuantizer, BeatsTheOctreeOnAPhotoLikeImage) {
    for (const std::uint32_t seed : {1u, 2u}) {
        const TRgbImage photo = test::PhotoLikeImage(160, 120, seed);
        for (const int bits : {4, 8}) {
            auto octreeSource = test::ToBitmap(photo);
            const auto octree = ReduceBitmapColors(*octreeSource, TColorReduction::Quantize,
                                                   TDitherMode::Nearest, bits, nullptr);
            const double best =
                MeanSquaredError(photo, *ReduceBest(photo, TDitherMode::Nearest, bits));
            EXPECT_LT(best, 0.8 * MeanSquaredError(photo, *octree)) << "bits " << bits;
        }
    }
}

TEST(BestQuantizer, WorksWithEveryDitheringMode) {
    const TRgbImage photo = test::PhotoLikeImage(33, 17, 9);
    const std::size_t colors = PaletteOf(photo, 16).size();
    for (int mode = 0; mode <= 6; ++mode) {
        const auto reduced = ReduceBest(photo, static_cast<TDitherMode>(mode), 4);
        ASSERT_FALSE(reduced->Empty()) << "mode " << mode;
        EXPECT_EQ(reduced->PixelFormat(), TPixelFormat::pf8bit);
        for (const std::uint8_t index : test::IndicesOf(*reduced))
            ASSERT_LT(index, colors) << "mode " << mode;
        // Dithering trades a little error for no banding, never a lot.
        EXPECT_LT(MeanSquaredError(photo, *reduced), 400.0) << "mode " << mode;
    }
}

} // namespace
} // namespace framolo
