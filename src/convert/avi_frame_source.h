#pragma once

#include "platform/avifile/avifile_guards.h"
#include "platform/graphics/bitmap.h"

#include <cstdint>
#include <string>
#include <vector>

namespace framolo {

// The clip's first video stream, opened for decoding frame by frame. Opening
// raises the job's fixed errors in the order of the read sequence; the
// handles are released in reverse order when the source goes.
class TAviFrameSource {
public:
    explicit TAviFrameSource(const std::string& fileName);
    TAviFrameSource(const TAviFrameSource&) = delete;
    TAviFrameSource& operator=(const TAviFrameSource&) = delete;

    // Frame f as a bitmap with the stream's colours; valid until the next call.
    // Raises "Failed to decompress AVI frame".
    const TBitmap& Decode(std::int64_t f);

private:
    // Declared in the order of acquisition, so they release in reverse.
    TAVILibraryGuard library_;
    TAVIFileGuard file_;
    TAVIStreamGuard stream_;
    std::vector<std::uint8_t> format_;
    TAVIStreamingGuard streaming_;
    TAVIGetFrameGuard getFrame_;
    std::uint32_t formatColors_ = 0;
    bool framesCarryPalettes_ = false;
    TBitmap decoded_;
};

} // namespace framolo
