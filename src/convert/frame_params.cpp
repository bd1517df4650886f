#include "convert/frame_params.h"

namespace framolo {

std::int32_t& TFrameParams::operator[](TParamField field) {
    switch (field) {
    case TParamField::Start:
        return Start;
    case TParamField::End:
        return End;
    case TParamField::Step:
        return Step;
    case TParamField::Width:
        return Width;
    case TParamField::Height:
        return Height;
    case TParamField::Delay:
        return Delay;
    case TParamField::Loop:
        break;
    }
    return Loop;
}

std::int32_t TFrameParams::operator[](TParamField field) const {
    return const_cast<TFrameParams&>(*this)[field];
}

void TFixedParamSource::Read(TFrameParams& params, std::initializer_list<TParamField> fields) {
    for (const TParamField field : fields)
        params[field] = Params[field];
}

void TFixedParamSource::ReadChoices(TFrameParams& params) {
    params.Reduction = Params.Reduction;
    params.Dither = Params.Dither;
    params.DataCoding = Params.DataCoding;
    params.Optimize = Params.Optimize;
    params.Tolerance = Params.Tolerance;
}

std::optional<TColorReduction> ListReduction(int index) {
    if ((index >= 0 && index <= 7) || index + 1 == static_cast<int>(TColorReduction::BestQuality))
        return static_cast<TColorReduction>(index + 1);
    return std::nullopt;
}

std::optional<TDitherMode> ListDither(int index) {
    if (index >= 0 && index <= 6)
        return static_cast<TDitherMode>(index);
    return std::nullopt;
}

} // namespace framolo
