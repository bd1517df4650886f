#pragma once

#include "convert/job_host.h"
#include "platform/video/video_file_writer.h"

#include <cstdint>

namespace framolo {

// How a GIF becomes an MP4 or WebM clip.
struct TGifToVideoOptions {
    // 1 (smallest file) to 100 (best picture).
    int Quality = kDefaultVideoQuality;
    // Shows where the GIF is transparent; 0x00BBGGRR.
    TColor Background = 0;
    // An AVI file that would be larger is refused before it is written; 0
    // for no limit.
    std::int64_t MaxAviBytes = std::int64_t{4} << 30;
};

// Writes every frame of the sink's GIF document as one key frame of a new
// uncompressed 8-bit AVI file, or, when the chosen name ends in .mp4 or .webm,
// as a compressed clip in which every frame keeps its own delay. Runs
// synchronously on the calling thread.
class TGifToVideoJob {
public:
    explicit TGifToVideoJob(TPreviewingJobHost& sink, TGifToVideoOptions video = {})
        : sink_(sink), video_(video) {}
    TJobOutcome Run();

    // Samples count hundredths of a second: dwScale is the delays' greatest
    // common divisor, so every frame starts exactly at a sample.
    static constexpr std::uint32_t kRate = 100;

private:
    // Both write into `path`, the finished clip's temporary file.
    void Convert(TGIFDocument& document, TJobOutcome& outcome, const std::string& path);
    void ConvertToVideo(TGIFDocument& document, TJobOutcome& outcome, const std::string& path);
    TPreviewingJobHost& sink_;
    TGifToVideoOptions video_;
};

} // namespace framolo
