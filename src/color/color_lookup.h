#pragma once

#include "color/color_types.h"
#include "platform/graphics/graphics.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace framolo {

// Maps a 24-bit colour to an index of a palette of at most 256 entries and
// reports the colour of that entry, so that a ditherer can measure its error.
class TColorLookup {
public:
    explicit TColorLookup(const HPALETTE& palette) { (void)palette; }
    virtual ~TColorLookup() = default;
    TColorLookup(const TColorLookup&) = delete;
    TColorLookup& operator=(const TColorLookup&) = delete;

    // Number of palette entries MapColor can return.
    int ColorCount() const { return colorCount_; }

    virtual std::uint8_t MapColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                                  std::uint8_t& chosenRed, std::uint8_t& chosenGreen,
                                  std::uint8_t& chosenBlue) = 0;

protected:
    int colorCount_ = 0;
};

// A palette index and the colour of its entry.
struct TChosenColor {
    std::uint8_t Index;
    std::uint8_t Red;
    std::uint8_t Green;
    std::uint8_t Blue;
};

// The base of the lookups proper. Each has a non-virtual Map(red, green, blue)
// giving a TChosenColor, which the dithering loops call without the virtual
// call; MapColor answers through it.
template <class Derived> class TColorLookupOf : public TColorLookup {
public:
    using TColorLookup::TColorLookup;
    // A lookup whose palette is fixed, of colorCount entries.
    TColorLookupOf(const HPALETTE& palette, int colorCount) : TColorLookup(palette) {
        colorCount_ = colorCount;
    }

    std::uint8_t MapColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                          std::uint8_t& chosenRed, std::uint8_t& chosenGreen,
                          std::uint8_t& chosenBlue) final {
        return Split(static_cast<Derived&>(*this).Map(red, green, blue), chosenRed, chosenGreen,
                     chosenBlue);
    }

    // MapColor of a lookup whose Map needs no state (a static Map).
    static std::uint8_t Map(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                            std::uint8_t& chosenRed, std::uint8_t& chosenGreen,
                            std::uint8_t& chosenBlue) {
        return Split(Derived::Map(red, green, blue), chosenRed, chosenGreen, chosenBlue);
    }

private:
    static std::uint8_t Split(TChosenColor c, std::uint8_t& red, std::uint8_t& green,
                              std::uint8_t& blue) {
        red = c.Red;
        green = c.Green;
        blue = c.Blue;
        return c.Index;
    }
};

// Nearest colour of an arbitrary palette by the sum of absolute channel
// differences, cached per bin of 5 bits per channel. The cache is what makes
// it fast and also what defines its answers: every colour of a bin gets the
// index found for the first colour of that bin that was looked up, or the
// lowest palette index that lies in the bin.
class TFastColorLookup final : public TColorLookupOf<TFastColorLookup> {
public:
    explicit TFastColorLookup(const HPALETTE& palette);

    TChosenColor Map(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
        return TView(*this).Map(red, green, blue);
    }

    // Map for loops: the table addresses live in the view, so a loop keeps
    // them in registers instead of reloading them after every store.
    class TView {
    public:
        explicit TView(TFastColorLookup& owner)
            : owner_(owner), bins_(owner.binCache_.get()), entries_(owner.entries_.data()) {}
        TChosenColor Map(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
            const unsigned key = BinKey(red, green, blue);
            std::int16_t index = bins_[key];
            if (index < 0)
                index = owner_.FillBin(key, red, green, blue);
            const TPaletteEntry& e = entries_[static_cast<std::size_t>(index)];
            return {static_cast<std::uint8_t>(index), e.peRed, e.peGreen, e.peBlue};
        }

    private:
        TFastColorLookup& owner_;
        std::int16_t* bins_;
        const TPaletteEntry* entries_;
    };

    // 15 bits, 5 per channel, blue highest.
    static unsigned BinKey(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
        return (static_cast<unsigned>(blue >> 3) << 10) | (static_cast<unsigned>(green >> 3) << 5) |
               static_cast<unsigned>(red >> 3);
    }
    // The cached index of a bin, or -1 when the bin has not been decided yet.
    std::int16_t BinCache(unsigned key) const { return binCache_[key & 0x7FFF]; }
    // Raises std::out_of_range outside 0..255.
    const TPaletteEntry& Entry(int index) const {
        return entries_.at(static_cast<std::size_t>(index));
    }

    static constexpr int kBinCount = 32768;

    // The first palette entry with the smallest sum of absolute differences,
    // without the cache; 0 for an empty palette. NearestIndex is vectorised
    // where the processor allows, NearestIndexPortable is the plain loop; both
    // give the same answer.
    int NearestIndex(std::uint8_t red, std::uint8_t green, std::uint8_t blue) const;
    int NearestIndexPortable(std::uint8_t red, std::uint8_t green, std::uint8_t blue) const;

private:
    std::int16_t FillBin(unsigned key, std::uint8_t red, std::uint8_t green, std::uint8_t blue);

    std::array<TPaletteEntry, 256> entries_{};
    std::unique_ptr<std::int16_t[]> binCache_;
    // The channels again, one array each, for the vectorised nearest search;
    // an entry past ColorCount has 0x7FFF in noMatch_, which no true distance
    // (at most 765) reaches.
    alignas(16) std::array<std::uint8_t, 256> reds_{};
    alignas(16) std::array<std::uint8_t, 256> greens_{};
    alignas(16) std::array<std::uint8_t, 256> blues_{};
    alignas(16) std::array<std::uint16_t, 256> noMatch_{};
};

// The 216-colour cube of NetscapePalette, computed per channel.
class TNetscapeColorLookup final : public TColorLookupOf<TNetscapeColorLookup> {
public:
    explicit TNetscapeColorLookup(const HPALETTE& palette) : TColorLookupOf(palette, 216) {}

    using TColorLookupOf::Map;
    static TChosenColor Map(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
        // Levels 0..5; 0..47 give 0, 48..98 give 1, ..., 252..255 give 5.
        const unsigned r = (red + 3u) / 51u;
        const unsigned g = (green + 3u) / 51u;
        const unsigned b = (blue + 3u) / 51u;
        return {static_cast<std::uint8_t>(r * 36u + g * 6u + b), static_cast<std::uint8_t>(r * 51u),
                static_cast<std::uint8_t>(g * 51u), static_cast<std::uint8_t>(b * 51u)};
    }
};

// The 256-gray ramp of GrayRampPalette: the index is the luminance.
class TGrayScaleLookup final : public TColorLookupOf<TGrayScaleLookup> {
public:
    explicit TGrayScaleLookup(const HPALETTE& palette) : TColorLookupOf(palette, 256) {}

    using TColorLookupOf::Map;
    static TChosenColor Map(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
        // The weights add up to 256, so the gray never exceeds 255.
        const auto gray = static_cast<std::uint8_t>((77u * red + 150u * green + 29u * blue) >> 8);
        return {gray, gray, gray, gray};
    }
};

// Black and white of BlackWhitePalette, split at half luminance.
class TMonochromeLookup final : public TColorLookupOf<TMonochromeLookup> {
public:
    explicit TMonochromeLookup(const HPALETTE& palette) : TColorLookupOf(palette, 2) {}

    using TColorLookupOf::Map;
    static TChosenColor Map(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
        const bool white = 77u * red + 150u * green + 29u * blue > 127u * 256u;
        const std::uint8_t level = white ? 255 : 0;
        return {static_cast<std::uint8_t>(white ? 1 : 0), level, level, level};
    }
};

// The lookup the reduction driver uses for a method: the three arithmetic
// ones for their own palettes, TFastColorLookup over the palette otherwise.
std::unique_ptr<TColorLookup> CreateColorLookup(TColorReduction reduction, const HPALETTE& palette);

} // namespace framolo
