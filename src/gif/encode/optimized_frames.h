#pragma once

#include "gif/encode/encoder_tuning.h"
#include "gif/frame_optimizer.h"
#include "gif/gif_document.h"

#include <atomic>
#include <memory>

namespace framolo {

// The in-order half of making optimised frames: each frame is reduced with a
// palette shared across frames where the scene allows (TSharedPaletteReducer),
// then located as its changed rectangle (TFrameOptimizer::Locate). The first
// frame's table is the animation's global table; a later frame whose table
// equals it is marked UsesGlobalTable. What is left to do per frame
// (TFrameOptimizer::ChooseTransparency, AddOptimizedFrame) depends on that
// frame alone.
//
// Every frame must have the size of the first; the frames are the steps of
// one animation, in order.
class TOptimizedFrameSequence {
public:
    // colors is the palette size; 255 leaves room for the transparent index.
    // tolerance: see TSharedPaletteReducer; 0 keeps only unchanged pixels.
    explicit TOptimizedFrameSequence(TDitherMode mode, int colors = 255, int tolerance = 0);
    // threads (at least 1) may share the making of a layer's palette; the
    // frames are the same for any number.
    TOptimizedFrameSequence(TDitherMode mode, const TEncoderTuning& tuning, int threads = 1);
    ~TOptimizedFrameSequence();
    TOptimizedFrameSequence(const TOptimizedFrameSequence&) = delete;
    TOptimizedFrameSequence& operator=(const TOptimizedFrameSequence&) = delete;

    // Converts frame to 24 bits per pixel in place. Raises GIFException
    // "Invalid image dimensions" for a frame whose size differs from the
    // first one's, leaving the sequence as it was.
    TOptimizedFrame Next(TBitmap& frame);

    // Next in two steps, each of which sees the frames in order. Reduce
    // reduces the frame to the shared palette; Place re-chooses indexes for
    // the coder's strings (with a tuning's LzwBound) and locates the frame.
    // Place of frame k may run beside Reduce of frame k + 1: the reducer
    // never sees the indexes Place changes. The frame's bitmap must live,
    // unchanged, until its Place, which uses the step up.
    struct TReducedStep {
        TReducedFrame Frame;
        // The reducer's indexes before this frame (with LzwBound or
        // FirstColors, and not on a new palette); empty otherwise.
        std::vector<std::uint8_t> Before;
        int Width = 0;
        int Height = 0;
        const std::uint8_t* Bgr = nullptr;
        std::ptrdiff_t Stride = 0;
    };
    TReducedStep Reduce(TBitmap& frame);
    TOptimizedFrame Place(TReducedStep& step);

private:
    // Place as a layer of colors colours with margin, its strings extended
    // within lzwBound (see ExtendLzwStrings) unless it is the first frame
    // (layer_frames.cpp).
    TOptimizedFrame PlaceLayer(const TReducedStep& step, int colors, double margin, int lzwBound);

    // The shared palette's side (shared_frames.cpp). The first frame is
    // shown with a richer palette of its own (TEncoderTuning::FirstColors)
    // when the picture is large and the shared palette fits it poorly.
    bool TakesRichFirst(const TReducedStep& step) const;
    TOptimizedFrame PlaceRichFirst(TReducedStep& step);
    // After a rich first frame, the pixels whose index the reducer changed
    // (all of them on a new palette); empty when all may be drawn.
    std::vector<std::uint8_t> DrawnAfterRichFirst(const TReducedStep& step) const;
    // Re-chooses the frame's indexes for longer LZW strings within the
    // tuning's LzwBound, keeping what the screen shows where it may.
    void ChooseSharedStrings(TReducedStep& step);

    // The trial (layer_trial.cpp): true when this frame is one of those
    // also placed, unseen, as a layer; WeighTrial then adds the shared
    // frame's cost and, after the last tried frame, chooses the road.
    bool TryLayers(const TReducedStep& step);
    void WeighTrial(const TOptimizedFrame& optimized, const TReducedStep& step);
    // What placed frames cost: the bytes of their data and tables, and the
    // squared error of the screens they leave against the steps' pictures.
    struct TCost {
        double Bytes = 0;
        double Error = 0;
        // 1 minus the SSIM, summed over the frames.
        double Structure = 0;
        // The lower, the better the frames for their size: a percent of
        // size weighs as a percent of squared error, and with structure
        // as a percent of structural loss too.
        double Weight(bool structure) const {
            return Bytes * Error * (structure ? Structure : 1.0);
        }
    };
    // Adds a placed frame's cost to total.
    void AddCost(TOptimizedFrame frame, const TReducedStep& step, TCost& total) const;
    // TFrameOptimizer::Locate (with drawn when it is not null), the frame
    // marked when its table is the animation's first.
    TOptimizedFrame Locate(const std::vector<TPaletteEntry>& entries, const std::uint8_t* indices,
                           const std::uint8_t* drawn);
    static std::vector<TGIFColor> GifColors(const std::vector<TPaletteEntry>& entries);

    TDitherMode mode_;
    TEncoderTuning tuning_;
    int threads_;
    int width_ = 0;
    int height_ = 0;
    std::unique_ptr<TSharedPaletteReducer> reducer_;
    // Set by Place once the tried layers won (see TEncoderTuning::ProbeFrames);
    // Reduce, which may run beside Place, then has nothing to do.
    std::atomic<bool> layered_{false};
    // The first frame was shown with TEncoderTuning::FirstColors.
    bool richFirst_ = false;
    // Frames tried so far, the screen the tried layers draw on, and what the
    // layers and the shared frames cost.
    int probed_ = 0;
    std::unique_ptr<TFrameOptimizer> probeScreen_;
    TCost probeLayers_;
    TCost probeShared_;
    std::unique_ptr<TFrameOptimizer> optimizer_;
    std::vector<TGIFColor> global_;
    // With LzwBound: the indexes the screen shows after the last frame.
    std::vector<std::uint8_t> shown_;
    // For layers: the last layer's palette, and room for a frame's distances
    // from the screen, colours, indexes and drawn pixels.
    std::vector<TPaletteEntry> layerPalette_;
    std::vector<int> layerShown_;
    std::vector<std::uint8_t> layerPool_;
    std::vector<std::uint8_t> layerIndices_;
    std::vector<std::uint8_t> layerDrawn_;
};

// Appends a frame whose transparency is settled to document, with a graphic
// control extension (disposal and transparency; delay 0), and returns its
// index. A frame that uses the global table carries no local one; the
// document's global table must then be the frame's table.
int AddOptimizedFrame(TGIFDocument& document, TOptimizedFrame&& frame);

// Appends frames to a document for the smallest file that shows the same
// pictures: TOptimizedFrameSequence, the transparency choice and
// AddOptimizedFrame one after the other. The first frame's table becomes the
// document's global table.
class TOptimizedFrameAdder {
public:
    explicit TOptimizedFrameAdder(TDitherMode mode, int colors = 255, int tolerance = 0);
    TOptimizedFrameAdder(TDitherMode mode, const TEncoderTuning& tuning);

    // As TOptimizedFrameSequence::Next, then appends the frame and returns its index.
    int Add(TGIFDocument& document, TBitmap& frame);

private:
    TOptimizedFrameSequence sequence_;
};

} // namespace framolo
