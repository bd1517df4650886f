#pragma once

#include "color/color_lookup.h"
#include "color/color_types.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <vector>

namespace framolo {

// Turns the pixels of one image, fed in serpentine order, into palette
// indices through a colour lookup. Rows alternate: even rows run left to
// right, odd rows right to left. The base engine maps each pixel as it is
// (the Nearest method); the subclasses diffuse the quantisation error.
//
// Protocol: for each row, call DitherPixel while Column() lies inside the
// row, feeding the pixel at Column(); then call NextRow. DitherRow does the
// same for a whole row at once and gives the same indices, only faster.
class TDitherEngine {
public:
    // A negative width counts as 0. Engines with error buffers raise
    // std::length_error for a width whose buffers could not be addressed.
    TDitherEngine(int width, TColorLookup& lookup);
    virtual ~TDitherEngine() = default;
    TDitherEngine(const TDitherEngine&) = delete;
    TDitherEngine& operator=(const TDitherEngine&) = delete;

    // Maps the pixel at Column() and moves one column on. The error-diffusing
    // engines raise std::out_of_range when Column() is outside the row.
    virtual std::uint8_t DitherPixel(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                                     std::uint8_t& chosenRed, std::uint8_t& chosenGreen,
                                     std::uint8_t& chosenBlue);
    // Ends the row: the direction reverses and the column goes to the new
    // row's first pixel.
    virtual void NextRow();
    // Feeds the rest of the current row, from Column() in Direction() while
    // inside the row; pixel x is read from bgr[3x .. 3x+2] (blue, green, red)
    // and its index written to indices[x]. Does not call NextRow.
    virtual void DitherRow(const std::uint8_t* bgr, std::uint8_t* indices);

    void AdvanceColumn() { column_ += direction_; }

    int Direction() const { return direction_; }
    int Column() const { return column_; }
    int Width() const { return width_; }
    TColorLookup& Lookup() const { return lookup_; }

protected:
    // Number of pixels left in the current row.
    int PixelsLeft() const;
    void RequireColumnInRow() const;

    int direction_ = 1;
    int column_ = 0;
    TColorLookup& lookup_;
    int width_;
};

// Error sums of a few consecutive image rows (row 0 is the one being
// processed), red, green and blue interleaved per column. `margin` spare
// columns on either side take the kernel positions that fall outside the
// image, so spreading never needs a bounds test; they are never read.
class TErrorRows {
public:
    TErrorRows(int rows, int width, int margin);

    // The entry of column -margin of a row; column c, channel k is at
    // Row(r)[3 * (c + margin) + k].
    std::int32_t* Row(int row) { return rows_[static_cast<std::size_t>(row)]; }
    int Count() const { return static_cast<int>(rows_.size()); }
    int Margin() const { return margin_; }
    // Offset of column c's first channel within a row.
    int Offset(int column) const { return 3 * (column + margin_); }
    // Clears row 0 and makes it the last row; every other row moves up.
    void Rotate();

private:
    std::vector<std::int32_t> storage_;
    std::vector<std::int32_t*> rows_;
    std::size_t rowLength_ = 0;
    int margin_ = 0;
};

// How a kernel's shares are kept and used.
struct TKernelOptions {
    // The next row's shares are summed in registers and written one pixel
    // late into the single buffer the current row is read from (only for a
    // kernel of two rows and three columns).
    bool InPlaceRow = false;
    // Each share (weight x error / divisor) is cut toward zero on its own and
    // the sums are added as they are; otherwise the buffers hold weight x
    // error and a pixel adds (sum + divisor div 2) div divisor.
    bool TruncateShares = false;
    // Rows alternate direction; otherwise every row runs left to right.
    bool Serpentine = true;
};

// An error-diffusion kernel: kWeights[row][column] is the share of a pixel's
// error for the pixel `row` rows down and `column - centre` columns on in the
// scan direction, mirrored with it; the centre column of row 0 is the pixel
// itself, and it and the entries before it are 0. The weights add up to
// kDivisor.
struct TKernel {
    static constexpr TKernelOptions kOptions{};
};

struct TFloydSteinbergKernel : TKernel {
    static constexpr int kDivisor = 16;
    static constexpr int kWeights[2][3] = {{0, 0, 7}, {3, 5, 1}};
    static constexpr TKernelOptions kOptions{.InPlaceRow = true};
};

struct TStuckiKernel : TKernel {
    static constexpr int kDivisor = 42;
    static constexpr int kWeights[3][5] = {{0, 0, 0, 8, 4}, {2, 4, 8, 4, 2}, {1, 2, 4, 2, 1}};
};

struct TSierraKernel : TKernel {
    static constexpr int kDivisor = 32;
    static constexpr int kWeights[3][5] = {{0, 0, 0, 5, 3}, {2, 4, 5, 4, 2}, {0, 2, 3, 2, 0}};
};

// Jarvis, Judice and Ninke.
struct TJaJuNiKernel : TKernel {
    static constexpr int kDivisor = 48;
    static constexpr int kWeights[3][5] = {{0, 0, 0, 7, 5}, {3, 5, 7, 5, 3}, {1, 3, 5, 3, 1}};
};

// Stevenson and Arce.
struct TSteveArcheKernel : TKernel {
    static constexpr int kDivisor = 200;
    static constexpr int kWeights[4][7] = {{0, 0, 0, 0, 0, 32, 0},
                                           {12, 0, 26, 0, 30, 0, 16},
                                           {0, 12, 0, 26, 0, 12, 0},
                                           {5, 0, 12, 0, 12, 0, 5}};
};

struct TBurkesKernel : TKernel {
    static constexpr int kDivisor = 32;
    static constexpr int kWeights[2][5] = {{0, 0, 0, 8, 4}, {2, 4, 8, 4, 2}};
};

// Floyd-Steinberg in its integer form: each of the four shares is cut toward
// zero on its own, so up to about three units of every error are dropped and
// small errors in smooth areas fade instead of building up into noise (an
// error of 2 or less goes nowhere); every adjusted value is kept within
// 0..255 before its error is taken. Every row runs left to right: measured on
// photographs and on a still scene, serpentine scanning made no difference to
// this kernel.
struct TTruncatingFloydSteinbergKernel : TFloydSteinbergKernel {
    static constexpr TKernelOptions kOptions{.TruncateShares = true, .Serpentine = false};
};

// The error-diffusion engine of a kernel. Each channel of a pixel gets the
// error sum waiting for it, clamped to 0..255, before the lookup; the error
// (adjusted - chosen) is spread by the kernel. The shares for the pixels
// still to come in the row travel in registers; those for later rows wait in
// TErrorRows, which are cleared and rotated at the end of a row. The buffer
// position moves with DitherPixel only, not with AdvanceColumn.
template <class Kernel> class TDiffusionDitherer final : public TDitherEngine {
public:
    static constexpr int kRows = static_cast<int>(std::extent_v<decltype(Kernel::kWeights), 0>);
    static constexpr int kMargin =
        static_cast<int>(std::extent_v<decltype(Kernel::kWeights), 1>) / 2;
    static constexpr TKernelOptions kOptions = Kernel::kOptions;

    TDiffusionDitherer(int width, TColorLookup& lookup);

    std::uint8_t DitherPixel(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                             std::uint8_t& chosenRed, std::uint8_t& chosenGreen,
                             std::uint8_t& chosenBlue) override;
    void NextRow() override;
    void DitherRow(const std::uint8_t* bgr, std::uint8_t* indices) override;

    // Per channel (red, green, blue): Ahead[k] waits for the pixel k + 1 on;
    // with InPlaceRow, Below[j] is the next row's partial sum of the column
    // j - kMargin from the current pixel.
    struct TState {
        std::array<std::array<std::int32_t, kMargin>, 3> Ahead{};
        std::array<std::array<std::int32_t, kOptions.InPlaceRow ? 2 * kMargin : 0>, 3> Below{};
    };

private:
    template <class AnyLookup, class Source, class Sink>
    void Diffuse(AnyLookup& lookup, int count, Source source, Sink sink);

    TErrorRows rows_;
    int position_ = 0;
    TState state_;
};

using TFloydSteinbergDitherer = TDiffusionDitherer<TFloydSteinbergKernel>;
using TStuckiDitherer = TDiffusionDitherer<TStuckiKernel>;
using TSierraDitherer = TDiffusionDitherer<TSierraKernel>;
using TJaJuNiDitherer = TDiffusionDitherer<TJaJuNiKernel>;
using TSteveArcheDitherer = TDiffusionDitherer<TSteveArcheKernel>;
using TBurkesDitherer = TDiffusionDitherer<TBurkesKernel>;
using TTruncatingFloydSteinbergDitherer = TDiffusionDitherer<TTruncatingFloydSteinbergKernel>;

extern template class TDiffusionDitherer<TFloydSteinbergKernel>;
extern template class TDiffusionDitherer<TStuckiKernel>;
extern template class TDiffusionDitherer<TSierraKernel>;
extern template class TDiffusionDitherer<TJaJuNiKernel>;
extern template class TDiffusionDitherer<TSteveArcheKernel>;
extern template class TDiffusionDitherer<TBurkesKernel>;
extern template class TDiffusionDitherer<TTruncatingFloydSteinbergKernel>;

// The engine for a dithering method, or nullptr for a value outside the
// enumeration.
std::unique_ptr<TDitherEngine> CreateDitherEngine(TDitherMode mode, int width,
                                                  TColorLookup& lookup);

// The engine the best-quality method dithers with: the integer
// Floyd-Steinberg for FloydSteinberg, the method's own engine otherwise.
std::unique_ptr<TDitherEngine> CreateBestDitherEngine(TDitherMode mode, int width,
                                                      TColorLookup& lookup);

} // namespace framolo
