#pragma once

#include "platform/graphics/graphics.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace framolo {

// A rectangle of a frame whose indexes are about to be coded, with what is
// needed to re-choose them: the source colours and the indexes shown before.
struct TLzwChoiceBlock {
    // Indexes of the whole frame, `Width` a row, rows top to bottom; those of
    // the rectangle are re-chosen in place.
    std::uint8_t* Indices = nullptr;
    int Width = 0;
    // The rectangle, in coding order: rows top to bottom, each left to right.
    int Left = 0;
    int Top = 0;
    int RectWidth = 0;
    int RectHeight = 0;
    // Source colours, 3 bytes blue, green, red a pixel, row y at Bgr + y * Stride.
    const std::uint8_t* Bgr = nullptr;
    std::ptrdiff_t Stride = 0;
    // The indexes the screen shows now (same layout as Indices), or null when
    // every pixel is new. A pixel that keeps its index there is coded as the
    // transparent index (the palette's size) when the palette has room for one.
    const std::uint8_t* Shown = nullptr;
    // For a layer, in place of Shown: which pixels are drawn (1) or left as
    // they are (0, coded as the transparent index, the palette's size), and
    // the colours the screen shows (3 bytes red, green, blue a pixel, same
    // layout as Indices). A drawn pixel may become a hole, and is then
    // marked undrawn; the palette must leave room for the hole.
    std::uint8_t* Drawn = nullptr;
    const std::uint8_t* ScreenRgb = nullptr;
};

// Walks the rectangle in coding order with the string table the LZW coder
// will build, and for every pixel whose index is not the shown one picks,
// among the entries whose squared distance from the pixel's colour is within
// bound * bound of the chosen entry's, the one that makes the current string
// longer, the nearest such one first. A pixel may so take its shown index
// back, which leaves it unchanged. Bound 0 changes nothing. The coder's table
// is only followed, not guaranteed: holes settled later may code otherwise,
// which costs some length, never correctness.
void ExtendLzwStrings(const TLzwChoiceBlock& block, const std::vector<TPaletteEntry>& palette,
                      int bound);

} // namespace framolo
