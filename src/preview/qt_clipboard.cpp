#include "preview/qt_clipboard.h"

#include "preview/qt_image.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace framolo {

bool TQtClipboard::Store(const TBitmap& bitmap, const std::vector<std::uint8_t>& gifBytes) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr)
        return false;
    auto data = std::make_unique<QMimeData>();
    const QByteArray bytes(reinterpret_cast<const char*>(gifBytes.data()),
                           static_cast<qsizetype>(gifBytes.size()));
    data->setData(QString::fromLatin1(kGifClipboardFormat), bytes);
    data->setData(QString::fromLatin1(kGifMimeType), bytes);
    if (!bitmap.Empty())
        data->setImageData(ToQImage(bitmap));
    // The clipboard owns what it is given.
    clipboard->setMimeData(data.release());
    const QMimeData* stored = clipboard->mimeData();
    return stored != nullptr && stored->hasFormat(QString::fromLatin1(kGifMimeType));
}

bool TQtClipboard::GifData(std::vector<std::uint8_t>& bytes) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* data = clipboard != nullptr ? clipboard->mimeData() : nullptr;
    if (data == nullptr)
        return false;
    for (const char* format : {kGifClipboardFormat, kGifMimeType}) {
        if (!data->hasFormat(QString::fromLatin1(format)))
            continue;
        const QByteArray raw = data->data(QString::fromLatin1(format));
        bytes.assign(raw.begin(), raw.end());
        return true;
    }
    return false;
}

std::unique_ptr<TBitmap> TQtClipboard::Picture() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* data = clipboard != nullptr ? clipboard->mimeData() : nullptr;
    if (data == nullptr || !data->hasImage())
        return nullptr;
    const QImage image = qvariant_cast<QImage>(data->imageData());
    if (image.isNull())
        return nullptr;
    return BitmapFromQImage(image);
}

void InstallQtClipboard() {
    static TQtClipboard clipboard;
    SetGIFClipboard(&clipboard);
}

} // namespace framolo
