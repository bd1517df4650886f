#include "platform/graphics/canvas.h"

#include "platform/graphics/bitmap.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace framolo {

namespace {

// The part of `rect` that lies on a surface of width x height; Right <= Left
// or Bottom <= Top when none does.
TRect ClipRect(const TRect& rect, int width, int height) {
    return TRect{std::max(rect.Left, 0), std::max(rect.Top, 0), std::min(rect.Right, width),
                 std::min(rect.Bottom, height)};
}

} // namespace

void TCanvas::Draw(int x, int y, TGraphic& graphic) {
    graphic.Draw(*this, TRect{x, y, x + graphic.Width(), y + graphic.Height()});
}

TBitmapCanvas::TBitmapCanvas(TBitmap& target) : target_(target) {
    if (target.PixelFormat() != TPixelFormat::pf24bit &&
        target.PixelFormat() != TPixelFormat::pf32bit)
        throw EInvalidGraphicOperation("Canvas needs a 24 or 32 bit bitmap");
}

void TBitmapCanvas::PutPixel(int x, int y, TColor color) {
    std::uint8_t* row = target_.ScanLine(y);
    const int bpp = target_.PixelFormat() == TPixelFormat::pf32bit ? 4 : 3;
    std::uint8_t* p = row + static_cast<std::ptrdiff_t>(x) * bpp;
    p[0] = GetBValue(color);
    p[1] = GetGValue(color);
    p[2] = GetRValue(color);
    if (bpp == 4)
        p[3] = 0;
}

void TBitmapCanvas::FillRect(const TRect& rect, TColor color) {
    const auto [x0, y0, x1, y1] = ClipRect(rect, target_.Width(), target_.Height());
    if (x0 >= x1 || y0 >= y1)
        return;
    const int bpp = target_.PixelFormat() == TPixelFormat::pf32bit ? 4 : 3;
    const std::uint8_t pixel[4] = {GetBValue(color), GetGValue(color), GetRValue(color), 0};
    for (int y = y0; y < y1; ++y) {
        std::uint8_t* p = target_.ScanLine(y) + static_cast<std::ptrdiff_t>(x0) * bpp;
        for (int x = x0; x < x1; ++x, p += bpp)
            std::memcpy(p, pixel, static_cast<std::size_t>(bpp));
    }
}

std::unique_ptr<TBitmap> TCanvas::CopyRect(const TRect&) const {
    return nullptr;
}

std::unique_ptr<TBitmap> TBitmapCanvas::CopyRect(const TRect& rect) const {
    auto copy = std::make_unique<TBitmap>(std::max(rect.Width(), 0), std::max(rect.Height(), 0),
                                          TPixelFormat::pf24bit);
    const int bpp = target_.PixelFormat() == TPixelFormat::pf32bit ? 4 : 3;
    // A fresh bitmap is black, which is what lies outside the canvas.
    const int x0 = std::max(rect.Left, 0);
    const int x1 = std::min(rect.Right, target_.Width());
    for (int y = 0; y < copy->Height() && x0 < x1; ++y) {
        const int sy = rect.Top + y;
        if (sy < 0 || sy >= target_.Height())
            continue;
        const std::uint8_t* s = target_.ScanLine(sy) + static_cast<std::ptrdiff_t>(x0) * bpp;
        std::uint8_t* d = copy->ScanLine(y) + static_cast<std::ptrdiff_t>(x0 - rect.Left) * 3;
        if (bpp == 3) {
            std::memcpy(d, s, static_cast<std::size_t>(x1 - x0) * 3);
            continue;
        }
        for (int x = x0; x < x1; ++x, s += 4, d += 3) {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
        }
    }
    return copy;
}

void TBitmapCanvas::StretchDrawBitmap(const TRect& dest, const TBitmap& src) {
    const int dw = dest.Width();
    const int dh = dest.Height();
    if (dw <= 0 || dh <= 0 || src.Empty())
        return;
    const auto [x0, y0, x1, y1] = ClipRect(dest, target_.Width(), target_.Height());
    if (x0 >= x1 || y0 >= y1)
        return;
    // The source column of every target column, computed once.
    std::vector<int> columns(static_cast<std::size_t>(x1 - x0));
    for (int x = x0; x < x1; ++x)
        columns[static_cast<std::size_t>(x - x0)] =
            static_cast<int>(static_cast<std::int64_t>(x - dest.Left) * src.Width() / dw);
    const int bpp = target_.PixelFormat() == TPixelFormat::pf32bit ? 4 : 3;
    const TPixelFormat format = src.PixelFormat();
    // 8-bit sources go through their table (entries past it are black),
    // 24- and 32-bit ones are copied; other formats ask for every pixel.
    std::vector<TRGBQuad> table;
    if (format == TPixelFormat::pf8bit) {
        table = src.ColorTable();
        table.resize(256);
    }
    const int srcBpp = format == TPixelFormat::pf24bit   ? 3
                       : format == TPixelFormat::pf32bit ? 4
                                                         : 0;
    for (int y = y0; y < y1; ++y) {
        const int sy =
            static_cast<int>(static_cast<std::int64_t>(y - dest.Top) * src.Height() / dh);
        std::uint8_t* p = target_.ScanLine(y) + static_cast<std::ptrdiff_t>(x0) * bpp;
        const std::uint8_t* row = src.ScanLine(sy);
        for (const int sx : columns) {
            if (format == TPixelFormat::pf8bit) {
                const TRGBQuad& q = table[row[sx]];
                p[0] = q.rgbBlue;
                p[1] = q.rgbGreen;
                p[2] = q.rgbRed;
            } else if (srcBpp != 0) {
                const std::uint8_t* s = row + static_cast<std::ptrdiff_t>(sx) * srcBpp;
                p[0] = s[0];
                p[1] = s[1];
                p[2] = s[2];
            } else {
                const TColor c = src.PixelColor(sx, sy);
                p[0] = GetBValue(c);
                p[1] = GetGValue(c);
                p[2] = GetRValue(c);
            }
            if (bpp == 4)
                p[3] = 0;
            p += bpp;
        }
    }
}

} // namespace framolo

namespace framolo {

namespace {

// Calls put(x, y, sx, sy) for every pixel (x, y) of dest that lies inside a
// canvas of clipWidth x clipHeight, with the source pixel (sx, sy) that
// nearest-pixel stretching maps onto it.
template <class Put>
void ForEachStretchedPixel(const TRect& dest, int srcWidth, int srcHeight, int clipWidth,
                           int clipHeight, Put&& put) {
    const int dw = dest.Width();
    const int dh = dest.Height();
    if (dw <= 0 || dh <= 0 || srcWidth <= 0 || srcHeight <= 0)
        return;
    const auto [x0, y0, x1, y1] = ClipRect(dest, clipWidth, clipHeight);
    for (int y = y0; y < y1; ++y) {
        const int sy = static_cast<int>(static_cast<std::int64_t>(y - dest.Top) * srcHeight / dh);
        for (int x = x0; x < x1; ++x) {
            const int sx =
                static_cast<int>(static_cast<std::int64_t>(x - dest.Left) * srcWidth / dw);
            put(x, y, sx, sy);
        }
    }
}

bool MaskSet(const TBitmap& mask, int x, int y) {
    if (x >= mask.Width() || y >= mask.Height())
        return false;
    return mask.PixelColor(x, y) != clBlack;
}

} // namespace

void TCanvas::StretchDrawMasked(const TRect& dest, const TBitmap& src, const TBitmap& mask) {
    // Without knowing the canvas size, clip to the destination itself.
    ForEachStretchedPixel(dest, src.Width(), src.Height(), dest.Right, dest.Bottom,
                          [&](int x, int y, int sx, int sy) {
                              if (!MaskSet(mask, sx, sy))
                                  FillRect(TRect{x, y, x + 1, y + 1}, src.PixelColor(sx, sy));
                          });
}

void TBitmapCanvas::StretchDrawMasked(const TRect& dest, const TBitmap& src, const TBitmap& mask) {
    ForEachStretchedPixel(dest, src.Width(), src.Height(), target_.Width(), target_.Height(),
                          [&](int x, int y, int sx, int sy) {
                              if (!MaskSet(mask, sx, sy))
                                  PutPixel(x, y, src.PixelColor(sx, sy));
                          });
}

} // namespace framolo
