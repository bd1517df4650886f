#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace framolo {

// An error a conversion job raises at a failing step; its text is fixed.
class EJobError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace jobmsg {
inline constexpr const char* OpenFirst =
    "Please click \"open\" button to open an AVI file at first!";
inline constexpr const char* NeedStep = "Please specify a STEP value for converting!";
inline constexpr const char* Finished =
    "   Converting is finished successfully , you can check report area and click \" Save \" "
    "button to save your GIF image , or change the Setting Items and convert again. ";
inline constexpr const char* FailedOpenFile = "Failed to open AVI file";
inline constexpr const char* FailedOpenStream = "Failed to open AVI stream";
inline constexpr const char* FailedStreamInfo = "Failed to get AVI stream info";
inline constexpr const char* FailedFormatSize = "Failed to get AVI stream format size";
inline constexpr const char* FailedFormat = "Failed to get AVI stream format";
inline constexpr const char* FailedStartStream = "Failed to start AVI stream";
inline constexpr const char* FailedStartDecompression = "Failed to start AVI decompression";
inline constexpr const char* FailedDecompress = "Failed to decompress AVI frame";
inline constexpr const char* BadOutputSize = "Width and Height must be greater than zero";
inline constexpr const char* ImportGifFirst = "Please import a GIF image at first ";
inline constexpr const char* FailedCreateFile = "Failed to create AVI file";
inline constexpr const char* FailedBitmapInfo = "Failed to retrieve bitmap info";
inline constexpr const char* FailedCreateStream = "Failed to create AVI stream";
inline constexpr const char* FailedSetFormat = "Failed to set AVI stream format";
inline constexpr const char* FailedAddFrame = "Failed to add frame to AVI";
inline constexpr const char* FirstFrameEmpty = "The first frame of the GIF image is empty";
inline constexpr const char* ScreenTooLarge =
    "The GIF image is too large for an AVI file: at most 32767 x 32767 pixels";
inline constexpr const char* SavedTo = "Converting is finished,your GIF image is saved to  ";
inline constexpr const char* WorkingFinished =
    "   Working is finished successfully!   Your GIF image is saved to ";
inline constexpr const char* BadInteger = "Error input, only accept integer!";
inline constexpr const char* StepGreaterThanZero = "An integer of greater than zero is required!";
// A run that ran out of memory, in place of the allocator's own word.
inline constexpr const char* OutOfMemoryForGif =
    "Not enough memory to hold the GIF: try a smaller size or range";
inline constexpr const char* OutOfMemoryForClip =
    "Not enough memory to convert the GIF image: try a smaller one";
// An AVI to GIF run that ended without a frame: the GIF writer refuses an
// empty document with its version error, which says nothing to a user.
inline constexpr const char* NoFrameDecoded = "No frame of the clip could be decoded";
} // namespace jobmsg

// A field's text as a signed 32-bit number; raises EConvertError
// ("'x' is not a valid integer value") otherwise.
std::int32_t StrToInt(const std::string& text);

// Bytes to kilobytes, rounded to the nearest integer with halves to even.
std::int64_t BytesToKBRounded(std::int64_t bytes);

// The extension of a path ("" when none), with its dot, as written.
std::string ExtractFileExt(const std::string& path);
std::string ChangeFileExt(const std::string& path, const std::string& ext);
std::string LowerCase(std::string text);

// True when a step field's text, trimmed, is a number equal to zero ("0", "00").
bool IsZeroStep(const std::string& text);

// Why the frames start to end (both included) cannot be taken from a clip
// whose frames are first to last, in words that name the two values as the
// person gave them (startName "Start Frame" or "--start"); nothing when they
// can. A run is refused with it before any work.
std::optional<std::string> FrameRangeProblem(const std::string& startName, std::int32_t start,
                                             const std::string& endName, std::int32_t end,
                                             std::int32_t first, std::int32_t last);

struct TPreviewPlacement {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    bool FillClient = false;
};

// Where a preview showing a w x h picture goes inside a panel of pw x ph.
TPreviewPlacement FitPreview(int w, int h, int pw, int ph);

} // namespace framolo
