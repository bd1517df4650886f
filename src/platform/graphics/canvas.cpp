#include "platform/graphics/canvas.h"

#include "platform/graphics/bitmap.h"

#include <algorithm>

namespace framolo {

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
    const int x0 = std::max(rect.Left, 0);
    const int y0 = std::max(rect.Top, 0);
    const int x1 = std::min(rect.Right, target_.Width());
    const int y1 = std::min(rect.Bottom, target_.Height());
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            PutPixel(x, y, color);
}

std::unique_ptr<TBitmap> TCanvas::CopyRect(const TRect&) const {
    return nullptr;
}

std::unique_ptr<TBitmap> TBitmapCanvas::CopyRect(const TRect& rect) const {
    auto copy = std::make_unique<TBitmap>(std::max(rect.Width(), 0), std::max(rect.Height(), 0),
                                          TPixelFormat::pf24bit);
    for (int y = 0; y < copy->Height(); ++y) {
        std::uint8_t* row = copy->ScanLine(y);
        const int sy = rect.Top + y;
        for (int x = 0; x < copy->Width(); ++x) {
            const int sx = rect.Left + x;
            const TColor c = sx >= 0 && sy >= 0 && sx < target_.Width() && sy < target_.Height()
                                 ? target_.PixelColor(sx, sy)
                                 : clBlack;
            row[3 * x] = GetBValue(c);
            row[3 * x + 1] = GetGValue(c);
            row[3 * x + 2] = GetRValue(c);
        }
    }
    return copy;
}

void TBitmapCanvas::StretchDrawBitmap(const TRect& dest, const TBitmap& src) {
    const int dw = dest.Width();
    const int dh = dest.Height();
    if (dw <= 0 || dh <= 0 || src.Empty())
        return;
    const int x0 = std::max(dest.Left, 0);
    const int y0 = std::max(dest.Top, 0);
    const int x1 = std::min(dest.Right, target_.Width());
    const int y1 = std::min(dest.Bottom, target_.Height());
    for (int y = y0; y < y1; ++y) {
        const int sy =
            static_cast<int>(static_cast<std::int64_t>(y - dest.Top) * src.Height() / dh);
        for (int x = x0; x < x1; ++x) {
            const int sx =
                static_cast<int>(static_cast<std::int64_t>(x - dest.Left) * src.Width() / dw);
            PutPixel(x, y, src.PixelColor(sx, sy));
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
    const int x0 = std::max(dest.Left, 0);
    const int y0 = std::max(dest.Top, 0);
    const int x1 = std::min(dest.Right, clipWidth);
    const int y1 = std::min(dest.Bottom, clipHeight);
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
