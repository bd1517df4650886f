#include "convert/size_fit.h"

#include "convert/size_estimate.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <tuple>
#include <utility>

namespace framolo {

std::optional<std::int64_t> ParseSizeLimit(const std::string& text) {
    std::size_t digits = 0;
    while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits])) != 0)
        ++digits;
    if (digits == 0 || digits > 16)
        return std::nullopt;
    const std::string suffix = text.substr(digits);
    std::int64_t unit = 1;
    if (suffix == "k" || suffix == "K")
        unit = 1024;
    else if (suffix == "m" || suffix == "M")
        unit = 1024 * 1024;
    else if (!suffix.empty())
        return std::nullopt;
    const std::int64_t number = std::stoll(text.substr(0, digits));
    constexpr std::int64_t kMost = std::int64_t{1} << 53;
    if (number == 0 || number > kMost / unit)
        return std::nullopt;
    return number * unit;
}

TFrameParams FitParams(const TFrameParams& base, const TFitPoint& point) {
    TFrameParams params = base;
    params.Quality = point.Quality;
    params.Step = point.Step;
    const std::int64_t delay = std::int64_t{base.Delay} * point.Step / std::max(1, base.Step);
    params.Delay = static_cast<std::int32_t>(std::min<std::int64_t>(delay, 655350));
    const auto scaled = [&point](std::int32_t side) {
        return std::max<std::int32_t>(
            1, static_cast<std::int32_t>(std::lround(side * point.ScalePercent / 100.0)));
    };
    params.Width = scaled(base.Width);
    params.Height = scaled(base.Height);
    return params;
}

namespace {

// The largest step the search tries. Counted in 64 bits, since a step near
// the largest number would overflow the factor; a step past the clip's
// frames keeps one frame, as does any larger step, so no larger one is tried.
int MostFitStep(const TFrameParams& base) {
    const std::int64_t step = std::max(1, base.Step);
    std::int64_t most = step * kFitMaxStepFactor;
    if (base.End >= base.Start)
        most = std::min(most, std::max(step, std::int64_t{base.End} - base.Start + 1));
    return static_cast<int>(std::min<std::int64_t>(most, INT32_MAX));
}

} // namespace

TFitPoint SmallestFitPoint(const TFrameParams& base) {
    return {kFitQualityFloor, MostFitStep(base), kFitMinScalePercent};
}

namespace {

// How a GIF's size follows its frame count and its scale, as a power: a
// larger step leaves more change between kept frames, so halving the frames
// saves a little less than half; a smaller picture codes a little worse per
// pixel. The search starts from these and then fits the power to what it
// measures.
constexpr double kFramesPower = 0.85;
constexpr double kScalePower = 1.5;
// A step that leaves more than this share of the size gives the frame rate
// up for nothing.
constexpr double kStepSaves = 0.9;
// A scale whose size is under this share of the goal gave up too much.
constexpr double kFarUnder = 0.75;

} // namespace

TFitChoice ChooseFit(const TFrameParams& base, std::int64_t target,
                     const std::function<std::int64_t(const TFrameParams&)>& estimate) {
    TFitChoice choice;
    std::map<std::tuple<int, int, int>, std::int64_t> known;
    const auto sizeAt = [&](const TFitPoint& p) {
        const auto key = std::tuple{p.Quality, p.Step, p.ScalePercent};
        const auto it = known.find(key);
        if (it != known.end())
            return static_cast<double>(it->second);
        ++choice.Estimates;
        return static_cast<double>(known[key] = estimate(FitParams(base, p)));
    };
    const double goal = static_cast<double>(target);
    int top = std::max(base.Quality, kFitQualityFloor);
    const int step0 = std::max(1, base.Step);
    const int stepMost = MostFitStep(base);
    const auto chosen = [&](TFitPoint p, double size) {
        choice.Point = p;
        choice.Estimate = std::llround(size);
        choice.Fits = size <= goal;
        return choice;
    };
    // Between fitQ, which fits, and overQ, which does not: the quality read
    // off the line through the two is measured, then the interval halved
    // while it misses (sizes do not fall exactly exponentially, least of all
    // far below the default, and a line redrawn through the nearer ends
    // creeps up from one side).
    const auto between = [&](TFitPoint p, int fitQ, double fitSize, int overQ, double overSize) {
        for (int tries = 0; tries < 3 && overQ - fitQ > 1 && (tries > 0 || overSize > fitSize);
             ++tries) {
            const double reach =
                tries == 0 ? std::log(goal / fitSize) / std::log(overSize / fitSize) : 0.5;
            p.Quality =
                std::clamp(fitQ + static_cast<int>((overQ - fitQ) * reach), fitQ + 1, overQ - 1);
            const double size = sizeAt(p);
            if (size <= goal) {
                fitQ = p.Quality;
                fitSize = size;
                // The line held: what it foretells is taken.
                if (tries == 0)
                    break;
            } else {
                overQ = p.Quality;
                overSize = size;
            }
        }
        p.Quality = fitQ;
        return chosen(p, fitSize);
    };

    double topSize = sizeAt({top, step0, 100});
    if (topSize <= goal)
        return chosen({top, step0, 100}, topSize);
    // The qualities that try layers of a full palette give a higher quality
    // for their size than shared palettes, and their lowest is often smaller
    // than the shared ones just below it: when it fits, the best fit is
    // among them; else the search goes on from the highest shared quality.
    const auto layered = [&](int quality) {
        const TEncoderTuning tuning = FitParams(base, {quality, step0, 100}).Tuning();
        return tuning.ProbeStructure && tuning.ProbeMargin >= 0;
    };
    if (layered(top)) {
        int lowest = top;
        while (lowest > kFitQualityFloor && layered(lowest - 1))
            --lowest;
        const double lowestSize = sizeAt({lowest, step0, 100});
        if (lowestSize <= goal)
            return between({lowest, step0, 100}, lowest, lowestSize, top, topSize);
        if (lowest > kFitQualityFloor) {
            top = lowest - 1;
            topSize = sizeAt({top, step0, 100});
            if (topSize <= goal)
                return chosen({top, step0, 100}, topSize);
        }
    }
    const double floorSize = sizeAt({kFitQualityFloor, step0, 100});
    // The size falls about exponentially with the quality, by the same share
    // at any step and scale: the quality that meets the goal is read off the
    // line through the floor's size and the top's.
    const double qualityShare = floorSize > 0 ? topSize / floorSize : 1;
    const auto withQuality = [&](TFitPoint p, double sizeAtFloor) {
        const double sizeAtTop = sizeAtFloor * qualityShare;
        if (sizeAtTop <= goal || qualityShare <= 1) {
            p.Quality = sizeAtTop <= goal ? top : kFitQualityFloor;
            return chosen(p, sizeAtTop <= goal ? sizeAtTop : sizeAtFloor);
        }
        return between(p, kFitQualityFloor, sizeAtFloor, top, sizeAtTop);
    };
    if (floorSize <= goal)
        return withQuality({kFitQualityFloor, step0, 100}, floorSize);

    // The smallest step whose size, foretold from the last one measured,
    // meets the goal; measured, and the next one tried while it does not.
    const auto framesAt = [&](int step) {
        return static_cast<double>(
            std::max<std::int64_t>(1, FramesTaken(FitParams(base, {top, step, 100}))));
    };
    int measuredStep = step0;
    double measuredSize = floorSize;
    while (measuredStep < stepMost) {
        int step = measuredStep + 1;
        while (step < stepMost &&
               measuredSize * std::pow(framesAt(step) / framesAt(measuredStep), kFramesPower) >
                   goal)
            ++step;
        const double size = sizeAt({kFitQualityFloor, step, 100});
        if (size <= goal)
            return withQuality({kFitQualityFloor, step, 100}, size);
        if (size > measuredSize * kStepSaves) {
            // Dropping frames saved next to nothing (a screen recording
            // whose frames barely change costs little per frame): the frame
            // rate is kept, and only the size gives.
            measuredSize = floorSize;
            measuredStep = step0;
            break;
        }
        measuredSize = size;
        measuredStep = step;
    }

    // The largest scale whose size, foretold by a power fitted to the
    // sizes measured, meets the goal.
    const int scaledStep = measuredStep;
    double power = kScalePower;
    int measuredScale = 100;
    for (int tries = 0; tries < 5 && measuredScale > kFitMinScalePercent; ++tries) {
        const double ratio = std::pow(goal / measuredSize, 1 / power);
        const int scale = std::clamp(static_cast<int>(measuredScale * ratio), kFitMinScalePercent,
                                     measuredScale - 1);
        const double size = sizeAt({kFitQualityFloor, scaledStep, scale});
        if (size <= goal) {
            // Far under the goal, the power missed (a picture of text codes
            // larger or smaller by how its letters meet the new grid): the
            // scales between this one and the one over are halved twice.
            int fitScale = scale;
            double fitSize = size;
            int overScale = measuredScale;
            for (int halves = 0;
                 halves < 2 && fitSize < kFarUnder * goal && overScale - fitScale > 2; ++halves) {
                const int middle = (fitScale + overScale) / 2;
                const double middleSize = sizeAt({kFitQualityFloor, scaledStep, middle});
                if (middleSize <= goal) {
                    fitScale = middle;
                    fitSize = middleSize;
                } else {
                    overScale = middle;
                }
            }
            return withQuality({kFitQualityFloor, scaledStep, fitScale}, fitSize);
        }
        if (size < measuredSize)
            power = std::clamp(std::log(measuredSize / size) /
                                   std::log(static_cast<double>(measuredScale) / scale),
                               0.5, 3.0);
        measuredScale = scale;
        measuredSize = size;
    }
    const TFitPoint smallest = SmallestFitPoint(base);
    return chosen(smallest, sizeAt(smallest));
}

TLimitedSearch::TLimitedSearch(const TFrameParams& base, std::int64_t limit, TEstimate estimate)
    : base_(base), target_(static_cast<double>(limit) * kTargetShare),
      estimate_(std::move(estimate)) {}

TFitChoice TLimitedSearch::Choose() {
    return ChooseFit(base_, static_cast<std::int64_t>(target_), [this](const TFrameParams& p) {
        const auto key = std::tuple{p.Quality, p.Step, p.Width, p.Height};
        const auto found = known_.find(key);
        if (found != known_.end())
            return found->second;
        ++estimates_;
        return known_[key] = estimate_(p);
    });
}

void TLimitedSearch::Over(const TFitChoice& choice, std::int64_t bytes) {
    target_ = std::min(target_ * 0.95, target_ * static_cast<double>(choice.Estimate) /
                                           static_cast<double>(std::max<std::int64_t>(1, bytes)));
}

} // namespace framolo
