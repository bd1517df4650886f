#pragma once

namespace framolo {

// The other side of an output picture that keeps the clip's aspect: given one
// side of the output and the clip's matching and other side, the other side
// scaled by the same ratio, rounded to the nearest pixel (halves up) and at
// least 1. A clip without a size (either side 0 or less) has no aspect to
// keep: the clip's other side comes back unchanged. Never overflows: the
// result is at most INT32_MAX.
int AspectSide(int given, int clipSide, int clipOtherSide);

} // namespace framolo
