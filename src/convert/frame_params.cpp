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

void TFixedParamSource::Read(TFrameParams& params, std::initializer_list<TParamField> fields) {
    for (const TParamField field : fields)
        params[field] = Params[field];
}

void TFixedParamSource::ReadChoices(TFrameParams& params) {
    static_cast<TGifEncoding&>(params) = Params;
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
