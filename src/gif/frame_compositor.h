#pragma once

#include "gif/gif_document.h"

#include <cstdint>
#include <vector>

namespace framolo {

// What a viewer shows after each frame of a document, as rows of red, green,
// blue bytes over the whole logical screen. The screen starts as the
// background colour; a frame is drawn over it (its transparent index leaves
// the screen as it is), then disposed of as its control extension says:
// "background" fills its rectangle with the background colour, "previous"
// puts back the screen as it was before the frame. Parts of a frame outside
// the screen are cut off. An index past its colour table shows black.
class TGIFCompositor {
public:
    // `background` is 0x00BBGGRR.
    TGIFCompositor(const TGIFDocument& document, TColor background);
    // Keeps only the rectangle at (left, top) of width x height of the screen;
    // parts of it off the logical screen stay the background colour.
    TGIFCompositor(const TGIFDocument& document, TColor background, int left, int top, int width,
                   int height);

    // Draws the next frame (after disposing of the one before) and returns the
    // screen (the kept rectangle, rows top-down). An empty frame leaves the screen and the pending
    // disposal as they are.
    const std::vector<std::uint8_t>& Draw(const TGIFSubImage& frame);
    const std::vector<std::uint8_t>& Screen() const { return screen_; }
    int Width() const { return width_; }
    int Height() const { return height_; }

private:
    // Fills a rectangle given in screen coordinates, cut to what is kept.
    void FillRect(int left, int top, int right, int bottom);

    const TGIFDocument& document_;
    int left_ = 0; // the kept rectangle, in screen coordinates
    int top_ = 0;
    int width_;
    int height_;
    std::uint8_t background_[3];
    std::vector<std::uint8_t> screen_;
    std::vector<std::uint8_t> saved_;
    // The last drawn frame's disposal and rectangle, applied before the next.
    int pendingDisposal_ = 0;
    int pendingLeft_ = 0, pendingTop_ = 0, pendingRight_ = 0, pendingBottom_ = 0;
};

} // namespace framolo
