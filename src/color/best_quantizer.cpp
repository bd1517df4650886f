#include "color/best_quantizer.h"

#include "color/exact_color_lookup.h"
#include "color/parallel_parts.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <tuple>

namespace framolo {

namespace {

// ---- Exact colours of a small image ----

// Collects the distinct colours of an image while there are at most `limit`
// of them; false as soon as there are more.
class TDistinctColors {
public:
    explicit TDistinctColors(int limit) : limit_(limit), slots_(4096, kEmpty) {}

    bool Add(std::uint32_t rgb) {
        std::size_t at = (rgb * 2654435761u) >> 20;
        while (true) {
            std::uint32_t& slot = slots_[at];
            if (slot == rgb)
                return true;
            if (slot == kEmpty) {
                if (static_cast<int>(found_.size()) == limit_)
                    return false;
                slot = rgb;
                found_.push_back(rgb);
                return true;
            }
            at = (at + 1) & 4095;
        }
    }
    const std::vector<std::uint32_t>& Found() const { return found_; }

private:
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu; // no 24-bit colour
    int limit_;
    std::vector<std::uint32_t> slots_;
    std::vector<std::uint32_t> found_;
};

// ---- Wu's variance split over a 32 x 32 x 32 histogram ----

constexpr int kSide = 33; // 32 cells per channel and a zero plane in front

struct TMoments {
    std::vector<std::int64_t> Weight, Red, Green, Blue;
    std::vector<double> Square;
    TMoments()
        : Weight(kSide * kSide * kSide), Red(Weight.size()), Green(Weight.size()),
          Blue(Weight.size()), Square(Weight.size()) {}
};

inline std::size_t At(int r, int g, int b) {
    return static_cast<std::size_t>((r * kSide + g) * kSide + b);
}

// A box of histogram cells: lower bounds exclusive, upper bounds inclusive.
struct TBox {
    std::array<int, 3> Low{};
    std::array<int, 3> High{};
};

template <class T> T Volume(const TBox& box, const std::vector<T>& m) {
    const int r0 = box.Low[0], r1 = box.High[0];
    const int g0 = box.Low[1], g1 = box.High[1];
    const int b0 = box.Low[2], b1 = box.High[2];
    return m[At(r1, g1, b1)] - m[At(r1, g1, b0)] - m[At(r1, g0, b1)] + m[At(r1, g0, b0)] -
           m[At(r0, g1, b1)] + m[At(r0, g1, b0)] + m[At(r0, g0, b1)] - m[At(r0, g0, b0)];
}

struct TBoxSums {
    double Weight = 0, Red = 0, Green = 0, Blue = 0;
};

TBoxSums Sums(const TBox& box, const TMoments& m) {
    return {static_cast<double>(Volume(box, m.Weight)), static_cast<double>(Volume(box, m.Red)),
            static_cast<double>(Volume(box, m.Green)), static_cast<double>(Volume(box, m.Blue))};
}

// Sum of squared distances of the box's pixels from their mean.
double Variance(const TBox& box, const TMoments& m) {
    const TBoxSums s = Sums(box, m);
    if (s.Weight <= 0)
        return 0;
    return Volume(box, m.Square) - (s.Red * s.Red + s.Green * s.Green + s.Blue * s.Blue) / s.Weight;
}

// Splits the box where the two halves' error falls most; false when no cut
// leaves pixels on both sides.
bool Cut(TBox& box, TBox& other, const TMoments& m) {
    const TBoxSums whole = Sums(box, m);
    double best = -1;
    int bestAxis = -1;
    int bestAt = 0;
    for (int axis = 0; axis < 3; ++axis) {
        for (int at = box.Low[axis] + 1; at < box.High[axis]; ++at) {
            TBox lower = box;
            lower.High[axis] = at;
            const TBoxSums a = Sums(lower, m);
            const double restWeight = whole.Weight - a.Weight;
            if (a.Weight <= 0 || restWeight <= 0)
                continue;
            const double rr = whole.Red - a.Red, rg = whole.Green - a.Green,
                         rb = whole.Blue - a.Blue;
            const double gain = (a.Red * a.Red + a.Green * a.Green + a.Blue * a.Blue) / a.Weight +
                                (rr * rr + rg * rg + rb * rb) / restWeight;
            if (gain > best) {
                best = gain;
                bestAxis = axis;
                bestAt = at;
            }
        }
    }
    if (bestAxis < 0)
        return false;
    other = box;
    box.High[static_cast<std::size_t>(bestAxis)] = bestAt;
    other.Low[static_cast<std::size_t>(bestAxis)] = bestAt;
    return true;
}

struct TCentroid {
    double Red = 0, Green = 0, Blue = 0;
};

TPaletteEntry Rounded(const TCentroid& c) {
    const auto channel = [](double v) {
        return static_cast<std::uint8_t>(std::clamp(static_cast<int>(v + 0.5), 0, 255));
    };
    return TPaletteEntry{channel(c.Red), channel(c.Green), channel(c.Blue), 0};
}

int Luminance(const TPaletteEntry& e) {
    return 299 * e.peRed + 587 * e.peGreen + 114 * e.peBlue;
}

std::vector<TPaletteEntry> SortedUnique(std::vector<TPaletteEntry> entries) {
    const auto key = [](const TPaletteEntry& e) {
        return std::make_tuple(Luminance(e), e.peRed, e.peGreen, e.peBlue);
    };
    std::sort(entries.begin(), entries.end(),
              [&](const TPaletteEntry& a, const TPaletteEntry& b) { return key(a) < key(b); });
    entries.erase(std::unique(entries.begin(), entries.end()), entries.end());
    return entries;
}

} // namespace

TBestQuantizer::TBestQuantizer(int colors) : colors_(std::clamp(colors, 1, 256)) {}

TBestQuantizer::TBestQuantizer(int colors, int rounds, std::int64_t samples, int threads)
    : colors_(std::clamp(colors, 1, 256)), rounds_(std::max(rounds, 0)),
      samples_(std::max<std::int64_t>(samples, 1)), threads_(std::max(threads, 1)) {}

std::vector<TPaletteEntry> TBestQuantizer::Quantize(TDIB& reader) const {
    TBitmap& bitmap = reader.Bitmap();
    const int width = bitmap.Width();
    const int height = bitmap.Height();
    if (width <= 0 || height <= 0)
        return {};
    const std::ptrdiff_t stride = height > 1 ? reader.RowPointer(1) - reader.RowPointer(0) : 0;
    return Quantize(reader.RowPointer(0), width, height, stride);
}

std::vector<TPaletteEntry> TBestQuantizer::Quantize(const std::uint8_t* bgr, int width, int height,
                                                    std::ptrdiff_t rowStride) const {
    if (width <= 0 || height <= 0 || bgr == nullptr)
        return {};
    const auto row = [&](int y) { return bgr + rowStride * y; };

    // Histogram, and the exact colours while there are few enough.
    TMoments m;
    TDistinctColors distinct(colors_);
    bool few = true;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* p = row(y);
        for (int x = 0; x < width; ++x, p += 3) {
            const int b = p[0], g = p[1], r = p[2];
            if (few)
                few = distinct.Add(static_cast<std::uint32_t>(r << 16 | g << 8 | b));
            const std::size_t cell = At((r >> 3) + 1, (g >> 3) + 1, (b >> 3) + 1);
            ++m.Weight[cell];
            m.Red[cell] += r;
            m.Green[cell] += g;
            m.Blue[cell] += b;
            m.Square[cell] += static_cast<double>(r * r + g * g + b * b);
        }
    }
    if (few) {
        std::vector<TPaletteEntry> exact;
        for (const std::uint32_t rgb : distinct.Found())
            exact.push_back(TPaletteEntry{static_cast<std::uint8_t>(rgb >> 16),
                                          static_cast<std::uint8_t>(rgb >> 8),
                                          static_cast<std::uint8_t>(rgb), 0});
        return SortedUnique(std::move(exact));
    }

    // Running sums turn every box's moments into eight table reads.
    for (int r = 1; r < kSide; ++r)
        for (int g = 1; g < kSide; ++g)
            for (int b = 1; b < kSide; ++b) {
                const std::size_t i = At(r, g, b);
                const auto add = [&](auto& v) {
                    v[i] += v[At(r - 1, g, b)] + v[At(r, g - 1, b)] + v[At(r, g, b - 1)] -
                            v[At(r - 1, g - 1, b)] - v[At(r - 1, g, b - 1)] -
                            v[At(r, g - 1, b - 1)] + v[At(r - 1, g - 1, b - 1)];
                };
                add(m.Weight);
                add(m.Red);
                add(m.Green);
                add(m.Blue);
                add(m.Square);
            }

    std::vector<TBox> boxes(1);
    boxes[0].High = {kSide - 1, kSide - 1, kSide - 1};
    std::vector<double> variance(1, Variance(boxes[0], m));
    while (static_cast<int>(boxes.size()) < colors_) {
        // The box with the largest error is split next; ties go to the older box.
        std::size_t worst = 0;
        for (std::size_t i = 1; i < boxes.size(); ++i)
            if (variance[i] > variance[worst])
                worst = i;
        if (variance[worst] <= 0)
            break;
        TBox other;
        if (!Cut(boxes[worst], other, m)) {
            variance[worst] = 0;
            continue;
        }
        boxes.push_back(other);
        variance[worst] = Variance(boxes[worst], m);
        variance.push_back(Variance(other, m));
    }
    std::vector<TCentroid> centroids;
    for (const TBox& box : boxes) {
        const TBoxSums s = Sums(box, m);
        if (s.Weight > 0)
            centroids.push_back({s.Red / s.Weight, s.Green / s.Weight, s.Blue / s.Weight});
    }

    // k-means over an evenly spread sample. A large sample is cut into one
    // run of samples a thread; the runs' sums are added in order, and being
    // sums of whole colour levels they are exact, so the palette does not
    // depend on the number of threads.
    const std::int64_t step = SampleStep(width, height, samples_);
    const std::int64_t count = (static_cast<std::int64_t>(width) * height + step - 1) / step;
    const int runs = count >= kSamplesPerThread ? threads_ : 1;
    struct TRun {
        std::vector<TCentroid> Sums;
        std::vector<std::int64_t> Counts;
    };
    for (int round = 0; round < rounds_; ++round) {
        std::vector<TPaletteEntry> entries;
        for (const TCentroid& c : centroids)
            entries.push_back(Rounded(c));
        std::vector<TRun> parts(static_cast<std::size_t>(runs));
        RunInParts(runs, [&, step, width](int part) {
            TRun& run = parts[static_cast<std::size_t>(part)];
            run.Sums.assign(centroids.size(), TCentroid{});
            run.Counts.assign(centroids.size(), 0);
            // Locals, which the stores below cannot alias.
            TCentroid* sum = run.Sums.data();
            std::int64_t* counted = run.Counts.data();
            const std::int64_t last = count * (part + 1) / runs;
            TExactColorLookup lookup(entries);
            for (std::int64_t j = count * part / runs; j < last; ++j) {
                const std::int64_t i = j * step;
                const std::uint8_t* p = bgr + rowStride * (i / width) + 3 * (i % width);
                const auto k = static_cast<std::size_t>(lookup.Nearest(p[2], p[1], p[0]));
                sum[k].Red += p[2];
                sum[k].Green += p[1];
                sum[k].Blue += p[0];
                ++counted[k];
            }
        });
        std::vector<TCentroid> sums(centroids.size());
        std::vector<std::int64_t> counts(centroids.size(), 0);
        for (const TRun& run : parts)
            for (std::size_t k = 0; k < centroids.size(); ++k) {
                sums[k].Red += run.Sums[k].Red;
                sums[k].Green += run.Sums[k].Green;
                sums[k].Blue += run.Sums[k].Blue;
                counts[k] += run.Counts[k];
            }
        bool moved = false;
        for (std::size_t k = 0; k < centroids.size(); ++k) {
            if (counts[k] == 0)
                continue; // keeps its box's mean: that box had pixels
            const auto n = static_cast<double>(counts[k]);
            const TCentroid next{sums[k].Red / n, sums[k].Green / n, sums[k].Blue / n};
            moved = moved || !(Rounded(next) == Rounded(centroids[k]));
            centroids[k] = next;
        }
        if (!moved)
            break;
    }
    std::vector<TPaletteEntry> entries;
    for (const TCentroid& c : centroids)
        entries.push_back(Rounded(c));
    return SortedUnique(std::move(entries));
}

HPALETTE BuildBestPalette(TDIB& reader, int colors) {
    return CreatePalette(TBestQuantizer(colors).Quantize(reader));
}

} // namespace framolo
