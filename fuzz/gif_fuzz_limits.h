#pragma once

// Reading limits for the GIF fuzz targets, far lower than a user's so that
// every input is fast and stays under the fuzzer's memory cap; the checks that
// enforce them are the same.

#include "gif/gif_document.h"
#include "gif/gif_reader.h"

#include <cstdint>

namespace framolo {

// A frame may hold 2^frameBits pixels and a document four times as many. The
// pixel budget lies between the two so that each limit can be reached. Returns
// true, so that a target can set the limits once in a static initialiser.
inline bool LowerGIFReadLimits(int frameBits) {
    GIFReadLimits.MaxFramePixels = std::int64_t{1} << frameBits;
    DefaultPixelBudget = std::int64_t{1} << (frameBits + 1);
    GIFReadLimits.MaxDocumentPixels = std::int64_t{1} << (frameBits + 2);
    return true;
}

} // namespace framolo
