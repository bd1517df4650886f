#pragma once

// TCanvas over a QImage: what a preview widget hands a GIF document, so that
// its painter draws frames into the widget's picture on the GUI thread.

#include "platform/graphics/canvas.h"

#include <QColor>
#include <QImage>
#include <QSize>

#include <functional>

namespace framolo {

class TQtCanvas : public TCanvas {
public:
    // Gives the canvas a fresh surface of size, filled with fill. The handle
    // changes, so painters watching the old one stop.
    void SetSize(const QSize& size, const QColor& fill);
    // Drops the surface; Handle() is 0 until the next SetSize.
    void Release();
    const QImage& Image() const { return image_; }

    void FillRect(const TRect& rect, TColor color) override;
    // Nearest-pixel stretching, like the software canvas.
    void StretchDrawBitmap(const TRect& dest, const TBitmap& src) override;
    void StretchDrawMasked(const TRect& dest, const TBitmap& src, const TBitmap& mask) override;
    std::unique_ptr<TBitmap> CopyRect(const TRect& rect) const override;
    std::uintptr_t Handle() const override { return image_.isNull() ? 0 : handle_; }

    // Called after every drawing operation.
    std::function<void()> OnChanged;

private:
    void DrawImage(const TRect& dest, const QImage& image);
    void Changed();

    QImage image_;
    std::uintptr_t handle_ = 0;
};

} // namespace framolo
