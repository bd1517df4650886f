#pragma once

#include <cstdint>

namespace framolo {

// How a true-colour bitmap is reduced to at most 256 colours. The values are
// stored in documents and offered by the user interface; keep them stable.
enum class TColorReduction : std::uint8_t {
    NoReduction = 0,
    Windows20 = 1,
    Windows256 = 2,
    WindowsGray = 3,
    Monochrome = 4,
    GrayScale = 5,
    Netscape = 6,
    Quantize = 7,
    QuantizeWindows = 8,
    CustomPalette = 9,
    // Not among the window's methods: a palette that minimises the squared
    // error (TBestQuantizer) searched exactly (TExactColorLookup).
    BestQuality = 10,
};

// How the quantisation error of each pixel is spread over its neighbours.
enum class TDitherMode : std::uint8_t {
    Nearest = 0,
    FloydSteinberg = 1,
    Stucki = 2,
    Sierra = 3,
    JaJuNI = 4,
    SteveArche = 5,
    Burkes = 6,
};

} // namespace framolo
