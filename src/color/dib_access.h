#pragma once

#include "platform/graphics/bitmap.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace framolo {

// Direct row access to the pixels of a bitmap in one fixed pixel format.
class TDIB {
public:
    TDIB(TBitmap& bitmap, TPixelFormat pixelFormat) : bitmap_(bitmap), pixelFormat_(pixelFormat) {}
    virtual ~TDIB() = default;
    TDIB(const TDIB&) = delete;
    TDIB& operator=(const TDIB&) = delete;

    // The first byte of a row; row 0 is the top image row.
    virtual std::uint8_t* RowPointer(int row) = 0;

    TBitmap& Bitmap() const { return bitmap_; }
    TPixelFormat PixelFormat() const { return pixelFormat_; }

private:
    TBitmap& bitmap_;
    TPixelFormat pixelFormat_;
};

// Reads (and may write) the rows of an existing bitmap. Construction converts
// the bitmap itself to the requested format, so the caller's bitmap changes.
class TDIBReader : public TDIB {
public:
    TDIBReader(TBitmap& bitmap, TPixelFormat pixelFormat);

    // Raises EInvalidGraphicOperation for a row outside 0 .. height - 1.
    std::uint8_t* RowPointer(int row) override { return Bitmap().ScanLine(row); }
};

// Builds a new 8- or 24-bit DIB in memory and, on Release, loads it into the
// target bitmap as a BMP file would be loaded. An 8-bit DIB always carries a
// 256-entry colour table: the palette's entries first, black after them.
//
// Nothing is allocated until the first row is asked for, and a writer that
// never handed out a row leaves the target untouched. Destroying a writer
// without Release discards its pixels; that is what happens when an error
// unwinds past it, since the target is then of no use to anybody.
class TDIBWriter : public TDIB {
public:
    // Raises GIFException "Unsupported PixelFormat" for formats other than 8
    // and 24 bits, and "Invalid image dimensions" for a width or height that
    // is not positive.
    TDIBWriter(TBitmap& target, TPixelFormat pixelFormat, int width, int height, HPALETTE palette);
    ~TDIBWriter() override = default;

    // Row 0 is the top image row, which is the last row in memory.
    // Raises GIFException "Image has no DIB" when the pixel block cannot be
    // had, EInvalidGraphicOperation "Scan line index out of range" outside
    // 0 .. height - 1, and EOutOfResources "Failed to allocate memory for GIF
    // DIB" when memory runs out.
    std::uint8_t* RowPointer(int row) override;

    // Stores the DIB into the target bitmap, then frees it.
    void Release();

    void StoreIntoBitmap();
    void AllocateDIB();
    void EnsureDIB();
    void ReleaseDIB();

    int Width() const { return width_; }
    int Height() const { return height_; }
    std::size_t RowSize() const { return rowSize_; }
    std::uint32_t HeaderBlockSize() const { return headerSize_; }
    std::uint32_t PixelBlockSize() const { return pixelSize_; }
    // The complete BMP file image (file header, info header, colour table,
    // pixels); empty until a row has been asked for.
    const std::vector<std::uint8_t>& FileImage() const { return file_; }

    static constexpr std::uint32_t kFileHeaderSize = 14;
    static constexpr std::uint32_t kInfoHeaderSize = 40;

private:
    // One allocation holds the whole BMP file, so storing it needs no copy:
    // the 14-byte file header, then the header block, then the pixel block.
    std::vector<std::uint8_t> file_;
    std::uint32_t headerSize_ = 0;
    std::uint32_t pixelSize_ = 0;
    std::size_t rowSize_ = 0;
    HPALETTE palette_;
    int height_ = 0;
    int width_ = 0;
};

} // namespace framolo
