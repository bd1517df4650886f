#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/streams/stream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace framolo {
namespace {

std::unique_ptr<TBitmap> RandomBitmap(int w, int h, TPixelFormat format, std::uint32_t seed) {
    auto holder = std::make_unique<TBitmap>(w, h, format);
    TBitmap& b = *holder;
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = b.ScanLine(y);
        for (std::size_t i = 0; i < b.RowBytes(); ++i)
            row[i] = static_cast<std::uint8_t>(rng());
    }
    if (BitsPerPixelOf(format) <= 8) {
        std::vector<TRGBQuad> table(std::size_t{1} << BitsPerPixelOf(format));
        for (auto& q : table)
            q = TRGBQuad{static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()),
                         static_cast<std::uint8_t>(rng()), 0};
        b.SetColorTable(table);
    }
    return holder;
}

TEST(Bitmap, RowSizesArePaddedToFourBytes) {
    EXPECT_EQ(DIBRowBytes(1, 1), 4u);
    EXPECT_EQ(DIBRowBytes(33, 1), 8u);
    EXPECT_EQ(DIBRowBytes(7, 4), 4u);
    EXPECT_EQ(DIBRowBytes(9, 4), 8u);
    EXPECT_EQ(DIBRowBytes(5, 8), 8u);
    EXPECT_EQ(DIBRowBytes(1, 24), 4u);
    EXPECT_EQ(DIBRowBytes(5, 24), 16u);
    EXPECT_EQ(DIBRowBytes(3, 32), 12u);
    EXPECT_THROW(DIBRowBytes(-1, 8), EOutOfResources);
    EXPECT_THROW(TBitmap(1 << 20, 1 << 20, TPixelFormat::pf24bit), EOutOfResources);
}

TEST(Bitmap, ScanLineCountsFromTheTopOverBottomUpStorage) {
    TBitmap b(3, 4, TPixelFormat::pf8bit);
    for (int y = 0; y < 4; ++y)
        b.ScanLine(y)[0] = static_cast<std::uint8_t>(10 + y);
    // Storage is bottom-up: the first stored row is the bottom row.
    EXPECT_EQ(b.Bits()[0], 13);
    EXPECT_EQ(b.Bits()[3 * b.RowBytes()], 10);
    EXPECT_THROW(b.ScanLine(4), EInvalidGraphicOperation);
    EXPECT_THROW(b.ScanLine(-1), EInvalidGraphicOperation);
}

TEST(Bitmap, EveryFormatConvertsExactlyToTrueColour) {
    for (TPixelFormat f :
         {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit, TPixelFormat::pf15bit,
          TPixelFormat::pf16bit, TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
        for (TPixelFormat target : {TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
            auto bHolder = RandomBitmap(13, 5, f, 42);
            TBitmap& b = *bHolder;
            std::vector<TColor> before;
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < 13; ++x)
                    before.push_back(b.PixelColor(x, y));
            b.SetPixelFormat(target);
            EXPECT_EQ(b.PixelFormat(), target);
            std::size_t i = 0;
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < 13; ++x)
                    ASSERT_EQ(b.PixelColor(x, y), before[i++])
                        << BitsPerPixelOf(f) << " bits at " << x << "," << y;
        }
    }
}

TEST(Bitmap, LowDepthsConvertToEightBitsWithTheirIndexes) {
    for (TPixelFormat f : {TPixelFormat::pf1bit, TPixelFormat::pf4bit}) {
        auto bHolder = RandomBitmap(11, 3, f, 5);
        TBitmap& b = *bHolder;
        TBitmap copy;
        copy.Assign(&b);
        b.SetPixelFormat(TPixelFormat::pf8bit);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 11; ++x)
                ASSERT_EQ(b.PixelColor(x, y), copy.PixelColor(x, y));
    }
    auto tHolder = RandomBitmap(2, 2, TPixelFormat::pf24bit, 1);
    TBitmap& t = *tHolder;
    EXPECT_THROW(t.SetPixelFormat(TPixelFormat::pf8bit), EInvalidGraphicOperation);
}

TEST(Bitmap, BmpFilesRoundTripInEveryFormat) {
    for (TPixelFormat f :
         {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit, TPixelFormat::pf15bit,
          TPixelFormat::pf16bit, TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
        auto bHolder = RandomBitmap(9, 7, f, 3);
        TBitmap& b = *bHolder;
        TMemoryStream s;
        b.SaveToStream(s);
        s.SetPosition(0);
        TBitmap back;
        back.LoadFromStream(s);
        EXPECT_EQ(back.PixelFormat(), f);
        ASSERT_EQ(back.Width(), 9);
        ASSERT_EQ(back.Height(), 7);
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 9; ++x)
                ASSERT_EQ(back.PixelColor(x, y), b.PixelColor(x, y));
    }
}

TEST(Bitmap, ThirtyTwoBitFieldsWithOtherMasksAreConverted) {
    // A 2x1 top-down BMP with masks R=0xFF, G=0xFF00, B=0xFF0000 (RGBA order in memory).
    std::vector<std::uint8_t> bmp = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 66, 0, 0, 0};
    std::vector<std::uint8_t> h(40, 0);
    h[0] = 40;
    h[4] = 2;
    h[8] = 0xFF;
    h[9] = 0xFF;
    h[10] = 0xFF;
    h[11] = 0xFF; // height -1
    h[12] = 1;
    h[14] = 32;
    h[16] = 3;
    bmp.insert(bmp.end(), h.begin(), h.end());
    const std::uint8_t masks[12] = {0xFF, 0, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0xFF, 0};
    bmp.insert(bmp.end(), masks, masks + 12);
    const std::uint8_t px[8] = {10, 20, 30, 0, 40, 50, 60, 0};
    bmp.insert(bmp.end(), px, px + 8);
    TMemoryStream s(bmp);
    TBitmap b;
    b.LoadFromStream(s);
    EXPECT_EQ(b.PixelColor(0, 0), RGB(10, 20, 30));
    EXPECT_EQ(b.PixelColor(1, 0), RGB(40, 50, 60));
}

TEST(Bitmap, BadBmpDataRaisesAndLeavesTheBitmapAlone) {
    auto goodHolder = RandomBitmap(4, 4, TPixelFormat::pf8bit, 9);
    TBitmap& good = *goodHolder;
    TMemoryStream s;
    good.SaveToStream(s);
    const std::vector<std::uint8_t> bytes = s.Data();
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        TMemoryStream part(std::vector<std::uint8_t>(
            bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut)));
        TBitmap b(1, 1, TPixelFormat::pf24bit);
        EXPECT_ANY_THROW(b.LoadFromStream(part)) << "cut at " << cut;
        EXPECT_EQ(b.Width(), 1);
    }
    std::vector<std::uint8_t> huge = bytes;
    huge[18] = 0xFF;
    huge[19] = 0xFF;
    huge[20] = 0xFF;
    huge[21] = 0x7F; // width 2^31-1
    TMemoryStream hs(huge);
    TBitmap b;
    EXPECT_ANY_THROW(b.LoadFromStream(hs));
}

TEST(Canvas, SameSizeDrawCopiesColoursAndClips) {
    auto srcHolder = RandomBitmap(5, 4, TPixelFormat::pf8bit, 11);
    TBitmap& src = *srcHolder;
    TBitmap dst(8, 8, TPixelFormat::pf24bit);
    TBitmapCanvas canvas(dst);
    canvas.FillRect(TRect{0, 0, 8, 8}, RGB(1, 2, 3));
    canvas.Draw(6, 5, src);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool inside = x >= 6 && y >= 5;
            EXPECT_EQ(dst.PixelColor(x, y), inside ? src.PixelColor(x - 6, y - 5) : RGB(1, 2, 3));
        }
    TBitmap eight(2, 2, TPixelFormat::pf8bit);
    EXPECT_THROW(TBitmapCanvas{eight}, EInvalidGraphicOperation);
}

} // namespace
} // namespace framolo

namespace framolo {
namespace {

// ImageMagick, used only here, writes BMPs of every common kind; our loader
// must give the same colours it reads back.
TEST(Bitmap, LoadsBmpsWrittenByImageMagick) {
    const std::string dir = FRAMOLO_BMP_CORPUS_DIR;
    for (const char* name :
         {"mono.bmp", "pal16.bmp", "pal256.bmp", "rgb24.bmp", "rgb565.bmp", "argb32.bmp"}) {
        const std::string path = dir + "/" + name;
        TBitmap b;
        b.LoadFromFile(path);
        const std::string cmd = "convert '" + path + "' -alpha off -depth 8 rgb:- 2>/dev/null";
        FILE* pipe = popen(cmd.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::vector<std::uint8_t> rgb;
        int c = 0;
        while ((c = std::fgetc(pipe)) != EOF)
            rgb.push_back(static_cast<std::uint8_t>(c));
        pclose(pipe);
        ASSERT_EQ(rgb.size(),
                  static_cast<std::size_t>(b.Width()) * static_cast<std::size_t>(b.Height()) * 3)
            << name;
        std::size_t i = 0;
        for (int y = 0; y < b.Height(); ++y)
            for (int x = 0; x < b.Width(); ++x, i += 3)
                ASSERT_EQ(b.PixelColor(x, y), RGB(rgb[i], rgb[i + 1], rgb[i + 2]))
                    << name << " at " << x << "," << y;
    }
}

} // namespace
} // namespace framolo
