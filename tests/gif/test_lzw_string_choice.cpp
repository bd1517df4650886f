#include "gif/frame_optimizer.h"
#include "gif/lzw_string_choice.h"

#include "color/exact_color_lookup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace framolo {
namespace {

// A layer's strings: a drawn pixel may take another entry, or become a hole
// that shows the screen, only within the bound of its own entry; a pixel
// left undrawn stays so; and the coded data does not grow.
TEST(LzwStringChoice, ALayerTradesOnlyWithinTheBound) {
    constexpr int kWidth = 96, kHeight = 64, kColors = 12;
    std::vector<TPaletteEntry> palette;
    for (int i = 0; i < kColors; ++i) {
        const auto grey = static_cast<std::uint8_t>(20 * i);
        palette.push_back(TPaletteEntry{grey, grey, grey, 0});
    }
    std::mt19937 rng(3);
    const auto noise = [&](int spread) {
        return static_cast<int>(rng() % (2 * spread + 1)) - spread;
    };
    const std::size_t pixels = kWidth * kHeight;
    std::vector<std::uint8_t> bgr(3 * pixels), screen(3 * pixels), indices(pixels), drawn(pixels);
    for (std::size_t i = 0; i < pixels; ++i) {
        const int grey = std::clamp(static_cast<int>(i % kWidth / 8) * 20 + noise(8), 0, 255);
        std::fill_n(&bgr[3 * i], 3, static_cast<std::uint8_t>(grey));
        std::fill_n(&screen[3 * i], 3,
                    static_cast<std::uint8_t>(std::clamp(grey + noise(14), 0, 255)));
        indices[i] = static_cast<std::uint8_t>(std::clamp((grey + 10) / 20, 0, kColors - 1));
        drawn[i] = rng() % 3 != 0 ? 1 : 0;
    }
    // Holes coded as the palette's size, as the frame will be.
    const auto coded = [&](const std::vector<std::uint8_t>& ix,
                           const std::vector<std::uint8_t>& d) {
        std::vector<std::uint8_t> out(pixels);
        for (std::size_t i = 0; i < pixels; ++i)
            out[i] = d[i] != 0 ? ix[i] : static_cast<std::uint8_t>(kColors);
        return LzwDataSize(out, kWidth, kHeight, kColors + 1);
    };
    const std::size_t before = coded(indices, drawn);
    for (const int bound : {0, 6, 12, 24}) {
        std::vector<std::uint8_t> ix = indices, d = drawn;
        TLzwChoiceBlock block{ix.data(), kWidth,     0,          0,      kWidth,
                              kHeight,   bgr.data(), 3 * kWidth, nullptr};
        block.Drawn = d.data();
        block.ScreenRgb = screen.data();
        ExtendLzwStrings(block, palette, bound);
        int traded = 0;
        for (std::size_t i = 0; i < pixels; ++i) {
            if (drawn[i] == 0) {
                ASSERT_TRUE(d[i] == 0 && ix[i] == indices[i])
                    << "pixel " << i << " was left undrawn";
                continue;
            }
            const int own = TExactColorLookup::Distance(palette[indices[i]], &bgr[3 * i]);
            int now = TExactColorLookup::Distance(palette[ix[i]], &bgr[3 * i]);
            if (d[i] == 0) {
                const int g = bgr[3 * i] - screen[3 * i];
                now = 3 * g * g;
            }
            ASSERT_LE(now, own + bound * bound) << "bound " << bound << ", pixel " << i;
            traded += d[i] != drawn[i] || ix[i] != indices[i] ? 1 : 0;
        }
        if (bound == 0) {
            EXPECT_EQ(traded, 0);
        } else {
            EXPECT_GT(traded, 0) << bound;
            EXPECT_LE(coded(ix, d), before) << bound;
        }
        if (bound == 24) {
            EXPECT_LT(coded(ix, d) * 10, before * 9) << "wide bounds shorten the data by a tenth";
        }
    }
}

} // namespace
} // namespace framolo
