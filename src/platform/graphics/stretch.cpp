#include "platform/graphics/stretch.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

namespace framolo {

namespace {

constexpr int kWeightBits = 14;
constexpr int kWeightOne = 1 << kWeightBits;

// The source samples that make one output sample, with weights summing to kWeightOne.
struct TTaps {
    std::vector<int> First;   // first source index of each output index
    std::vector<int> Count;   // number of taps of each output index
    std::vector<int> Weights; // Count[i] weights per output index, concatenated
    std::vector<int> Offset;  // where output index i's weights start
};

TTaps MakeTaps(int srcSize, int dstSize) {
    TTaps t;
    t.First.resize(static_cast<std::size_t>(dstSize));
    t.Count.resize(static_cast<std::size_t>(dstSize));
    t.Offset.resize(static_cast<std::size_t>(dstSize));
    const double scale = static_cast<double>(srcSize) / dstSize;
    for (int i = 0; i < dstSize; ++i) {
        t.Offset[static_cast<std::size_t>(i)] = static_cast<int>(t.Weights.size());
        std::vector<double> w;
        int first = 0;
        if (srcSize == dstSize) {
            first = i;
            w.push_back(1.0);
        } else if (dstSize < srcSize) {
            // Area averaging: the output sample covers [lo, hi) of the source.
            const double lo = i * scale;
            const double hi = (i + 1) * scale;
            first = static_cast<int>(std::floor(lo));
            const int last = std::min(srcSize - 1, static_cast<int>(std::ceil(hi)) - 1);
            for (int s = first; s <= last; ++s)
                w.push_back(std::min<double>(hi, s + 1) - std::max<double>(lo, s));
        } else {
            // Bilinear: sample centres map onto source centres.
            double x = (i + 0.5) * scale - 0.5;
            x = std::clamp(x, 0.0, static_cast<double>(srcSize - 1));
            first = static_cast<int>(std::floor(x));
            const double frac = x - first;
            w.push_back(1.0 - frac);
            if (first + 1 < srcSize)
                w.push_back(frac);
        }
        double sum = 0;
        for (double v : w)
            sum += v;
        // Fixed-point weights that sum exactly to one, so flat areas stay flat.
        int given = 0;
        std::vector<int> fixed(w.size());
        for (std::size_t k = 0; k < w.size(); ++k) {
            fixed[k] = static_cast<int>(std::lround(w[k] / sum * kWeightOne));
            given += fixed[k];
        }
        const auto biggest =
            static_cast<std::size_t>(std::max_element(fixed.begin(), fixed.end()) - fixed.begin());
        fixed[biggest] += kWeightOne - given;
        t.First[static_cast<std::size_t>(i)] = first;
        t.Count[static_cast<std::size_t>(i)] = static_cast<int>(fixed.size());
        t.Weights.insert(t.Weights.end(), fixed.begin(), fixed.end());
    }
    return t;
}

// Rows [first, end) of each range of what a whole stretch of src makes of dst.
void StretchRanges(const TBitmap& srcIn, TBitmap& dst,
                   const std::vector<std::pair<int, int>>& ranges) {
    const int dw = dst.Width();
    const int dh = dst.Height();
    dst.SetPixelFormat(TPixelFormat::pf24bit);
    if (dw <= 0 || dh <= 0)
        return;
    const std::size_t rowValues = static_cast<std::size_t>(dw) * 3;
    const auto eachRow = [&](const auto& row) {
        for (const auto& [first, end] : ranges)
            for (int y = std::max(first, 0); y < std::min(end, dh); ++y)
                row(y);
    };
    if (srcIn.Empty()) {
        eachRow([&](int y) { std::memset(dst.ScanLine(y), 0, rowValues); });
        return;
    }
    // Work on 24-bit source rows.
    TBitmap converted;
    const TBitmap* src = &As24Bit(srcIn, converted);
    const int sw = src->Width();
    const int sh = src->Height();
    if (sw == dw && sh == dh) {
        eachRow([&](int y) { std::memcpy(dst.ScanLine(y), src->ScanLine(y), rowValues); });
        return;
    }
    const TTaps hx = MakeTaps(sw, dw);
    const TTaps vy = MakeTaps(sh, dh);
    std::vector<std::uint16_t> mid;
    std::vector<std::int64_t> acc(rowValues);
    for (const auto& range : ranges) {
        const int firstRow = std::clamp(range.first, 0, dh);
        const int endRow = std::clamp(range.second, firstRow, dh);
        if (firstRow == endRow)
            continue;
        // Horizontal pass into 8.8 fixed point, one row per source row the
        // output rows take.
        const int sourceFirst = vy.First[static_cast<std::size_t>(firstRow)];
        int sourceEnd = sourceFirst;
        for (int y = firstRow; y < endRow; ++y)
            sourceEnd = std::max(sourceEnd, vy.First[static_cast<std::size_t>(y)] +
                                                vy.Count[static_cast<std::size_t>(y)]);
        mid.resize(rowValues * static_cast<std::size_t>(sourceEnd - sourceFirst));
        for (int y = sourceFirst; y < sourceEnd; ++y) {
            const std::uint8_t* s = src->ScanLine(y);
            std::uint16_t* m = mid.data() + rowValues * static_cast<std::size_t>(y - sourceFirst);
            for (int x = 0; x < dw; ++x) {
                const auto ux = static_cast<std::size_t>(x);
                const int* w = hx.Weights.data() + hx.Offset[ux];
                const std::uint8_t* p = s + static_cast<std::size_t>(hx.First[ux]) * 3;
                int b = 0, g = 0, r = 0;
                for (int k = 0; k < hx.Count[ux]; ++k, p += 3) {
                    b += w[k] * p[0];
                    g += w[k] * p[1];
                    r += w[k] * p[2];
                }
                constexpr int shift = kWeightBits - 8;
                constexpr int half = 1 << (shift - 1);
                m[ux * 3] = static_cast<std::uint16_t>((b + half) >> shift);
                m[ux * 3 + 1] = static_cast<std::uint16_t>((g + half) >> shift);
                m[ux * 3 + 2] = static_cast<std::uint16_t>((r + half) >> shift);
            }
        }
        // Vertical pass back to 8 bits.
        for (int y = firstRow; y < endRow; ++y) {
            const auto uy = static_cast<std::size_t>(y);
            std::fill(acc.begin(), acc.end(), 0);
            const int* w = vy.Weights.data() + vy.Offset[uy];
            for (int k = 0; k < vy.Count[uy]; ++k) {
                const std::uint16_t* m =
                    mid.data() +
                    rowValues * static_cast<std::size_t>(vy.First[uy] + k - sourceFirst);
                for (std::size_t i = 0; i < rowValues; ++i)
                    acc[i] += static_cast<std::int64_t>(w[k]) * m[i];
            }
            std::uint8_t* d = dst.ScanLine(y);
            constexpr std::int64_t half = std::int64_t{1} << (kWeightBits + 8 - 1);
            for (std::size_t i = 0; i < rowValues; ++i)
                d[i] = static_cast<std::uint8_t>(
                    std::min<std::int64_t>(255, (acc[i] + half) >> (kWeightBits + 8)));
        }
    }
}

} // namespace

void StretchBitmap(const TBitmap& src, TBitmap& dst) {
    StretchRanges(src, dst, {{0, dst.Height()}});
}

void StretchBitmapRows(const TBitmap& src, TBitmap& dst, const std::vector<TRowRun>& runs) {
    std::vector<std::pair<int, int>> ranges;
    for (const TRowRun& run : runs)
        ranges.emplace_back(run.First, run.First + std::max(run.Rows, 0));
    StretchRanges(src, dst, ranges);
}

} // namespace framolo
