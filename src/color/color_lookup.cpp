#include "color/color_lookup.h"

#include "color/exact_color_lookup.h"

#include <algorithm>
#include <bit>
#include <cstdlib>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define FRAMOLO_COLOR_SSE2 1
#endif

namespace framolo {

TFastColorLookup::TFastColorLookup(const HPALETTE& palette)
    : TColorLookupOf(palette), binCache_(std::make_unique<std::int16_t[]>(kBinCount)) {
    std::fill_n(binCache_.get(), kBinCount, std::int16_t{-1});
    if (palette) {
        const std::size_t n = std::min<std::size_t>(palette->Entries.size(), entries_.size());
        std::copy_n(palette->Entries.begin(), n, entries_.begin());
        colorCount_ = static_cast<int>(n);
    }
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        reds_[i] = entries_[i].peRed;
        greens_[i] = entries_[i].peGreen;
        blues_[i] = entries_[i].peBlue;
        noMatch_[i] = static_cast<int>(i) < colorCount_ ? 0 : 0x7FFF;
    }
    // Filling in index order leaves each bin with the lowest index inside it.
    for (int i = 0; i < colorCount_; ++i) {
        const TPaletteEntry& e = entries_[static_cast<std::size_t>(i)];
        std::int16_t& slot = binCache_[BinKey(e.peRed, e.peGreen, e.peBlue)];
        if (slot < 0)
            slot = static_cast<std::int16_t>(i);
    }
}

std::int16_t TFastColorLookup::FillBin(unsigned key, std::uint8_t red, std::uint8_t green,
                                       std::uint8_t blue) {
    const auto index = static_cast<std::int16_t>(NearestIndex(red, green, blue));
    binCache_[key] = index;
    return index;
}

// The first entry with the smallest sum of absolute differences. An empty
// palette has no answer; index 0 then names the black entry the table starts
// with, and the reduction driver never gets here with no colours.
int TFastColorLookup::NearestIndexPortable(std::uint8_t red, std::uint8_t green,
                                           std::uint8_t blue) const {
    int best = 0;
    int bestDistance = 3 * 65536; // above any possible distance
    for (int i = 0; i < colorCount_; ++i) {
        const TPaletteEntry& e = entries_[static_cast<std::size_t>(i)];
        const int distance =
            std::abs(e.peRed - red) + std::abs(e.peGreen - green) + std::abs(e.peBlue - blue);
        // Strictly closer only: on a tie the lower index stays.
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

#if FRAMOLO_COLOR_SSE2
// Sixteen entries at a time: distances in 16-bit lanes, their minimum, then
// the first lane that holds it.
int TFastColorLookup::NearestIndex(std::uint8_t red, std::uint8_t green, std::uint8_t blue) const {
    const int blocks = (colorCount_ + 15) / 16;
    if (blocks == 0)
        return 0;
    const __m128i zero = _mm_setzero_si128();
    const __m128i r = _mm_set1_epi8(static_cast<char>(red));
    const __m128i g = _mm_set1_epi8(static_cast<char>(green));
    const __m128i b = _mm_set1_epi8(static_cast<char>(blue));
    const auto absDiff = [](__m128i x, __m128i y) {
        return _mm_or_si128(_mm_subs_epu8(x, y), _mm_subs_epu8(y, x));
    };
    alignas(16) std::array<std::uint16_t, 256> distances;
    __m128i best = _mm_set1_epi16(0x7FFF);
    for (int k = 0; k < blocks; ++k) {
        const auto at = static_cast<std::size_t>(16 * k);
        const __m128i dr = absDiff(_mm_load_si128(reinterpret_cast<const __m128i*>(&reds_[at])), r);
        const __m128i dg =
            absDiff(_mm_load_si128(reinterpret_cast<const __m128i*>(&greens_[at])), g);
        const __m128i db =
            absDiff(_mm_load_si128(reinterpret_cast<const __m128i*>(&blues_[at])), b);
        __m128i lo =
            _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(dr, zero), _mm_unpacklo_epi8(dg, zero)),
                          _mm_unpacklo_epi8(db, zero));
        __m128i hi =
            _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(dr, zero), _mm_unpackhi_epi8(dg, zero)),
                          _mm_unpackhi_epi8(db, zero));
        lo = _mm_or_si128(lo, _mm_load_si128(reinterpret_cast<const __m128i*>(&noMatch_[at])));
        hi = _mm_or_si128(hi, _mm_load_si128(reinterpret_cast<const __m128i*>(&noMatch_[at + 8])));
        _mm_store_si128(reinterpret_cast<__m128i*>(&distances[at]), lo);
        _mm_store_si128(reinterpret_cast<__m128i*>(&distances[at + 8]), hi);
        best = _mm_min_epi16(best, _mm_min_epi16(lo, hi));
    }
    best = _mm_min_epi16(best, _mm_srli_si128(best, 8));
    best = _mm_min_epi16(best, _mm_srli_si128(best, 4));
    best = _mm_min_epi16(best, _mm_srli_si128(best, 2));
    const __m128i wanted = _mm_set1_epi16(static_cast<short>(_mm_cvtsi128_si32(best) & 0xFFFF));
    for (int k = 0; k < 2 * blocks; ++k) {
        const __m128i d = _mm_load_si128(
            reinterpret_cast<const __m128i*>(&distances[static_cast<std::size_t>(8 * k)]));
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(d, wanted)));
        if (mask != 0)
            return 8 * k + std::countr_zero(mask) / 2;
    }
    return 0; // not reached: some lane holds the minimum
}
#else
int TFastColorLookup::NearestIndex(std::uint8_t red, std::uint8_t green, std::uint8_t blue) const {
    return NearestIndexPortable(red, green, blue);
}
#endif

std::unique_ptr<TColorLookup> CreateColorLookup(TColorReduction reduction,
                                                const HPALETTE& palette) {
    switch (reduction) {
    case TColorReduction::Monochrome:
        return std::make_unique<TMonochromeLookup>(palette);
    case TColorReduction::GrayScale:
        return std::make_unique<TGrayScaleLookup>(palette);
    case TColorReduction::Netscape:
        return std::make_unique<TNetscapeColorLookup>(palette);
    case TColorReduction::BestQuality:
        return std::make_unique<TExactColorLookup>(palette);
    default:
        return std::make_unique<TFastColorLookup>(palette);
    }
}

} // namespace framolo
