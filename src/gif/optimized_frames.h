#pragma once

#include "color/shared_palette_reducer.h"
#include "gif/frame_optimizer.h"
#include "gif/gif_document.h"

#include <memory>

namespace framolo {

// Appends frames to a document for the smallest file that shows the same
// pictures: each frame is reduced with a palette shared across frames where
// the scene allows (TSharedPaletteReducer), then stored as its changed
// rectangle (TFrameOptimizer). The first palette becomes the global colour
// table; frames whose table equals it carry no local one.
//
// Every frame must have the size of the first; the frames are the steps of
// one animation, in order.
class TOptimizedFrameAdder {
public:
    // colors is the palette size; 255 leaves room for the transparent index.
    explicit TOptimizedFrameAdder(TDitherMode mode, int colors = 255);
    ~TOptimizedFrameAdder();

    // Converts frame to 24 bits per pixel in place, appends the optimised
    // frame with a graphic control extension (disposal and transparency;
    // delay 0) and returns its index. Raises GIFException "Invalid image
    // dimensions" for a frame whose size differs from the first one's.
    int Add(TGIFDocument& document, TBitmap& frame);

    const TSharedPaletteReducer* Reducer() const { return reducer_.get(); }

private:
    TDitherMode mode_;
    int colors_;
    std::unique_ptr<TSharedPaletteReducer> reducer_;
    std::unique_ptr<TFrameOptimizer> optimizer_;
};

} // namespace framolo
