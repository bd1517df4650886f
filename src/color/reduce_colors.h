#pragma once

#include "color/color_types.h"
#include "platform/graphics/bitmap.h"

#include <memory>

namespace framolo {

class TDIB;

// Reduces any bitmap to a new 8-bit bitmap whose colour table holds the
// method's palette (256 entries, black past the palette's end) and whose
// pixels are palette indices chosen by the dithering method. NoReduction
// returns a 24-bit copy instead.
//
// Every other method converts the source itself to 24 bits per pixel first.
// A method or dithering mode outside its enumeration, and a palette without
// entries, give an empty bitmap. quantizeBits (for Quantize) is kept within
// 0..8, i.e. 1 to 256 colours. customPalette is used, as a copy, by
// CustomPalette only.
//
// Raises the pixel writer's errors, e.g. GIFException "Invalid image
// dimensions" for an empty source.
std::unique_ptr<TBitmap> ReduceBitmapColors(TBitmap& bitmap, TColorReduction colorReduction,
                                            TDitherMode ditherMode, int quantizeBits,
                                            const HPALETTE& customPalette);

// A palette of `colors` entries made by the octree quantizer from every pixel
// of a 24-bit reader. With reserveSystemColors the palette has 256 entries:
// system colours 0..9, 236 quantized colours, system colours 10..19. Entries
// the quantizer has no leaf for are black. colors is kept within 0..256.
HPALETTE BuildQuantizedPalette(TDIB& reader, int colors, int depthBits, bool reserveSystemColors);

// The same on a bitmap, which is converted to 24 bits per pixel.
HPALETTE BuildQuantizedPaletteFromBitmap(TBitmap& bitmap, int colors, int depthBits,
                                         bool reserveSystemColors);

} // namespace framolo
