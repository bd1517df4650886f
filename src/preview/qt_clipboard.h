#pragma once

// The system clipboard for GIF documents, over QClipboard: the GIF file's
// bytes under "GIF Image" and image/gif, and the whole-document picture as an
// image.

#include "gif/gif_document.h"

namespace framolo {

inline constexpr const char* kGifClipboardFormat = "GIF Image";
inline constexpr const char* kGifMimeType = "image/gif";

class TQtClipboard : public TGIFClipboard {
public:
    bool Store(const TBitmap& bitmap, const std::vector<std::uint8_t>& gifBytes) override;
    bool GifData(std::vector<std::uint8_t>& bytes) override;
    std::unique_ptr<TBitmap> Picture() override;
};

// Installs one TQtClipboard for every document; needs a QGuiApplication.
void InstallQtClipboard();

} // namespace framolo
