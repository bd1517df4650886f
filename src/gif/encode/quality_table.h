#pragma once

#include "color/color_types.h"
#include "gif/encode/encoder_tuning.h"

#include <string>

namespace framolo {

// The quality knob: 1 (smallest file) to 100 (closest to the frames), and
// the encoder's settings at each quality.
//
// The settings are given at a few named anchor qualities (kQualityRanges):
// between the two anchors of a range a setting moves in a straight line, a
// number of colours by a constant factor, and a whole-number setting is
// rounded down from the knee up and to the nearest below it.
inline constexpr int kSmallestQuality = 1;
inline constexpr int kClosestQuality = 100;
// Below the knee the file shrinks fastest for the error it costs by keeping
// pixels through larger moves and by fewer colours, and layers are tried.
inline constexpr int kKneeQuality = 50;
// Above this quality layers of a full palette are tried beside the shared one.
inline constexpr int kLayerTrialQuality = 80;
// Below this quality layers that were taken widen their margin.
inline constexpr int kWideLayerQuality = 10;
// The quality framolo-cli's avi2gif and the window's best items use unless
// told otherwise, and the dithering that goes with a quality unless another
// is asked for.
inline constexpr int kDefaultQuality = 78;
inline constexpr TDitherMode kQualityDither = TDitherMode::Nearest;
// The tolerance framolo-cli's --optimize uses unless told otherwise.
inline constexpr int kDefaultTolerance = 8;

// How a setting moves from its value at a range's upper anchor to the one at
// its lower anchor.
enum class TCurveShape { Off, Line, Ratio };
struct TQualityCurve {
    TCurveShape Shape = TCurveShape::Off;
    double AtHigh = 0;
    double AtLow = 0;
};

// The qualities High down to Low, whose settings run between the anchors
// HighAnchor and LowAnchor.
struct TQualityRange {
    const char* Name;
    int High;
    int Low;
    int HighAnchor;
    int LowAnchor;
    // Whole-number settings rounded down (otherwise to the nearest).
    bool RoundDown;
    TQualityCurve Colors;
    TQualityCurve Tolerance;
    // Off: the same as Tolerance.
    TQualityCurve MovingTolerance;
    // Kept at 0 or more.
    TQualityCurve LzwBound;
    // Layers tried beside the shared palette (off: none are).
    TQualityCurve ProbeColors;
    TQualityCurve ProbeMargin;
    // The tried layers are weighed by their structure too.
    bool ProbeStructure;
    // The tried and taken layers' string bound, as a share of their margin.
    double LayerLzwShare;
    // A rich first frame, kept where it has a quarter more colours than the
    // shared palette.
    TQualityCurve FirstColors;
};

inline constexpr TQualityRange kQualityRanges[] = {
    {"layer trial",
     kClosestQuality,
     kLayerTrialQuality + 1,
     kClosestQuality,
     kLayerTrialQuality,
     true,
     {TCurveShape::Line, 255, 255},
     {TCurveShape::Line, 0, 3},
     {},
     {TCurveShape::Line, 0, 4},
     {TCurveShape::Line, 255, 255},
     {TCurveShape::Line, 0, 4},
     true,
     0,
     {}},
    {"shared palette",
     kLayerTrialQuality,
     kKneeQuality,
     kLayerTrialQuality,
     kKneeQuality,
     true,
     {TCurveShape::Line, 255, 195},
     {TCurveShape::Line, 3, 7.5},
     {},
     {TCurveShape::Line, 4, 10},
     {},
     {},
     false,
     0,
     {}},
    {"low end",
     kKneeQuality - 1,
     kSmallestQuality,
     kKneeQuality,
     kSmallestQuality,
     false,
     {TCurveShape::Ratio, 195, 24},
     {TCurveShape::Line, 7, 57},
     {TCurveShape::Line, 7, 15},
     {TCurveShape::Line, 10, -10},
     {TCurveShape::Ratio, 128, 16},
     {TCurveShape::Line, 6, 20},
     false,
     0.75,
     {TCurveShape::Ratio, 195, 64}},
};

// Frames after the first on which layers are tried.
inline constexpr int kProbeFrames = 8;
// How much wider the margin of layers taken grows from kWideLayerQuality to
// the smallest quality.
inline constexpr TQualityCurve kWideLayerMargin = {TCurveShape::Line, 0, 20};

// The settings of a quality; values outside 1..100 are kept within.
TEncoderTuning TuningForQuality(int quality);

// What --quality does, printed from the table: a line of text, then a row of
// the settings at each anchor.
std::string QualityHelpText();

} // namespace framolo
