#pragma once

#include "platform/graphics/graphics.h"

#include <array>

namespace framolo {

// The 20 standard system colours: entries 0..9 are the dark and special
// colours, 10..19 the light ones, in the order every palette-based display
// reserves them.
const std::array<TPaletteEntry, 20>& SystemColors();

// Each builder returns a new palette owned by the caller.

// 0: black, 1: white; no-collapse flags.
HPALETTE BlackWhitePalette();
// Gray levels 0, 128, 192, 255; no-collapse flags.
HPALETTE WindowsGrayPalette();
// Entry i is i,i,i; no-collapse flags.
HPALETTE GrayRampPalette();
// The 6x6x6 cube: entry r*36 + g*6 + b is r*51, g*51, b*51 (red slowest).
HPALETTE NetscapePalette();
// The 20 system colours.
HPALETTE DefaultPalette();
// A 256-entry halftone palette: system colours 0..9, the 216-colour cube in
// NetscapePalette's order, 20 grays that split each step between the cube's
// gray levels into five, and system colours 10..19.
HPALETTE ScreenHalftonePalette();

} // namespace framolo
