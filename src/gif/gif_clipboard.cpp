// The document on the clipboard, through the clipboard the preview layer installs.
#include "gif/gif_document.h"

#include <atomic>

namespace framolo {

namespace {
std::atomic<TGIFClipboard*> installedClipboard{nullptr};
} // namespace

void SetGIFClipboard(TGIFClipboard* clipboard) {
    installedClipboard.store(clipboard);
}

TGIFClipboard* GIFClipboard() {
    return installedClipboard.load();
}

void TGIFDocument::SaveToClipboardFormat() {
    TGIFClipboard* clipboard = GIFClipboard();
    if (clipboard == nullptr)
        throw GIFException(gifmsg::ClipboardStoreFailed);
    TBitmap bitmap;
    AssignTo(&bitmap);
    TMemoryStream stream;
    SaveToStream(stream);
    if (!clipboard->Store(bitmap, stream.Data()))
        throw GIFException(gifmsg::ClipboardStoreFailed);
}

void TGIFDocument::LoadFromClipboardFormat() {
    TGIFClipboard* clipboard = GIFClipboard();
    if (clipboard == nullptr)
        throw GIFException(gifmsg::UnsupportedClipboardFormat);
    std::vector<std::uint8_t> bytes;
    if (clipboard->GifData(bytes)) {
        TMemoryStream stream;
        stream.WriteBuffer(bytes.data(), bytes.size());
        stream.SetPosition(0);
        LoadFromStream(stream);
        return;
    }
    if (std::unique_ptr<TBitmap> picture = clipboard->Picture()) {
        Assign(picture.get());
        return;
    }
    throw GIFException(gifmsg::UnsupportedClipboardFormat);
}

} // namespace framolo
