#include "preview/qt_canvas.h"

#include "preview/qt_image.h"

#include <QPainter>

#include <atomic>

namespace framolo {

namespace {

QRect ToQRect(const TRect& r) {
    return QRect(QPoint(r.Left, r.Top), QSize(r.Width(), r.Height()));
}

std::uintptr_t NextHandle() {
    static std::atomic<std::uintptr_t> next{1};
    return next++;
}

} // namespace

void TQtCanvas::SetSize(const QSize& size, const QColor& fill) {
    image_ = QImage(size, QImage::Format_RGB32);
    image_.fill(fill);
    handle_ = NextHandle();
}

void TQtCanvas::Release() {
    image_ = QImage();
}

void TQtCanvas::Changed() {
    if (OnChanged)
        OnChanged();
}

void TQtCanvas::FillRect(const TRect& rect, TColor color) {
    if (image_.isNull() || rect.Width() <= 0 || rect.Height() <= 0)
        return;
    QPainter painter(&image_);
    painter.fillRect(ToQRect(rect), QColor(GetRValue(color), GetGValue(color), GetBValue(color)));
    painter.end();
    Changed();
}

void TQtCanvas::DrawImage(const TRect& dest, const QImage& image) {
    if (image_.isNull() || image.isNull() || dest.Width() <= 0 || dest.Height() <= 0)
        return;
    QPainter painter(&image_);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(ToQRect(dest), image);
    painter.end();
    Changed();
}

void TQtCanvas::StretchDrawBitmap(const TRect& dest, const TBitmap& src) {
    DrawImage(dest, ToQImage(src));
}

void TQtCanvas::StretchDrawMasked(const TRect& dest, const TBitmap& src, const TBitmap& mask) {
    DrawImage(dest, ToMaskedQImage(src, mask));
}

std::unique_ptr<TBitmap> TQtCanvas::CopyRect(const TRect& rect) const {
    if (image_.isNull())
        return nullptr;
    // Parts outside the image come back black.
    return BitmapFromQImage(image_.copy(ToQRect(rect)));
}

} // namespace framolo
