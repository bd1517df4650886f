#include "cli/cli_options.h"

#include <cstdint>
#include <string>

namespace framolo {

namespace {

struct TRange {
    const char* Option;
    std::int64_t Min;
    std::int64_t Max;
};

// A GIF keeps the loop count, the delay in hundredths of a second and the
// screen size in 16 bits each. A tolerance past a quarter of a channel's
// range would keep pixels that plainly changed.
constexpr TRange kRanges[] = {
    {"--loop", 0, 65535},   {"--delay", 0, 655350}, {"--width", 1, 65535},
    {"--height", 1, 65535}, {"--tolerance", 0, 64},
};

} // namespace

std::string CheckOptionRange(const std::string& option, const std::string& value) {
    for (const TRange& r : kRanges) {
        if (option != r.Option)
            continue;
        const std::int64_t v = std::stoll(value);
        if (v < r.Min || v > r.Max)
            return option + " must be between " + std::to_string(r.Min) + " and " +
                   std::to_string(r.Max) + ", not " + value;
    }
    return {};
}

} // namespace framolo
