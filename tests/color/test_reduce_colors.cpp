#include "color/reduce_colors.h"

#include "color/dib_access.h"
#include "color/palettes.h"
#include "platform/graphics/gif_exception.h"
#include "reference.h"

#include <gtest/gtest.h>

#include <set>

namespace framolo {
namespace {

using test::TRgb;
using test::TRgbImage;

std::vector<TPaletteEntry> Entries(const HPALETTE& p) {
    return p->Entries;
}

TPaletteEntry Pe(int r, int g, int b, int flags = 0) {
    return TPaletteEntry{static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                         static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(flags)};
}

// The result's colour table as palette entries with flags 0.
std::vector<TPaletteEntry> TableOf(const TBitmap& bitmap) {
    std::vector<TPaletteEntry> out;
    for (const TRGBQuad& q : bitmap.ColorTable())
        out.push_back(Pe(q.rgbRed, q.rgbGreen, q.rgbBlue));
    return out;
}

std::vector<TPaletteEntry> WithoutFlags(std::vector<TPaletteEntry> e) {
    for (auto& x : e)
        x.peFlags = 0;
    return e;
}

std::unique_ptr<TBitmap> Reduce(const TRgbImage& image, TColorReduction method,
                                TDitherMode mode = TDitherMode::Nearest, int bits = 8,
                                const HPALETTE& custom = nullptr) {
    auto source = test::ToBitmap(image);
    return ReduceBitmapColors(*source, method, mode, bits, custom);
}

TEST(Palettes, FixedContents) {
    EXPECT_EQ(Entries(BlackWhitePalette()),
              (std::vector<TPaletteEntry>{Pe(0, 0, 0, 4), Pe(255, 255, 255, 4)}));
    EXPECT_EQ(Entries(WindowsGrayPalette()),
              (std::vector<TPaletteEntry>{Pe(0, 0, 0, 4), Pe(128, 128, 128, 4),
                                          Pe(192, 192, 192, 4), Pe(255, 255, 255, 4)}));
    const auto ramp = Entries(GrayRampPalette());
    ASSERT_EQ(ramp.size(), 256u);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(ramp[static_cast<std::size_t>(i)], Pe(i, i, i, 4));
    const auto cube = Entries(NetscapePalette());
    ASSERT_EQ(cube.size(), 216u);
    EXPECT_EQ(cube[1], Pe(0, 0, 51));
    EXPECT_EQ(cube[6], Pe(0, 51, 0));
    EXPECT_EQ(cube[36], Pe(51, 0, 0));
    EXPECT_EQ(cube[3 * 36 + 4 * 6 + 5], Pe(153, 204, 255));
    EXPECT_EQ(cube[215], Pe(255, 255, 255));
}

TEST(Palettes, SystemAndHalftone) {
    const auto system = Entries(DefaultPalette());
    ASSERT_EQ(system.size(), 20u);
    EXPECT_EQ(system[0], Pe(0, 0, 0));
    EXPECT_EQ(system[8], Pe(192, 220, 192));
    EXPECT_EQ(system[9], Pe(166, 202, 240));
    EXPECT_EQ(system[10], Pe(255, 251, 240));
    EXPECT_EQ(system[11], Pe(160, 160, 164));
    EXPECT_EQ(system[19], Pe(255, 255, 255));

    const auto halftone = Entries(ScreenHalftonePalette());
    ASSERT_EQ(halftone.size(), 256u);
    const auto cube = Entries(NetscapePalette());
    EXPECT_TRUE(std::equal(system.begin(), system.begin() + 10, halftone.begin()));
    EXPECT_TRUE(std::equal(cube.begin(), cube.end(), halftone.begin() + 10));
    EXPECT_TRUE(std::equal(system.begin() + 10, system.end(), halftone.begin() + 246));
    std::vector<int> grays;
    for (std::size_t i = 226; i < 246; ++i) {
        ASSERT_EQ(halftone[i].peRed, halftone[i].peGreen);
        ASSERT_EQ(halftone[i].peRed, halftone[i].peBlue);
        grays.push_back(halftone[i].peRed);
    }
    EXPECT_EQ(grays, (std::vector<int>{10,  20,  31,  41,  61,  71,  82,  92,  112, 122,
                                       133, 143, 163, 173, 184, 194, 214, 224, 235, 245}));
}

TEST(ReduceBitmapColors, NoReductionReturnsA24BitCopyAndLeavesTheSource) {
    TBitmap source(3, 2, TPixelFormat::pf32bit);
    source.ScanLine(1)[4] = 99;
    auto result =
        ReduceBitmapColors(source, TColorReduction::NoReduction, TDitherMode::Stucki, 8, nullptr);
    EXPECT_EQ(source.PixelFormat(), TPixelFormat::pf32bit);
    EXPECT_EQ(result->PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(result->Width(), 3);
    EXPECT_EQ(result->ScanLine(1)[3], 99);
}

TEST(ReduceBitmapColors, EveryMethodGivesAn8BitBitmapWithA256EntryTable) {
    const TRgbImage image = test::PhotoLikeImage(20, 9, 1);
    const std::vector<std::pair<TColorReduction, HPALETTE>> methods = {
        {TColorReduction::Windows20, DefaultPalette()},
        {TColorReduction::Windows256, ScreenHalftonePalette()},
        {TColorReduction::WindowsGray, WindowsGrayPalette()},
        {TColorReduction::Monochrome, BlackWhitePalette()},
        {TColorReduction::GrayScale, GrayRampPalette()},
        {TColorReduction::Netscape, NetscapePalette()},
        {TColorReduction::CustomPalette, CreatePalette({Pe(1, 2, 3), Pe(4, 5, 6, 4)})}};
    for (const auto& [method, palette] : methods) {
        for (int mode = 0; mode <= 6; ++mode) {
            auto source = test::ToBitmap(image);
            auto result =
                ReduceBitmapColors(*source, method, static_cast<TDitherMode>(mode), 8, palette);
            ASSERT_EQ(result->PixelFormat(), TPixelFormat::pf8bit);
            EXPECT_EQ(result->Width(), 20);
            EXPECT_EQ(result->Height(), 9);
            std::vector<TPaletteEntry> expected = WithoutFlags(palette->Entries);
            expected.resize(256, Pe(0, 0, 0));
            ASSERT_EQ(TableOf(*result), expected) << static_cast<int>(method);
            const auto indices = test::IndicesOf(*result);
            const auto expectedIndices =
                test::RefReduce(image, method, static_cast<TDitherMode>(mode), palette->Entries);
            ASSERT_EQ(indices, expectedIndices) << static_cast<int>(method) << " mode " << mode;
        }
    }
}

TEST(ReduceBitmapColors, IndicesOfTheArithmeticMethods) {
    const TRgbImage image = test::RandomImage(16, 16, 9);
    const auto mono =
        test::IndicesOf(*Reduce(image, TColorReduction::Monochrome, TDitherMode::FloydSteinberg));
    EXPECT_EQ(std::set<std::uint8_t>(mono.begin(), mono.end()), (std::set<std::uint8_t>{0, 1}));
    const auto gray = test::IndicesOf(*Reduce(image, TColorReduction::GrayScale));
    const auto cube = test::IndicesOf(*Reduce(image, TColorReduction::Netscape));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const std::uint8_t* p = image.Pixel(x, y);
            const TRgb c{p[0], p[1], p[2]};
            const auto i = static_cast<std::size_t>(y * 16 + x);
            ASSERT_EQ(gray[i], (77 * c.Red + 150 * c.Green + 29 * c.Blue) >> 8);
            ASSERT_EQ(cube[i], (c.Red + 3) / 51 * 36 + (c.Green + 3) / 51 * 6 + (c.Blue + 3) / 51);
        }
}

TEST(ReduceBitmapColors, ConvertsTheSourceTo24BitsInPlace) {
    TBitmap source(4, 4, TPixelFormat::pf32bit);
    ReduceBitmapColors(source, TColorReduction::Netscape, TDitherMode::Nearest, 8, nullptr);
    EXPECT_EQ(source.PixelFormat(), TPixelFormat::pf24bit);
    TBitmap quantized(4, 4, TPixelFormat::pf16bit);
    ReduceBitmapColors(quantized, TColorReduction::QuantizeWindows, TDitherMode::Nearest, 8,
                       nullptr);
    EXPECT_EQ(quantized.PixelFormat(), TPixelFormat::pf24bit);
}

TEST(ReduceBitmapColors, EarlyReturnsGiveAnEmptyBitmap) {
    const TRgbImage image = test::RandomImage(5, 5, 1);
    EXPECT_TRUE(Reduce(image, static_cast<TColorReduction>(11))->Empty());
    EXPECT_TRUE(Reduce(image, TColorReduction::Netscape, static_cast<TDitherMode>(7))->Empty());
    EXPECT_TRUE(
        Reduce(image, TColorReduction::CustomPalette, TDitherMode::Nearest, 8, CreatePalette({}))
            ->Empty());
    EXPECT_TRUE(
        Reduce(image, TColorReduction::CustomPalette, TDitherMode::Nearest, 8, nullptr)->Empty());
}

TEST(ReduceBitmapColors, MoreThan500000PixelsMarkTheResultOneBit) {
    // Only visible when the reduction then stops early.
    for (const auto& [w, h, format] :
         {std::tuple{1000, 500, TPixelFormat::pf24bit}, std::tuple{500001, 1, TPixelFormat::pf1bit},
          std::tuple{1, 500001, TPixelFormat::pf1bit}}) {
        TBitmap source(w, h, TPixelFormat::pf24bit);
        auto result = ReduceBitmapColors(source, TColorReduction::Netscape,
                                         static_cast<TDitherMode>(9), 8, nullptr);
        EXPECT_TRUE(result->Empty());
        EXPECT_EQ(result->PixelFormat(), format) << w << "x" << h;
    }
}

TEST(ReduceBitmapColors, AnEmptySourceIsAnInvalidImage) {
    TBitmap source;
    try {
        ReduceBitmapColors(source, TColorReduction::Netscape, TDitherMode::Nearest, 8, nullptr);
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "Invalid image dimensions");
    }
}

TEST(ReduceBitmapColors, CustomPaletteIsCopied) {
    const HPALETTE custom = CreatePalette({Pe(10, 10, 10, 4), Pe(250, 250, 250, 4)});
    const auto before = custom->Entries;
    auto result = Reduce(test::RandomImage(6, 6, 2), TColorReduction::CustomPalette,
                         TDitherMode::Nearest, 8, custom);
    EXPECT_EQ(custom->Entries, before);
    EXPECT_EQ(custom.use_count(), 1);
    EXPECT_EQ(TableOf(*result)[1], Pe(250, 250, 250));
}

TEST(ReduceBitmapColors, ScanOrderShowsThroughTheBinCache) {
    // 64,0,0 alone maps to black (a tie), 71,0,0 to maroon; they share a bin.
    // Row 1 runs right to left, so its last pixel is looked up first and
    // decides the bin for its first: maroon for both, or mirrored, black.
    struct TCase {
        int Column64;
        int Column71;
        int Index;
    };
    for (const TCase& c : {TCase{0, 4, 1}, TCase{4, 0, 0}}) {
        TRgbImage image = test::MakeImage(5, 2);
        image.Pixel(c.Column64, 1)[0] = 64;
        image.Pixel(c.Column71, 1)[0] = 71;
        const auto indices = test::IndicesOf(*Reduce(image, TColorReduction::Windows20));
        EXPECT_EQ(indices[5], c.Index) << c.Column64;
        EXPECT_EQ(indices[9], c.Index) << c.Column64;
    }
}

TEST(ReduceBitmapColors, QuantizeKeepsFewColoursExactAndPadsWithBlack) {
    const TRgbImage image = test::FewColorsImage(10, 10, 3, 1);
    for (int bits : {2, 8}) {
        auto result = Reduce(image, TColorReduction::Quantize, TDitherMode::FloydSteinberg, bits);
        const auto table = TableOf(*result);
        const auto colors = test::RefQuantize(image, 1 << bits, 8);
        ASSERT_EQ(colors.size(), 3u);
        for (std::size_t i = 0; i < 256; ++i) {
            const TPaletteEntry expected =
                i < 3 ? Pe(colors[i].Red, colors[i].Green, colors[i].Blue) : Pe(0, 0, 0);
            ASSERT_EQ(table[i], expected) << i;
        }
        // Exact colours: every pixel maps to its own colour without error.
        const auto indices = test::IndicesOf(*result);
        for (std::size_t i = 0; i < indices.size(); ++i) {
            const std::uint8_t* p = image.Rgb.data() + 3 * i;
            ASSERT_EQ(table[indices[i]], Pe(p[0], p[1], p[2]));
        }
    }
}

TEST(ReduceBitmapColors, QuantizeMatchesTheReference) {
    for (const auto& [w, h] : {std::pair{1, 9}, std::pair{2, 5}, std::pair{3, 4}, std::pair{5, 7},
                               std::pair{7, 3}, std::pair{64, 48}}) {
        for (const TRgbImage& image : {test::RandomImage(w, h, 3), test::PhotoLikeImage(w, h, 4)}) {
            for (int bits : {0, 1, 4, 8}) {
                std::vector<TPaletteEntry> palette;
                for (const TRgb& c : test::RefQuantize(image, 1 << bits, 8))
                    palette.push_back(Pe(c.Red, c.Green, c.Blue));
                palette.resize(std::size_t{1} << bits, Pe(0, 0, 0));
                for (TDitherMode mode :
                     {TDitherMode::Nearest, TDitherMode::FloydSteinberg, TDitherMode::SteveArche}) {
                    auto result = Reduce(image, TColorReduction::Quantize, mode, bits);
                    ASSERT_EQ(test::IndicesOf(*result),
                              test::RefReduce(image, TColorReduction::Quantize, mode, palette))
                        << w << "x" << h << " bits " << bits;
                }
            }
        }
    }
}

TEST(ReduceBitmapColors, QuantizeWindowsFramesItsColoursWithSystemColours) {
    const TRgbImage image = test::PhotoLikeImage(40, 30, 7);
    auto result = Reduce(image, TColorReduction::QuantizeWindows, TDitherMode::Burkes);
    const auto table = TableOf(*result);
    const auto system = Entries(DefaultPalette());
    EXPECT_TRUE(std::equal(system.begin(), system.begin() + 10, table.begin()));
    EXPECT_TRUE(std::equal(system.begin() + 10, system.end(), table.begin() + 246));
    const auto colors = test::RefQuantize(image, 236, 8);
    ASSERT_EQ(colors.size(), 236u);
    for (std::size_t i = 0; i < 236; ++i)
        ASSERT_EQ(table[10 + i], Pe(colors[i].Red, colors[i].Green, colors[i].Blue)) << i;
    EXPECT_EQ(test::IndicesOf(*result),
              test::RefReduce(image, TColorReduction::QuantizeWindows, TDitherMode::Burkes, table));
}

TEST(ReduceBitmapColors, QuantizeBitsOutsideTheRangeAreKeptInIt) {
    const TRgbImage image = test::RandomImage(8, 8, 5);
    EXPECT_EQ(Reduce(image, TColorReduction::Quantize, TDitherMode::Nearest, -3)->ColorTable()[1],
              (TRGBQuad{}));
    EXPECT_EQ(TableOf(*Reduce(image, TColorReduction::Quantize, TDitherMode::Nearest, 40)),
              TableOf(*Reduce(image, TColorReduction::Quantize, TDitherMode::Nearest, 8)));
}

TEST(BuildQuantizedPalette, FromABitmapOrAReader) {
    const TRgbImage image = test::PhotoLikeImage(30, 20, 8);
    auto a = test::ToBitmap(image);
    a->SetPixelFormat(TPixelFormat::pf32bit);
    const HPALETTE fromBitmap = BuildQuantizedPaletteFromBitmap(*a, 16, 8, false);
    EXPECT_EQ(a->PixelFormat(), TPixelFormat::pf24bit);
    auto b = test::ToBitmap(image);
    TDIBReader reader(*b, TPixelFormat::pf24bit);
    const HPALETTE fromReader = BuildQuantizedPalette(reader, 16, 8, false);
    ASSERT_EQ(fromBitmap->Count(), 16);
    EXPECT_EQ(fromBitmap->Entries, fromReader->Entries);
    EXPECT_EQ(BuildQuantizedPalette(reader, 0, 8, false)->Count(), 0);
    EXPECT_EQ(BuildQuantizedPalette(reader, 1000, 8, false)->Count(), 256);
    EXPECT_EQ(BuildQuantizedPalette(reader, 3, 8, true)->Count(), 256);
}

} // namespace
} // namespace framolo
