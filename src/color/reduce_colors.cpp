#include "color/reduce_colors.h"

#include "color/best_quantizer.h"
#include "color/color_lookup.h"
#include "color/dib_access.h"
#include "color/dither_engine.h"
#include "color/octree_quantizer.h"
#include "color/palettes.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace framolo {

namespace {

// Bitmaps above this many pixels get a 1-bit result format before anything
// else happens; it only shows when the reduction then ends early.
constexpr std::int64_t kLargeBitmapPixels = 500000;

HPALETTE BuildPalette(TColorReduction method, TBitmap& bitmap, TDIBReader& reader, int quantizeBits,
                      const HPALETTE& customPalette) {
    switch (method) {
    case TColorReduction::Windows20:
        return DefaultPalette();
    case TColorReduction::Windows256:
        return ScreenHalftonePalette();
    case TColorReduction::WindowsGray:
        return WindowsGrayPalette();
    case TColorReduction::Monochrome:
        return BlackWhitePalette();
    case TColorReduction::GrayScale:
        return GrayRampPalette();
    case TColorReduction::Netscape:
        return NetscapePalette();
    case TColorReduction::Quantize:
        return BuildQuantizedPalette(reader, 1 << std::clamp(quantizeBits, 0, 8), 8, false);
    case TColorReduction::QuantizeWindows:
        return BuildQuantizedPaletteFromBitmap(bitmap, 256, 8, true);
    case TColorReduction::CustomPalette:
        return CreatePalette(customPalette ? customPalette->Entries : std::vector<TPaletteEntry>{});
    case TColorReduction::BestQuality:
        return BuildBestPalette(reader, 1 << std::clamp(quantizeBits, 0, 8));
    case TColorReduction::NoReduction:
        break;
    }
    return nullptr;
}

} // namespace

HPALETTE BuildQuantizedPalette(TDIB& reader, int colors, int depthBits, bool reserveSystemColors) {
    int count = std::clamp(colors, 0, 256);
    int start = 0;
    std::vector<TPaletteEntry> entries(static_cast<std::size_t>(count));
    if (reserveSystemColors) {
        const auto& system = SystemColors();
        entries.assign(256, TPaletteEntry{});
        std::copy(system.begin(), system.begin() + 10, entries.begin());
        std::copy(system.begin() + 10, system.end(), entries.begin() + 246);
        count = 236;
        start = 10;
    }
    if (count > 0) {
        TColorQuantizer quantizer(count, depthBits);
        quantizer.ScanBitmap(reader);
        std::vector<TRGBQuad> table(static_cast<std::size_t>(count));
        quantizer.FillColorTable(table);
        for (int i = 0; i < count; ++i) {
            const TRGBQuad& q = table[static_cast<std::size_t>(i)];
            entries[static_cast<std::size_t>(start + i)] =
                TPaletteEntry{q.rgbRed, q.rgbGreen, q.rgbBlue, 0};
        }
    }
    return CreatePalette(std::move(entries));
}

HPALETTE BuildQuantizedPaletteFromBitmap(TBitmap& bitmap, int colors, int depthBits,
                                         bool reserveSystemColors) {
    TDIBReader reader(bitmap, TPixelFormat::pf24bit);
    return BuildQuantizedPalette(reader, colors, depthBits, reserveSystemColors);
}

std::unique_ptr<TBitmap> ReduceBitmapColors(TBitmap& bitmap, TColorReduction colorReduction,
                                            TDitherMode ditherMode, int quantizeBits,
                                            const HPALETTE& customPalette) {
    auto result = std::make_unique<TBitmap>();
    if (colorReduction == TColorReduction::NoReduction) {
        result->Assign(&bitmap);
        result->SetPixelFormat(TPixelFormat::pf24bit);
        return result;
    }
    if (static_cast<std::int64_t>(bitmap.Width()) * bitmap.Height() > kLargeBitmapPixels)
        result->SetPixelFormat(TPixelFormat::pf1bit);

    // Everything below is released in reverse order of creation: the writer
    // before the reader, the engine before its lookup.
    TDIBReader reader(bitmap, TPixelFormat::pf24bit);
    const HPALETTE palette =
        BuildPalette(colorReduction, bitmap, reader, quantizeBits, customPalette);
    if (!palette)
        return result;
    const std::unique_ptr<TColorLookup> lookup = CreateColorLookup(colorReduction, palette);
    if (lookup->ColorCount() == 0)
        return result;
    const int width = bitmap.Width();
    const int height = bitmap.Height();
    const std::unique_ptr<TDitherEngine> engine =
        colorReduction == TColorReduction::BestQuality
            ? CreateBestDitherEngine(ditherMode, width, *lookup)
            : CreateDitherEngine(ditherMode, width, *lookup);
    if (!engine)
        return result;
    TDIBWriter writer(*result, TPixelFormat::pf8bit, width, height, palette);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* source = reader.RowPointer(y);
        std::uint8_t* target = writer.RowPointer(y);
        engine->DitherRow(source, target);
        engine->NextRow();
    }
    writer.Release();
    return result;
}

} // namespace framolo
