#pragma once

#include "color/color_lookup.h"

#include <array>
#include <cstdint>
#include <vector>

namespace framolo {

// The palette entry nearest to a colour by squared distance in RGB, exactly:
// the first entry with the smallest sum of squared channel differences. The
// colour cube is cut into cells of 8 x 8 x 8 colours; the first lookup in a
// cell lists the entries that can be nearest to any colour of that cell, and
// every later lookup there only compares those few.
//
// An entry can only be nearest inside a cell if its distance to the cell's
// closest point does not exceed the smallest distance any entry has to the
// cell's farthest point. Every entry that ties for nearest passes that test
// too, so keeping the list in index order keeps the lower index on a tie.
// A cell's list is drawn from the list of the 16 x 16 x 16 cell around it,
// and that one from the 32 x 32 x 32 cell around it, so building a cell
// looks at a few dozen entries instead of the whole palette.
class TExactColorLookup final : public TColorLookupOf<TExactColorLookup> {
public:
    explicit TExactColorLookup(const HPALETTE& palette);
    // The same over a plain list of at most 256 entries (the rest is ignored).
    explicit TExactColorLookup(const std::vector<TPaletteEntry>& entries);

    TChosenColor Map(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
        return Choose(static_cast<std::uint8_t>(Nearest(red, green, blue)));
    }

    // Index of the nearest entry; 0 for an empty palette.
    int Nearest(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
        int distance = 0;
        return Nearest(red, green, blue, distance);
    }

    // The same, with the entry's squared distance to the colour (0 for an
    // empty palette).
    int Nearest(std::uint8_t red, std::uint8_t green, std::uint8_t blue, int& distance) {
        distance = 0;
        if (colorCount_ == 0)
            return 0;
        // Video repeats its colours: a colour met before is answered from the
        // memo, the same index the search gave it.
        const std::uint32_t rgb =
            static_cast<std::uint32_t>(red) << 16 | static_cast<std::uint32_t>(green) << 8 | blue;
        std::uint32_t& memo = memo_[(rgb * 0x9E3779B1u) >> (32 - kMemoBits)];
        if (memo != 0 && memo >> 8 == rgb) {
            const auto index = static_cast<std::uint8_t>(memo);
            distance = Distance(entries_[index], red, green, blue);
            return index;
        }
        const unsigned cell = (static_cast<unsigned>(red >> 3) << 10) |
                              (static_cast<unsigned>(green >> 3) << 5) |
                              static_cast<unsigned>(blue >> 3);
        std::int32_t start = levels_[2].Start[cell];
        if (start < 0)
            start = BuildCell(2, cell);
        const TPaletteEntry* candidate = levels_[2].Packed.data() + start;
        const TPaletteEntry* const end = candidate + levels_[2].Count[cell];
        int best = candidate->peFlags;
        int bestDistance = Distance(*candidate, red, green, blue);
        for (++candidate; candidate != end && bestDistance != 0; ++candidate) {
            const int d = Distance(*candidate, red, green, blue);
            if (d < bestDistance) {
                bestDistance = d;
                best = candidate->peFlags;
            }
        }
        distance = bestDistance;
        memo = rgb << 8 | static_cast<std::uint32_t>(best);
        return best;
    }

    const TPaletteEntry& Entry(int index) const {
        return entries_.at(static_cast<std::size_t>(index));
    }

    // Squared distance of entry index to a colour.
    int Distance(std::uint8_t index, int red, int green, int blue) const {
        return Distance(entries_[index], red, green, blue);
    }

    // The squared distance of an entry from a colour, and from a pixel's
    // blue, green and red bytes.
    static int Distance(const TPaletteEntry& e, int red, int green, int blue) {
        const int dr = e.peRed - red;
        const int dg = e.peGreen - green;
        const int db = e.peBlue - blue;
        return dr * dr + dg * dg + db * db;
    }
    static int Distance(const TPaletteEntry& e, const std::uint8_t* bgr) {
        return Distance(e, bgr[2], bgr[1], bgr[0]);
    }
    // The squared distance of a pixel's blue, green and red bytes from what a
    // screen shows: red, green and blue bytes.
    static int ScreenDistance(const std::uint8_t* bgr, const std::uint8_t* rgb) {
        const int r = bgr[2] - rgb[0], g = bgr[1] - rgb[1], b = bgr[0] - rgb[2];
        return r * r + g * g + b * b;
    }

    // Entry index with its colour.
    TChosenColor Choose(std::uint8_t index) const {
        const TPaletteEntry& e = entries_[index];
        return {index, e.peRed, e.peGreen, e.peBlue};
    }

private:
    void Init(const TPaletteEntry* entries, std::size_t count);
    // Lists the candidates of a cell of level 0 (side 32), 1 (side 16) or 2
    // (side 8); a cell's number has 3, 4 or 5 bits per channel, red highest.
    std::int32_t BuildCell(int level, unsigned cell);

    struct TLevel {
        // Into Pool (levels 0 and 1) or Packed (level 2); -1 until the cell is built.
        std::vector<std::int32_t> Start;
        std::vector<std::uint16_t> Count;
        std::vector<std::uint8_t> Pool;
        // Level 2 only, instead of Pool: the candidates' colours, each with
        // its index in peFlags, so that a lookup reads one short run of memory.
        std::vector<TPaletteEntry> Packed;
    };
    std::array<TPaletteEntry, 256> entries_{};
    std::array<TLevel, 3> levels_;
    // Colour (24 bits) and index (8 bits) of the last colour searched in each
    // slot; 0 for none (black found at index 0 is simply searched again).
    static constexpr int kMemoBits = 16;
    std::vector<std::uint32_t> memo_;
};

// Answers the exact lookup's index for a pixel that changed and the pixel's
// previous index for one that did not, so that a ditherer re-dithers only
// what changed and carries the error of the kept indexes on. The engines map
// every pixel of a row once, in the row's direction, so a cursor that starts
// at the engine's column and moves with its direction names the pixel being
// mapped; BeginRow sets it before each row.
class TKeepingColorLookup final : public TColorLookupOf<TKeepingColorLookup> {
public:
    // slack < 0 keeps every unchanged pixel's index. Otherwise an unchanged
    // pixel keeps it only while that index's squared distance to the colour
    // being mapped (the source with the error carried to it) is at most slack
    // above the nearest entry's; when it is further, the pixel is mapped to
    // the nearest entry and marked changed.
    explicit TKeepingColorLookup(TExactColorLookup& exact, int slack = -1)
        : TColorLookupOf(nullptr), exact_(exact), slack_(slack) {
        colorCount_ = exact.ColorCount();
    }

    // changed and previous hold one entry per column of the row.
    void BeginRow(bool* changed, const std::uint8_t* previous, int column, int direction) {
        changed_ = changed;
        previous_ = previous;
        column_ = column;
        direction_ = direction;
    }

    TChosenColor Map(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
        const auto x = static_cast<std::size_t>(column_);
        column_ += direction_;
        if (changed_[x])
            return exact_.Map(red, green, blue);
        std::uint8_t index = previous_[x];
        if (slack_ >= 0) {
            int nearestDistance = 0;
            const int nearest = exact_.Nearest(red, green, blue, nearestDistance);
            if (nearest != index &&
                exact_.Distance(index, red, green, blue) > nearestDistance + slack_) {
                changed_[x] = true;
                index = static_cast<std::uint8_t>(nearest);
            }
        }
        return exact_.Choose(index);
    }

private:
    TExactColorLookup& exact_;
    int slack_;
    bool* changed_ = nullptr;
    const std::uint8_t* previous_ = nullptr;
    int column_ = 0;
    int direction_ = 1;
};

} // namespace framolo
