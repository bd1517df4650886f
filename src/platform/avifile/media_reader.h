#pragma once

// Decoding through FFmpeg: what a file holds (media_probe.cpp), the frames of
// one video stream by frame number (video_reader.cpp), and the samples of one
// audio stream as 16-bit PCM (audio_reader.cpp). Internal to the AVIFile
// layer; no FFmpeg type shows here (ffmpeg_handles.h holds them).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/avifile/avifile_types.h"
#include "platform/avifile/riff_parser.h"

namespace framolo {

// How decoded timestamps turn into frame numbers.
struct TFrameClock {
    // AVI: timestamps count frames (the time base is dwScale / dwRate) and
    // empty chunks leave gaps, so a frame's number is its timestamp.
    // Elsewhere a frame's number is its rank among the presentation times of
    // all packets, listed in `Times` in ascending order.
    bool CountsFrames = true;
    std::vector<std::int64_t> Times;
    std::int64_t Start = 0;  // number of the first frame (an AVI stream's dwStart)
    std::int64_t Length = 0; // frames, gaps included
    // Frames whose data is in the file, counted from Start; -1 when all are.
    // A file cut short keeps its header's length but not its frames.
    std::int64_t Available = -1;
    // Palette changes live in chunks between the frames; a seek would skip
    // them, so such streams are only ever decoded forward from the start.
    bool ForwardOnly = false;
    // What FFmpeg's timestamps of an AVI stream lack of the frame numbers:
    // 0, or Start when the demuxer dropped a start it found too far off.
    std::int64_t TsOffset = 0;
};

struct TAudioShape {
    int Channels = 0; // of the PCM delivered: 1 or 2
    int SampleRate = 0;
    bool SourceIsPcm = false; // any PCM codec: positions can be sought exactly
    std::int64_t Length = 0;  // PCM frames (estimated for compressed sound)
};

// What a file holds, as the AVIFile calls describe it.
struct TMediaStream {
    bool Video = false;
    bool Audio = false;
    int FfIndex = -1; // stream index inside FFmpeg, -1 when FFmpeg has none
    TAVIStreamInfo Info;
    std::vector<std::uint8_t> Format;
    std::shared_ptr<const TFrameClock> Clock; // video
    TAudioShape AudioShape;                   // audio
};

struct TMediaFile {
    bool IsAvi = false;
    std::vector<TMediaStream> Streams;
};

// Describes the file at `path`. `layout` is our own parse when the file is an
// AVI file; its header values win over FFmpeg's.
std::optional<TMediaFile> ProbeMedia(const std::string& path, const TAviLayout* layout);

class TVideoReader {
public:
    static std::unique_ptr<TVideoReader> Open(const std::string& path, int ffIndex,
                                              std::shared_ptr<const TFrameClock> clock);
    ~TVideoReader();
    TVideoReader(const TVideoReader&) = delete;
    TVideoReader& operator=(const TVideoReader&) = delete;

    // The frame as a packed DIB, or null. Valid until the next call.
    const std::uint8_t* Frame(std::int64_t number);

    struct TImpl;
    explicit TVideoReader(std::unique_ptr<TImpl> impl);

private:
    std::unique_ptr<TImpl> FImpl;
};

class TAudioReader {
public:
    static std::unique_ptr<TAudioReader> Open(const std::string& path, int ffIndex,
                                              const TAudioShape& shape);
    ~TAudioReader();
    TAudioReader(const TAudioReader&) = delete;
    TAudioReader& operator=(const TAudioReader&) = delete;

    // Reads up to `count` PCM frames from `start` into `dst` (interleaved
    // 16-bit). Returns the frames read, 0 at the end, -1 on failure.
    std::int64_t Read(std::int64_t start, std::int64_t count, std::int16_t* dst);

    struct TImpl;
    explicit TAudioReader(std::unique_ptr<TImpl> impl);

private:
    std::unique_ptr<TImpl> FImpl;
};

} // namespace framolo
