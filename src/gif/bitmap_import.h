#pragma once

#include "platform/graphics/bitmap.h"
#include "platform/graphics/graphics.h"

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace framolo {

class TGIFSubImage;

// Fills a frame from a picture: its size, one colour index per pixel, its own
// colour table and, for a transparent picture, a graphic control extension
// with the transparent index.
//
// A null source only clears the frame. Returns false (and leaves the frame
// alone) when the source is not a graphic.
//
// A bitmap of 1, 4 or 8 bits is taken with its own palette. Any other bitmap
// goes through the colour reduction of the frame's document (ColorReduction,
// DitherMode, QuantizeBits); except with NoReduction that converts the
// caller's bitmap to 24 bits per pixel in place, so the source must be an
// object the caller may change. Another graphic is first turned into a bitmap.
//
// Raises GIFException "Color table overflow" when a picture imported without
// reduction has more than 256 colours, and passes on the errors of the
// reduction and of pixel access. After an error the frame is in an undefined
// but valid state; TGIFDocument::Add discards it.
bool AssignGraphicToFrame(TGIFSubImage& frame, const TPersistent* source);

// The bitmap import proper.
void ImportBitmapToFrame(TGIFSubImage& frame, TBitmap& source);

// A bitmap's transparency mask: an 8-bit bitmap of the same size, 1 where the
// pixel has the bitmap's transparent colour, 0 elsewhere.
std::unique_ptr<TBitmap> MakeBitmapMask(const TBitmap& bitmap);

// Packs a frame's colour table by use: entries sorted by pixel count, largest
// first, pixels (and a transparent index) renumbered, unused entries cut off.
// Leaves a table of fewer than 2 entries, or one already in that order, as it
// is (but marked sorted).
void PackFrameColorMap(TGIFSubImage& frame);

// Sorts (count, entry) pairs by count, largest first, with the classic
// in-place quicksort whose exact order the packing depends on.
void SortColorUsage(std::vector<std::pair<std::int64_t, int>>& usage);

// Makes the transparent entry from a mask (non-zero = transparent, read at 8
// bits per pixel; the mask is converted in place): packs the table, appends
// black as the transparent colour and points the masked pixels at it. Adds a
// graphic control extension when at least one pixel became transparent;
// otherwise takes the black entry out again.
void ImportFrameMask(TGIFSubImage& frame, TBitmap& mask);

} // namespace framolo
