#pragma once

#include "color/color_types.h"
#include "gif/encode/encoder_tuning.h"
#include "gif/encode/quality_table.h"

#include <cstdint>
#include <optional>

namespace framolo {

// How a run codes its frames: one value, built by the command line from its
// options and by the window from its lists, and read by every job.
struct TGifEncoding {
    // Unset: what a new document starts with.
    std::optional<TColorReduction> Reduction;
    std::optional<TDitherMode> Dither;
    // 1 selects the run-length coder, anything else LZW.
    std::uint8_t DataCoding = 0;
    // Smaller frames: the best-quality palette shared across frames while it
    // fits, and only the changed rectangle of each frame (see
    // TOptimizedFrameSequence). Reduction is then not used; Dither is.
    bool Optimize = false;
    // With Optimize: how far, in RGB levels, a pixel's colour may move and
    // still keep its index (see TSharedPaletteReducer).
    int Tolerance = 0;
    // With Optimize: 1 (smallest file) to 100 (closest to the frames) sets
    // the tolerance, the palette and the rest of the road (TuningForQuality);
    // 0 leaves them as Tolerance says.
    int Quality = 0;

    // How an optimised run reduces and places its frames. Layers draw
    // scattered pixels of their own palette, so a dithering that was asked
    // for keeps the shared palette's whole rectangles.
    TEncoderTuning Tuning() const;
};

// The quality road at quality: the best palette, optimised frames and the
// dithering that goes with a quality.
TGifEncoding QualityEncoding(int quality = kDefaultQuality);

} // namespace framolo
