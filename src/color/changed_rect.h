#pragma once

#include <algorithm>

namespace framolo {

// The smallest rectangle holding every changed pixel of a width x height
// picture; Right < 0 when nothing changed.
struct TChangedRect {
    int Left = 0;
    int Top = 0;
    int Right = -1;
    int Bottom = -1;

    bool Empty() const { return Right < 0; }
};

// rowUnchanged(y) may say at once that a whole row is unchanged (a fast path;
// it must never say so of a row with a changed pixel); changed(x, y) decides
// pixel by pixel.
template <typename RowUnchanged, typename PixelChanged>
TChangedRect FindChangedRect(int width, int height, RowUnchanged rowUnchanged,
                             PixelChanged changed) {
    int left = width, right = -1, top = height, bottom = -1;
    for (int y = 0; y < height; ++y) {
        if (rowUnchanged(y))
            continue;
        int x0 = 0;
        while (x0 < width && !changed(x0, y))
            ++x0;
        if (x0 == width)
            continue;
        int x1 = width - 1;
        while (!changed(x1, y))
            --x1;
        left = std::min(left, x0);
        right = std::max(right, x1);
        top = std::min(top, y);
        bottom = y;
    }
    if (right < 0)
        return {};
    return {left, top, right, bottom};
}

} // namespace framolo
