#pragma once

#include <cstdint>
#include <string>

// Fixed texts of the codec's errors, warnings and progress stages, in one place
// so that every layer reports the same words.
namespace framolo::gifmsg {

// The document model's.
inline constexpr const char* UnsupportedObject = "Object type not supported for operation";
inline constexpr const char* InvalidColorIndex = "Invalid color index";
inline constexpr const char* ColorTableEmpty = "Color table is empty";
inline constexpr const char* ColorTableOverflow = "Color table overflow";
inline constexpr const char* InvalidPixelCoordinates = "Invalid pixel coordinates";
inline constexpr const char* ImageEmpty = "Image is empty";
inline constexpr const char* ImageWidthTooSmall = "Image width too small for contained frames";
inline constexpr const char* ImageHeightTooSmall = "Image height too small for contained frames";
inline constexpr const char* ImageExceedsScreen = "Image exceeds Logical Screen size";
inline constexpr const char* ClipboardStoreFailed = "Failed to store GIF on clipboard";
inline constexpr const char* UnsupportedClipboardFormat = "Unsupported clipboard format";
inline constexpr const char* UnsupportedVersion = "Unsupported GIF version";
inline constexpr const char* ColorNotInTable = "Color not in color table";
inline constexpr const char* InvalidStreamOperation = "Invalid stream operation";
inline constexpr const char* NoColorTable = "No global or local color table defined";
inline constexpr const char* FrameTooLarge = "Image is too large to hold in memory";
inline constexpr const char* Saving = "Saving...";
inline constexpr const char* Loading = "Loading...";
inline constexpr const char* Copying = "Copying...";
inline constexpr const char* Rendering = "Rendering...";
inline constexpr const char* Converting = "Converting...";

// The reader's and the decoder's.
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

// A read that would make more frames and extensions than the reader's limit.
inline std::string TooManyBlocks(std::int64_t limit) {
    return "The GIF image holds more blocks than can be read (the limit is " +
           std::to_string(limit) + ")";
}

// A document whose frames together would pass its pixel budget. Counts are in
// whole millions, the pixels rounded up and the limit down, so that the first
// always reads larger than the second.
inline std::string PixelBudgetExceeded(std::int64_t pixels, std::int64_t limit) {
    constexpr std::int64_t million = 1000000;
    return "The GIF image holds more pixels than can be decoded (" +
           std::to_string((pixels + million - 1) / million) + " million; the limit is " +
           std::to_string(limit / million) + " million)";
}

} // namespace framolo::gifmsg
