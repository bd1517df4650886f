#pragma once

#include "convert/avi_frame_source.h"
#include "convert/frame_params.h"
#include "convert/job_host.h"
#include "gif/frame_encoder.h"

#include <functional>
#include <memory>

namespace framolo {

class TGIFDocument;
class TGIFSubImage;

// The steps the two AVI to GIF jobs share: the window's one that builds a
// document, and the command line's one that streams the file.

// False, after its warning, when a run cannot start: no clip is open, or no
// step is given (the input focus then goes to the step field).
bool AviToGifMayStart(TFrameParamSource& source, TJobHost& sink);

// Steps through the frames Start to End by Step, keeping the progress bar
// and the stop flag as the job does, and hands every frame, cut to the crop
// and scaled to Width x Height, to take with the number of frames taken
// before it. End is read before every frame, Start for every progress step,
// Width and Height for every frame; params holds the numbers as last read.
// Frames written backwards (Reverse, Bounce's way back) come from a range
// read once, decoded forwards a few at a time. Returns false when a stop
// ended the range early.
bool ReadScaledFrames(TFrameParamSource& source, TJobHost& sink, TFrameParams& params,
                      TAviFrameSource& clip,
                      const std::function<void(std::unique_ptr<TBitmap>, int)>& take);

// decoded itself without a crop; with one, the crop's rectangle of it in 24
// bits a pixel, made in room.
const TBitmap& CropFrame(const TBitmap& decoded, const std::optional<TCropRect>& crop,
                         TBitmap& room);

// The document's colour reduction, dithering and coder from the run's
// choices; an unset choice keeps the document's default.
void ApplyChoices(TGIFDocument& document, const TFrameParams& params);

// The frame settings that a new document given ApplyChoices would import and
// code its frames with.
TGIFFrameSettings FrameSettings(const TFrameParams& params);

// Gives the frame at index the conversion's extensions (PlaceTimingExtensions)
// and sets the logical screen to width x height. Drops the frame's
// rendered-bitmap cache: its indexes and colour table are all a writer or
// painter needs.
TGIFSubImage* CompleteJobFrame(TGIFDocument& document, int index, const TFrameTiming& timing,
                               int width, int height);

} // namespace framolo
