#include "preview/qt_image.h"

#include <array>
#include <cstring>

namespace framolo {

QImage ToQImage(const TBitmap& bitmap) {
    const int w = bitmap.Width();
    const int h = bitmap.Height();
    if (w <= 0 || h <= 0)
        return {};
    const auto rowBytes = static_cast<std::size_t>(w);
    switch (bitmap.PixelFormat()) {
    case TPixelFormat::pf8bit: {
        QImage image(w, h, QImage::Format_Indexed8);
        QList<QRgb> table;
        for (const TRGBQuad& q : bitmap.ColorTable())
            table.push_back(qRgb(q.rgbRed, q.rgbGreen, q.rgbBlue));
        // Indexes past the table read as black, as on the software canvas.
        while (table.size() < 256)
            table.push_back(qRgb(0, 0, 0));
        image.setColorTable(table);
        for (int y = 0; y < h; ++y)
            std::memcpy(image.scanLine(y), bitmap.ScanLine(y), rowBytes);
        return image;
    }
    case TPixelFormat::pf24bit: {
        QImage image(w, h, QImage::Format_BGR888);
        for (int y = 0; y < h; ++y)
            std::memcpy(image.scanLine(y), bitmap.ScanLine(y), rowBytes * 3);
        return image;
    }
    default: {
        QImage image(w, h, QImage::Format_RGB32);
        for (int y = 0; y < h; ++y) {
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < w; ++x) {
                const TColor c = bitmap.PixelColor(x, y);
                row[x] = qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
            }
        }
        return image;
    }
    }
}

QImage ToMaskedQImage(const TBitmap& bitmap, const TBitmap& mask) {
    QImage image = ToQImage(bitmap).convertToFormat(QImage::Format_ARGB32);
    const int w = std::min(image.width(), mask.Width());
    const int h = std::min(image.height(), mask.Height());
    const TPixelFormat format = mask.PixelFormat();
    const int bits = format == TPixelFormat::pf1bit   ? 1
                     : format == TPixelFormat::pf4bit ? 4
                     : format == TPixelFormat::pf8bit ? 8
                                                      : 0;
    if (bits == 0) {
        for (int y = 0; y < h; ++y) {
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < w; ++x)
                if (mask.PixelColor(x, y) != clBlack)
                    row[x] = 0;
        }
        return image;
    }
    // An indexed mask, as frames have: which indexes are not black is looked
    // up once; indexes past the table read as black.
    std::array<bool, 256> clear{};
    const std::vector<TRGBQuad>& table = mask.ColorTable();
    for (std::size_t i = 0; i < table.size() && i < clear.size(); ++i)
        clear[i] = RGB(table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue) != clBlack;
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        const std::uint8_t* m = mask.ScanLine(y);
        for (int x = 0; x < w; ++x) {
            const auto ux = static_cast<std::size_t>(x);
            const unsigned index = bits == 8   ? m[ux]
                                   : bits == 4 ? (ux % 2 == 0 ? m[ux / 2] >> 4 : m[ux / 2] & 0x0Fu)
                                               : (m[ux / 8] >> (7 - ux % 8)) & 1u;
            if (clear[index])
                row[x] = 0;
        }
    }
    return image;
}

std::unique_ptr<TBitmap> BitmapFromQImage(const QImage& image) {
    const QImage bgr = image.convertToFormat(QImage::Format_BGR888);
    auto bitmap = std::make_unique<TBitmap>(bgr.width(), bgr.height(), TPixelFormat::pf24bit);
    const auto rowBytes = static_cast<std::size_t>(bgr.width()) * 3;
    for (int y = 0; y < bgr.height(); ++y)
        std::memcpy(bitmap->ScanLine(y), bgr.constScanLine(y), rowBytes);
    return bitmap;
}

} // namespace framolo
