#include "cli/clip_probe.h"

#include "cli/cli_options.h"
#include "convert/job_support.h"
#include "platform/avifile/avifile.h"
#include "platform/avifile/avifile_guards.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace framolo {

TClipDefaults ProbeClip(const std::string& path) {
    TClipDefaults d;
    TAVILibraryGuard library;
    TAVIFileGuard file;
    if (AVIFileOpen(file.File, path, OF_SHARE_DENY_WRITE) != 0) {
        file.File = nullptr;
        return d;
    }
    TAVIStreamGuard stream;
    if (AVIFileGetStream(file.File, stream.Stream, streamtypeVIDEO, 0) != 0 ||
        stream.Stream == nullptr) {
        stream.Stream = nullptr;
        return d;
    }
    TAVIStreamInfo info;
    if (AVIStreamInfo(stream.Stream, info, static_cast<std::int32_t>(sizeof(info))) != 0)
        return d;
    // A header may start a stream near the largest frame number: the last
    // frame is counted in 64 bits and kept to the numbers a field can hold.
    const auto lastFrame = [start = AVIStreamStart(stream.Stream)](std::int32_t length) {
        return static_cast<int>(
            std::min<std::int64_t>(std::int64_t{start} + length - 1, INT32_MAX));
    };
    d.Start = AVIStreamStart(stream.Stream);
    d.End = lastFrame(AVIStreamLengthInFile(stream.Stream));
    d.HeaderEnd = lastFrame(AVIStreamLength(stream.Stream));
    d.Width = info.rcFrame.Right - info.rcFrame.Left;
    d.Height = info.rcFrame.Bottom - info.rcFrame.Top;
    // The frame rectangle is kept in 16 bits and wraps for wide clips; the
    // format's bitmap header has the size in 32 bits, the height negative for
    // rows stored top-down.
    std::int32_t size = 0;
    if (AVIStreamReadFormat(stream.Stream, 0, nullptr, &size) == 0 && size >= 12) {
        std::vector<std::uint8_t> format(static_cast<std::size_t>(size));
        if (AVIStreamReadFormat(stream.Stream, 0, format.data(), &size) == 0) {
            std::int32_t side[2] = {};
            std::memcpy(side, format.data() + 4, sizeof(side));
            d.Width = side[0];
            d.Height = static_cast<int>(
                std::min<std::int64_t>(std::abs(std::int64_t{side[1]}), INT32_MAX));
        }
    }
    // A header's size is only a claim, which a small file can make for
    // pictures of thousands of pixels a side: the first picture decoded has
    // the size the conversion meets.
    TAVIGetFrameGuard decoder;
    decoder.GetFrame = AVIStreamGetFrameOpen(stream.Stream, nullptr);
    const void* first =
        decoder.GetFrame != nullptr ? AVIStreamGetFrame(decoder.GetFrame, d.Start) : nullptr;
    if (first != nullptr) {
        std::int32_t side[2] = {};
        std::memcpy(side, static_cast<const std::uint8_t*>(first) + 4, sizeof(side));
        if (side[0] != d.Width || side[1] != d.Height) {
            d.HeaderWidth = d.Width;
            d.HeaderHeight = d.Height;
            d.Width = side[0];
            d.Height = side[1];
        }
    }
    if (first == nullptr && (d.Width > AVIMaxFrameSide || d.Height > AVIMaxFrameSide ||
                             std::int64_t{d.Width} * d.Height > AVIMaxFramePixels))
        d.TooLarge = true;
    // Worked out in a double and kept to what a GIF's delay holds before it
    // becomes a number: a scale near 2^32 over a rate of 1 is a period of
    // fifty days.
    if (info.dwRate != 0) {
        const double period = static_cast<double>(info.dwScale) * 1000.0 / info.dwRate;
        d.PeriodTooLong = period > kGifMaxDelayMs;
        d.PeriodMs = period;
        d.DelayMs = static_cast<int>(std::nearbyint(std::min(period, double{kGifMaxDelayMs})));
    }
    d.Ok = true;
    return d;
}

} // namespace framolo
