#pragma once

#include "gif/gif_document.h"

#include <cstdint>
#include <vector>

namespace framolo {

// A frame as it goes into the file: only the rectangle that changed, with a
// colour table that may have one entry more than the palette, for pixels a
// viewer leaves as they were.
struct TOptimizedFrame {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    // Width x Height indexes into Colors, rows top to bottom.
    std::vector<std::uint8_t> Pixels;
    std::vector<TGIFColor> Colors;
    // -1 when every pixel of the rectangle is drawn.
    int TransparentIndex = -1;
    // Always "leave in place": the next frame is drawn over this one.
    int Disposal = dmNoDisposal;
    // Between Locate and ChooseTransparency only: 1 for each pixel of the
    // rectangle that keeps its colour, and the index those pixels would take
    // as transparent ones (-1 when holes are not worth measuring).
    std::vector<std::uint8_t> Unchanged;
    int TransparentCandidate = -1;
    // The table is the animation's first one, which a file holds as its
    // global table (set by TOptimizedFrameSequence).
    bool UsesGlobalTable = false;
    // On a first frame that carries a table of its own: the table the file
    // holds as its global one, which later frames use.
    std::vector<TGIFColor> GlobalTable;
};

// Turns full frames into the smallest frames that show the same pictures.
// It keeps the screen a viewer shows (after drawing each frame over the
// previous one), and for each new full frame it gives:
//
// - the bounding rectangle of the pixels whose colour differs from the
//   screen (a 1 x 1 rectangle when nothing changed, since a frame must carry
//   at least one pixel to hold its delay);
// - inside it, pixels that keep their colour either repeat their own index
//   or become transparent, whichever gives the shorter LZW data: measured on
//   bands of 16 rows out of every 64 in a rectangle taller than 64 rows, and
//   not measured at all when under one pixel in 32 keeps its colour (they
//   then repeat their index);
// - a colour table that is the palette followed by one black entry for the
//   transparent index when the palette has fewer than 256 colours; a full
//   palette lends its transparent index from a colour no changed pixel of
//   the rectangle uses, and goes without transparency when there is none.
//
// Every frame is disposed of by leaving it in place, which every viewer
// honours, so the screen after frame k equals the k-th full frame exactly.
// Frame 0 covers the whole screen and has no transparent pixels, which keeps
// the first frame of every loop right as well.
class TFrameOptimizer {
public:
    TFrameOptimizer(int width, int height);

    // indices: width x height indexes into palette (at most 256 colours),
    // rows top to bottom. Raises GIFException "Invalid color index" for an
    // index past the palette's end and "Color table is empty" for an empty
    // palette.
    TOptimizedFrame Next(const std::uint8_t* indices, const std::vector<TGIFColor>& palette);

    // Next in two steps. Locate finds the rectangle and updates the screen; it
    // sees the frames in order. ChooseTransparency then settles the holes; it
    // depends on the located frame alone, so frames may take it in any order
    // and on any thread. The screen after a frame does not depend on the
    // choice: a hole shows the colour the pixel has anyway.
    TOptimizedFrame Locate(const std::uint8_t* indices, const std::vector<TGIFColor>& palette);
    // Locate for a frame that, when drawn (width x height bytes) is not null,
    // draws only where drawn is not 0 and leaves every other pixel as the screen shows it, whatever
    // its index: those pixels become holes at once, so the palette must have fewer than 256 colours
    // (GIFException "Color table overflow" otherwise).
    TOptimizedFrame Locate(const std::uint8_t* indices, const std::vector<TGIFColor>& palette,
                           const std::uint8_t* drawn);
    static void ChooseTransparency(TOptimizedFrame& frame);

    // The table a frame with this palette gets (see above).
    static std::vector<TGIFColor> TableFor(const std::vector<TGIFColor>& palette);

    // What a viewer shows after the frames so far: 3 bytes red, green, blue
    // per pixel, rows top to bottom; black before the first frame.
    const std::vector<std::uint8_t>& Screen() const { return screen_; }
    bool Started() const { return !first_; }

private:
    int width_;
    int height_;
    bool first_ = true;
    // What a viewer shows now: 3 bytes red, green, blue per pixel, rows top to bottom.
    std::vector<std::uint8_t> screen_;
};

// Bytes of the LZW data of a block of pixels, as the writer would code it.
std::size_t LzwDataSize(const std::vector<std::uint8_t>& pixels, int width, int height, int colors);
// The same for rows 0..15, 64..79, 128..143, ... of a block taller than 64
// rows: a quarter of the work, for comparing two codings of one block.
std::size_t SampledLzwDataSize(const std::vector<std::uint8_t>& pixels, int width, int height,
                               int colors);

} // namespace framolo
