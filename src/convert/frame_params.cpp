#include "convert/frame_params.h"

namespace framolo {

namespace {
// The numbers in the order of TParamField.
constexpr std::int32_t TFrameParams::*kNumbers[] = {
    &TFrameParams::Start,  &TFrameParams::End,   &TFrameParams::Step, &TFrameParams::Width,
    &TFrameParams::Height, &TFrameParams::Delay, &TFrameParams::Loop};
} // namespace

std::int32_t& TFrameParams::operator[](TParamField field) {
    return this->*kNumbers[static_cast<std::size_t>(field)];
}

std::int32_t TFrameParams::operator[](TParamField field) const {
    return this->*kNumbers[static_cast<std::size_t>(field)];
}

std::int64_t FramesTaken(const TFrameParams& params) {
    if (params.Step <= 0 || params.End < params.Start)
        return 0;
    const std::int64_t range = (std::int64_t{params.End} - params.Start) / params.Step + 1;
    if (params.Order == TFrameOrder::Bounce && range > 1)
        return 2 * range - 2;
    return range;
}

std::int64_t SourceFrame(const TFrameParams& params, std::int64_t k) {
    const std::int64_t range = (std::int64_t{params.End} - params.Start) / params.Step + 1;
    if (params.Order == TFrameOrder::Reverse)
        k = range - 1 - k;
    else if (params.Order == TFrameOrder::Bounce && k >= range)
        k = 2 * range - 2 - k;
    return params.Start + k * params.Step;
}

std::optional<TCropRect> ParseCrop(const std::string& text) {
    // Four whole numbers joined by 'x', '+' and '+', each of at most 9 digits.
    int values[4] = {};
    const char separators[] = {'x', '+', '+', '\0'};
    std::size_t at = 0;
    for (int i = 0; i < 4; ++i) {
        const std::size_t begin = at;
        std::int64_t value = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - begin < 9)
            value = value * 10 + (text[at++] - '0');
        if (at == begin ||
            (i < 3 ? at >= text.size() || text[at] != separators[i] : at != text.size()))
            return std::nullopt;
        values[i] = static_cast<int>(value);
        ++at;
    }
    if (values[0] <= 0 || values[1] <= 0)
        return std::nullopt;
    return TCropRect{values[2], values[3], values[0], values[1]};
}

std::optional<std::string> CropProblem(const TCropRect& crop, int width, int height) {
    if (crop.Width > 0 && crop.Height > 0 && crop.X >= 0 && crop.Y >= 0 &&
        std::int64_t{crop.X} + crop.Width <= width && std::int64_t{crop.Y} + crop.Height <= height)
        return std::nullopt;
    return "the crop " + std::to_string(crop.Width) + "x" + std::to_string(crop.Height) + "+" +
           std::to_string(crop.X) + "+" + std::to_string(crop.Y) + " does not fit the clip's " +
           std::to_string(width) + "x" + std::to_string(height) + " picture";
}

void TFixedParamSource::Read(TFrameParams& params, std::initializer_list<TParamField> fields) {
    for (const TParamField field : fields)
        params[field] = Params[field];
}

void TFixedParamSource::ReadChoices(TFrameParams& params) {
    static_cast<TGifEncoding&>(params) = Params;
    params.Crop = Params.Crop;
    params.Order = Params.Order;
}

std::optional<TColorReduction> ListReduction(int index) {
    if ((index >= 0 && index <= 7) || index + 1 == static_cast<int>(TColorReduction::BestQuality))
        return static_cast<TColorReduction>(index + 1);
    return std::nullopt;
}

TReductionItem WindowReductionItem(int index) {
    TReductionItem item;
    if (index == kBestQualityIndex || index == kBestSmallerIndex)
        item.Reduction = TColorReduction::BestQuality;
    else
        item.Reduction = ListReduction(index);
    if (index == kBestSmallerIndex) {
        item.Optimize = true;
        item.Quality = kDefaultQuality;
    }
    return item;
}

std::optional<TDitherMode> ListDither(int index) {
    if (index >= 0 && index <= 6)
        return static_cast<TDitherMode>(index);
    return std::nullopt;
}

} // namespace framolo
