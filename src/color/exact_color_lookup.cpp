#include "color/exact_color_lookup.h"

#include <algorithm>
#include <cstdlib>

namespace framolo {

TExactColorLookup::TExactColorLookup(const HPALETTE& palette) : TColorLookup(palette) {
    if (palette)
        Init(palette->Entries.data(), palette->Entries.size());
    else
        Init(nullptr, 0);
}

TExactColorLookup::TExactColorLookup(const std::vector<TPaletteEntry>& entries)
    : TColorLookup(nullptr) {
    Init(entries.data(), entries.size());
}

void TExactColorLookup::Init(const TPaletteEntry* entries, std::size_t count) {
    const std::size_t n = std::min(count, entries_.size());
    std::copy_n(entries, n, entries_.begin());
    colorCount_ = static_cast<int>(n);
    for (int level = 0; level < 3; ++level) {
        const std::size_t cells = std::size_t{1} << (3 * (level + 3));
        levels_[static_cast<std::size_t>(level)].Start.assign(cells, -1);
        levels_[static_cast<std::size_t>(level)].Count.assign(cells, 0);
    }
}

std::int32_t TExactColorLookup::BuildCell(int level, unsigned cell) {
    const int bits = level + 3;
    const int shift = 8 - bits;
    const unsigned mask = (1u << bits) - 1;
    const int lo[3] = {static_cast<int>((cell >> (2 * bits)) & mask) << shift,
                       static_cast<int>((cell >> bits) & mask) << shift,
                       static_cast<int>(cell & mask) << shift};
    const int hi = (1 << shift) - 1;

    // The entries to look at: the enclosing cell's list, or the whole palette.
    std::array<std::uint8_t, 256> all{};
    const std::uint8_t* from = all.data();
    int fromCount = colorCount_;
    if (level == 0) {
        for (int i = 0; i < colorCount_; ++i)
            all[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    } else {
        const unsigned parentMask = mask >> 1;
        const unsigned parent = (((cell >> (2 * bits + 1)) & parentMask) << (2 * bits - 2)) |
                                (((cell >> (bits + 1)) & parentMask) << (bits - 1)) |
                                ((cell >> 1) & parentMask);
        TLevel& up = levels_[static_cast<std::size_t>(level - 1)];
        std::int32_t at = up.Start[parent];
        if (at < 0)
            at = BuildCell(level - 1, parent);
        from = up.Pool.data() + at;
        fromCount = up.Count[parent];
    }

    std::array<int, 256> nearest{};
    int threshold = 3 * 255 * 255 + 1;
    for (int k = 0; k < fromCount; ++k) {
        const TPaletteEntry& e = entries_[from[k]];
        const int value[3] = {e.peRed, e.peGreen, e.peBlue};
        int nearSum = 0;
        int farSum = 0;
        for (int c = 0; c < 3; ++c) {
            const int low = lo[c];
            const int high = low + hi;
            const int v = value[c];
            const int near = v < low ? low - v : (v > high ? v - high : 0);
            const int far = std::max(std::abs(v - low), std::abs(high - v));
            nearSum += near * near;
            farSum += far * far;
        }
        nearest[static_cast<std::size_t>(k)] = nearSum;
        threshold = std::min(threshold, farSum);
    }
    std::array<std::uint8_t, 256> chosen{};
    std::uint16_t count = 0;
    for (int k = 0; k < fromCount; ++k)
        if (nearest[static_cast<std::size_t>(k)] <= threshold)
            chosen[count++] = from[k];
    // The pool may move as it grows, so `from` is not used past this point.
    TLevel& self = levels_[static_cast<std::size_t>(level)];
    const auto start = static_cast<std::int32_t>(self.Pool.size());
    self.Pool.insert(self.Pool.end(), chosen.begin(), chosen.begin() + count);
    self.Start[cell] = start;
    self.Count[cell] = count;
    return start;
}

int TExactColorLookup::NearestBruteForce(std::uint8_t red, std::uint8_t green,
                                         std::uint8_t blue) const {
    int best = 0;
    int bestDistance = 3 * 256 * 256;
    for (int i = 0; i < colorCount_; ++i) {
        const int d = Distance(i, red, green, blue);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

} // namespace framolo
