#include "color/exact_color_lookup.h"

#include <algorithm>
#include <cstdlib>

namespace framolo {

namespace {

// Squared distance from a channel value to the nearest and to the farthest
// value of a cell's span, for every span of the three cell sizes: level 0
// has 8 spans of 32 values, level 1 16 of 16, level 2 32 of 8. Row
// kTableOffset[level] + span holds the 256 channel values.
constexpr int kTableOffset[3] = {0, 8, 24};
constexpr int kTableRows = 8 + 16 + 32;

struct TCornerTables {
    std::vector<std::uint16_t> Near;
    std::vector<std::uint16_t> Far;
    TCornerTables() : Near(kTableRows * 256), Far(kTableRows * 256) {
        for (int level = 0; level < 3; ++level) {
            const int side = 32 >> level;
            for (int span = 0; span < 256 / side; ++span) {
                const int low = span * side;
                const int high = low + side - 1;
                for (int v = 0; v < 256; ++v) {
                    const int near = v < low ? low - v : (v > high ? v - high : 0);
                    const int far = std::max(std::abs(v - low), std::abs(high - v));
                    const auto at =
                        static_cast<std::size_t>((kTableOffset[level] + span) * 256 + v);
                    Near[at] = static_cast<std::uint16_t>(near * near);
                    Far[at] = static_cast<std::uint16_t>(far * far);
                }
            }
        }
    }
};

const TCornerTables& CornerTables() {
    static const TCornerTables tables;
    return tables;
}

} // namespace

TExactColorLookup::TExactColorLookup(const HPALETTE& palette) : TColorLookupOf(palette) {
    if (palette)
        Init(palette->Entries.data(), palette->Entries.size());
    else
        Init(nullptr, 0);
}

TExactColorLookup::TExactColorLookup(const std::vector<TPaletteEntry>& entries)
    : TColorLookupOf(nullptr) {
    Init(entries.data(), entries.size());
}

void TExactColorLookup::Init(const TPaletteEntry* entries, std::size_t count) {
    const std::size_t n = std::min(count, entries_.size());
    std::copy_n(entries, n, entries_.begin());
    colorCount_ = static_cast<int>(n);
    memo_.assign(std::size_t{1} << kMemoBits, 0);
    for (int level = 0; level < 3; ++level) {
        const std::size_t cells = std::size_t{1} << (3 * (level + 3));
        levels_[static_cast<std::size_t>(level)].Start.assign(cells, -1);
        levels_[static_cast<std::size_t>(level)].Count.assign(cells, 0);
    }
}

std::int32_t TExactColorLookup::BuildCell(int level, unsigned cell) {
    const int bits = level + 3;
    const unsigned mask = (1u << bits) - 1;
    // The cell's span in each channel: red, green, blue.
    const std::size_t span[3] = {(cell >> (2 * bits)) & mask, (cell >> bits) & mask, cell & mask};

    // The entries to look at: the enclosing cell's list, or the whole palette.
    std::array<std::uint8_t, 256> all; // only the first colorCount_ are read
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

    const TCornerTables& tables = CornerTables();
    const auto row = [&](const std::vector<std::uint16_t>& table, int channel) {
        return table.data() + 256 * (static_cast<std::size_t>(kTableOffset[level]) + span[channel]);
    };
    const std::uint16_t* nearRed = row(tables.Near, 0);
    const std::uint16_t* nearGreen = row(tables.Near, 1);
    const std::uint16_t* nearBlue = row(tables.Near, 2);
    const std::uint16_t* farRed = row(tables.Far, 0);
    const std::uint16_t* farGreen = row(tables.Far, 1);
    const std::uint16_t* farBlue = row(tables.Far, 2);
    std::array<int, 256> nearest; // written before it is read
    int threshold = 3 * 255 * 255 + 1;
    for (int k = 0; k < fromCount; ++k) {
        const TPaletteEntry& e = entries_[from[k]];
        nearest[static_cast<std::size_t>(k)] =
            nearRed[e.peRed] + nearGreen[e.peGreen] + nearBlue[e.peBlue];
        threshold = std::min(threshold, farRed[e.peRed] + farGreen[e.peGreen] + farBlue[e.peBlue]);
    }
    std::array<std::uint8_t, 256> chosen; // written before it is read
    std::uint16_t count = 0;
    for (int k = 0; k < fromCount; ++k)
        if (nearest[static_cast<std::size_t>(k)] <= threshold)
            chosen[count++] = from[k];
    // The pool may move as it grows, so `from` is not used past this point.
    TLevel& self = levels_[static_cast<std::size_t>(level)];
    std::int32_t start = 0;
    if (level == 2) {
        start = static_cast<std::int32_t>(self.Packed.size());
        for (std::uint16_t k = 0; k < count; ++k) {
            TPaletteEntry e = entries_[chosen[k]];
            e.peFlags = chosen[k];
            self.Packed.push_back(e);
        }
    } else {
        start = static_cast<std::int32_t>(self.Pool.size());
        self.Pool.insert(self.Pool.end(), chosen.begin(), chosen.begin() + count);
    }
    self.Start[cell] = start;
    self.Count[cell] = count;
    return start;
}

} // namespace framolo
