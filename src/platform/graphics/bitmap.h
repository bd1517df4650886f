#pragma once

#include "platform/graphics/graphics.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace framolo {

enum class TPixelFormat {
    pfDevice,
    pf1bit,
    pf4bit,
    pf8bit,
    pf15bit,
    pf16bit,
    pf24bit,
    pf32bit,
    pfCustom
};

int BitsPerPixelOf(TPixelFormat format);

enum class TTransparentMode { tmAuto, tmFixed };

// Bytes per DIB row: width * bits rounded up to whole 32-bit words.
// Throws EOutOfResources when the figure does not fit.
std::size_t DIBRowBytes(int width, int bitCount);

// A device-independent bitmap held in memory: rows bottom-up, each padded to
// four bytes, with a colour table for 1, 4 and 8 bits per pixel.
class TBitmap : public TGraphic {
public:
    TBitmap() = default;
    TBitmap(int width, int height, TPixelFormat format);

    int Width() const override { return width_; }
    int Height() const override { return height_; }
    void SetWidth(int value) override;
    void SetHeight(int value) override;
    void SetSize(int width, int height);

    TPixelFormat PixelFormat() const { return format_; }
    // Converts the pixels exactly. Every format converts to 24 and 32 bits,
    // 1 and 4 bits convert to 8; any other change raises EInvalidGraphicOperation.
    // A change on an empty bitmap only records the format.
    void SetPixelFormat(TPixelFormat value);

    // Row 0 is the top row. Raises EInvalidGraphicOperation outside 0..Height-1.
    std::uint8_t* ScanLine(int row);
    const std::uint8_t* ScanLine(int row) const;
    std::size_t RowBytes() const { return rowBytes_; }
    // The pixel rows as stored, bottom-up.
    std::uint8_t* Bits() { return bits_.data(); }
    const std::uint8_t* Bits() const { return bits_.data(); }
    std::size_t BitsSize() const { return bits_.size(); }

    // The colour table (1, 4 and 8 bits). Its size is 2^bits after any format
    // change; SetColorTable may set fewer entries.
    const std::vector<TRGBQuad>& ColorTable() const { return colors_; }
    void SetColorTable(std::vector<TRGBQuad> colors);

    HPALETTE GetPalette() const override;
    // Takes the palette's entries as the colour table (at most 2^bits).
    void SetPalette(HPALETTE palette) override;

    TColor TransparentColor() const;
    void SetTransparentColor(TColor value);
    TTransparentMode TransparentMode() const { return transparentMode_; }
    void SetTransparentMode(TTransparentMode value) { transparentMode_ = value; }

    // Colour of one pixel as 0x00BBGGRR (any format).
    TColor PixelColor(int x, int y) const;

    void Assign(const TPersistent* source) override;
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) override;
    // Reads a packed DIB (header, colour table or masks, pixels) at the stream position.
    void LoadFromPackedDIB(TStream& stream, std::int64_t size);
    // Writes this bitmap as a packed DIB.
    void SaveToPackedDIB(TStream& stream) const;
    void Draw(TCanvas& canvas, const TRect& rect) override;

    // Largest number of pixels a bitmap may have; larger ones raise EOutOfResources.
    static constexpr std::int64_t kMaxPixels = std::int64_t{1} << 28;

protected:
    bool GetEmpty() const override { return width_ == 0 || height_ == 0; }

private:
    void Allocate(int width, int height, TPixelFormat format, bool keepContent);
    void LoadDIBBody(TStream& stream, std::int64_t size);

    int width_ = 0;
    int height_ = 0;
    TPixelFormat format_ = TPixelFormat::pf24bit;
    std::size_t rowBytes_ = 0;
    std::vector<std::uint8_t> bits_;
    std::vector<TRGBQuad> colors_;
    TColor transparentColor_ = clNone;
    TTransparentMode transparentMode_ = TTransparentMode::tmAuto;
};

// The bitmap itself when it has 24 bits a pixel, else a 24-bit copy of it
// made in scratch.
const TBitmap& As24Bit(const TBitmap& bitmap, TBitmap& scratch);

} // namespace framolo
