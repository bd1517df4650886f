#pragma once

// Helpers of the AVIFile tests: clips made with the ffmpeg command line at
// test time, ffmpeg's own decode of them for comparison, and our frames
// turned into plain top-down BGR24.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/avifile/avifile.h"

namespace framolo::avitest {

// The running test's own folder, inside the build tree, removed after the test.
std::filesystem::path WorkDir();

// Runs a shell command; returns its exit status. Output is captured in `out`
// when given.
int Run(const std::string& command, std::string* out = nullptr);

// Makes `name` in the folder of shared clips with `ffmpeg -y <args> <file>`
// once per test run.
// Returns the path, or an empty path when ffmpeg failed (the encoder may be
// missing).
std::filesystem::path MakeClip(const std::string& name, const std::string& args);

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

// ffmpeg's decode of the first video stream: each picture as top-down BGR24
// with the frame number its timestamp gives (counted from the first picture).
struct TReference {
    int Width = 0;
    int Height = 0;
    std::vector<std::int64_t> Numbers;
    std::vector<std::vector<std::uint8_t>> Pictures;
    // The picture frame `k` shows: the last one numbered k or less.
    const std::vector<std::uint8_t>* At(std::int64_t k) const;
};
TReference DecodeReference(const std::filesystem::path& clip);

// ffmpeg's decode of the first audio stream as interleaved 16-bit PCM.
std::vector<std::int16_t> DecodeReferencePcm(const std::filesystem::path& clip, int channels);

// A packed DIB from AVIStreamGetFrame as top-down BGR24 rows without padding.
std::vector<std::uint8_t> DibToBgr(const void* dib, int* width = nullptr, int* height = nullptr);
TBitmapInfoHeader DibHeader(const void* dib);

// The n-th stream header of an AVI file read straight from its bytes.
struct TRawStrh {
    std::uint32_t fccType = 0, fccHandler = 0, dwScale = 0, dwRate = 0, dwStart = 0, dwLength = 0,
                  dwSampleSize = 0;
    std::int16_t rc[4] = {};
};
bool FindStrh(const std::vector<std::uint8_t>& file, int n, TRawStrh& out);

// ffprobe's view of the first video stream.
struct TProbe {
    std::string FrameRate; // "num/den"
    std::int64_t NbFrames = -1;
    std::int64_t DecodedFrames = -1;
};
TProbe ProbeVideo(const std::filesystem::path& clip);

} // namespace framolo::avitest
