#pragma once

#include "color/shared_palette_reducer.h"

namespace framolo {

// How the quality road weighs size against fidelity: the shared palette's
// own settings, and what the coder, the layers and the trial between them do
// with it (see TOptimizedFrameSequence).
struct TEncoderTuning : TSharedPaletteReducer::TSettings {
    // For the coder that follows: how far (a distance in RGB levels) a
    // pixel's entry may be from the nearest fit when another entry makes
    // the LZW strings longer; 0 never trades.
    int LzwBound = 0;
    // At 0 or more the frames are layered rather than sharing a palette:
    // every frame gets its own palette for the pixels the screen shows
    // further than this margin (a distance in RGB levels) from their colour,
    // and such a pixel is drawn only when its entry is closer to its colour
    // than the screen by more than the margin. -1 shares palettes.
    double LayerMargin = -1;
    // With a ProbeMargin of 0 or more and a shared palette: the ProbeFrames
    // frames after the first are also made, unseen, as layers of ProbeColors
    // colours with that margin, on a screen of their own. When those layers'
    // bytes times their squared error came out below the shared frames' (a
    // percent of size weighs as a percent of error, about the slope of the
    // size to quality curve at low qualities), every later frame is layered so.
    int ProbeFrames = 0;
    int ProbeColors = 0;
    double ProbeMargin = -1;
    // The weighing also multiplies by the structural loss (1 minus the
    // SSIM): near the frames both roads' squared errors are small, and what
    // tells them apart is whether grain and the means of dark blocks keep
    // their shape.
    bool ProbeStructure = false;
    // The tried layers, and the layers taken, re-choose entries for the
    // coder's strings within this bound (see LzwBound); 0 never trades.
    int ProbeLzwBound = 0;
    // Above ProbeMargin: the margin and string bound of the layers taken, in
    // place of the tried ones', for a smaller file once the tried layers
    // showed that layers suit the clip.
    double LayeredMargin = -1;
    int LayeredLzwBound = 0;
    // Above 0, with a shared palette: the first frame of a picture of at
    // least 65536 pixels, which the shared palette fits no closer than 4 RGB
    // levels on average, is shown as a layer of this many colours, and later
    // frames draw only the pixels whose index the reducer changed, so that
    // the pixels it keeps go on showing the first frame's richer colours.
    // The file's global table stays the shared palette's.
    int FirstColors = 0;
};

} // namespace framolo
