#include "convert/output_size.h"

#include <algorithm>
#include <cstdint>

namespace framolo {

int AspectSide(int given, int clipSide, int clipOtherSide) {
    if (clipSide <= 0 || clipOtherSide <= 0)
        return clipOtherSide;
    // given and both sides fit in 31 bits, so the product fits in 63.
    const std::int64_t scaled = (std::int64_t{std::max(given, 0)} * clipOtherSide * 2 + clipSide) /
                                (std::int64_t{clipSide} * 2);
    return static_cast<int>(std::clamp<std::int64_t>(scaled, 1, INT32_MAX));
}

} // namespace framolo
