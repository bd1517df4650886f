#include "color/dither_engine.h"

#include "color/palettes.h"
#include "reference.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <random>

namespace framolo {
namespace {

using test::TRgb;
using test::TRgbImage;

// A lookup that records what it is asked and answers from a script, so a
// test can inject exact quantisation errors. Index = number of the call.
class TScriptedLookup final : public TColorLookup {
public:
    using TScript = std::function<TRgb(int call, TRgb adjusted)>;
    explicit TScriptedLookup(TScript script) : TColorLookup(nullptr), script_(std::move(script)) {
        colorCount_ = 256;
    }

    std::uint8_t MapColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                          std::uint8_t& chosenRed, std::uint8_t& chosenGreen,
                          std::uint8_t& chosenBlue) override {
        const TRgb in{red, green, blue};
        const int call = static_cast<int>(Seen.size());
        Seen.push_back(in);
        const TRgb out = script_(call, in);
        chosenRed = static_cast<std::uint8_t>(out.Red);
        chosenGreen = static_cast<std::uint8_t>(out.Green);
        chosenBlue = static_cast<std::uint8_t>(out.Blue);
        return static_cast<std::uint8_t>(call);
    }

    std::vector<TRgb> Seen;

private:
    TScript script_;
};

// The adjusted colour with a given error: chosen = adjusted - error.
TRgb WithError(TRgb adjusted, int error) {
    return TRgb{adjusted.Red - error, adjusted.Green - error, adjusted.Blue - error};
}

TRgb Gray(int v) {
    return TRgb{v, v, v};
}

// Runs an engine over an image through DitherRow; returns the indices.
std::vector<std::uint8_t> RunRows(TDitherEngine& engine, const TRgbImage& image) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(image.Width) *
                                  static_cast<std::size_t>(image.Height));
    std::vector<std::uint8_t> bgr(3 * static_cast<std::size_t>(image.Width));
    for (int y = 0; y < image.Height; ++y) {
        for (int x = 0; x < image.Width; ++x) {
            const std::uint8_t* p = image.Pixel(x, y);
            bgr[3 * static_cast<std::size_t>(x)] = p[2];
            bgr[3 * static_cast<std::size_t>(x) + 1] = p[1];
            bgr[3 * static_cast<std::size_t>(x) + 2] = p[0];
        }
        engine.DitherRow(bgr.data(), out.data() + static_cast<std::size_t>(y) *
                                                      static_cast<std::size_t>(image.Width));
        engine.NextRow();
    }
    return out;
}

// The same through DitherPixel, following the engine's column.
std::vector<std::uint8_t> RunPixels(TDitherEngine& engine, const TRgbImage& image) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(image.Width) *
                                  static_cast<std::size_t>(image.Height));
    for (int y = 0; y < image.Height; ++y) {
        while (engine.Column() >= 0 && engine.Column() < image.Width) {
            const int x = engine.Column();
            const std::uint8_t* p = image.Pixel(x, y);
            std::uint8_t r, g, b;
            out[static_cast<std::size_t>(y) * static_cast<std::size_t>(image.Width) +
                static_cast<std::size_t>(x)] = engine.DitherPixel(p[0], p[1], p[2], r, g, b);
        }
        engine.NextRow();
    }
    return out;
}

TRgbImage Filled(int width, int height, int value) {
    TRgbImage image = test::MakeImage(width, height);
    std::fill(image.Rgb.begin(), image.Rgb.end(), static_cast<std::uint8_t>(value));
    return image;
}

TEST(FloydSteinberg, NegativeSumsRoundTowardZero) {
    // Row 1 starts at column 1, which waits for 1 x e(0,0) + 5 x e(0,1).
    for (const auto& [e01, expected] :
         {std::pair{-2, 100 /* -9 adds 0 */}, std::pair{-5, 99 /* -24 adds -1 */}}) {
        TScriptedLookup lookup([e01 = e01](int call, TRgb in) {
            return WithError(in, call == 0 ? 1 : call == 1 ? e01 : 0);
        });
        TFloydSteinbergDitherer engine(2, lookup);
        RunRows(engine, Filled(2, 2, 100));
        ASSERT_EQ(lookup.Seen.size(), 4u);
        EXPECT_EQ(lookup.Seen[1], Gray(100)); // the carry of 7 adds (7 + 8) div 16 = 0
        EXPECT_EQ(lookup.Seen[2], Gray(expected)) << "e01 " << e01;
    }
}

TEST(Stucki, SumsOfPlusAndMinus21) {
    // Only pixel (2,0) of row 0 errs; its weight 1 reaches (0,2) two rows on.
    for (const auto& [error, expected] : {std::pair{21, 101}, std::pair{-21, 100}}) {
        TScriptedLookup lookup(
            [error = error](int call, TRgb in) { return WithError(in, call == 2 ? error : 0); });
        TStuckiDitherer engine(3, lookup);
        RunRows(engine, Filled(3, 3, 100));
        ASSERT_EQ(lookup.Seen.size(), 9u);
        EXPECT_EQ(lookup.Seen[6], Gray(expected)) << error;
        if (error > 0) {
            // Row 1 runs right to left: columns 2, 1, 0 receive 8, 4 and 2 x 21.
            EXPECT_EQ(lookup.Seen[3], Gray(104));
            EXPECT_EQ(lookup.Seen[4], Gray(102));
            EXPECT_EQ(lookup.Seen[5], Gray(101));
        }
    }
}

TEST(ErrorDiffusion, ClampsBeforeTheLookupAndPassesTheClampedError) {
    // Pixel 0 errs by 22: pixel 1 gets (154 + 8) div 16 = 10 and 250 + 10 is
    // clamped to 255. Choosing 200 leaves 55 (not 60) for pixel 2:
    // (385 + 8) div 16 = 24.
    TScriptedLookup lookup([](int call, TRgb in) {
        if (call == 0)
            return WithError(in, 22);
        if (call == 1)
            return Gray(200);
        return in;
    });
    TFloydSteinbergDitherer engine(3, lookup);
    TRgbImage image = Filled(3, 1, 100);
    std::fill_n(image.Pixel(1, 0), 3, 250);
    std::fill_n(image.Pixel(2, 0), 3, 0);
    RunRows(engine, image);
    EXPECT_EQ(lookup.Seen[1], Gray(255));
    EXPECT_EQ(lookup.Seen[2], Gray(24));

    // And at the bottom: a large negative error clamps to 0.
    TScriptedLookup low([](int call, TRgb in) { return call == 0 ? Gray(255) : in; });
    TBurkesDitherer burkes(2, low);
    TRgbImage dark = Filled(2, 1, 0);
    std::fill_n(dark.Pixel(1, 0), 3, 20);
    RunRows(burkes, dark);
    EXPECT_EQ(low.Seen[1], Gray(0)); // 20 + (8 x -255 + 16) div 32 = 20 - 63
}

TEST(DitherEngine, RowsRunSerpentine) {
    for (int mode = 0; mode <= 6; ++mode) {
        TScriptedLookup lookup([](int, TRgb in) { return in; });
        auto engine = CreateDitherEngine(static_cast<TDitherMode>(mode), 4, lookup);
        TRgbImage image = test::MakeImage(4, 3);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                image.Pixel(x, y)[0] = static_cast<std::uint8_t>(10 * y + x);
        EXPECT_EQ(engine->Column(), 0);
        std::vector<std::uint8_t> indices = RunRows(*engine, image);
        std::vector<int> order;
        for (const TRgb& c : lookup.Seen)
            order.push_back(c.Red);
        EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 13, 12, 11, 10, 20, 21, 22, 23})) << mode;
        // Each index lands in its pixel's column.
        EXPECT_EQ(indices, (std::vector<std::uint8_t>{0, 1, 2, 3, 7, 6, 5, 4, 8, 9, 10, 11}))
            << mode;
        EXPECT_EQ(engine->Direction(), -1);
        EXPECT_EQ(engine->Column(), 3);
    }
}

TEST(DitherEngine, PixelsOutsideTheRowAreRefused) {
    TNetscapeColorLookup lookup(nullptr);
    for (int mode = 1; mode <= 6; ++mode) {
        auto engine = CreateDitherEngine(static_cast<TDitherMode>(mode), 2, lookup);
        std::uint8_t r, g, b;
        engine->DitherPixel(1, 2, 3, r, g, b);
        engine->DitherPixel(1, 2, 3, r, g, b);
        EXPECT_THROW(engine->DitherPixel(1, 2, 3, r, g, b), std::out_of_range) << mode;
    }
    EXPECT_EQ(CreateDitherEngine(static_cast<TDitherMode>(7), 2, lookup), nullptr);
    // Buffers whose entries an int could not address are refused up front.
    EXPECT_THROW(TBurkesDitherer(std::numeric_limits<int>::max() / 3, lookup), std::length_error);
}

TEST(DitherEngine, ColoursOfThePaletteGiveTheSameIndicesAsNearest) {
    // Every error is 0, so no engine may differ from Nearest.
    std::mt19937 rng(3);
    TRgbImage image = test::MakeImage(23, 11);
    for (auto& v : image.Rgb)
        v = static_cast<std::uint8_t>(51 * (rng() % 6));
    TNetscapeColorLookup lookup(nullptr);
    TDitherEngine nearest(23, lookup);
    const auto expected = RunRows(nearest, image);
    for (int mode = 1; mode <= 6; ++mode) {
        auto engine = CreateDitherEngine(static_cast<TDitherMode>(mode), 23, lookup);
        EXPECT_EQ(RunRows(*engine, image), expected) << mode;
    }
}

TEST(DitherEngine, AnEmptyRowIsNoWork) {
    TNetscapeColorLookup lookup(nullptr);
    for (int mode = 0; mode <= 6; ++mode) {
        auto engine = CreateDitherEngine(static_cast<TDitherMode>(mode), 0, lookup);
        engine->DitherRow(nullptr, nullptr);
        engine->NextRow();
        engine->DitherRow(nullptr, nullptr);
        EXPECT_EQ(engine->Column(), -1);
    }
}

TEST(DitherEngine, SkippedPixelsLeaveTheBufferPositionBehind) {
    // A caller may skip a pixel with AdvanceColumn (transparent pixels of a
    // web-palette rendering): the column moves on, the buffer position does
    // not, and Floyd-Steinberg's last pending sum still goes to the row's
    // last column. 255 marks a skipped pixel.
    const std::vector<std::uint8_t> expected[] = {
        {},
        {255, 163, 200, 255, 41, 212, 255, 159, 172, 255, 62, 72, 255, 135, 113},
        {255, 163, 200, 255, 41, 212, 255, 159, 166, 255, 62, 72, 255, 135, 112},
        {255, 163, 200, 255, 41, 212, 255, 159, 166, 255, 62, 72, 255, 135, 112},
        {255, 163, 200, 255, 41, 212, 255, 159, 166, 255, 62, 72, 255, 135, 112},
        {255, 163, 164, 255, 40, 212, 255, 159, 166, 255, 62, 72, 255, 135, 112},
        {255, 163, 200, 255, 41, 212, 255, 159, 166, 255, 62, 72, 255, 135, 113}};
    const TRgbImage image = test::RandomImage(5, 3, 9);
    TNetscapeColorLookup lookup(nullptr);
    for (int mode = 1; mode <= 6; ++mode) {
        auto engine = CreateDitherEngine(static_cast<TDitherMode>(mode), image.Width, lookup);
        std::vector<std::uint8_t> out(15, 255);
        for (int y = 0; y < image.Height; ++y) {
            for (int x = engine->Column(); x >= 0 && x < image.Width; x = engine->Column()) {
                if ((x + 2 * y) % 3 == 0) {
                    engine->AdvanceColumn();
                    continue;
                }
                const std::uint8_t* p = image.Pixel(x, y);
                std::uint8_t r, g, b;
                out[static_cast<std::size_t>(5 * y + x)] =
                    engine->DitherPixel(p[0], p[1], p[2], r, g, b);
            }
            engine->NextRow();
        }
        EXPECT_EQ(out, expected[mode]) << mode;
    }
}

// ---- Differential: every engine against the plain reference.

struct TLookupCase {
    const char* Name;
    TColorReduction Method;
    std::vector<TPaletteEntry> Palette;
};

std::vector<TLookupCase> LookupCases() {
    std::mt19937 rng(11);
    std::vector<TPaletteEntry> random(16);
    for (auto& e : random)
        e = TPaletteEntry{static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()),
                          static_cast<std::uint8_t>(rng()), 0};
    const auto& system = SystemColors();
    return {{"fast-random16", TColorReduction::CustomPalette, random},
            {"fast-windows20", TColorReduction::Windows20, {system.begin(), system.end()}},
            {"netscape", TColorReduction::Netscape, {}},
            {"grayscale", TColorReduction::GrayScale, {}},
            {"monochrome", TColorReduction::Monochrome, {}}};
}

class DitherDifferential : public testing::TestWithParam<TDitherMode> {};

TEST_P(DitherDifferential, MatchesTheReferenceBitForBit) {
    const TDitherMode mode = GetParam();
    std::vector<std::pair<int, int>> sizes;
    for (int w = 1; w <= 7; ++w)
        for (int h : {1, 2, 3, 5})
            sizes.emplace_back(w, h);
    sizes.insert(sizes.end(), {{31, 9}, {64, 24}, {8, 40}});
    for (const TLookupCase& lc : LookupCases()) {
        for (const auto& [w, h] : sizes) {
            const auto seed = static_cast<std::uint32_t>(w * 100 + h);
            for (const TRgbImage& image :
                 {test::RandomImage(w, h, seed), test::PhotoLikeImage(w, h, seed)}) {
                const auto expected = test::RefReduce(image, lc.Method, mode, lc.Palette);
                const HPALETTE palette = CreatePalette(lc.Palette);
                {
                    auto lookup = CreateColorLookup(lc.Method, palette);
                    auto engine = CreateDitherEngine(mode, w, *lookup);
                    ASSERT_EQ(RunRows(*engine, image), expected) << lc.Name << " " << w << "x" << h;
                }
                {
                    auto lookup = CreateColorLookup(lc.Method, palette);
                    auto engine = CreateDitherEngine(mode, w, *lookup);
                    ASSERT_EQ(RunPixels(*engine, image), expected)
                        << "per pixel " << lc.Name << " " << w << "x" << h;
                }
            }
        }
    }
}

TEST_P(DitherDifferential, PixelByPixelThenTheRestOfTheRow) {
    // A row begun with DitherPixel and finished with DitherRow must carry on
    // with the error sums the single steps left.
    const TDitherMode mode = GetParam();
    std::mt19937 rng(17);
    for (int w : {1, 2, 5, 13}) {
        const TRgbImage image = test::PhotoLikeImage(w, 6, static_cast<std::uint32_t>(w));
        const auto expected = test::RefReduce(image, TColorReduction::Netscape, mode, {});
        TNetscapeColorLookup lookup(nullptr);
        auto engine = CreateDitherEngine(mode, w, lookup);
        std::vector<std::uint8_t> out(expected.size());
        std::vector<std::uint8_t> bgr(3 * static_cast<std::size_t>(w));
        for (int y = 0; y < image.Height; ++y) {
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c)
                    bgr[static_cast<std::size_t>(3 * x + c)] = image.Pixel(x, y)[2 - c];
            std::uint8_t* row = out.data() + static_cast<std::size_t>(y * w);
            for (auto single = rng() % static_cast<unsigned>(w + 1); single > 0; --single) {
                const int x = engine->Column();
                std::uint8_t r, g, b;
                const std::uint8_t* p = image.Pixel(x, y);
                row[x] = engine->DitherPixel(p[0], p[1], p[2], r, g, b);
            }
            engine->DitherRow(bgr.data(), row);
            engine->NextRow();
        }
        EXPECT_EQ(out, expected) << "width " << w;
    }
}

TEST_P(DitherDifferential, AnUnknownLookupClassGivesTheSameResult) {
    // A lookup the engines do not know goes through the virtual call.
    const TDitherMode mode = GetParam();
    const TRgbImage image = test::PhotoLikeImage(37, 13, 5);
    TNetscapeColorLookup netscape(nullptr);
    TScriptedLookup wrapped([&](int, TRgb in) {
        std::uint8_t r, g, b;
        netscape.MapColor(static_cast<std::uint8_t>(in.Red), static_cast<std::uint8_t>(in.Green),
                          static_cast<std::uint8_t>(in.Blue), r, g, b);
        return TRgb{r, g, b};
    });
    auto engine = CreateDitherEngine(mode, image.Width, wrapped);
    RunRows(*engine, image);
    std::vector<TRgb> expectedSeen;
    test::RefDither(mode, image, [&](TRgb c) {
        expectedSeen.push_back(c);
        return test::RefNetscape(c);
    });
    EXPECT_EQ(wrapped.Seen, expectedSeen);
}

std::string EngineName(const testing::TestParamInfo<TDitherMode>& param) {
    static const char* const kNames[] = {"Nearest", "FloydSteinberg", "Stucki", "Sierra",
                                         "JaJuNI",  "SteveArche",     "Burkes"};
    return kNames[static_cast<int>(param.param)];
}

INSTANTIATE_TEST_SUITE_P(AllEngines, DitherDifferential,
                         testing::Values(TDitherMode::Nearest, TDitherMode::FloydSteinberg,
                                         TDitherMode::Stucki, TDitherMode::Sierra,
                                         TDitherMode::JaJuNI, TDitherMode::SteveArche,
                                         TDitherMode::Burkes),
                         EngineName);

} // namespace
} // namespace framolo
