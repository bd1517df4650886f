#pragma once

#include "color/color_types.h"
#include "gif/frame_optimizer.h"
#include "gif/gif_document.h"
#include "platform/graphics/bitmap.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace framolo {

// Frames of a conversion coded one at a time, each without the others and
// without a document: the bytes of a frame are those the document writer
// gives the same frame in a document with the same settings, as long as the
// frame carries its own colour table (or is the first frame of a file whose
// global table is that frame's).

// What every frame of one conversion shares: the reduction a new document
// would apply to an imported picture, and the coder of the image data.
struct TGIFFrameSettings {
    TColorReduction ColorReduction = TColorReduction::Netscape;
    TDitherMode DitherMode = TDitherMode::Nearest;
    std::int32_t QuantizeBits = 8;
    // 1 selects the run-length coder, anything else LZW.
    std::uint8_t DataCoding = 0;
};

// What a conversion puts in front of a frame: on the first frame a looping
// extension with Loop, on every frame a graphic control extension with the
// delay. Both keep their low 16 bits. The delay is given in milliseconds and
// stored in hundredths of a second with the remainder carried: frame Index
// starts at the hundredth nearest Index x DelayMs / 10 (halves up), so the
// frames last what their delays add up to (125 ms gives 13, 12, 13, 12 ...)
// and a delay in whole hundredths is stored as it is.
struct TFrameTiming {
    bool First = false;
    int Loop = 0;
    int DelayMs = 0;
    int Index = 0;
};

// A frame as it goes into the file: its extensions, image descriptor, local
// colour table and image data, and what the file's header needs to know of it.
struct TEncodedFrame {
    int Index = 0;
    std::vector<std::uint8_t> Bytes;
    int BitsPerPixel = 0;
    int Version = 1;
    // Of the image in Bytes, the data's sub-blocks with their length bytes
    // (what grows with the frame's rows, unlike the extensions, the image
    // descriptor and a local colour table), and the pixels of its rectangle.
    // Both 0 for a frame without an image.
    std::int64_t ImageDataBytes = 0;
    std::int64_t ImageArea = 0;
    // The file's global colour table, carried by the first frame only when
    // the frames use one.
    std::vector<TGIFColor> GlobalColors;
};

// The frame TGIFDocument::Add makes of picture in a document with these
// settings, on a frame of no document: its size, indexes, local colour table
// and, for a transparent picture, a graphic control extension. The frame
// keeps no rendered bitmap. A true-colour picture is converted to 24 bits per
// pixel in place. Raises the import's and the reduction's errors, and
// "Invalid image dimensions" for a reduction that does not give an indexed
// picture of the same size (NoReduction among them: a frame is always reduced
// here).
std::unique_ptr<TGIFSubImage> ReducePictureToFrame(TBitmap& picture,
                                                   const TGIFFrameSettings& settings);

// Gives frame the conversion's extensions: the looping extension first (on
// the first frame), then a graphic control extension with the delay. One the
// frame already has keeps its other fields and moves behind the looping
// extension.
void PlaceTimingExtensions(TGIFSubImage& frame, const TFrameTiming& timing);

// The bytes of a frame with a local colour table: every extension it has, in
// order, then its image. Raises "No global or local color table defined" when
// the frame has no table of its own.
TEncodedFrame EncodeFrame(TGIFSubImage& frame, int index, std::uint8_t dataCoding);

// The bytes of a frame made by TOptimizedFrameSequence, once its transparency
// is settled (TFrameOptimizer::ChooseTransparency): the timing's extensions,
// the graphic control extension carrying the frame's disposal and
// transparency, then its image. A frame that uses the global table is coded
// with that table's own bits; frame index 0 carries it as GlobalColors (or
// its GlobalTable, beside a table of its own), and raises "No global or local
// color table defined" when it has neither.
TEncodedFrame EncodeOptimizedFrame(const TOptimizedFrame& frame, int index,
                                   const TFrameTiming& timing, std::uint8_t dataCoding);

} // namespace framolo
