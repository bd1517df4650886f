#pragma once

#include "convert/conversion_host.h"
#include "platform/avifile/avifile_guards.h"
#include "platform/graphics/bitmap.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace framolo {

class TGIFDocument;
class TGIFSubImage;

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

// False, after its warning, when a run cannot start: no clip is open, or the
// step field is empty.
bool AviToGifMayStart(TConversionHost& host);

// A field of the host as a number; raises EConvertError for text that is none.
int FieldValue(TConversionHost& host, TParamField field);

// Steps through the range the host's fields give (Start to End inclusive by
// Step, End read before every frame), keeping the progress bar and the stop
// flag as the job does, and hands every frame, scaled to the Width x Height
// fields, to take with the number of frames taken before it. Returns false
// when a stop ended the range early.
bool ReadScaledFrames(TConversionHost& host, TAviFrameSource& source,
                      const std::function<void(std::unique_ptr<TBitmap>, int)>& take);

// Sets the document's colour reduction and dithering from the two lists'
// indexes; an index outside a list keeps the document's default.
void ApplyListChoices(TGIFDocument& document, int reductionIndex, int ditherIndex);

// Appends picture to document as a frame of the conversion: a looping
// extension first when first is true, then a graphic control extension with
// the delay; the logical screen takes the Width and Height fields. Fields are
// read through field, as the job reads them, after the picture is added.
// Drops the frame's rendered-bitmap cache: the frame's indexes and colour
// table are all a writer or painter needs.
TGIFSubImage* AppendJobFrame(TGIFDocument& document, TBitmap& picture, bool first,
                             const std::function<int(TParamField)>& field);

// The same for a frame already added at index by other means (a host's
// AddFrame); a graphic control extension it came with is kept, with the delay
// set, and moves behind the looping extension.
TGIFSubImage* CompleteJobFrame(TGIFDocument& document, int index, bool first,
                               const std::function<int(TParamField)>& field);

} // namespace framolo
