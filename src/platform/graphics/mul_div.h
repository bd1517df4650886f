#pragma once

#include <cstdint>
#include <limits>

namespace framolo {

// a * b / c rounded to the nearest integer, halves away from zero, as the
// platform's MulDiv; false (result untouched) when c is 0 or the result does
// not fit 32 bits.
inline bool MulDiv(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t& result) {
    if (c == 0)
        return false;
    const long double exact = static_cast<long double>(a) * b / c;
    if (exact > std::numeric_limits<std::int32_t>::max() ||
        exact < std::numeric_limits<std::int32_t>::min())
        return false;
    const std::int64_t p = a * b;
    const std::int64_t half = (c < 0 ? -c : c) / 2;
    const bool negative = (p < 0) != (c < 0);
    const std::int64_t magnitude = ((p < 0 ? -p : p) + half) / (c < 0 ? -c : c);
    result = negative ? -magnitude : magnitude;
    return true;
}

// The same, with -1 where it fails.
inline std::int32_t MulDiv(std::int64_t a, std::int64_t b, std::int64_t c) {
    std::int64_t result = -1;
    return MulDiv(a, b, c, result) ? static_cast<std::int32_t>(result) : -1;
}

} // namespace framolo
