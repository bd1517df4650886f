#pragma once

#include "convert/frame_params.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <tuple>

namespace framolo {

// A size limit as the user writes it: a whole number of bytes, or of KB or
// MB with a K or M suffix (any case, 1024-based, "10M" is 10485760 bytes).
// Unset for anything else: no digits, another suffix, a fraction, 0, or more
// than 2^53 bytes.
std::optional<std::int64_t> ParseSizeLimit(const std::string& text);

// The most a fitted GIF gives up, in the order it gives it up. Quality goes
// down to kFitQualityFloor, where colour steps and smears start to show; the
// step then grows up to kFitMaxStepFactor times the one asked for (each
// kept frame showing as much longer); the width and height last, both by the
// same factor, down to kFitMinScalePercent of the size asked for.
inline constexpr int kFitQualityFloor = 40;
inline constexpr int kFitMaxStepFactor = 4;
inline constexpr int kFitMinScalePercent = 25;

// One point of the search: a quality, a step and a scale of the size asked for.
struct TFitPoint {
    int Quality = 0;
    int Step = 1;
    int ScalePercent = 100;
};

// The point that gives up all that may be given up for base.
TFitPoint SmallestFitPoint(const TFrameParams& base);

// base's parameters at point: the step's delay grown with the step, so that
// the animation keeps its length, and the width and height scaled (at least
// one pixel each).
TFrameParams FitParams(const TFrameParams& base, const TFitPoint& point);

struct TFitChoice {
    TFitPoint Point;
    // The size estimated for the point, and whether it is within the target.
    std::int64_t Estimate = 0;
    bool Fits = false;
    // How many estimates the search asked for.
    int Estimates = 0;
};

// The best point whose size is at most target, by the order of sacrifice:
// the largest scale that fits at all, then the smallest step that fits at
// that scale (below the full size the step stays at its largest, or at the
// one asked for when a larger step saved less than a tenth), then the
// highest quality that fits at both. base gives the
// highest quality (its Quality), the smallest step and the full size.
// Sizes come from estimate, asked for as few points as the search can do
// with: the top quality and the floor at the step asked for, then steps and
// scales foretold by how sizes follow frame counts and areas and measured
// before they are taken (a scale far under the goal is followed by up to two
// halfway back); the quality at the step and scale taken is read
// off the share the floor saved at the first step, then measured, and the
// interval halved while it misses (at most three measurements).
// When nothing fits, the choice is the smallest point with Fits false.
TFitChoice ChooseFit(const TFrameParams& base, std::int64_t target,
                     const std::function<std::int64_t(const TFrameParams&)>& estimate);

// The aims of a run under a size limit, for the command line and the window
// alike. The first aim is kTargetShare of the limit, since an estimate may be
// off by a few per cent either way; a conversion that still comes out over the
// limit lowers the aim by the share its estimate ran low (at least 5 %).
// Estimates are kept across aims, so a second search mostly reuses them.
class TLimitedSearch {
public:
    using TEstimate = std::function<std::int64_t(const TFrameParams&)>;
    static constexpr double kTargetShare = 0.9;
    // Conversions a limited run makes at most before it gives up.
    static constexpr int kMostConversions = 4;

    TLimitedSearch(const TFrameParams& base, std::int64_t limit, TEstimate estimate);
    // The best point for the present aim.
    TFitChoice Choose();
    // choice, converted, took bytes, more than the limit.
    void Over(const TFitChoice& choice, std::int64_t bytes);
    // The estimates made so far, each set of parameters counted once.
    int Estimates() const { return estimates_; }

private:
    TFrameParams base_;
    double target_;
    TEstimate estimate_;
    std::map<std::tuple<int, int, int, int>, std::int64_t> known_;
    int estimates_ = 0;
};

} // namespace framolo
