#pragma once

#include "platform/graphics/bitmap.h"

namespace framolo {

// Scales the whole of src onto the whole of dst, which becomes 24 bits per pixel
// at its current size. Shrinking averages the covered area, enlarging
// interpolates bilinearly; an axis of equal size is copied unchanged, so a
// same-size stretch is an exact copy of every colour.
void StretchBitmap(const TBitmap& src, TBitmap& dst);

} // namespace framolo
