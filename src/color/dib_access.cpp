#include "color/dib_access.h"

#include "platform/bytes/format_records.h"
#include "platform/graphics/gif_exception.h"
#include "platform/streams/stream.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace framolo {

namespace {

constexpr char kNoMemory[] = "Failed to allocate memory for GIF DIB";

} // namespace

TDIBReader::TDIBReader(TBitmap& bitmap, TPixelFormat pixelFormat) : TDIB(bitmap, pixelFormat) {
    bitmap.SetPixelFormat(pixelFormat);
}

TDIBWriter::TDIBWriter(TBitmap& target, TPixelFormat pixelFormat, int width, int height,
                       HPALETTE palette)
    : TDIB(target, pixelFormat), palette_(std::move(palette)), height_(height), width_(width) {
    if (pixelFormat != TPixelFormat::pf8bit && pixelFormat != TPixelFormat::pf24bit)
        throw GIFException("Unsupported PixelFormat");
    // A negative height would mean a top-down DIB whose rows could never be
    // addressed; a negative width has no meaning at all.
    if (width <= 0 || height <= 0)
        throw GIFException("Invalid image dimensions");
}

void TDIBWriter::AllocateDIB() {
    ReleaseDIB();
    const bool indexed = PixelFormat() == TPixelFormat::pf8bit;
    const std::uint32_t bits = indexed ? 8 : 24;
    const std::uint32_t headerSize = indexed ? kInfoHeaderSize + 256 * 4 : kInfoHeaderSize;

    // The BMP file header stores the total size in 32 bits, and a bitmap may
    // not hold more than TBitmap::kMaxPixels; anything larger is as good as
    // out of memory.
    const std::uint64_t rowSize =
        ((static_cast<std::uint64_t>(width_) * bits + 31) & ~std::uint64_t{31}) / 8;
    const std::uint64_t pixelSize = rowSize * static_cast<std::uint64_t>(height_);
    const std::uint64_t fileSize = kFileHeaderSize + headerSize + pixelSize;
    if (static_cast<std::uint64_t>(width_) * static_cast<std::uint64_t>(height_) >
            static_cast<std::uint64_t>(TBitmap::kMaxPixels) ||
        fileSize > std::numeric_limits<std::uint32_t>::max() ||
        fileSize > std::numeric_limits<std::size_t>::max())
        throw EOutOfResources(kNoMemory);

    try {
        file_.assign(static_cast<std::size_t>(fileSize), 0);
    } catch (const std::bad_alloc&) {
        ReleaseDIB();
        throw EOutOfResources(kNoMemory);
    }
    headerSize_ = headerSize;
    pixelSize_ = static_cast<std::uint32_t>(pixelSize);
    rowSize_ = static_cast<std::size_t>(rowSize);

    std::uint8_t* f = file_.data();
    f[0] = 'B';
    f[1] = 'M';
    PutLE32(f + 2, static_cast<std::uint32_t>(fileSize));
    PutLE32(f + 10, kFileHeaderSize + headerSize);

    // Compression, image size and both resolutions stay 0.
    TBitmapInfoHeader info;
    info.biWidth = width_;
    info.biHeight = height_;
    info.biBitCount = static_cast<std::uint16_t>(bits);
    std::uint8_t* h = f + kFileHeaderSize;
    if (indexed) {
        info.biClrUsed = 256;
        if (palette_) {
            const auto& entries = palette_->Entries;
            info.biClrImportant =
                static_cast<std::uint32_t>(std::min<std::size_t>(entries.size(), 256));
            std::uint8_t* table = h + kInfoHeaderSize;
            for (std::uint32_t i = 0; i < info.biClrImportant; ++i) {
                table[4 * i] = entries[i].peBlue;
                table[4 * i + 1] = entries[i].peGreen;
                table[4 * i + 2] = entries[i].peRed;
            }
        }
    }
    PackBitmapInfoHeader(info, h);
}

void TDIBWriter::EnsureDIB() {
    if (file_.empty())
        AllocateDIB();
}

void TDIBWriter::ReleaseDIB() {
    file_.clear();
    file_.shrink_to_fit();
    headerSize_ = 0;
    pixelSize_ = 0;
    rowSize_ = 0;
}

std::uint8_t* TDIBWriter::RowPointer(int row) {
    EnsureDIB();
    if (file_.empty())
        throw GIFException("Image has no DIB");
    if (row < 0 || row >= height_)
        throw EInvalidGraphicOperation("Scan line index out of range");
    std::uint8_t* pixels = file_.data() + kFileHeaderSize + headerSize_;
    return pixels + static_cast<std::size_t>(height_ - 1 - row) * rowSize_;
}

void TDIBWriter::StoreIntoBitmap() {
    if (file_.empty())
        return;
    TReadOnlyMemoryStream stream(file_.data(), file_.size());
    Bitmap().LoadFromStream(stream);
}

void TDIBWriter::Release() {
    StoreIntoBitmap();
    ReleaseDIB();
}

} // namespace framolo
