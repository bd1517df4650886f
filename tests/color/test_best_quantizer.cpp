#include "color/best_quantizer.h"
#include "color/dither_engine.h"
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

// A sample large enough to be shared among threads gives the same palette
// for any number of them, with the sample cut at different places.
TEST(BestQuantizer, SameForAnyNumberOfThreads) {
    const TRgbImage photo = test::PhotoLikeImage(401, 333, 7);
    auto bitmap = test::ToBitmap(photo);
    TDIBReader reader(*bitmap, TPixelFormat::pf24bit);
    ASSERT_GE(401 * 333, 2 * TBestQuantizer::kSamplesPerThread);
    for (const int colors : {16, 255}) {
        const auto one = TBestQuantizer(colors, 8, 1 << 20, 1).Quantize(reader);
        for (const int threads : {2, 3, 8})
            EXPECT_EQ(TBestQuantizer(colors, 8, 1 << 20, threads).Quantize(reader), one)
                << colors << " colours, " << threads << " threads";
    }
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

// Grey pictures dithered with a palette of greys, through DitherRow (or,
// with byPixel, DitherPixel one pixel at a time); indexes row by row.
std::vector<int> DitherGrey(bool truncating, const std::vector<int>& grey, int width,
                            const std::vector<int>& levels, bool byPixel) {
    std::vector<TPaletteEntry> palette;
    for (const int v : levels) {
        const auto b = static_cast<std::uint8_t>(v);
        palette.push_back(TPaletteEntry{b, b, b, 0});
    }
    TExactColorLookup lookup(palette);
    std::unique_ptr<TDitherEngine> engine;
    if (truncating)
        engine = std::make_unique<TTruncatingFloydSteinbergDitherer>(width, lookup);
    else
        engine = CreateDitherEngine(TDitherMode::FloydSteinberg, width, lookup);
    const auto height = static_cast<int>(grey.size()) / width;
    std::vector<int> out(grey.size());
    for (int y = 0; y < height; ++y) {
        std::vector<std::uint8_t> bgr;
        for (int x = 0; x < width; ++x)
            bgr.insert(bgr.end(), 3,
                       static_cast<std::uint8_t>(grey[static_cast<std::size_t>(y * width + x)]));
        std::vector<std::uint8_t> indices(static_cast<std::size_t>(width));
        if (byPixel) {
            while (engine->Column() >= 0 && engine->Column() < width) {
                const int x = engine->Column();
                std::uint8_t r, g, b;
                indices[static_cast<std::size_t>(x)] =
                    engine->DitherPixel(bgr[3 * static_cast<std::size_t>(x) + 2],
                                        bgr[3 * static_cast<std::size_t>(x) + 1],
                                        bgr[3 * static_cast<std::size_t>(x)], r, g, b);
            }
        } else {
            engine->DitherRow(bgr.data(), indices.data());
        }
        engine->NextRow();
        for (int x = 0; x < width; ++x)
            out[static_cast<std::size_t>(y * width + x)] = indices[static_cast<std::size_t>(x)];
    }
    return out;
}

TEST(TruncatingFloydSteinberg, WorkedExamplesWhereTheWholeErrorChoosesOtherwise) {
    struct TCase {
        const char* What;
        std::vector<int> Grey;
        int Width;
        std::vector<int> Levels;
        std::vector<int> Truncated;
        std::vector<int> Whole;
    };
    const std::vector<TCase> cases = {
        // 15 leaves 7 x 15 / 16 = 6.56: cut to 6, 121 + 6 is nearer black;
        // the whole error rounds to 7, and 128 is nearer white.
        {"the next pixel's share", {15, 121}, 2, {0, 255}, {0, 0}, {0, 1}},
        // 5 x 15 / 16 = 4.69 goes down: cut to 4, 123 + 4 stays black.
        {"the share below", {15, 123}, 1, {0, 255}, {0, 0}, {0, 1}},
        // Row 1 runs left to right: 100 gives 43 to its right, which turns
        // white; a right-to-left row turns the left pixel white instead.
        {"the scan direction", {0, 0, 100, 100}, 2, {0, 255}, {0, 0, 0, 1}, {0, 0, 1, 0}},
        // 255 + 32 is kept at 255 before its error (75, not 107) is taken,
        // so 50 + 32 = 82 stays black, where 50 + 46 would be nearer 180;
        // the whole-error engine keeps its range too.
        {"the adjusted value's range", {255, 255, 50}, 3, {0, 180}, {1, 1, 0}, {1, 1, 0}},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(DitherGrey(true, c.Grey, c.Width, c.Levels, false), c.Truncated) << c.What;
        EXPECT_EQ(DitherGrey(true, c.Grey, c.Width, c.Levels, true), c.Truncated) << c.What;
        EXPECT_EQ(DitherGrey(false, c.Grey, c.Width, c.Levels, false), c.Whole) << c.What;
    }
}

TEST(TruncatingFloydSteinberg, RowAndPixelFeedsAgreeAndTheBestMethodUsesIt) {
    // Noise over a ramp, so that errors of every size and sign occur.
    std::mt19937 rng(11);
    const int width = 37;
    std::vector<int> grey;
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < width; ++x)
            grey.push_back(std::clamp(x * 7 + static_cast<int>(rng() % 41) - 20, 0, 255));
    const std::vector<int> levels = {0, 40, 97, 160, 230, 255};
    EXPECT_EQ(DitherGrey(true, grey, width, levels, false),
              DitherGrey(true, grey, width, levels, true));

    // A whole picture reduced with the best method and Floyd-Steinberg gets
    // the indexes this engine gives with the method's palette.
    const TRgbImage photo = test::PhotoLikeImage(41, 29, 5);
    const auto palette = PaletteOf(photo, 16);
    const auto reduced = ReduceBest(photo, TDitherMode::FloydSteinberg, 4);
    TExactColorLookup lookup(palette);
    TTruncatingFloydSteinbergDitherer engine(photo.Width, lookup);
    std::vector<std::uint8_t> expected;
    for (int y = 0; y < photo.Height; ++y) {
        std::vector<std::uint8_t> bgr;
        for (int x = 0; x < photo.Width; ++x) {
            const std::uint8_t* px = photo.Pixel(x, y);
            bgr.insert(bgr.end(), {px[2], px[1], px[0]});
        }
        std::vector<std::uint8_t> row(static_cast<std::size_t>(photo.Width));
        engine.DitherRow(bgr.data(), row.data());
        engine.NextRow();
        expected.insert(expected.end(), row.begin(), row.end());
    }
    EXPECT_EQ(test::IndicesOf(*reduced), expected);
}

} // namespace
} // namespace framolo
