#pragma once

#include "color/best_quantizer.h"
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
    // The mean squared distance (RGB) of the frame the palette was built
    // for from their nearest entries, over a sample of its pixels.
    double PaletteError = 0;
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
// - a frame whose error under the current palette grows past RebuildFactor
//   (see TSettings) times the error that palette had on the frame it was made for (plus
//   kRebuildSlack) gets a new palette, and is dithered as a whole;
// - otherwise only the pixels whose colour moved further than the tolerance
//   (a distance in RGB levels) from the colour they had when they were last
//   dithered get a new index; every other pixel keeps its index, and the
//   dithering engine carries that index's error on.
//
// A kept pixel therefore shows the colour a source colour at most
// `tolerance` away from its own was dithered to; dithering it again would
// mostly pick another neighbour in the dither pattern, hardly a better
// colour. Tolerance 0 keeps only exactly unchanged pixels. Decoded video
// jitters by a few levels from frame to frame where the picture stands
// still, so a small tolerance keeps those pixels too. The reference colour
// of a kept pixel is not moved, so slow changes add up until it is dithered
// again, never past the tolerance. Inside the rectangle that is dithered
// again, a pixel with a tolerance above 0 must also earn its keep: its kept
// index may be at most tolerance squared further (in squared distance) from
// the colour being dithered than the nearest entry is, or it takes the
// nearest entry.
// Frames are fed in order; the reducer is sequential by nature.
class TSharedPaletteReducer {
public:
    // How the reducer weighs size against fidelity.
    struct TSettings {
        // Palette size, kept within 1..256.
        int Colors = 255;
        // Kept within 0..255.
        int Tolerance = 0;
        // When at least 0 and below Tolerance: the tolerance of a frame whose
        // pixels all moved by more than it; a frame where fewer moved gets a
        // tolerance between the two in proportion (a moving camera shows a
        // kept pixel's stale colour, a still one's noise is best kept).
        int MovingTolerance = -1;
        // A palette is rebuilt once a frame's error under it passes
        // RebuildFactor times the error it had when built, plus kRebuildSlack.
        double RebuildFactor = 1.3;
        // The palette's k-means rounds and sample (see TBestQuantizer).
        int RefineRounds = TBestQuantizer::kRefineRounds;
        std::int64_t SamplePixels = TBestQuantizer::kSamplePixels;
    };

    // A negative size counts as 0.
    TSharedPaletteReducer(int width, int height, int colors, TDitherMode mode, int tolerance = 0);
    TSharedPaletteReducer(int width, int height, TDitherMode mode, const TSettings& settings);
    ~TSharedPaletteReducer();
    TSharedPaletteReducer(const TSharedPaletteReducer&) = delete;
    TSharedPaletteReducer& operator=(const TSharedPaletteReducer&) = delete;

    // bgr: width x height pixels (blue, green, red), row y at bgr + y * stride.
    // The result stays valid until the next call.
    const TReducedFrame& Next(const std::uint8_t* bgr, std::ptrdiff_t stride);
    // The indexes of the last frame (empty before the first).
    const std::vector<std::uint8_t>& Indices() const { return frame_.Indices; }

    int Width() const { return width_; }
    int Height() const { return height_; }
    int PalettesBuilt() const { return palettesBuilt_; }

    static constexpr double kRebuildSlack = 2.0;

private:
    double SampledError(const std::uint8_t* bgr, std::ptrdiff_t stride);
    // True when the colour at a moved more than the tolerance from the one at b.
    bool Moved(const std::uint8_t* a, const std::uint8_t* b) const;
    // The tolerance for the next frame, from the share of sampled pixels that
    // moved by more than the moving tolerance.
    int FrameTolerance(const std::uint8_t* bgr, std::ptrdiff_t stride) const;
    // Dithers a rectangle; with keepUnchanged, pixels whose colour is within
    // the tolerance of the one they were last dithered from keep their index,
    // and the engine carries the error of that index on to their neighbours.
    void Dither(const std::uint8_t* bgr, std::ptrdiff_t stride, int left, int top, int width,
                int height, bool keepUnchanged);

    int width_;
    int height_;
    int colors_;
    TDitherMode mode_;
    int tolerance_;
    // Both kept within 0..tolerance_.
    int movingTolerance_;
    int frameTolerance_;
    double rebuildFactor_;
    int refineRounds_;
    std::int64_t samplePixels_;
    TReducedFrame frame_;
    // Each pixel's colour when it was last dithered, 3 bytes blue, green, red.
    std::vector<std::uint8_t> dithered_;
    std::unique_ptr<TExactColorLookup> lookup_;
    int palettesBuilt_ = 0;
};

} // namespace framolo
