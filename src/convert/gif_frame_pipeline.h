#pragma once

#include "gif/frame_encoder.h"
#include "gif/frame_optimizer.h"
#include "platform/graphics/bitmap.h"

#include <climits>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace framolo {

class TGIFSubImage;

// One scaled picture on its way to becoming a frame, with the parameters the
// job read for it.
struct TFrameJob {
    // Position in the output, from 0.
    int Index = 0;
    std::unique_ptr<TBitmap> Picture;
    // The loop count (used on frame 0) and the delay in milliseconds.
    int Loop = 0;
    int Delay = 0;
    // The output size the picture was scaled to.
    int Width = 0;
    int Height = 0;
    // Set by an ordered stage, which takes the picture: the frame as it will
    // be stored, in place of a reduction of the picture.
    std::unique_ptr<TOptimizedFrame> Optimized;
    // What an ordered stage of several steps hands from one step to the next.
    std::shared_ptr<void> Between;
};

// A step run on every frame after its colour reduction and before it is
// coded, on worker threads and for several frames at once. The result must
// depend only on the frame and its picture, so that the file is the same for
// any number of threads.
class TFrameTransform {
public:
    virtual ~TFrameTransform() = default;
    virtual void Apply(TGIFSubImage& frame, const TFrameJob& job) = 0;
};

// A step that must see the frames one after the other, in their order: it
// runs on the worker threads, one frame at a time, frame k only after frame
// k - 1, before the frame is coded. It may keep state from frame to frame.
// Once it has failed on a frame, it is not run on later ones.
//
// A stage may come in several steps (Steps() above 1, run by RunStep): step s
// of frame k runs after step s of frame k - 1 and after step s - 1 of frame
// k, so step s + 1 of frame k may run beside step s of frame k + 1.
class TOrderedFrameStage {
public:
    virtual ~TOrderedFrameStage() = default;
    virtual void Run(TFrameJob& job) = 0;
    virtual int Steps() const { return 1; }
    // step is 0 .. Steps() - 1; a stage of one step is Run.
    virtual void RunStep(TFrameJob& job, int step) {
        if (step == 0)
            Run(job);
    }
};

// Reduces, transforms and codes one frame exactly as the document path does
// for the same picture at the same position; the picture is released once the
// frame is reduced. Raises the import's errors, and "No global or local color
// table defined" for a reduced frame without a local table (only an ordered
// stage's frames may use the global one).
//
// A frame an ordered stage has made (job.Optimized) is coded as the document
// path stores it after AddOptimizedFrame, its transparency settled first,
// without the transform; a frame that uses the global table is coded with
// that table's own bits. No document is built: see gif/frame_encoder.h.
TEncodedFrame EncodeJobFrame(TFrameJob& job, const TGIFFrameSettings& settings,
                             TFrameTransform* transform);

// Frames in, coded frames out in order. With one thread every frame is coded
// as it is submitted; with more, worker threads code several frames at once
// while the submitting thread goes on decoding. Finished frames reach the sink
// on the submitting thread, in order, as soon as all before them have. At
// most twice as many frames as threads are in flight, so memory does not grow
// with the clip.
class TGIFFramePipeline {
public:
    using TSink = std::function<void(TEncodedFrame&)>;
    TGIFFramePipeline(const TGIFFrameSettings& settings, int threads, TSink sink,
                      TFrameTransform* transform = nullptr, TOrderedFrameStage* ordered = nullptr);
    // Frames not yet delivered are dropped; the workers end.
    ~TGIFFramePipeline();
    TGIFFramePipeline(const TGIFFramePipeline&) = delete;
    TGIFFramePipeline& operator=(const TGIFFramePipeline&) = delete;

    // Takes the next frame (indexes count from 0 in submission order). Raises
    // the error of an earlier frame, in order, once every frame before it has
    // reached the sink.
    void Submit(TFrameJob job);
    // Waits for every submitted frame and delivers it.
    void Finish();
    int Threads() const { return threads_; }

private:
    struct TResult {
        TEncodedFrame Frame;
        std::exception_ptr Error;
    };
    void Work();
    // The ordered stage (when there is one) and the coding of one frame.
    TEncodedFrame Process(TFrameJob& job);
    // Delivers finished frames in order; waits for the next one while more
    // than `keep` frames are in flight.
    void Deliver(std::size_t keep);

    TGIFFrameSettings settings_;
    int threads_;
    TSink sink_;
    TFrameTransform* transform_;
    TOrderedFrameStage* ordered_;
    std::mutex mutex_;
    // Signals the end of a frame's ordered step.
    std::condition_variable orderedDone_;
    // The frame whose turn it is, for each step of the ordered stage.
    std::vector<int> nextOrdered_;
    // The first frame the ordered stage failed on; later ones skip it.
    int orderedFailedAt_ = INT_MAX;
    std::condition_variable workReady_;
    std::condition_variable resultReady_;
    std::deque<TFrameJob> queue_;
    std::map<int, TResult> done_;
    int nextIndex_ = 0;
    int nextToDeliver_ = 0;
    bool closing_ = false;
    std::vector<std::thread> workers_;
};

} // namespace framolo
