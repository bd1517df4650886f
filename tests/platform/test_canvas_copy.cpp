// Reading a software canvas back, and its row-wise stretched draws.
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/stretch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace framolo {
namespace {

TEST(BitmapCanvas, CopyRectReadsBackAndBlackensWhatLiesOutside) {
    for (TPixelFormat format : {TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
        TBitmap target(4, 3, format);
        TBitmapCanvas canvas(target);
        canvas.FillRect(TRect{0, 0, 4, 3}, RGB(10, 20, 30));
        canvas.FillRect(TRect{3, 2, 9, 9}, RGB(200, 100, 50));
        const auto copy = canvas.CopyRect(TRect{2, 1, 6, 4});
        ASSERT_EQ(copy->Width(), 4);
        ASSERT_EQ(copy->Height(), 3);
        EXPECT_EQ(copy->PixelFormat(), TPixelFormat::pf24bit);
        EXPECT_EQ(copy->PixelColor(0, 0), RGB(10, 20, 30));
        EXPECT_EQ(copy->PixelColor(1, 1), RGB(200, 100, 50));
        EXPECT_EQ(copy->PixelColor(2, 0), clBlack);
        EXPECT_EQ(copy->PixelColor(0, 2), clBlack);
    }
}

TEST(BitmapCanvas, StretchedDrawsMatchPixelByPixelMapping) {
    // An 8-bit source whose indexes run past its table, stretched 3 x 2 into
    // a clipped 7 x 5 rectangle: every target pixel shows the source pixel
    // nearest-pixel mapping picks, and indexes past the table are black.
    TBitmap src(3, 2, TPixelFormat::pf8bit);
    src.SetColorTable({TRGBQuad{1, 2, 3, 0}, TRGBQuad{40, 50, 60, 0}});
    const std::uint8_t indexes[2][3] = {{0, 1, 9}, {1, 0, 1}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            src.ScanLine(y)[x] = indexes[y][x];
    TBitmap target(6, 4, TPixelFormat::pf32bit);
    TBitmapCanvas canvas(target);
    const TRect dest{-1, 0, 6, 5};
    canvas.StretchDrawBitmap(dest, src);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) {
            const int sx = (x - dest.Left) * 3 / 7;
            const int sy = (y - dest.Top) * 2 / 5;
            EXPECT_EQ(target.PixelColor(x, y),
                      indexes[sy][sx] > 1 ? clBlack : src.PixelColor(sx, sy))
                << x << "," << y;
        }
}

} // namespace
} // namespace framolo

namespace framolo {
namespace {

// Rows stretched on their own are the rows of the whole picture stretched,
// shrinking, enlarging and copying, down to the first and last row.
TEST(StretchRows, EqualTheWholeStretchRowForRow) {
    TBitmap src(37, 29, TPixelFormat::pf24bit);
    for (int y = 0; y < src.Height(); ++y)
        for (int x = 0; x < src.Width() * 3; ++x)
            src.ScanLine(y)[x] = static_cast<std::uint8_t>((x * 7 + y * 13 + x * y) % 251);
    for (const auto& [width, height] : {std::pair{37, 29}, {16, 11}, {50, 64}, {37, 5}}) {
        TBitmap whole(width, height, TPixelFormat::pf24bit);
        StretchBitmap(src, whole);
        TBitmap some(width, height, TPixelFormat::pf24bit);
        for (const auto& [first, rows] : {std::pair{0, 1}, {height / 2, 3}, {height - 2, 2}}) {
            StretchBitmapRows(src, some, {{first, rows}});
            for (int y = first; y < std::min(height, first + rows); ++y)
                EXPECT_EQ(std::memcmp(some.ScanLine(y), whole.ScanLine(y),
                                      static_cast<std::size_t>(width) * 3),
                          0)
                    << width << "x" << height << " row " << y;
        }
    }
}

} // namespace
} // namespace framolo
