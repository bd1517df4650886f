#pragma once

#include "platform/graphics/bitmap.h"

#include <vector>

namespace framolo {

// Scales the whole of src onto the whole of dst, which becomes 24 bits per pixel
// at its current size. Shrinking averages the covered area, enlarging
// interpolates bilinearly; an axis of equal size is copied unchanged, so a
// same-size stretch is an exact copy of every colour.
void StretchBitmap(const TBitmap& src, TBitmap& dst);

// Rows First .. First + Rows - 1 of each run of what StretchBitmap would make
// of dst, the same bytes; dst's other rows are left as they are. Only the
// source rows those rows cover are read.
struct TRowRun {
    int First = 0;
    int Rows = 0;
};
void StretchBitmapRows(const TBitmap& src, TBitmap& dst, const std::vector<TRowRun>& runs);

} // namespace framolo
