#pragma once

#include "color/color_lookup.h"
#include "color/color_types.h"

#include <cstddef>
#include <cstdint>
#include <memory>
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

// Floyd-Steinberg, 7/16 to the next pixel and 3, 5, 1 /16 below. The share
// for the next pixel travels in a carry; the next row's shares are collected
// in two pending sums per channel and written one pixel late into a single
// row buffer, which is read for the current row just before it is rewritten
// for the next one.
class TFloydSteinbergDitherer final : public TDitherEngine {
public:
    TFloydSteinbergDitherer(int width, TColorLookup& lookup);

    std::uint8_t DitherPixel(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                             std::uint8_t& chosenRed, std::uint8_t& chosenGreen,
                             std::uint8_t& chosenBlue) override;
    void NextRow() override;
    void DitherRow(const std::uint8_t* bgr, std::uint8_t* indices) override;

    // One channel's running sums once pixel x of the row is done.
    struct TChannel {
        std::int32_t Carry = 0;    // 7 x error(x), for pixel x + d
        std::int32_t Pending1 = 0; // 1 x error(x - d) + 5 x error(x)
        std::int32_t Pending2 = 0; // error(x)
    };
    struct TState {
        TChannel Red, Green, Blue;
        int Position = 0; // offset of the current column's red entry
    };

private:
    TErrorRows errors_;
    TState state_;
};

// The engines whose kernels span five columns and three rows. They share one
// per-pixel step and one NextRow; a subclass supplies its divisor and its
// SpreadError.
class T5by3Ditherer : public TDitherEngine {
public:
    T5by3Ditherer(int width, TColorLookup& lookup, int divisor = 1);

    std::uint8_t DitherPixel(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                             std::uint8_t& chosenRed, std::uint8_t& chosenGreen,
                             std::uint8_t& chosenBlue) override;
    void NextRow() override;

    int Divisor() const { return divisor_; }

    // Adds weight x error to every kernel position of one channel. The row
    // pointers address the current column's entry of that channel in rows
    // 0, 1 and 2; step is the distance to the next pixel in scan order.
    virtual void SpreadError(std::int32_t* row0, std::int32_t* row1, std::int32_t* row2, int step,
                             int error) = 0;

protected:
    template <class Kernel> void DitherRowWith(const std::uint8_t* bgr, std::uint8_t* indices);

    TErrorRows rows_;
    int position_ = 0;
    int divisor_;
};

class TStuckiDitherer final : public T5by3Ditherer {
public:
    TStuckiDitherer(int width, TColorLookup& lookup);
    void SpreadError(std::int32_t* row0, std::int32_t* row1, std::int32_t* row2, int step,
                     int error) override;
    void DitherRow(const std::uint8_t* bgr, std::uint8_t* indices) override;
};

class TSierraDitherer final : public T5by3Ditherer {
public:
    TSierraDitherer(int width, TColorLookup& lookup);
    void SpreadError(std::int32_t* row0, std::int32_t* row1, std::int32_t* row2, int step,
                     int error) override;
    void DitherRow(const std::uint8_t* bgr, std::uint8_t* indices) override;
};

// Jarvis, Judice and Ninke.
class TJaJuNiDitherer final : public T5by3Ditherer {
public:
    TJaJuNiDitherer(int width, TColorLookup& lookup);
    void SpreadError(std::int32_t* row0, std::int32_t* row1, std::int32_t* row2, int step,
                     int error) override;
    void DitherRow(const std::uint8_t* bgr, std::uint8_t* indices) override;
};

// Stevenson and Arce: seven columns, four rows, divisor 200.
class TSteveArcheDitherer final : public TDitherEngine {
public:
    TSteveArcheDitherer(int width, TColorLookup& lookup);

    std::uint8_t DitherPixel(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                             std::uint8_t& chosenRed, std::uint8_t& chosenGreen,
                             std::uint8_t& chosenBlue) override;
    void NextRow() override;
    void DitherRow(const std::uint8_t* bgr, std::uint8_t* indices) override;

private:
    TErrorRows rows_;
    int position_ = 0;
};

// Burkes: five columns, two rows, divisor 32.
class TBurkesDitherer final : public TDitherEngine {
public:
    TBurkesDitherer(int width, TColorLookup& lookup);

    std::uint8_t DitherPixel(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                             std::uint8_t& chosenRed, std::uint8_t& chosenGreen,
                             std::uint8_t& chosenBlue) override;
    void NextRow() override;
    void DitherRow(const std::uint8_t* bgr, std::uint8_t* indices) override;

private:
    TErrorRows rows_;
    int position_ = 0;
};

// The engine for a dithering method, or nullptr for a value outside the
// enumeration.
std::unique_ptr<TDitherEngine> CreateDitherEngine(TDitherMode mode, int width,
                                                  TColorLookup& lookup);

// Floyd-Steinberg in its integer form: each of the four shares (7, 3, 5 and
// 1 sixteenths of the error) is cut toward zero on its own, so up to about
// three units of every error are dropped and small errors in smooth areas
// fade instead of building up into noise (an error of 2 or less goes
// nowhere); every adjusted value is kept within 0..255 before its error is
// taken. Unlike the other engines, every row runs
// left to right (Direction() is always 1): measured on photographs and on a
// still scene, serpentine scanning made no difference to this kernel.
class TTruncatingFloydSteinbergDitherer final : public TDitherEngine {
public:
    TTruncatingFloydSteinbergDitherer(int width, TColorLookup& lookup);

    std::uint8_t DitherPixel(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                             std::uint8_t& chosenRed, std::uint8_t& chosenGreen,
                             std::uint8_t& chosenBlue) override;
    void NextRow() override;
    void DitherRow(const std::uint8_t* bgr, std::uint8_t* indices) override;

    struct TState {
        std::int32_t Carry[3] = {0, 0, 0};
    };

private:
    // Row 0 holds the shares for the current row, row 1 those for the next.
    TErrorRows errors_;
    TState state_;
};

// The engine the best-quality method dithers with: the integer
// Floyd-Steinberg for FloydSteinberg, the method's own engine otherwise.
std::unique_ptr<TDitherEngine> CreateBestDitherEngine(TDitherMode mode, int width,
                                                      TColorLookup& lookup);

} // namespace framolo
