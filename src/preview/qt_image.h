#pragma once

// Pictures crossing between our bitmaps and Qt's images.

#include "platform/graphics/bitmap.h"

#include <QImage>

#include <memory>

namespace framolo {

// The bitmap as a Qt image with the same colours (indexed for 8 bits).
QImage ToQImage(const TBitmap& bitmap);
// The bitmap with every pixel whose mask pixel is set made fully transparent.
QImage ToMaskedQImage(const TBitmap& bitmap, const TBitmap& mask);
// The image as a 24-bit bitmap; transparency is dropped.
std::unique_ptr<TBitmap> BitmapFromQImage(const QImage& image);

} // namespace framolo
