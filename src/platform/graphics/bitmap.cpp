#include "platform/graphics/bitmap.h"

#include "platform/bytes/format_records.h"
#include "platform/graphics/canvas.h"
#include "platform/streams/stream.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

namespace framolo {

namespace {

constexpr std::uint32_t kBI_ALPHABITFIELDS = 6;

TPixelFormat FormatForBits(int bits) {
    static constexpr std::pair<int, TPixelFormat> kFormats[] = {
        {1, TPixelFormat::pf1bit},   {4, TPixelFormat::pf4bit},   {8, TPixelFormat::pf8bit},
        {16, TPixelFormat::pf15bit}, {24, TPixelFormat::pf24bit}, {32, TPixelFormat::pf32bit}};
    for (const auto& [stored, format] : kFormats) {
        if (stored == bits)
            return format;
    }
    throw EInvalidGraphic("Bitmap image is not valid");
}

// A channel of a bit-field pixel, scaled to 8 bits.
struct TChannelMask {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
    explicit TChannelMask(std::uint32_t m) : mask(m) {
        if (m == 0)
            return;
        while (((m >> shift) & 1u) == 0)
            ++shift;
        while (shift + bits < 32 && ((m >> (shift + bits)) & 1u) != 0)
            ++bits;
    }
    std::uint8_t Extract(std::uint32_t v) const {
        if (bits == 0)
            return 0;
        const std::uint32_t x = (v & mask) >> shift;
        if (bits >= 8)
            return static_cast<std::uint8_t>(x >> (bits - 8));
        // Replicate the high bits into the low ones, so that full scale maps to 255.
        std::uint32_t w = x << (8 - bits);
        for (int s = bits; s < 8; s *= 2)
            w |= w >> s;
        return static_cast<std::uint8_t>(w);
    }
};

std::vector<TRGBQuad> DefaultColorTable(int bits) {
    std::vector<TRGBQuad> t(static_cast<std::size_t>(1) << bits);
    const std::size_t n = t.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto v = static_cast<std::uint8_t>(i * 255 / (n - 1));
        t[i] = TRGBQuad{v, v, v, 0};
    }
    return t;
}

} // namespace

int BitsPerPixelOf(TPixelFormat format) {
    switch (format) {
    case TPixelFormat::pf1bit:
        return 1;
    case TPixelFormat::pf4bit:
        return 4;
    case TPixelFormat::pf8bit:
        return 8;
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit:
        return 16;
    case TPixelFormat::pf24bit:
    case TPixelFormat::pfDevice:
        return 24;
    case TPixelFormat::pf32bit:
    case TPixelFormat::pfCustom:
        return 32;
    }
    return 24;
}

std::size_t DIBRowBytes(int width, int bitCount) {
    if (width < 0 || bitCount <= 0)
        throw EOutOfResources("Invalid bitmap size");
    const std::uint64_t bitsPerRow =
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(bitCount);
    const std::uint64_t bytes = ((bitsPerRow + 31) / 32) * 4;
    if (bytes > std::numeric_limits<std::uint32_t>::max())
        throw EOutOfResources("Bitmap is too large");
    return static_cast<std::size_t>(bytes);
}

TBitmap::TBitmap(int width, int height, TPixelFormat format) {
    Allocate(width, height, format, false);
}

void TBitmap::Allocate(int width, int height, TPixelFormat format, bool keepContent) {
    if (width < 0 || height < 0)
        throw EInvalidGraphicOperation("Invalid bitmap size");
    if (static_cast<std::int64_t>(width) * height > kMaxPixels)
        throw EOutOfResources("Bitmap is too large");
    if (format == TPixelFormat::pfDevice)
        format = TPixelFormat::pf24bit;
    if (format == TPixelFormat::pfCustom)
        format = TPixelFormat::pf32bit;
    const int bits = BitsPerPixelOf(format);
    const std::size_t rowBytes = DIBRowBytes(width, bits);
    std::vector<std::uint8_t> bits_new(rowBytes * static_cast<std::size_t>(height));
    if (keepContent && format == format_ && !bits_.empty()) {
        // Keep the top-left part; rows are bottom-up, so count from the top.
        const int rows = std::min(height, height_);
        const std::size_t copy = std::min(rowBytes, rowBytes_);
        for (int r = 0; r < rows; ++r) {
            const std::uint8_t* s =
                bits_.data() + static_cast<std::size_t>(height_ - 1 - r) * rowBytes_;
            std::uint8_t* d = bits_new.data() + static_cast<std::size_t>(height - 1 - r) * rowBytes;
            std::memcpy(d, s, copy);
        }
    }
    if (bits <= 8) {
        if (colors_.empty() || BitsPerPixelOf(format_) != bits)
            colors_ = DefaultColorTable(bits);
    } else {
        colors_.clear();
    }
    width_ = width;
    height_ = height;
    format_ = format;
    rowBytes_ = rowBytes;
    bits_ = std::move(bits_new);
}

void TBitmap::SetWidth(int value) {
    if (value != width_) {
        Allocate(value, height_, format_, true);
        Changed(this);
    }
}

void TBitmap::SetHeight(int value) {
    if (value != height_) {
        Allocate(width_, value, format_, true);
        Changed(this);
    }
}

void TBitmap::SetSize(int width, int height) {
    if (width != width_ || height != height_) {
        Allocate(width, height, format_, true);
        Changed(this);
    }
}

std::uint8_t* TBitmap::ScanLine(int row) {
    if (row < 0 || row >= height_)
        throw EInvalidGraphicOperation("Scan line index out of range");
    return bits_.data() + static_cast<std::size_t>(height_ - 1 - row) * rowBytes_;
}

const std::uint8_t* TBitmap::ScanLine(int row) const {
    return const_cast<TBitmap*>(this)->ScanLine(row);
}

TColor TBitmap::PixelColor(int x, int y) const {
    if (x < 0 || x >= width_)
        throw EInvalidGraphicOperation("Pixel index out of range");
    const std::uint8_t* row = ScanLine(y);
    auto fromTable = [this](std::size_t i) -> TColor {
        if (i >= colors_.size())
            return clBlack;
        const TRGBQuad& q = colors_[i];
        return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
    };
    const auto ux = static_cast<std::size_t>(x);
    switch (format_) {
    case TPixelFormat::pf1bit:
        return fromTable((row[ux / 8] >> (7 - ux % 8)) & 1u);
    case TPixelFormat::pf4bit:
        return fromTable(ux % 2 == 0 ? row[ux / 2] >> 4 : row[ux / 2] & 0x0Fu);
    case TPixelFormat::pf8bit:
        return fromTable(row[ux]);
    case TPixelFormat::pf15bit: {
        const std::uint32_t v = GetLE16(row + ux * 2);
        static const TChannelMask r(0x7C00), g(0x03E0), b(0x001F);
        return RGB(r.Extract(v), g.Extract(v), b.Extract(v));
    }
    case TPixelFormat::pf16bit: {
        const std::uint32_t v = GetLE16(row + ux * 2);
        static const TChannelMask r(0xF800), g(0x07E0), b(0x001F);
        return RGB(r.Extract(v), g.Extract(v), b.Extract(v));
    }
    case TPixelFormat::pf24bit:
    case TPixelFormat::pfDevice:
        return RGB(row[ux * 3 + 2], row[ux * 3 + 1], row[ux * 3]);
    case TPixelFormat::pf32bit:
    case TPixelFormat::pfCustom:
        return RGB(row[ux * 4 + 2], row[ux * 4 + 1], row[ux * 4]);
    }
    return clBlack;
}

void TBitmap::SetPixelFormat(TPixelFormat value) {
    if (value == TPixelFormat::pfDevice)
        value = TPixelFormat::pf24bit;
    if (value == TPixelFormat::pfCustom)
        value = TPixelFormat::pf32bit;
    if (value == format_)
        return;
    if (GetEmpty()) {
        Allocate(width_, height_, value, false);
        Changed(this);
        return;
    }
    const bool toTrue = value == TPixelFormat::pf24bit || value == TPixelFormat::pf32bit;
    const bool lowTo8 = value == TPixelFormat::pf8bit &&
                        (format_ == TPixelFormat::pf1bit || format_ == TPixelFormat::pf4bit);
    if (!toTrue && !lowTo8)
        throw EInvalidGraphicOperation("Unsupported pixel format conversion");

    TBitmap target;
    target.colors_ = colors_;
    target.format_ = value;
    target.Allocate(width_, height_, value, false);
    if (lowTo8) {
        target.colors_ = colors_;
        target.colors_.resize(256);
        for (int y = 0; y < height_; ++y) {
            const std::uint8_t* s = ScanLine(y);
            std::uint8_t* d = target.ScanLine(y);
            for (int x = 0; x < width_; ++x) {
                const auto ux = static_cast<std::size_t>(x);
                d[ux] = format_ == TPixelFormat::pf1bit
                            ? static_cast<std::uint8_t>((s[ux / 8] >> (7 - ux % 8)) & 1u)
                            : static_cast<std::uint8_t>(ux % 2 == 0 ? s[ux / 2] >> 4
                                                                    : s[ux / 2] & 0x0Fu);
            }
        }
    } else {
        const std::size_t bpp = value == TPixelFormat::pf32bit ? 4 : 3;
        for (int y = 0; y < height_; ++y) {
            std::uint8_t* d = target.ScanLine(y);
            if (format_ == TPixelFormat::pf24bit || format_ == TPixelFormat::pf32bit) {
                const std::uint8_t* s = ScanLine(y);
                const std::size_t sbpp = format_ == TPixelFormat::pf32bit ? 4 : 3;
                for (int x = 0; x < width_; ++x) {
                    std::memcpy(d + static_cast<std::size_t>(x) * bpp,
                                s + static_cast<std::size_t>(x) * sbpp, 3);
                }
                continue;
            }
            for (int x = 0; x < width_; ++x) {
                const TColor c = PixelColor(x, y);
                std::uint8_t* p = d + static_cast<std::size_t>(x) * bpp;
                p[0] = GetBValue(c);
                p[1] = GetGValue(c);
                p[2] = GetRValue(c);
            }
        }
    }
    format_ = value;
    colors_ = std::move(target.colors_);
    rowBytes_ = target.rowBytes_;
    bits_ = std::move(target.bits_);
    Changed(this);
}

void TBitmap::SetColorTable(std::vector<TRGBQuad> colors) {
    const int bits = BitsPerPixelOf(format_);
    if (bits > 8)
        throw EInvalidGraphicOperation("Bitmap has no color table");
    if (colors.size() > (std::size_t{1} << bits))
        colors.resize(std::size_t{1} << bits);
    colors_ = std::move(colors);
    SetPaletteModified(true);
    Changed(this);
}

HPALETTE TBitmap::GetPalette() const {
    if (colors_.empty())
        return nullptr;
    std::vector<TPaletteEntry> entries;
    entries.reserve(colors_.size());
    for (const TRGBQuad& q : colors_)
        entries.push_back(TPaletteEntry{q.rgbRed, q.rgbGreen, q.rgbBlue, 0});
    return CreatePalette(std::move(entries));
}

void TBitmap::SetPalette(HPALETTE palette) {
    if (!palette || BitsPerPixelOf(format_) > 8)
        return;
    std::vector<TRGBQuad> colors;
    colors.reserve(palette->Entries.size());
    for (const TPaletteEntry& e : palette->Entries)
        colors.push_back(TRGBQuad{e.peBlue, e.peGreen, e.peRed, 0});
    SetColorTable(std::move(colors));
}

TColor TBitmap::TransparentColor() const {
    if (transparentMode_ == TTransparentMode::tmFixed && transparentColor_ != clNone)
        return transparentColor_;
    // Automatic: the colour of the bottom-left pixel.
    if (GetEmpty())
        return clBlack;
    return PixelColor(0, height_ - 1);
}

void TBitmap::SetTransparentColor(TColor value) {
    transparentColor_ = value;
    transparentMode_ = value == clNone ? TTransparentMode::tmAuto : TTransparentMode::tmFixed;
}

void TBitmap::Assign(const TPersistent* source) {
    if (source == this)
        return;
    if (const auto* b = dynamic_cast<const TBitmap*>(source)) {
        width_ = b->width_;
        height_ = b->height_;
        format_ = b->format_;
        rowBytes_ = b->rowBytes_;
        bits_ = b->bits_;
        colors_ = b->colors_;
        transparentColor_ = b->transparentColor_;
        transparentMode_ = b->transparentMode_;
        TGraphic::SetTransparent(b->Transparent());
        Changed(this);
        return;
    }
    TGraphic::Assign(source);
}

void TBitmap::Draw(TCanvas& canvas, const TRect& rect) {
    canvas.StretchDrawBitmap(rect, *this);
}

// ---- BMP files and packed DIBs ----

void TBitmap::LoadFromStream(TStream& stream) {
    std::uint8_t fh[14];
    if (stream.Read(fh, 14) != 14 || fh[0] != 'B' || fh[1] != 'M')
        throw EInvalidGraphic("Bitmap image is not valid");
    const std::int64_t start = stream.Position();
    const std::int64_t size = stream.Size() - start;
    const std::uint32_t offBits = GetLE32(fh + 10);
    LoadDIBBody(stream, size);
    (void)offBits;
}

void TBitmap::LoadFromPackedDIB(TStream& stream, std::int64_t size) {
    LoadDIBBody(stream, size);
}

void TBitmap::LoadDIBBody(TStream& stream, std::int64_t size) {
    const std::int64_t start = stream.Position();
    std::uint8_t h[124] = {};
    if (size < 12 || stream.Read(h, 4) != 4)
        throw EInvalidGraphic("Bitmap image is not valid");
    const std::uint32_t headerSize = GetLE32(h);
    if (headerSize != 12 && (headerSize < 40 || headerSize > 124 || headerSize > size))
        throw EInvalidGraphic("Bitmap image is not valid");
    stream.ReadBuffer(h + 4, headerSize - 4);

    std::int64_t width = 0;
    std::int64_t height = 0;
    int bitCount = 0;
    std::uint32_t compression = BI_RGB;
    std::uint32_t clrUsed = 0;
    std::uint32_t masks[3] = {0, 0, 0};
    bool haveMasks = false;
    int tableEntrySize = 4;
    if (headerSize == 12) {
        width = GetLE16(h + 4);
        height = static_cast<std::int16_t>(GetLE16(h + 6));
        bitCount = GetLE16(h + 10);
        tableEntrySize = 3;
    } else {
        width = static_cast<std::int32_t>(GetLE32(h + 4));
        height = static_cast<std::int32_t>(GetLE32(h + 8));
        bitCount = GetLE16(h + 14);
        compression = GetLE32(h + 16);
        clrUsed = GetLE32(h + 32);
        if (headerSize >= 52) {
            masks[0] = GetLE32(h + 40);
            masks[1] = GetLE32(h + 44);
            masks[2] = GetLE32(h + 48);
            haveMasks = true;
        }
    }
    const bool topDown = height < 0;
    if (topDown)
        height = -height;
    if (width <= 0 || height <= 0 || width > 65535 * 4 || height > 65535 * 4)
        throw EInvalidGraphic("Bitmap image is not valid");
    if (compression == BI_BITFIELDS || compression == kBI_ALPHABITFIELDS) {
        if (bitCount != 16 && bitCount != 32)
            throw EInvalidGraphic("Bitmap image is not valid");
        if (!haveMasks) {
            std::uint8_t m[12];
            stream.ReadBuffer(m, 12);
            masks[0] = GetLE32(m);
            masks[1] = GetLE32(m + 4);
            masks[2] = GetLE32(m + 8);
            haveMasks = true;
        }
    } else if (compression != BI_RGB) {
        throw EInvalidGraphic("Bitmap compression is not supported");
    } else {
        haveMasks = false;
    }

    // Colour table.
    std::vector<TRGBQuad> colors;
    if (bitCount <= 8) {
        if (bitCount != 1 && bitCount != 4 && bitCount != 8)
            throw EInvalidGraphic("Bitmap image is not valid");
        const std::uint32_t maxColors = 1u << bitCount;
        const std::uint32_t n = (clrUsed == 0 || clrUsed > maxColors) ? maxColors : clrUsed;
        std::vector<std::uint8_t> raw(static_cast<std::size_t>(n) *
                                      static_cast<std::size_t>(tableEntrySize));
        stream.ReadBuffer(raw.data(), raw.size());
        colors.resize(n);
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::uint8_t* e =
                raw.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(tableEntrySize);
            colors[i] = TRGBQuad{e[0], e[1], e[2], 0};
        }
    } else if (bitCount != 16 && bitCount != 24 && bitCount != 32) {
        throw EInvalidGraphic("Bitmap image is not valid");
    }

    const std::size_t rowBytes = DIBRowBytes(static_cast<int>(width), bitCount);
    const std::int64_t headerEnd = stream.Position() - start;
    const auto pixelBytes = static_cast<std::int64_t>(rowBytes) * height;
    if (pixelBytes > size - headerEnd)
        throw EInvalidGraphic("Bitmap image is not valid");

    // Decide the stored format.
    TPixelFormat format = FormatForBits(bitCount);
    bool convertMasks = false;
    if (bitCount == 16) {
        if (!haveMasks || (masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F))
            format = TPixelFormat::pf15bit;
        else if (masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F)
            format = TPixelFormat::pf16bit;
        else {
            format = TPixelFormat::pf24bit;
            convertMasks = true;
        }
    } else if (bitCount == 32 && haveMasks &&
               !(masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF)) {
        convertMasks = true;
        format = TPixelFormat::pf32bit;
    }

    TBitmap loaded;
    loaded.Allocate(static_cast<int>(width), static_cast<int>(height), format, false);
    if (bitCount <= 8)
        loaded.colors_ = std::move(colors);
    std::vector<std::uint8_t> row(rowBytes);
    const TChannelMask mr(masks[0]), mg(masks[1]), mb(masks[2]);
    for (std::int64_t i = 0; i < height; ++i) {
        stream.ReadBuffer(row.data(), rowBytes);
        // File row i is the bottom row i for bottom-up DIBs.
        const int top = static_cast<int>(topDown ? i : height - 1 - i);
        std::uint8_t* d = loaded.ScanLine(top);
        if (!convertMasks) {
            std::memcpy(d, row.data(), std::min(rowBytes, loaded.rowBytes_));
            continue;
        }
        const std::size_t dbpp = format == TPixelFormat::pf32bit ? 4 : 3;
        for (std::int64_t x = 0; x < width; ++x) {
            const std::uint32_t v =
                bitCount == 16 ? GetLE16(row.data() + x * 2) : GetLE32(row.data() + x * 4);
            std::uint8_t* p = d + static_cast<std::size_t>(x) * dbpp;
            p[0] = mb.Extract(v);
            p[1] = mg.Extract(v);
            p[2] = mr.Extract(v);
        }
    }
    width_ = loaded.width_;
    height_ = loaded.height_;
    format_ = loaded.format_;
    rowBytes_ = loaded.rowBytes_;
    bits_ = std::move(loaded.bits_);
    colors_ = std::move(loaded.colors_);
    Changed(this);
}

void TBitmap::SaveToPackedDIB(TStream& stream) const {
    const int bits = BitsPerPixelOf(format_);
    const bool bitfields = format_ == TPixelFormat::pf16bit;
    TBitmapInfoHeader info;
    info.biWidth = width_;
    info.biHeight = height_;
    info.biBitCount = static_cast<std::uint16_t>(bits);
    info.biCompression = bitfields ? BI_BITFIELDS : BI_RGB;
    info.biSizeImage = static_cast<std::uint32_t>(bits_.size());
    info.biClrUsed = bits <= 8 ? static_cast<std::uint32_t>(colors_.size()) : 0;
    std::uint8_t h[40];
    PackBitmapInfoHeader(info, h);
    stream.WriteBuffer(h, 40);
    if (bitfields) {
        std::uint8_t m[12];
        PutLE32(m, 0xF800);
        PutLE32(m + 4, 0x07E0);
        PutLE32(m + 8, 0x001F);
        stream.WriteBuffer(m, 12);
    }
    if (bits <= 8 && !colors_.empty())
        stream.WriteBuffer(colors_.data(), colors_.size() * sizeof(TRGBQuad));
    stream.WriteBuffer(bits_.data(), bits_.size());
}

void TBitmap::SaveToStream(TStream& stream) {
    const int bits = BitsPerPixelOf(format_);
    std::size_t headerBytes = 14 + 40;
    if (format_ == TPixelFormat::pf16bit)
        headerBytes += 12;
    if (bits <= 8)
        headerBytes += colors_.size() * 4;
    std::uint8_t fh[14] = {'B', 'M'};
    PutLE32(fh + 2, static_cast<std::uint32_t>(headerBytes + bits_.size()));
    PutLE32(fh + 10, static_cast<std::uint32_t>(headerBytes));
    stream.WriteBuffer(fh, 14);
    SaveToPackedDIB(stream);
}

const TBitmap& As24Bit(const TBitmap& bitmap, TBitmap& scratch) {
    if (bitmap.PixelFormat() == TPixelFormat::pf24bit)
        return bitmap;
    scratch.Assign(&bitmap);
    scratch.SetPixelFormat(TPixelFormat::pf24bit);
    return scratch;
}

} // namespace framolo
