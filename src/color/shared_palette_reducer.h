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
//   (see TTuning) times the error that palette had on the frame it was made for (plus
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
    struct TTuning {
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
        // For the coder that follows: how far (a distance in RGB levels) a
        // pixel's entry may be from the nearest fit when another entry makes
        // the LZW strings longer; 0 never trades.
        int LzwBound = 0;
        // At 0 or more the frames are layered rather than sharing a palette
        // (see TOptimizedFrameSequence): every frame gets its own palette for
        // the pixels the screen shows further than this margin (a distance in
        // RGB levels) from their colour, and such a pixel is drawn only when
        // its entry is closer to its colour than the screen by more than the
        // margin. -1 shares palettes.
        double LayerMargin = -1;
        // With a ProbeMargin of 0 or more and a shared palette: the
        // ProbeFrames frames after the first are also made, unseen, as layers
        // of ProbeColors colours with that margin, on a screen of their own.
        // When those layers' bytes times their squared error came out below
        // the shared frames' (a percent of size weighs as a percent of
        // error, about the slope of the size to quality curve at low
        // qualities), every later frame is layered so.
        int ProbeFrames = 0;
        int ProbeColors = 0;
        double ProbeMargin = -1;
        // The weighing also multiplies by the structural loss (1 minus the
        // SSIM): near the frames both roads' squared errors are small, and
        // what tells them apart is whether grain and the means of dark
        // blocks keep their shape.
        bool ProbeStructure = false;
        // The tried layers, and the layers taken, re-choose entries for the
        // coder's strings within this bound (see LzwBound); 0 never trades.
        int ProbeLzwBound = 0;
        // Above ProbeMargin: the margin and string bound of the layers taken,
        // in place of the tried ones', for a smaller file once the tried
        // layers showed that layers suit the clip.
        double LayeredMargin = -1;
        int LayeredLzwBound = 0;
        // Above 0, with a shared palette: the first frame of a picture of at
        // least 65536 pixels, which the shared palette fits no closer than
        // 4 RGB levels on average, is shown as a layer of this many colours, and
        // later frames draw only the pixels whose index the reducer changed,
        // so that the pixels it keeps go on showing the first frame's richer
        // colours. The file's global table stays the shared palette's.
        int FirstColors = 0;
        // The palette's k-means rounds and sample (see TBestQuantizer).
        int RefineRounds = TBestQuantizer::kRefineRounds;
        std::int64_t SamplePixels = TBestQuantizer::kSamplePixels;
    };
    // The tuning of a quality from 1 (smallest file) to 100 (closest to the
    // frames); values outside are kept within 1..100.
    static TTuning TuningForQuality(int quality);

    // A negative size counts as 0.
    TSharedPaletteReducer(int width, int height, int colors, TDitherMode mode, int tolerance = 0);
    TSharedPaletteReducer(int width, int height, TDitherMode mode, const TTuning& tuning);
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
    // The tolerance framolo-cli's --optimize uses unless told otherwise.
    static constexpr int kDefaultTolerance = 8;
    // The quality framolo-cli's avi2gif uses unless told otherwise, and the
    // dithering that goes with a quality unless another is asked for.
    static constexpr int kDefaultQuality = 78;
    static constexpr TDitherMode kQualityDither = TDitherMode::Nearest;

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
