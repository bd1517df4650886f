#include "color/dither_engine.h"

#include "color/exact_color_lookup.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <typeinfo>
#include <utility>

namespace framolo {

namespace {

// Calls a lookup through its virtual MapColor; used when the lookup is not
// one of the known final classes, and by the per-pixel entry points.
struct TVirtualLookup {
    TColorLookup& lookup;
    TChosenColor Map(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
        TChosenColor c{};
        c.Index = lookup.MapColor(red, green, blue, c.Red, c.Green, c.Blue);
        return c;
    }
};

// Runs f with the lookup as its concrete class, so that row loops inline the
// mapping. The known lookups are final, so the inlined Map is the one the
// virtual call would reach.
template <class F> void WithLookup(TColorLookup& lookup, F&& f) {
    if (auto* fast = dynamic_cast<TFastColorLookup*>(&lookup)) {
        TFastColorLookup::TView view(*fast);
        f(view);
    } else if (auto* exact = dynamic_cast<TExactColorLookup*>(&lookup))
        f(*exact);
    else if (auto* keeping = dynamic_cast<TKeepingColorLookup*>(&lookup))
        f(*keeping);
    else if (auto* netscape = dynamic_cast<TNetscapeColorLookup*>(&lookup))
        f(*netscape);
    else if (auto* gray = dynamic_cast<TGrayScaleLookup*>(&lookup))
        f(*gray);
    else if (auto* mono = dynamic_cast<TMonochromeLookup*>(&lookup))
        f(*mono);
    else {
        TVirtualLookup any{lookup};
        f(any);
    }
}

inline int Clamp255(int value) {
    return value < 0 ? 0 : (value > 255 ? 255 : value);
}

} // namespace

// ---- TDitherEngine

TDitherEngine::TDitherEngine(int width, TColorLookup& lookup)
    : lookup_(lookup), width_(std::max(width, 0)) {}

std::uint8_t TDitherEngine::DitherPixel(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                                        std::uint8_t& chosenRed, std::uint8_t& chosenGreen,
                                        std::uint8_t& chosenBlue) {
    const std::uint8_t index =
        lookup_.MapColor(red, green, blue, chosenRed, chosenGreen, chosenBlue);
    AdvanceColumn();
    return index;
}

void TDitherEngine::NextRow() {
    direction_ = -direction_;
    column_ = direction_ > 0 ? 0 : width_ - 1;
}

int TDitherEngine::PixelsLeft() const {
    if (column_ < 0 || column_ >= width_)
        return 0;
    return direction_ > 0 ? width_ - column_ : column_ + 1;
}

void TDitherEngine::RequireColumnInRow() const {
    if (column_ < 0 || column_ >= width_)
        throw std::out_of_range("Dither column outside the row");
}

void TDitherEngine::DitherRow(const std::uint8_t* bgr, std::uint8_t* indices) {
    if (typeid(*this) != typeid(TDitherEngine)) {
        // A subclass we do not know: honour its DitherPixel.
        for (int n = PixelsLeft(); n > 0; --n) {
            const int x = column_;
            const std::uint8_t* px = bgr + 3 * static_cast<std::ptrdiff_t>(x);
            std::uint8_t cr, cg, cb;
            indices[x] = DitherPixel(px[2], px[1], px[0], cr, cg, cb);
        }
        return;
    }
    const int count = PixelsLeft();
    WithLookup(lookup_, [&](auto& lookup) {
        int col = column_;
        for (int i = 0; i < count; ++i) {
            const std::uint8_t* px = bgr + 3 * static_cast<std::ptrdiff_t>(col);
            indices[col] = lookup.Map(px[2], px[1], px[0]).Index;
            col += direction_;
        }
        column_ = col;
    });
}

// ---- TErrorRows

TErrorRows::TErrorRows(int rows, int width, int margin) : margin_(margin) {
    // Entry offsets are ints; a row they cannot address is refused here.
    if (width > std::numeric_limits<int>::max() / 3 - 2 * margin)
        throw std::length_error("Dither row too wide");
    rowLength_ =
        3 * (static_cast<std::size_t>(std::max(width, 0)) + 2 * static_cast<std::size_t>(margin));
    storage_.assign(rowLength_ * static_cast<std::size_t>(rows), 0);
    for (int r = 0; r < rows; ++r)
        rows_.push_back(storage_.data() + rowLength_ * static_cast<std::size_t>(r));
}

void TErrorRows::Rotate() {
    std::fill_n(rows_.front(), rowLength_, 0);
    std::rotate(rows_.begin(), rows_.begin() + 1, rows_.end());
}

// ---- The diffusion engines

namespace {

// Calls f(std::integral_constant<int, i>) for i = 0 .. N - 1, so that the
// kernel loops unroll and every index into the state is a constant.
template <int N, class F> inline void Unroll(F&& f) {
    [&]<int... I>(std::integer_sequence<int, I...>) {
        (f(std::integral_constant<int, I>{}), ...);
    }
    (std::make_integer_sequence<int, N>{});
}

template <class Kernel> constexpr bool IsValidKernel() {
    constexpr int margin = TDiffusionDitherer<Kernel>::kMargin;
    int sum = 0;
    for (const auto& row : Kernel::kWeights)
        for (const int weight : row)
            sum += weight;
    for (int x = 0; x <= margin; ++x)
        if (Kernel::kWeights[0][x] != 0)
            return false;
    const bool inPlaceFits = TDiffusionDitherer<Kernel>::kRows == 2 && margin == 1;
    return sum == Kernel::kDivisor && (!Kernel::kOptions.InPlaceRow || inPlaceFits);
}

// What a pixel adds from its waiting sum, and what a weight adds to a sum.
template <class Kernel> struct TKernelMath {
    static constexpr int kDivisor = Kernel::kDivisor;
    static constexpr bool kTruncate = Kernel::kOptions.TruncateShares;

    // Division truncates toward zero, here and in Share.
    static int Adjust(int in, std::int32_t sum) {
        if constexpr (kTruncate)
            return Clamp255(in + sum);
        else
            return Clamp255(in + (sum + kDivisor / 2) / kDivisor);
    }
    static std::int32_t Share(int weight, int error) {
        if constexpr (kTruncate)
            return weight * error / kDivisor;
        else
            return weight * error;
    }
};

} // namespace

template <class Kernel>
TDiffusionDitherer<Kernel>::TDiffusionDitherer(int width, TColorLookup& lookup)
    : TDitherEngine(width, lookup), rows_(kOptions.InPlaceRow ? 1 : kRows, width, kMargin) {
    static_assert(IsValidKernel<Kernel>());
    position_ = rows_.Offset(0);
}

// The pixel step and row loop of every kernel. source(x) gives pixel x as
// red, green, blue; sink(x, chosen) takes its answer.
template <class Kernel>
template <class AnyLookup, class Source, class Sink>
void TDiffusionDitherer<Kernel>::Diffuse(AnyLookup& lookup, int count, Source source, Sink sink) {
    using Math = TKernelMath<Kernel>;
    constexpr int m = kMargin;
    // A local copy, so the compiler can keep the sums in registers.
    TState s = state_;
    std::int32_t* const row0 = rows_.Row(0);
    std::array<std::int32_t*, kRows> rows{};
    if constexpr (!kOptions.InPlaceRow)
        for (int r = 1; r < kRows; ++r)
            rows[static_cast<std::size_t>(r)] = rows_.Row(r);
    const int direction = direction_;
    const int step = 3 * direction;
    int pos = position_;
    int col = column_;
    for (int i = 0; i < count; ++i) {
        const std::array<std::uint8_t, 3> in = source(col);
        std::array<int, 3> adjusted;
        Unroll<3>(
            [&](auto c) { adjusted[c] = Math::Adjust(in[c], row0[pos + c] + s.Ahead[c][0]); });
        const TChosenColor chosen = lookup.Map(static_cast<std::uint8_t>(adjusted[0]),
                                               static_cast<std::uint8_t>(adjusted[1]),
                                               static_cast<std::uint8_t>(adjusted[2]));
        sink(col, chosen);
        const std::array<int, 3> error = {adjusted[0] - chosen.Red, adjusted[1] - chosen.Green,
                                          adjusted[2] - chosen.Blue};
        Unroll<3>([&](auto c) {
            const int e = error[c];
            auto& ahead = s.Ahead[c];
            Unroll<m>([&](auto k) {
                constexpr int weight = Kernel::kWeights[0][m + 1 + k];
                if constexpr (k + 1 < m)
                    ahead[k] = ahead[k + 1] + Math::Share(weight, e);
                else
                    ahead[k] = Math::Share(weight, e);
            });
            if constexpr (kOptions.InPlaceRow) {
                // The column m behind is complete and has been read for this
                // row; it now gets its sum for the next one.
                auto& below = s.Below[c];
                row0[pos - m * step + c] = below[0] + Math::Share(Kernel::kWeights[1][0], e);
                Unroll<2 * m>([&](auto j) {
                    constexpr int weight = Kernel::kWeights[1][j + 1];
                    if constexpr (j + 1 < 2 * m)
                        below[j] = below[j + 1] + Math::Share(weight, e);
                    else
                        below[j] = Math::Share(weight, e);
                });
            } else {
                Unroll<kRows - 1>([&](auto r) {
                    std::int32_t* const row = rows[r + 1] + pos + c;
                    Unroll<2 * m + 1>([&](auto x) {
                        constexpr int weight = Kernel::kWeights[r + 1][x];
                        if constexpr (weight != 0)
                            row[(x - m) * step] += Math::Share(weight, e);
                    });
                });
            }
        });
        pos += step;
        col += direction;
    }
    state_ = s;
    position_ = pos;
    column_ = col;
}

template <class Kernel>
std::uint8_t TDiffusionDitherer<Kernel>::DitherPixel(std::uint8_t red, std::uint8_t green,
                                                     std::uint8_t blue, std::uint8_t& chosenRed,
                                                     std::uint8_t& chosenGreen,
                                                     std::uint8_t& chosenBlue) {
    RequireColumnInRow();
    TVirtualLookup lookup{lookup_};
    TChosenColor chosen{};
    Diffuse(
        lookup, 1,
        [&](int) {
            return std::array<std::uint8_t, 3>{red, green, blue};
        },
        [&](int, TChosenColor c) { chosen = c; });
    chosenRed = chosen.Red;
    chosenGreen = chosen.Green;
    chosenBlue = chosen.Blue;
    return chosen.Index;
}

template <class Kernel>
void TDiffusionDitherer<Kernel>::DitherRow(const std::uint8_t* bgr, std::uint8_t* indices) {
    const int count = PixelsLeft();
    WithLookup(lookup_, [&](auto& lookup) {
        Diffuse(
            lookup, count,
            [bgr](int x) {
                const std::uint8_t* px = bgr + 3 * static_cast<std::ptrdiff_t>(x);
                return std::array<std::uint8_t, 3>{px[2], px[1], px[0]};
            },
            [indices](int x, TChosenColor c) { indices[x] = c.Index; });
    });
}

template <class Kernel> void TDiffusionDitherer<Kernel>::NextRow() {
    if constexpr (kOptions.InPlaceRow) {
        // The sum for the last column of the row is still pending. It goes to
        // the row's true last column even when pixels were skipped.
        const int last = direction_ > 0 ? width_ - 1 : 0;
        std::int32_t* entry = rows_.Row(0) + rows_.Offset(last);
        for (std::size_t c = 0; c < 3; ++c)
            entry[c] = state_.Below[c][0];
    } else {
        rows_.Rotate();
    }
    state_ = TState{};
    if constexpr (kOptions.Serpentine)
        TDitherEngine::NextRow();
    else
        column_ = 0;
    position_ = rows_.Offset(column_);
}

template class TDiffusionDitherer<TFloydSteinbergKernel>;
template class TDiffusionDitherer<TStuckiKernel>;
template class TDiffusionDitherer<TSierraKernel>;
template class TDiffusionDitherer<TJaJuNiKernel>;
template class TDiffusionDitherer<TSteveArcheKernel>;
template class TDiffusionDitherer<TBurkesKernel>;
template class TDiffusionDitherer<TTruncatingFloydSteinbergKernel>;

// ---- Factories

std::unique_ptr<TDitherEngine> CreateDitherEngine(TDitherMode mode, int width,
                                                  TColorLookup& lookup) {
    switch (mode) {
    case TDitherMode::Nearest:
        return std::make_unique<TDitherEngine>(width, lookup);
    case TDitherMode::FloydSteinberg:
        return std::make_unique<TFloydSteinbergDitherer>(width, lookup);
    case TDitherMode::Stucki:
        return std::make_unique<TStuckiDitherer>(width, lookup);
    case TDitherMode::Sierra:
        return std::make_unique<TSierraDitherer>(width, lookup);
    case TDitherMode::JaJuNI:
        return std::make_unique<TJaJuNiDitherer>(width, lookup);
    case TDitherMode::SteveArche:
        return std::make_unique<TSteveArcheDitherer>(width, lookup);
    case TDitherMode::Burkes:
        return std::make_unique<TBurkesDitherer>(width, lookup);
    }
    return nullptr;
}

std::unique_ptr<TDitherEngine> CreateBestDitherEngine(TDitherMode mode, int width,
                                                      TColorLookup& lookup) {
    if (mode == TDitherMode::FloydSteinberg)
        return std::make_unique<TTruncatingFloydSteinbergDitherer>(width, lookup);
    return CreateDitherEngine(mode, width, lookup);
}
} // namespace framolo
