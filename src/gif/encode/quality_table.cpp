#include "gif/encode/quality_table.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace framolo {

namespace {

// A curve's value at quality inside a range that runs from highAnchor down to
// lowAnchor. A whole-number setting rounded down is worked out in the order
// that keeps it exact where the line meets a whole number.
double At(const TQualityCurve& curve, int highAnchor, int lowAnchor, int quality, bool exact) {
    const double s = (highAnchor - quality) / static_cast<double>(highAnchor - lowAnchor);
    switch (curve.Shape) {
    case TCurveShape::Ratio:
        return curve.AtHigh * std::pow(curve.AtLow / curve.AtHigh, s);
    case TCurveShape::Line:
        if (exact)
            return curve.AtHigh +
                   (curve.AtLow - curve.AtHigh) * (highAnchor - quality) / (highAnchor - lowAnchor);
        return curve.AtHigh + (curve.AtLow - curve.AtHigh) * s;
    case TCurveShape::Off:
        break;
    }
    return -1;
}

// A whole-number setting of a range.
int Whole(const TQualityRange& range, const TQualityCurve& curve, int quality) {
    const double value = At(curve, range.HighAnchor, range.LowAnchor, quality, range.RoundDown);
    if (range.RoundDown)
        return static_cast<int>(std::floor(value));
    return static_cast<int>(std::lround(value));
}

double Real(const TQualityRange& range, const TQualityCurve& curve, int quality) {
    return At(curve, range.HighAnchor, range.LowAnchor, quality, false);
}

const TQualityRange& RangeOf(int quality) {
    for (const TQualityRange& range : kQualityRanges)
        if (quality <= range.High && quality >= range.Low)
            return range;
    return kQualityRanges[0];
}

} // namespace

TEncoderTuning TuningForQuality(int quality) {
    quality = std::clamp(quality, kSmallestQuality, kClosestQuality);
    const TQualityRange& range = RangeOf(quality);
    TEncoderTuning tuning;
    tuning.Colors = Whole(range, range.Colors, quality);
    tuning.Tolerance = Whole(range, range.Tolerance, quality);
    if (range.MovingTolerance.Shape != TCurveShape::Off)
        tuning.MovingTolerance = Whole(range, range.MovingTolerance, quality);
    tuning.LzwBound = std::max(0, Whole(range, range.LzwBound, quality));
    if (range.ProbeMargin.Shape != TCurveShape::Off) {
        tuning.ProbeFrames = kProbeFrames;
        tuning.ProbeColors = Whole(range, range.ProbeColors, quality);
        tuning.ProbeMargin = Real(range, range.ProbeMargin, quality);
        tuning.ProbeStructure = range.ProbeStructure;
        tuning.ProbeLzwBound =
            static_cast<int>(std::lround(range.LayerLzwShare * tuning.ProbeMargin));
        if (quality < kWideLayerQuality) {
            tuning.LayeredMargin = tuning.ProbeMargin + At(kWideLayerMargin, kWideLayerQuality,
                                                           kSmallestQuality, quality, false);
            tuning.LayeredLzwBound =
                static_cast<int>(std::lround(range.LayerLzwShare * tuning.LayeredMargin));
        }
    }
    if (range.FirstColors.Shape != TCurveShape::Off) {
        const int first = Whole(range, range.FirstColors, quality);
        if (4 * first >= 5 * tuning.Colors)
            tuning.FirstColors = first;
    }
    // Twice the rounds over four times the sample: measured on real clips,
    // the palette then keeps dark gradients far better, for little time,
    // since a palette is built only when the scene leaves the last one behind.
    tuning.RefineRounds = 2 * TBestQuantizer::kRefineRounds;
    tuning.SamplePixels = 4 * TBestQuantizer::kSamplePixels;
    return tuning;
}

std::string QualityHelpText() {
    std::string text = "1 (smallest file) to 100 (closest to the frames), for the\n"
                       "small-file road (implies --optimize; default: " +
                       std::to_string(kDefaultQuality) +
                       ").\n"
                       "Settings at the anchors (straight lines between them):\n"
                       "colours of the shared palette; keep: how far (RGB levels)\n"
                       "a colour may move and keep its index; strings: how much\n"
                       "further an entry may be to lengthen LZW strings; layers:\n"
                       "colours and margin of the layers tried on " +
                       std::to_string(kProbeFrames) +
                       " frames, taken\n"
                       "where they cost less for their error (and SSIM above " +
                       std::to_string(kLayerTrialQuality) +
                       "),\n"
                       "then with the margin after the slash; first: colours of\n"
                       "a large first frame's own palette\n"
                       " quality colours keep strings  layers       first";
    // A row at each end of a range, and where the rich first frame or the
    // wider layers begin.
    const auto shown = [](int q) {
        const TEncoderTuning t = TuningForQuality(q);
        return std::pair{t.FirstColors > 0, t.LayeredMargin > t.ProbeMargin};
    };
    char row[96];
    for (int q = kClosestQuality; q >= kSmallestQuality; --q) {
        const TQualityRange& range = RangeOf(q);
        if (q != range.High && q != range.Low && shown(q) == shown(q + 1))
            continue;
        const TEncoderTuning t = TuningForQuality(q);
        std::string layers = "-";
        if (t.ProbeMargin >= 0) {
            std::snprintf(row, sizeof row, "%d, %.2g", t.ProbeColors, t.ProbeMargin);
            layers = row;
            if (t.LayeredMargin > t.ProbeMargin) {
                std::snprintf(row, sizeof row, "/%.2g", t.LayeredMargin);
                layers += row;
            }
        }
        std::snprintf(row, sizeof row, "\n %7d %7d %4d %7d  %-12s %s", q, t.Colors, t.Tolerance,
                      t.LzwBound, layers.c_str(),
                      t.FirstColors > 0 ? std::to_string(t.FirstColors).c_str() : "-");
        text += row;
    }
    return text;
}

} // namespace framolo
