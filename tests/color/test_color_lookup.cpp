#include "color/color_lookup.h"

#include "color/palettes.h"
#include "reference.h"

#include <gtest/gtest.h>

#include <random>

namespace framolo {
namespace {

struct TResult {
    int Index;
    int Red, Green, Blue;
    friend bool operator==(const TResult&, const TResult&) = default;
};

std::ostream& operator<<(std::ostream& os, const TResult& r) {
    return os << r.Index << " (" << r.Red << "," << r.Green << "," << r.Blue << ")";
}

TResult Map(TColorLookup& lookup, int r, int g, int b) {
    std::uint8_t cr = 0, cg = 0, cb = 0;
    const std::uint8_t index =
        lookup.MapColor(static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                        static_cast<std::uint8_t>(b), cr, cg, cb);
    return TResult{index, cr, cg, cb};
}

HPALETTE Grays(std::initializer_list<int> levels) {
    std::vector<TPaletteEntry> e;
    for (int v : levels)
        e.push_back(TPaletteEntry{static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v),
                                  static_cast<std::uint8_t>(v), 0});
    return CreatePalette(e);
}

TEST(FastColorLookup, ABinHoldingTwoEntriesAnswersWithTheLowerIndex) {
    TFastColorLookup lookup(Grays({200, 8, 15}));
    // Bins are decided up front by the palette, lowest index first.
    EXPECT_EQ(lookup.BinCache(TFastColorLookup::BinKey(8, 8, 8)), 1);
    EXPECT_EQ(lookup.BinCache(TFastColorLookup::BinKey(100, 100, 100)), -1);
    EXPECT_EQ(TFastColorLookup::BinKey(255, 0, 0), 31u);
    EXPECT_EQ(TFastColorLookup::BinKey(0, 0, 255), 31u << 10);
    EXPECT_EQ(Map(lookup, 15, 15, 15), (TResult{1, 8, 8, 8})); // even the exact colour of entry 2
    EXPECT_EQ(Map(lookup, 12, 9, 14), (TResult{1, 8, 8, 8}));
    EXPECT_EQ(Map(lookup, 200, 200, 200), (TResult{0, 200, 200, 200}));
}

TEST(FastColorLookup, TheFirstColourLookedUpInABinDecidesIt) {
    // 64,0,0 is as far from black as from maroon; 71,0,0 is nearer maroon.
    // Both lie in bin red 8, which holds no palette entry.
    TFastColorLookup a(DefaultPalette());
    EXPECT_EQ(Map(a, 64, 0, 0).Index, 0); // tie: the lower index
    EXPECT_EQ(Map(a, 71, 0, 0).Index, 0);
    TFastColorLookup b(DefaultPalette());
    EXPECT_EQ(Map(b, 71, 0, 0).Index, 1);
    EXPECT_EQ(Map(b, 64, 0, 0), (TResult{1, 128, 0, 0}));
    EXPECT_EQ(b.BinCache(TFastColorLookup::BinKey(64, 0, 0)), 1);
    EXPECT_EQ(b.Entry(1), (TPaletteEntry{128, 0, 0, 0}));
    EXPECT_THROW(b.Entry(256), std::out_of_range);
}

TEST(FastColorLookup, TiesGoToTheLowerIndex) {
    TFastColorLookup lookup(Grays({60, 40}));
    EXPECT_EQ(Map(lookup, 50, 50, 50).Index, 0);
    TFastColorLookup reversed(Grays({40, 60}));
    EXPECT_EQ(Map(reversed, 50, 50, 50).Index, 0);
    // Distance is the sum of absolute differences: 24,0,0 is 24 from black
    // and 14 + 10 + 10 = 34 from 10,10,10, although it is nearer the gray in
    // Euclidean terms.
    TFastColorLookup l1(CreatePalette({{0, 0, 0, 0}, {10, 10, 10, 0}}));
    EXPECT_EQ(Map(l1, 24, 0, 0).Index, 0);
}

TEST(FastColorLookup, CountsAndLimits) {
    TFastColorLookup empty(CreatePalette({}));
    EXPECT_EQ(empty.ColorCount(), 0);
    TFastColorLookup none(nullptr);
    EXPECT_EQ(none.ColorCount(), 0);
    std::vector<TPaletteEntry> big(300, TPaletteEntry{1, 2, 3, 0});
    auto palette = std::make_shared<TPalette>(big);
    TFastColorLookup capped(palette);
    EXPECT_EQ(capped.ColorCount(), 256);
}

TEST(FastColorLookup, MatchesThePlainLookupOnRandomSequences) {
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        std::vector<TPaletteEntry> entries(1 + rng() % 256);
        for (auto& e : entries)
            e = TPaletteEntry{static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()),
                              static_cast<std::uint8_t>(rng()), 0};
        TFastColorLookup lookup(CreatePalette(entries));
        test::TRefFastLookup ref(entries);
        for (int i = 0; i < 3000; ++i) {
            // Clustered colours so that bins are revisited.
            const int r = static_cast<int>(rng() % 64) + (round % 4) * 60;
            const int g = static_cast<int>(rng() % 256);
            const int b = static_cast<int>(rng() % 32) * 8;
            const test::TMapped m = ref.Map(test::TRgb{r, g, b});
            ASSERT_EQ(Map(lookup, r, g, b),
                      (TResult{m.Index, m.Chosen.Red, m.Chosen.Green, m.Chosen.Blue}))
                << "round " << round << " colour " << r << "," << g << "," << b;
        }
    }
}

TEST(FastColorLookup, VectorisedAndPlainSearchesAgree) {
    // Palettes of every size class, with few distinct values so that ties
    // across the 16-entry blocks are common.
    std::mt19937 rng(23);
    for (int size : {0, 1, 2, 15, 16, 17, 31, 100, 255, 256}) {
        for (int spread : {4, 256}) {
            std::vector<TPaletteEntry> entries(static_cast<std::size_t>(size));
            for (auto& e : entries)
                e = TPaletteEntry{static_cast<std::uint8_t>(rng() % spread * (256 / spread)),
                                  static_cast<std::uint8_t>(rng() % spread * (256 / spread)),
                                  static_cast<std::uint8_t>(rng() % spread * (256 / spread)), 0};
            TFastColorLookup lookup(CreatePalette(entries));
            for (int i = 0; i < 400; ++i) {
                const auto r = static_cast<std::uint8_t>(rng()),
                           g = static_cast<std::uint8_t>(rng()),
                           b = static_cast<std::uint8_t>(rng());
                const int plain = lookup.NearestIndexPortable(r, g, b);
                ASSERT_EQ(lookup.NearestIndex(r, g, b), plain) << size << " " << spread;
            }
        }
    }
}

TEST(NetscapeColorLookup, LevelBoundaries) {
    TNetscapeColorLookup lookup(nullptr);
    EXPECT_EQ(lookup.ColorCount(), 216);
    EXPECT_EQ(Map(lookup, 47, 48, 255), (TResult{11, 0, 51, 255}));
    const int lastOfLevel[] = {47, 98, 149, 200, 251, 255};
    for (int level = 0; level < 6; ++level) {
        const int last = lastOfLevel[level];
        const int first = level == 0 ? 0 : lastOfLevel[level - 1] + 1;
        for (int v : {first, last}) {
            EXPECT_EQ(Map(lookup, v, 0, 0), (TResult{36 * level, 51 * level, 0, 0})) << v;
            EXPECT_EQ(Map(lookup, 0, v, 0), (TResult{6 * level, 0, 51 * level, 0})) << v;
            EXPECT_EQ(Map(lookup, 0, 0, v), (TResult{level, 0, 0, 51 * level})) << v;
        }
    }
}

TEST(GrayScaleLookup, LuminanceWeights) {
    TGrayScaleLookup lookup(nullptr);
    EXPECT_EQ(lookup.ColorCount(), 256);
    EXPECT_EQ(Map(lookup, 255, 0, 0), (TResult{76, 76, 76, 76}));
    EXPECT_EQ(Map(lookup, 0, 255, 0).Index, 149);
    EXPECT_EQ(Map(lookup, 0, 0, 255).Index, 28);
    EXPECT_EQ(Map(lookup, 255, 255, 255), (TResult{255, 255, 255, 255}));
    EXPECT_EQ(Map(lookup, 0, 0, 0).Index, 0);
}

TEST(MonochromeLookup, ThresholdIsStrictlyAboveHalf) {
    TMonochromeLookup lookup(nullptr);
    EXPECT_EQ(lookup.ColorCount(), 2);
    EXPECT_EQ(Map(lookup, 127, 127, 127), (TResult{0, 0, 0, 0}));       // 32512
    EXPECT_EQ(Map(lookup, 128, 128, 128), (TResult{1, 255, 255, 255})); // 32768
    EXPECT_EQ(Map(lookup, 127, 128, 127).Index, 1);                     // 32662
    EXPECT_EQ(Map(lookup, 255, 0, 255).Index, 0);                       // 27030
}

TEST(ArithmeticLookups, MatchThePlainFormulasEverywhere) {
    TNetscapeColorLookup netscape(nullptr);
    TGrayScaleLookup gray(nullptr);
    TMonochromeLookup mono(nullptr);
    for (int r = 0; r < 256; r += 3)
        for (int g = 0; g < 256; g += 5)
            for (int b = 0; b < 256; b += 7) {
                const test::TRgb c{r, g, b};
                const auto expect = [](const test::TMapped& m) {
                    return TResult{m.Index, m.Chosen.Red, m.Chosen.Green, m.Chosen.Blue};
                };
                ASSERT_EQ(Map(netscape, r, g, b), expect(test::RefNetscape(c)));
                ASSERT_EQ(Map(gray, r, g, b), expect(test::RefGrayScale(c)));
                ASSERT_EQ(Map(mono, r, g, b), expect(test::RefMonochrome(c)));
            }
}

TEST(CreateColorLookup, PicksTheLookupByMethod) {
    const HPALETTE p = DefaultPalette();
    EXPECT_NE(
        dynamic_cast<TMonochromeLookup*>(CreateColorLookup(TColorReduction::Monochrome, p).get()),
        nullptr);
    EXPECT_NE(
        dynamic_cast<TGrayScaleLookup*>(CreateColorLookup(TColorReduction::GrayScale, p).get()),
        nullptr);
    EXPECT_NE(
        dynamic_cast<TNetscapeColorLookup*>(CreateColorLookup(TColorReduction::Netscape, p).get()),
        nullptr);
    for (auto m : {TColorReduction::Windows20, TColorReduction::Windows256,
                   TColorReduction::WindowsGray, TColorReduction::Quantize,
                   TColorReduction::QuantizeWindows, TColorReduction::CustomPalette}) {
        auto lookup = CreateColorLookup(m, p);
        EXPECT_NE(dynamic_cast<TFastColorLookup*>(lookup.get()), nullptr);
        EXPECT_EQ(lookup->ColorCount(), 20);
    }
}

} // namespace
} // namespace framolo
