#pragma once

#include "color/color_types.h"
#include "color/exact_color_lookup.h"
#include "platform/graphics/graphics.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace framolo {

// One frame of an animation reduced to indexes of a palette.
struct TReducedFrame {
    // width x height indexes, rows top to bottom.
    std::vector<std::uint8_t> Indices;
    std::vector<TPaletteEntry> Palette;
    // The palette is not the one the previous frame used.
    bool NewPalette = true;
    // The bounding rectangle of the pixels that got a new index; outside it
    // the indexes are the previous frame's. Empty (width 0) when the frame
    // equals the previous one.
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
};

// Reduces the frames of an animation one after the other with the best
// palette (TBestQuantizer), keeping one palette for as long as it fits the
// frames, so that unchanged parts of the picture keep their indexes:
//
// - a frame whose error under the current palette grows past kRebuildFactor
//   times the error that palette had on the frame it was made for (plus
//   kRebuildSlack) gets a new palette, and is dithered as a whole;
// - otherwise only the pixels whose colour differs from the colour they had
//   when they were last dithered get a new index; every other pixel keeps
//   its index, and the dithering engine carries that index's error on.
//
// An unchanged pixel therefore shows exactly the colour its unchanged source
// pixel was dithered to before; dithering it again could pick a different
// neighbour in the dither pattern, never a better colour.
// Frames are fed in order; the reducer is sequential by nature.
class TSharedPaletteReducer {
public:
    // colors is kept within 1..256; a negative size counts as 0.
    TSharedPaletteReducer(int width, int height, int colors, TDitherMode mode);
    ~TSharedPaletteReducer();
    TSharedPaletteReducer(const TSharedPaletteReducer&) = delete;
    TSharedPaletteReducer& operator=(const TSharedPaletteReducer&) = delete;

    // bgr: width x height pixels (blue, green, red), row y at bgr + y * stride.
    // The result stays valid until the next call.
    const TReducedFrame& Next(const std::uint8_t* bgr, std::ptrdiff_t stride);

    int Width() const { return width_; }
    int Height() const { return height_; }
    int PalettesBuilt() const { return palettesBuilt_; }

    static constexpr double kRebuildFactor = 1.3;
    static constexpr double kRebuildSlack = 2.0;

private:
    double SampledError(const std::uint8_t* bgr, std::ptrdiff_t stride);
    // Dithers a rectangle; with keepUnchanged, pixels whose colour is the one
    // they were last dithered from keep their index, and the engine carries
    // the error of that index on to their neighbours.
    void Dither(const std::uint8_t* bgr, std::ptrdiff_t stride, int left, int top, int width,
                int height, bool keepUnchanged);

    int width_;
    int height_;
    int colors_;
    TDitherMode mode_;
    TReducedFrame frame_;
    // Each pixel's colour when it was last dithered, 3 bytes blue, green, red.
    std::vector<std::uint8_t> dithered_;
    std::unique_ptr<TExactColorLookup> lookup_;
    double builtError_ = 0;
    int palettesBuilt_ = 0;
};

} // namespace framolo
