#include "convert/size_fit.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <tuple>

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

TFitChoice ChooseFit(const TFrameParams& base, std::int64_t target,
                     const std::function<std::int64_t(const TFrameParams&)>& estimate) {
    TFitChoice choice;
    std::map<std::tuple<int, int, int>, std::int64_t> known;
    const auto sizeAt = [&](const TFitPoint& p) {
        const auto key = std::tuple{p.Quality, p.Step, p.ScalePercent};
        const auto it = known.find(key);
        if (it != known.end())
            return it->second;
        ++choice.Estimates;
        return known[key] = estimate(FitParams(base, p));
    };
    const auto fits = [&](const TFitPoint& p) { return sizeAt(p) <= target; };
    // The last of `count` ordered candidates that fits, given that candidate
    // 0 fits and that fitting is monotone; bisection.
    const auto lastFitting = [](int count, const std::function<bool(int)>& fitsAt) {
        int good = 0;
        int bad = count;
        while (bad - good > 1) {
            const int mid = (good + bad) / 2;
            (fitsAt(mid) ? good : bad) = mid;
        }
        return good;
    };

    const int top = std::max(base.Quality, kFitQualityFloor);
    const int step0 = std::max(1, base.Step);
    const int stepMost = step0 * kFitMaxStepFactor;
    TFitPoint point{top, step0, 100};
    const TFitPoint smallest{kFitQualityFloor, stepMost, kFitMinScalePercent};
    if (!fits(point)) {
        if (!fits({kFitQualityFloor, step0, 100})) {
            if (!fits({kFitQualityFloor, stepMost, 100})) {
                if (!fits(smallest)) {
                    choice.Point = smallest;
                    choice.Estimate = sizeAt(smallest);
                    return choice;
                }
                // Scales from 25 % up by 5 % (candidate i is 25 + 5 i, below 100).
                const int scales = (100 - kFitMinScalePercent + 4) / 5;
                point.ScalePercent =
                    kFitMinScalePercent +
                    5 * lastFitting(scales, [&](int i) {
                        return fits({kFitQualityFloor, stepMost, kFitMinScalePercent + 5 * i});
                    });
            }
            // Steps from the largest down (candidate i is stepMost - i).
            point.Step = stepMost - lastFitting(stepMost - step0 + 1, [&](int i) {
                             return fits({kFitQualityFloor, stepMost - i, point.ScalePercent});
                         });
        }
        // Qualities from the floor up by 5, the top itself last; a larger
        // step or a smaller size often leaves room for the top at once.
        const auto qualityAt = [&](int i) { return std::min(top, kFitQualityFloor + 5 * i); };
        const int qualities = (top - kFitQualityFloor + 4) / 5 + 1;
        point.Quality = fits({top, point.Step, point.ScalePercent})
                            ? top
                            : qualityAt(lastFitting(qualities - 1, [&](int i) {
                                  return fits({qualityAt(i), point.Step, point.ScalePercent});
                              }));
    }
    choice.Point = point;
    choice.Estimate = sizeAt(point);
    choice.Fits = choice.Estimate <= target;
    return choice;
}

} // namespace framolo
