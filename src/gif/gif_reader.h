#pragma once

#include "gif/gif_document.h"

#include <cstdint>

namespace framolo {

// What a reader may allocate for pixels, checked before each frame's buffer is
// made. A frame is refused above MaxFramePixels; a document is refused once its
// frames together would pass MaxDocumentPixels. These are what the machine can
// hold (an 8000 x 8000 still, 2000 frames of 1920 x 1080); the document's own
// PixelBudget, which is lower by default, usually ends a large read first.
struct TGIFReadLimits {
    std::int64_t MaxFramePixels = TGIFDocument::kMaxFramePixels;
    std::int64_t MaxDocumentPixels = TGIFDocument::kMaxDocumentPixels;
    // Frames and extensions one read makes in all. Each is an object of its
    // own, near a kilobyte, which no pixel count sees: a small file of empty
    // blocks could otherwise make millions of them.
    std::int64_t MaxBlocks = 1000000;
};

// The limits every read uses. Tools that read untrusted files in bulk (the fuzz
// target) lower them; nothing else changes them.
extern TGIFReadLimits GIFReadLimits;

} // namespace framolo
