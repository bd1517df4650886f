#pragma once

#include "platform/graphics/graphics.h"

#include <cstdint>
#include <memory>

namespace framolo {

class TBitmap;

// Something a graphic can be drawn onto.
class TCanvas {
public:
    virtual ~TCanvas() = default;
    virtual void FillRect(const TRect& rect, TColor color) = 0;
    // Draws src stretched into dest; pixels outside the canvas are clipped.
    virtual void StretchDrawBitmap(const TRect& dest, const TBitmap& src) = 0;
    // Draws src stretched into dest through a mask of src's size: where the
    // mask pixel is non-zero the canvas keeps what it had. The default paints
    // the drawn pixels one by one through FillRect.
    virtual void StretchDrawMasked(const TRect& dest, const TBitmap& src, const TBitmap& mask);
    void Draw(int x, int y, TGraphic& graphic);
    void StretchDraw(const TRect& dest, TGraphic& graphic) { graphic.Draw(*this, dest); }
    // What the canvas shows at rect, as a 24-bit bitmap of rect's size; parts
    // outside the canvas read as black. Null when the canvas cannot be read.
    virtual std::unique_ptr<TBitmap> CopyRect(const TRect& rect) const;
    // Names the surface the canvas paints on; 0 once it has none. A painter
    // that watches it stops when it changes.
    virtual std::uintptr_t Handle() const { return reinterpret_cast<std::uintptr_t>(this); }
};

// A canvas that paints into a 24- or 32-bit TBitmap.
class TBitmapCanvas : public TCanvas {
public:
    // Raises EInvalidGraphicOperation unless target is 24 or 32 bits per pixel.
    explicit TBitmapCanvas(TBitmap& target);
    void FillRect(const TRect& rect, TColor color) override;
    // Nearest-pixel stretching; a same-size draw copies colours exactly.
    void StretchDrawBitmap(const TRect& dest, const TBitmap& src) override;
    void StretchDrawMasked(const TRect& dest, const TBitmap& src, const TBitmap& mask) override;
    std::unique_ptr<TBitmap> CopyRect(const TRect& rect) const override;

private:
    void PutPixel(int x, int y, TColor color);
    TBitmap& target_;
};

} // namespace framolo
