#include "color/dither_engine.h"

#include "color/exact_color_lookup.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <typeinfo>

namespace framolo {

namespace {

// Calls a lookup through its virtual MapColor; used when the lookup is not
// one of the known final classes, and by the per-pixel entry points.
struct TVirtualLookup {
    TColorLookup& lookup;
    std::uint8_t Map(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                     std::uint8_t& chosenRed, std::uint8_t& chosenGreen, std::uint8_t& chosenBlue) {
        return lookup.MapColor(red, green, blue, chosenRed, chosenGreen, chosenBlue);
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

// in + (E + D div 2) div D with division truncating toward zero, clamped.
inline int Adjust(int in, std::int32_t errorSum, int divisor) {
    return Clamp255(in + (errorSum + divisor / 2) / divisor);
}

// ---- Kernels. Every kernel gives the next two pixels of the row kNext and
// kAfterNext times the error; SpreadBelow adds weight x error at the kernel
// positions of the later rows. p[r] addresses the current column's entry of
// one channel in row r (p[0] in SpreadBelow is row 1) and s is the distance
// to the next pixel in scan order. The weights add up to the divisor.

template <class Kernel> struct TKernelSpread {
    static void Spread(std::int32_t* const* p, int s, int e) {
        p[0][s] += Kernel::kNext * e;
        p[0][2 * s] += Kernel::kAfterNext * e;
        Kernel::SpreadBelow(p + 1, s, e);
    }
};

struct TStuckiKernel : TKernelSpread<TStuckiKernel> {
    static constexpr int kRows = 3;
    static constexpr int kNext = 8;
    static constexpr int kAfterNext = 4;
    static constexpr int Divisor() { return 42; }
    static void SpreadBelow(std::int32_t* const* p, int s, int e) {
        p[0][-2 * s] += 2 * e;
        p[0][-s] += 4 * e;
        p[0][0] += 8 * e;
        p[0][s] += 4 * e;
        p[0][2 * s] += 2 * e;
        p[1][-2 * s] += e;
        p[1][-s] += 2 * e;
        p[1][0] += 4 * e;
        p[1][s] += 2 * e;
        p[1][2 * s] += e;
    }
};

struct TSierraKernel : TKernelSpread<TSierraKernel> {
    static constexpr int kRows = 3;
    static constexpr int kNext = 5;
    static constexpr int kAfterNext = 3;
    static constexpr int Divisor() { return 32; }
    static void SpreadBelow(std::int32_t* const* p, int s, int e) {
        p[0][-2 * s] += 2 * e;
        p[0][-s] += 4 * e;
        p[0][0] += 5 * e;
        p[0][s] += 4 * e;
        p[0][2 * s] += 2 * e;
        p[1][-s] += 2 * e;
        p[1][0] += 3 * e;
        p[1][s] += 2 * e;
    }
};

struct TJaJuNiKernel : TKernelSpread<TJaJuNiKernel> {
    static constexpr int kRows = 3;
    static constexpr int kNext = 7;
    static constexpr int kAfterNext = 5;
    static constexpr int Divisor() { return 48; }
    static void SpreadBelow(std::int32_t* const* p, int s, int e) {
        p[0][-2 * s] += 3 * e;
        p[0][-s] += 5 * e;
        p[0][0] += 7 * e;
        p[0][s] += 5 * e;
        p[0][2 * s] += 3 * e;
        p[1][-2 * s] += e;
        p[1][-s] += 3 * e;
        p[1][0] += 5 * e;
        p[1][s] += 3 * e;
        p[1][2 * s] += e;
    }
};

struct TBurkesKernel : TKernelSpread<TBurkesKernel> {
    static constexpr int kRows = 2;
    static constexpr int kNext = 8;
    static constexpr int kAfterNext = 4;
    static constexpr int Divisor() { return 32; }
    static void SpreadBelow(std::int32_t* const* p, int s, int e) {
        p[0][-2 * s] += 2 * e;
        p[0][-s] += 4 * e;
        p[0][0] += 8 * e;
        p[0][s] += 4 * e;
        p[0][2 * s] += 2 * e;
    }
};

struct TSteveArcheKernel : TKernelSpread<TSteveArcheKernel> {
    static constexpr int kRows = 4;
    static constexpr int kNext = 0;
    static constexpr int kAfterNext = 32;
    static constexpr int Divisor() { return 200; }
    static void SpreadBelow(std::int32_t* const* p, int s, int e) {
        p[0][-3 * s] += 12 * e;
        p[0][-s] += 26 * e;
        p[0][s] += 30 * e;
        p[0][3 * s] += 16 * e;
        p[1][-2 * s] += 12 * e;
        p[1][0] += 26 * e;
        p[1][2 * s] += 12 * e;
        p[2][-3 * s] += 5 * e;
        p[2][-s] += 12 * e;
        p[2][s] += 12 * e;
        p[2][3 * s] += 5 * e;
    }
};

// A 5x3 kernel reached through the engine's virtual SpreadError.
struct TVirtual5by3Kernel {
    static constexpr int kRows = 3;
    T5by3Ditherer& engine;
    int Divisor() const { return engine.Divisor(); }
    void Spread(std::int32_t* const* p, int s, int e) const {
        engine.SpreadError(p[0], p[1], p[2], s, e);
    }
};

// The per-pixel step of every buffered engine: add the waiting error sums,
// map, and spread the new error. rows[r] addresses the current column's red
// entry of row r; step is 3 x direction.
template <class Kernel, class Lookup>
inline std::uint8_t DiffusePixel(const Kernel& kernel, Lookup& lookup, std::int32_t* const* rows,
                                 int step, std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                                 std::uint8_t& chosenRed, std::uint8_t& chosenGreen,
                                 std::uint8_t& chosenBlue) {
    const int divisor = kernel.Divisor();
    const std::int32_t* waiting = rows[0];
    const int adjusted[3] = {Adjust(red, waiting[0], divisor), Adjust(green, waiting[1], divisor),
                             Adjust(blue, waiting[2], divisor)};
    const std::uint8_t index =
        lookup.Map(static_cast<std::uint8_t>(adjusted[0]), static_cast<std::uint8_t>(adjusted[1]),
                   static_cast<std::uint8_t>(adjusted[2]), chosenRed, chosenGreen, chosenBlue);
    const auto spread = [&](int channel, int error) {
        std::int32_t* p[Kernel::kRows];
        for (int r = 0; r < Kernel::kRows; ++r)
            p[r] = rows[r] + channel;
        kernel.Spread(p, step, error);
    };
    spread(0, adjusted[0] - chosenRed);
    spread(1, adjusted[1] - chosenGreen);
    spread(2, adjusted[2] - chosenBlue);
    return index;
}

// Feeds the rest of a row to a buffered engine. The shares for the next two
// pixels of the row stay in registers (next and afterNext) instead of going
// through row 0 of the buffer, which keeps memory off the chain from one
// pixel's error to the next pixel's colour. They are added to the buffer when
// the loop ends, which leaves it exactly as DitherPixel would have.
template <class Kernel, class Lookup>
inline void DiffuseRow(Lookup& lookup, TErrorRows& errorRows, int& position, int& column,
                       int direction, int count, const std::uint8_t* bgr, std::uint8_t* indices) {
    if (count <= 0)
        return;
    constexpr int kBelow = Kernel::kRows - 1;
    std::int32_t* const row0 = errorRows.Row(0);
    std::int32_t* below[kBelow];
    for (int r = 0; r < kBelow; ++r)
        below[r] = errorRows.Row(r + 1);
    const int step = 3 * direction;
    constexpr int divisor = Kernel::Divisor();
    struct TPending {
        std::int32_t Next = 0;
        std::int32_t AfterNext = 0;
    } red, green, blue;
    int pos = position;
    int col = column;
    const auto finish = [&](TPending& pending, int channel, int error) {
        std::int32_t* p[kBelow];
        for (int r = 0; r < kBelow; ++r)
            p[r] = below[r] + pos + channel;
        Kernel::SpreadBelow(p, step, error);
        pending.Next = pending.AfterNext + Kernel::kNext * error;
        pending.AfterNext = Kernel::kAfterNext * error;
    };
    for (int i = 0; i < count; ++i) {
        const std::uint8_t* px = bgr + 3 * static_cast<std::ptrdiff_t>(col);
        const std::int32_t* waiting = row0 + pos;
        const int r = Adjust(px[2], waiting[0] + red.Next, divisor);
        const int g = Adjust(px[1], waiting[1] + green.Next, divisor);
        const int b = Adjust(px[0], waiting[2] + blue.Next, divisor);
        std::uint8_t cr, cg, cb;
        indices[col] = lookup.Map(static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                                  static_cast<std::uint8_t>(b), cr, cg, cb);
        finish(red, 0, r - cr);
        finish(green, 1, g - cg);
        finish(blue, 2, b - cb);
        pos += step;
        col += direction;
    }
    // pos is now the first column past the processed pixels; it and the one
    // after lie in the row or its margin.
    row0[pos] += red.Next;
    row0[pos + 1] += green.Next;
    row0[pos + 2] += blue.Next;
    row0[pos + step] += red.AfterNext;
    row0[pos + step + 1] += green.AfterNext;
    row0[pos + step + 2] += blue.AfterNext;
    position = pos;
    column = col;
}

// Floyd-Steinberg's step; see TFloydSteinbergDitherer. The channels are
// spelled out one by one so that their sums stay in registers.
inline int FloydSteinbergAdjust(int in, const TFloydSteinbergDitherer::TChannel& ch,
                                std::int32_t waiting) {
    return Adjust(in, ch.Carry + waiting, 16);
}

inline void FloydSteinbergSpread(TFloydSteinbergDitherer::TChannel& ch, int error,
                                 std::int32_t& previous) {
    // The previous column's entry has been read for this row; it now gets
    // its complete share for the next row.
    previous = ch.Pending1 + 3 * error;
    ch.Pending1 = ch.Pending2 + 5 * error;
    ch.Pending2 = error;
    ch.Carry = 7 * error;
}

template <class Lookup>
inline std::uint8_t
FloydSteinbergPixel(Lookup& lookup, TFloydSteinbergDitherer::TState& s, std::int32_t* buffer,
                    int step, std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                    std::uint8_t& chosenRed, std::uint8_t& chosenGreen, std::uint8_t& chosenBlue) {
    std::int32_t* entry = buffer + s.Position;
    const int r = FloydSteinbergAdjust(red, s.Red, entry[0]);
    const int g = FloydSteinbergAdjust(green, s.Green, entry[1]);
    const int b = FloydSteinbergAdjust(blue, s.Blue, entry[2]);
    const std::uint8_t index =
        lookup.Map(static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                   static_cast<std::uint8_t>(b), chosenRed, chosenGreen, chosenBlue);
    std::int32_t* previous = entry - step;
    FloydSteinbergSpread(s.Red, r - chosenRed, previous[0]);
    FloydSteinbergSpread(s.Green, g - chosenGreen, previous[1]);
    FloydSteinbergSpread(s.Blue, b - chosenBlue, previous[2]);
    s.Position += step;
    return index;
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
            std::uint8_t cr, cg, cb;
            indices[col] = lookup.Map(px[2], px[1], px[0], cr, cg, cb);
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

// ---- Floyd-Steinberg

TFloydSteinbergDitherer::TFloydSteinbergDitherer(int width, TColorLookup& lookup)
    : TDitherEngine(width, lookup), errors_(1, width, 1) {
    state_.Position = errors_.Offset(0);
}

std::uint8_t TFloydSteinbergDitherer::DitherPixel(std::uint8_t red, std::uint8_t green,
                                                  std::uint8_t blue, std::uint8_t& chosenRed,
                                                  std::uint8_t& chosenGreen,
                                                  std::uint8_t& chosenBlue) {
    RequireColumnInRow();
    TVirtualLookup lookup{lookup_};
    const std::uint8_t index =
        FloydSteinbergPixel(lookup, state_, errors_.Row(0), 3 * direction_, red, green, blue,
                            chosenRed, chosenGreen, chosenBlue);
    AdvanceColumn();
    return index;
}

void TFloydSteinbergDitherer::DitherRow(const std::uint8_t* bgr, std::uint8_t* indices) {
    const int count = PixelsLeft();
    WithLookup(lookup_, [&](auto& lookup) {
        // Work on a local copy so the compiler can keep the sums in registers.
        TState s = state_;
        std::int32_t* buffer = errors_.Row(0);
        const int direction = direction_;
        const int step = 3 * direction;
        int col = column_;
        for (int i = 0; i < count; ++i) {
            const std::uint8_t* px = bgr + 3 * static_cast<std::ptrdiff_t>(col);
            std::uint8_t cr, cg, cb;
            indices[col] =
                FloydSteinbergPixel(lookup, s, buffer, step, px[2], px[1], px[0], cr, cg, cb);
            col += direction;
        }
        state_ = s;
        column_ = col;
    });
}

void TFloydSteinbergDitherer::NextRow() {
    // The last column's next-row share is still pending.
    const int last = direction_ > 0 ? width_ - 1 : 0;
    std::int32_t* entry = errors_.Row(0) + errors_.Offset(last);
    entry[0] = state_.Red.Pending1;
    entry[1] = state_.Green.Pending1;
    entry[2] = state_.Blue.Pending1;
    state_ = TState{};
    TDitherEngine::NextRow();
    state_.Position = errors_.Offset(column_);
}

// ---- The 5x3 family

T5by3Ditherer::T5by3Ditherer(int width, TColorLookup& lookup, int divisor)
    : TDitherEngine(width, lookup), rows_(3, width, 2), divisor_(divisor) {
    position_ = rows_.Offset(0);
}

std::uint8_t T5by3Ditherer::DitherPixel(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                                        std::uint8_t& chosenRed, std::uint8_t& chosenGreen,
                                        std::uint8_t& chosenBlue) {
    RequireColumnInRow();
    TVirtualLookup lookup{lookup_};
    std::int32_t* rows[3] = {rows_.Row(0) + position_, rows_.Row(1) + position_,
                             rows_.Row(2) + position_};
    const std::uint8_t index = DiffusePixel(TVirtual5by3Kernel{*this}, lookup, rows, 3 * direction_,
                                            red, green, blue, chosenRed, chosenGreen, chosenBlue);
    position_ += 3 * direction_;
    AdvanceColumn();
    return index;
}

void T5by3Ditherer::NextRow() {
    rows_.Rotate();
    TDitherEngine::NextRow();
    position_ = rows_.Offset(column_);
}

template <class Kernel>
void T5by3Ditherer::DitherRowWith(const std::uint8_t* bgr, std::uint8_t* indices) {
    const int count = PixelsLeft();
    WithLookup(lookup_, [&](auto& lookup) {
        DiffuseRow<Kernel>(lookup, rows_, position_, column_, direction_, count, bgr, indices);
    });
}

// The named 5x3 engines' SpreadError: one channel through a kernel's table.
template <class Kernel>
void SpreadThrough(std::int32_t* row0, std::int32_t* row1, std::int32_t* row2, int step,
                   int error) {
    std::int32_t* const p[3] = {row0, row1, row2};
    Kernel::Spread(p, step, error);
}

TStuckiDitherer::TStuckiDitherer(int width, TColorLookup& lookup)
    : T5by3Ditherer(width, lookup, TStuckiKernel::Divisor()) {}

void TStuckiDitherer::SpreadError(std::int32_t* row0, std::int32_t* row1, std::int32_t* row2,
                                  int step, int error) {
    SpreadThrough<TStuckiKernel>(row0, row1, row2, step, error);
}

void TStuckiDitherer::DitherRow(const std::uint8_t* bgr, std::uint8_t* indices) {
    DitherRowWith<TStuckiKernel>(bgr, indices);
}

TSierraDitherer::TSierraDitherer(int width, TColorLookup& lookup)
    : T5by3Ditherer(width, lookup, TSierraKernel::Divisor()) {}

void TSierraDitherer::SpreadError(std::int32_t* row0, std::int32_t* row1, std::int32_t* row2,
                                  int step, int error) {
    SpreadThrough<TSierraKernel>(row0, row1, row2, step, error);
}

void TSierraDitherer::DitherRow(const std::uint8_t* bgr, std::uint8_t* indices) {
    DitherRowWith<TSierraKernel>(bgr, indices);
}

TJaJuNiDitherer::TJaJuNiDitherer(int width, TColorLookup& lookup)
    : T5by3Ditherer(width, lookup, TJaJuNiKernel::Divisor()) {}

void TJaJuNiDitherer::SpreadError(std::int32_t* row0, std::int32_t* row1, std::int32_t* row2,
                                  int step, int error) {
    SpreadThrough<TJaJuNiKernel>(row0, row1, row2, step, error);
}

void TJaJuNiDitherer::DitherRow(const std::uint8_t* bgr, std::uint8_t* indices) {
    DitherRowWith<TJaJuNiKernel>(bgr, indices);
}

// ---- Stevenson-Arce

TSteveArcheDitherer::TSteveArcheDitherer(int width, TColorLookup& lookup)
    : TDitherEngine(width, lookup), rows_(4, width, 3) {
    position_ = rows_.Offset(0);
}

std::uint8_t TSteveArcheDitherer::DitherPixel(std::uint8_t red, std::uint8_t green,
                                              std::uint8_t blue, std::uint8_t& chosenRed,
                                              std::uint8_t& chosenGreen, std::uint8_t& chosenBlue) {
    RequireColumnInRow();
    TVirtualLookup lookup{lookup_};
    std::int32_t* rows[4] = {rows_.Row(0) + position_, rows_.Row(1) + position_,
                             rows_.Row(2) + position_, rows_.Row(3) + position_};
    const std::uint8_t index = DiffusePixel(TSteveArcheKernel{}, lookup, rows, 3 * direction_, red,
                                            green, blue, chosenRed, chosenGreen, chosenBlue);
    position_ += 3 * direction_;
    AdvanceColumn();
    return index;
}

void TSteveArcheDitherer::NextRow() {
    rows_.Rotate();
    TDitherEngine::NextRow();
    position_ = rows_.Offset(column_);
}

void TSteveArcheDitherer::DitherRow(const std::uint8_t* bgr, std::uint8_t* indices) {
    const int count = PixelsLeft();
    WithLookup(lookup_, [&](auto& lookup) {
        DiffuseRow<TSteveArcheKernel>(lookup, rows_, position_, column_, direction_, count, bgr,
                                      indices);
    });
}

// ---- Burkes

TBurkesDitherer::TBurkesDitherer(int width, TColorLookup& lookup)
    : TDitherEngine(width, lookup), rows_(2, width, 2) {
    position_ = rows_.Offset(0);
}

std::uint8_t TBurkesDitherer::DitherPixel(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                                          std::uint8_t& chosenRed, std::uint8_t& chosenGreen,
                                          std::uint8_t& chosenBlue) {
    RequireColumnInRow();
    TVirtualLookup lookup{lookup_};
    std::int32_t* rows[2] = {rows_.Row(0) + position_, rows_.Row(1) + position_};
    const std::uint8_t index = DiffusePixel(TBurkesKernel{}, lookup, rows, 3 * direction_, red,
                                            green, blue, chosenRed, chosenGreen, chosenBlue);
    position_ += 3 * direction_;
    AdvanceColumn();
    return index;
}

void TBurkesDitherer::NextRow() {
    rows_.Rotate();
    TDitherEngine::NextRow();
    position_ = rows_.Offset(column_);
}

void TBurkesDitherer::DitherRow(const std::uint8_t* bgr, std::uint8_t* indices) {
    const int count = PixelsLeft();
    WithLookup(lookup_, [&](auto& lookup) {
        DiffuseRow<TBurkesKernel>(lookup, rows_, position_, column_, direction_, count, bgr,
                                  indices);
    });
}

// ---- Integer Floyd-Steinberg

namespace {

template <class Lookup>
inline std::uint8_t TruncatingPixel(Lookup& lookup, TTruncatingFloydSteinbergDitherer::TState& s,
                                    std::int32_t* current, std::int32_t* next, int step,
                                    const std::uint8_t in[3], std::uint8_t chosen[3]) {
    int v[3];
    for (int c = 0; c < 3; ++c)
        v[c] = Clamp255(in[c] + s.Carry[c] + current[c]);
    const std::uint8_t index =
        lookup.Map(static_cast<std::uint8_t>(v[0]), static_cast<std::uint8_t>(v[1]),
                   static_cast<std::uint8_t>(v[2]), chosen[0], chosen[1], chosen[2]);
    for (int c = 0; c < 3; ++c) {
        const int e = v[c] - chosen[c];
        // Integer division cuts toward zero, as each share must.
        s.Carry[c] = e * 7 / 16;
        next[c - step] += e * 3 / 16;
        next[c] += e * 5 / 16;
        next[c + step] += e / 16;
    }
    return index;
}

} // namespace

TTruncatingFloydSteinbergDitherer::TTruncatingFloydSteinbergDitherer(int width,
                                                                     TColorLookup& lookup)
    : TDitherEngine(width, lookup), errors_(2, width, 1) {}

std::uint8_t TTruncatingFloydSteinbergDitherer::DitherPixel(std::uint8_t red, std::uint8_t green,
                                                            std::uint8_t blue,
                                                            std::uint8_t& chosenRed,
                                                            std::uint8_t& chosenGreen,
                                                            std::uint8_t& chosenBlue) {
    RequireColumnInRow();
    TVirtualLookup lookup{lookup_};
    const int at = errors_.Offset(column_);
    const std::uint8_t in[3] = {red, green, blue};
    std::uint8_t chosen[3];
    const std::uint8_t index = TruncatingPixel(lookup, state_, errors_.Row(0) + at,
                                               errors_.Row(1) + at, 3 * direction_, in, chosen);
    chosenRed = chosen[0];
    chosenGreen = chosen[1];
    chosenBlue = chosen[2];
    AdvanceColumn();
    return index;
}

void TTruncatingFloydSteinbergDitherer::DitherRow(const std::uint8_t* bgr, std::uint8_t* indices) {
    const int count = PixelsLeft();
    WithLookup(lookup_, [&](auto& lookup) {
        TState s = state_;
        std::int32_t* current = errors_.Row(0);
        std::int32_t* next = errors_.Row(1);
        const int step = 3 * direction_;
        int col = column_;
        for (int i = 0; i < count; ++i) {
            const std::uint8_t* px = bgr + 3 * static_cast<std::ptrdiff_t>(col);
            const std::uint8_t in[3] = {px[2], px[1], px[0]};
            std::uint8_t chosen[3];
            const int at = errors_.Offset(col);
            indices[col] = TruncatingPixel(lookup, s, current + at, next + at, step, in, chosen);
            col += direction_;
        }
        state_ = s;
        column_ = col;
    });
}

void TTruncatingFloydSteinbergDitherer::NextRow() {
    errors_.Rotate();
    state_ = TState{};
    column_ = 0;
}

std::unique_ptr<TDitherEngine> CreateBestDitherEngine(TDitherMode mode, int width,
                                                      TColorLookup& lookup) {
    if (mode == TDitherMode::FloydSteinberg)
        return std::make_unique<TTruncatingFloydSteinbergDitherer>(width, lookup);
    return CreateDitherEngine(mode, width, lookup);
}

// ---- Factory

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

} // namespace framolo
