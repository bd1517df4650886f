#include "color/dib_access.h"

#include "platform/graphics/gif_exception.h"
#include "test_images.h"

#include <gtest/gtest.h>

#include <cstring>

namespace framolo {
namespace {

std::uint32_t Get32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

HPALETTE Palette(int n) {
    std::vector<TPaletteEntry> e;
    for (int i = 0; i < n; ++i)
        e.push_back(TPaletteEntry{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(100 + i),
                                  static_cast<std::uint8_t>(200 + i / 4), 4});
    return CreatePalette(e);
}

TEST(DIBWriter, RowSizesArePaddedToFourBytes) {
    struct Case {
        TPixelFormat format;
        int width;
        std::size_t row;
    };
    const Case cases[] = {{TPixelFormat::pf8bit, 1, 4},  {TPixelFormat::pf8bit, 4, 4},
                          {TPixelFormat::pf8bit, 5, 8},  {TPixelFormat::pf24bit, 1, 4},
                          {TPixelFormat::pf24bit, 2, 8}, {TPixelFormat::pf24bit, 4, 12},
                          {TPixelFormat::pf24bit, 5, 16}};
    for (const Case& c : cases) {
        TBitmap target;
        TDIBWriter writer(target, c.format, c.width, 3, nullptr);
        writer.RowPointer(0);
        EXPECT_EQ(writer.RowSize(), c.row) << c.width;
        EXPECT_EQ(writer.PixelBlockSize(), c.row * 3);
    }
}

TEST(DIBWriter, HeadersOfAn8BitDIB) {
    TBitmap target;
    TDIBWriter writer(target, TPixelFormat::pf8bit, 3, 2, Palette(20));
    writer.RowPointer(0);
    const std::vector<std::uint8_t>& f = writer.FileImage();
    ASSERT_EQ(writer.HeaderBlockSize(), 1064u);
    ASSERT_EQ(f.size(), 14u + 1064u + 8u);
    EXPECT_EQ(f[0], 'B');
    EXPECT_EQ(f[1], 'M');
    EXPECT_EQ(Get32(&f[2]), 14u + 1064u + 8u);
    EXPECT_EQ(Get32(&f[6]), 0u);
    EXPECT_EQ(Get32(&f[10]), 14u + 1064u);
    const std::uint8_t* h = &f[14];
    EXPECT_EQ(Get32(h), 40u);
    EXPECT_EQ(Get32(h + 4), 3u);
    EXPECT_EQ(Get32(h + 8), 2u); // positive: bottom-up
    EXPECT_EQ(h[12] | h[13] << 8, 1);
    EXPECT_EQ(h[14] | h[15] << 8, 8);
    EXPECT_EQ(Get32(h + 16), 0u);
    EXPECT_EQ(Get32(h + 32), 256u); // colours used
    EXPECT_EQ(Get32(h + 36), 20u);  // important: the palette's size
    const std::uint8_t* table = h + 40;
    // Palette entries become blue, green, red, 0; the rest is zero.
    EXPECT_EQ(table[4 * 19 + 0], 200 + 19 / 4);
    EXPECT_EQ(table[4 * 19 + 1], 119);
    EXPECT_EQ(table[4 * 19 + 2], 19);
    EXPECT_EQ(table[4 * 19 + 3], 0);
    for (int i = 20 * 4; i < 1024; ++i)
        ASSERT_EQ(table[i], 0) << i;
}

TEST(DIBWriter, HeadersOfA24BitDIBAndAMissingPalette) {
    TBitmap target;
    TDIBWriter writer(target, TPixelFormat::pf24bit, 2, 1, Palette(5));
    writer.RowPointer(0);
    EXPECT_EQ(writer.HeaderBlockSize(), 40u);
    const std::uint8_t* h = &writer.FileImage()[14];
    EXPECT_EQ(h[14], 24);
    EXPECT_EQ(Get32(h + 32), 0u);
    EXPECT_EQ(Get32(h + 36), 0u);

    TDIBWriter noPalette(target, TPixelFormat::pf8bit, 2, 1, nullptr);
    noPalette.RowPointer(0);
    EXPECT_EQ(Get32(&noPalette.FileImage()[14 + 32]), 256u);
    EXPECT_EQ(Get32(&noPalette.FileImage()[14 + 36]), 0u);
}

TEST(DIBWriter, RowZeroIsTheLastRowInMemory) {
    TBitmap target;
    TDIBWriter writer(target, TPixelFormat::pf8bit, 5, 4, nullptr);
    const std::uint8_t* pixels = writer.RowPointer(0) - 3 * writer.RowSize();
    EXPECT_EQ(writer.RowPointer(3), pixels);
    EXPECT_EQ(writer.RowPointer(0), pixels + 3 * 8);
    EXPECT_EQ(writer.RowPointer(1), pixels + 2 * 8);
    EXPECT_EQ(pixels, writer.FileImage().data() + 14 + 1064);
}

TEST(DIBWriter, RejectsBadArguments) {
    TBitmap target;
    const auto message = [](auto&& f) {
        try {
            f();
        } catch (const GIFException& e) {
            return std::string(e.what());
        }
        return std::string("no GIFException");
    };
    for (TPixelFormat f : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf15bit,
                           TPixelFormat::pf16bit, TPixelFormat::pf32bit, TPixelFormat::pfDevice})
        EXPECT_EQ(message([&] { TDIBWriter w(target, f, 4, 4, nullptr); }),
                  "Unsupported PixelFormat");
    EXPECT_EQ(message([&] { TDIBWriter w(target, TPixelFormat::pf8bit, 0, 4, nullptr); }),
              "Invalid image dimensions");
    EXPECT_EQ(message([&] { TDIBWriter w(target, TPixelFormat::pf8bit, 4, 0, nullptr); }),
              "Invalid image dimensions");
    EXPECT_EQ(message([&] { TDIBWriter w(target, TPixelFormat::pf24bit, -1, 4, nullptr); }),
              "Invalid image dimensions");

    TDIBWriter writer(target, TPixelFormat::pf8bit, 4, 4, nullptr);
    EXPECT_THROW(writer.RowPointer(-1), EInvalidGraphicOperation);
    EXPECT_THROW(writer.RowPointer(4), EInvalidGraphicOperation);
    try {
        writer.RowPointer(4);
    } catch (const EInvalidGraphicOperation& e) {
        EXPECT_STREQ(e.what(), "Scan line index out of range");
    }
}

TEST(DIBWriter, RefusesADIBTooLargeForMemory) {
    TBitmap target;
    TDIBWriter writer(target, TPixelFormat::pf24bit, 100000, 100000, nullptr);
    try {
        writer.RowPointer(0);
        FAIL() << "allocated " << writer.PixelBlockSize();
    } catch (const EOutOfResources& e) {
        EXPECT_STREQ(e.what(), "Failed to allocate memory for GIF DIB");
    }
    EXPECT_TRUE(writer.FileImage().empty());
}

TEST(DIBWriter, ReleaseLoadsTheTargetAndAnUnusedWriterLeavesItAlone) {
    TBitmap target(2, 2, TPixelFormat::pf24bit);
    target.ScanLine(0)[0] = 77;
    {
        TDIBWriter unused(target, TPixelFormat::pf8bit, 3, 3, Palette(3));
        unused.Release();
    }
    EXPECT_EQ(target.Width(), 2);
    EXPECT_EQ(target.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(target.ScanLine(0)[0], 77);

    {
        TDIBWriter writer(target, TPixelFormat::pf8bit, 3, 2, Palette(3));
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                writer.RowPointer(y)[x] = static_cast<std::uint8_t>(10 * y + x);
        writer.Release();
        EXPECT_TRUE(writer.FileImage().empty());
    }
    ASSERT_EQ(target.Width(), 3);
    ASSERT_EQ(target.Height(), 2);
    EXPECT_EQ(target.PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(test::IndicesOf(target), (std::vector<std::uint8_t>{0, 1, 2, 10, 11, 12}));
    ASSERT_EQ(target.ColorTable().size(), 256u);
    EXPECT_EQ(target.ColorTable()[2], (TRGBQuad{200, 102, 2, 0}));
    EXPECT_EQ(target.ColorTable()[3], (TRGBQuad{0, 0, 0, 0}));
}

TEST(DIBWriter, DroppedWithoutReleaseStoresNothing) {
    TBitmap target;
    {
        TDIBWriter writer(target, TPixelFormat::pf24bit, 3, 2, nullptr);
        writer.RowPointer(1)[0] = 1;
    }
    EXPECT_TRUE(target.Empty());
}

TEST(DIBReader, ConvertsTheBitmapInPlaceAndAddressesRowsTopDown) {
    TBitmap bitmap(3, 2, TPixelFormat::pf32bit);
    bitmap.ScanLine(0)[0] = 9;
    bitmap.ScanLine(1)[4] = 7;
    TDIBReader reader(bitmap, TPixelFormat::pf24bit);
    EXPECT_EQ(bitmap.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(reader.RowPointer(0), bitmap.ScanLine(0));
    EXPECT_EQ(reader.RowPointer(0)[0], 9);
    EXPECT_EQ(reader.RowPointer(1)[3], 7);
    EXPECT_EQ(reader.RowPointer(0), bitmap.Bits() + bitmap.RowBytes());
    EXPECT_THROW(reader.RowPointer(2), EInvalidGraphicOperation);
}

} // namespace
} // namespace framolo
