#pragma once

// How long each frame of an animation holds the screen, the one rule every
// road out of a GIF follows (AVI, MP4, WebM).

#include <cstdint>
#include <vector>

namespace framolo {

class TGIFImageList;
class TGIFSubImage;

// What browsers show a frame of delay 0 or 1, or a frame without a graphic
// control extension, for: a tenth of a second.
inline constexpr int kBrowserMinimumDelay = 10;

// The hundredths of a second the frame shows for: its delay, raised to
// kBrowserMinimumDelay when 0 or 1 or missing; 0 for a frame without an
// image (extensions only, a trailing comment say), which viewers pass over.
int ShownDelay(const TGIFSubImage& frame);

// True for a frame with an image whose own delay ShownDelay raises.
bool DelayRaised(const TGIFSubImage& frame);

// When each frame starts, in hundredths from the first: the shown delays of
// the frames before it, summed. One entry more than there are frames: the
// last is the animation's length.
std::vector<std::int64_t> FrameStarts(const TGIFImageList& frames);

} // namespace framolo
