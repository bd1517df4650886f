#include "color/color_lookup.h"

#include <algorithm>
#include <cstdlib>

namespace framolo {

TFastColorLookup::TFastColorLookup(const HPALETTE& palette)
    : TColorLookup(palette), binCache_(std::make_unique<std::int16_t[]>(kBinCount)) {
    std::fill_n(binCache_.get(), kBinCount, std::int16_t{-1});
    if (palette) {
        const std::size_t n = std::min<std::size_t>(palette->Entries.size(), entries_.size());
        std::copy_n(palette->Entries.begin(), n, entries_.begin());
        colorCount_ = static_cast<int>(n);
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
    // An empty palette has no answer; index 0 then names the black entry the
    // table starts with, and the driver never gets here with no colours.
    int best = 0;
    int bestDistance = 3 * 65536; // above any possible distance
    for (int i = 0; i < colorCount_; ++i) {
        const TPaletteEntry& e = entries_[static_cast<std::size_t>(i)];
        const int distance = std::abs(e.peRed - red) + std::abs(e.peGreen - green) + std::abs(e.peBlue - blue);
        // Strictly closer only: on a tie the lower index stays.
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    binCache_[key] = static_cast<std::int16_t>(best);
    return static_cast<std::int16_t>(best);
}

std::unique_ptr<TColorLookup> CreateColorLookup(TColorReduction reduction, const HPALETTE& palette) {
    switch (reduction) {
    case TColorReduction::Monochrome:
        return std::make_unique<TMonochromeLookup>(palette);
    case TColorReduction::GrayScale:
        return std::make_unique<TGrayScaleLookup>(palette);
    case TColorReduction::Netscape:
        return std::make_unique<TNetscapeColorLookup>(palette);
    default:
        return std::make_unique<TFastColorLookup>(palette);
    }
}

} // namespace framolo
