#pragma once

#include "gif/frame_encoder.h"
#include "platform/streams/stream.h"

#include <cstdint>

namespace framolo {

// Writes a GIF file frame by frame. The header goes first as a placeholder
// and is written in full by Finish, when the frames' colour depths and
// versions are known; the target must allow seeking back to where it began.
// The first frame's GlobalColors, when it has them, follow the header as the
// global colour table.
class TGIFStreamWriter {
public:
    explicit TGIFStreamWriter(TStream& target);
    void WriteFrame(const TEncodedFrame& frame);
    // Writes the trailer and the header with the logical screen's size.
    // Raises "Unsupported GIF version" when no frame was written. Returns the
    // file's size in bytes.
    std::int64_t Finish(int screenWidth, int screenHeight);
    int FrameCount() const { return frames_; }

private:
    TStream& target_;
    std::int64_t start_;
    int frames_ = 0;
    int largestBits_ = 0;
    int globalBits_ = 0;
    int version_ = 0;
};

} // namespace framolo
