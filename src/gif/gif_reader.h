#pragma once

#include "gif/gif_document.h"

#include <cstdint>

namespace framolo {

// Fixed texts of the reader's and the decoder's errors and warnings.
namespace gifmsg {
inline constexpr const char* InvalidSignature = "Invalid GIF signature";
inline constexpr const char* PrematureEnd = "Premature end of data";
inline constexpr const char* UnknownExtension = "Unknown extension type";
inline constexpr const char* InvalidExtensionIntroducer = "Invalid extension introducer";
inline constexpr const char* ExtensionLabelMismatch =
    "Internal error: Extension Instance does not match Extension Label";
inline constexpr const char* UnsupportedAppBlockSize =
    "Unsupported Application Extension block size";
inline constexpr const char* InvalidData = "Invalid GIF data";
inline constexpr const char* CircularTableEntry = "Circular decoder table entry";
inline constexpr const char* UnknownBlockType = "Unknown GIF block type";
inline constexpr const char* InvalidTrailer = "Invalid Image trailer";
inline constexpr const char* DecoderUnderrun = "Decoder bit buffer under-run";
// A minimum code size above 12: the decoder's tables cannot hold its clear
// code. A warning from the reader (the frame keeps its fill value), an error
// from the decoder itself.
inline constexpr const char* InvalidCodeSize = "Invalid LZW minimum code size";
// A whole document whose frames together pass the document limit.
inline constexpr const char* DocumentTooLarge = "Animation is too large to hold in memory";
} // namespace gifmsg

// What a reader may allocate for pixels, checked before each frame's buffer is
// made. A frame is refused above MaxFramePixels; a document is refused once its
// frames together would pass MaxDocumentPixels. The defaults let an 8000 x 8000
// still or 2000 frames of 1920 x 1080 load.
struct TGIFReadLimits {
    std::int64_t MaxFramePixels = TGIFDocument::kMaxFramePixels;
    std::int64_t MaxDocumentPixels = TGIFDocument::kMaxDocumentPixels;
};

// The limits every read uses. Tools that read untrusted files in bulk (the fuzz
// target) lower them; nothing else changes them.
extern TGIFReadLimits GIFReadLimits;

} // namespace framolo
