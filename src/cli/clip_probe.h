#pragma once

#include <string>

namespace framolo {

// The longest delay a GIF stores: 65535 hundredths of a second.
inline constexpr int kGifMaxDelayMs = 655350;

// What the window fills in when a clip is opened: its first and last frame,
// its size and its frame period.
struct TClipDefaults {
    bool Ok = false;
    int Start = 0;
    int End = -1;       // the last frame the file holds
    int HeaderEnd = -1; // the last frame its header promises
    int Width = 0;
    int Height = 0;
    // The size the header gave, when the first picture has another; else 0.
    int HeaderWidth = 0;
    int HeaderHeight = 0;
    int DelayMs = 0;
    // The frame period is longer than a GIF's delay holds (DelayMs is then
    // the longest one); PeriodMs is the period itself.
    bool PeriodTooLong = false;
    double PeriodMs = 0;
    // Pictures larger than the decoder delivers.
    bool TooLarge = false;
};

// Reads what the window reads when it opens path: Ok is false when it is no
// clip FFmpeg can read.
TClipDefaults ProbeClip(const std::string& path);

} // namespace framolo
