#pragma once

#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/graphics.h"

#include <cstdint>

namespace framolo {

class TGIFDocument;
class TGIFSubImage;

// Frames larger than this many pixels get a 1-bit bitmap before their 8-bit
// DIB is written into it.
inline constexpr std::int64_t kLargeRenderPixels = 500000;

// The byte a web-palette rendering leaves at transparent pixels, computed from
// the transparent colour. It is deliberately not the cube index of that
// colour; the mask, not the byte, is what hides those pixels.
std::uint8_t WebPaletteTransparentByte(std::uint8_t red, std::uint8_t green, std::uint8_t blue);

// Bytes per row of a frame's transparency mask: whole 16-bit words.
std::size_t MaskRowBytes(int width);

// The frame's place on the logical screen mapped into rect (screen width and
// height stretched to rect's), rounded to the nearest pixel.
TRect ScaleFrameToRect(const TGIFSubImage& frame, const TRect& rect);

// Draws a frame's rendered bitmap stretched into its place within rect; with
// masked and a transparency mask, transparent pixels leave the canvas as it
// was. Nothing is drawn for an empty frame or an aborted rendering.
void DrawFrameScaled(TGIFSubImage& frame, TCanvas& canvas, const TRect& rect, bool masked);

// Calls draw(rect) once when not tiled; tiled, calls draw(cell) for every
// cell of width x height from rect's top-left corner while the cell starts
// inside rect (none for a size of 0 or less).
template <class DrawCell>
void ForEachCell(const TRect& rect, bool tiled, int width, int height, DrawCell&& draw) {
    if (!tiled) {
        draw(rect);
        return;
    }
    if (width <= 0 || height <= 0)
        return;
    for (int y = rect.Top; y < rect.Bottom; y += height)
        for (int x = rect.Left; x < rect.Right; x += width)
            draw(TRect{x, y, x + width, y + height});
}

// The colour a document paints behind its frames: PaintBackground when set,
// else white without a global table, else the global table's background entry.
TColor DocumentBackgroundColor(const TGIFDocument& document);

} // namespace framolo
