#pragma once

// Writing a clip people share: H.264 in MP4 or VP9 in WebM, encoded through
// FFmpeg's libraries. No FFmpeg type shows here.

#include <cstdint>
#include <memory>
#include <string>

namespace framolo {

enum class TVideoFileFormat { Mp4, WebM };

// The quality a clip is written at unless asked otherwise: H.264's usual
// constant-rate factor, 23 of 51.
inline constexpr int kDefaultVideoQuality = 55;

struct TVideoFileSettings {
    TVideoFileFormat Format = TVideoFileFormat::Mp4;
    // The picture's size. H.264 and VP9 in 4:2:0 want even sizes: an odd
    // width or height is padded by one column or row of Background, never
    // scaled.
    int Width = 0;
    int Height = 0;
    // 1 (smallest file) to 100 (best picture); mapped onto the codec's
    // constant-quality scale.
    int Quality = kDefaultVideoQuality;
    // Fills the padding; 0x00BBGGRR.
    std::uint32_t Background = 0;
};

// The extension's format: ".mp4" or ".webm" in any letter case; false for
// anything else.
bool VideoFileFormatOf(const std::string& fileName, TVideoFileFormat& format);

// One output file. Frames carry their own duration in hundredths of a second,
// so the file plays with variable frame timing: each frame is shown for exactly
// its duration and the clip lasts their sum. Every failure leaves an error
// text (FFmpeg's reason included) in LastError() and the writer unusable; the
// caller removes the file.
class TVideoFileWriter {
public:
    static std::unique_ptr<TVideoFileWriter>
    Create(const std::string& fileName, const TVideoFileSettings& settings, std::string& error);
    ~TVideoFileWriter();
    TVideoFileWriter(const TVideoFileWriter&) = delete;
    TVideoFileWriter& operator=(const TVideoFileWriter&) = delete;

    // One frame of Width x Height pixels, 24-bit red-green-blue, rows top-down
    // `stride` bytes apart, shown for `hundredths` (at least 1).
    bool AddFrame(const std::uint8_t* rgb, int stride, int hundredths);
    // Drains the encoder and writes the trailer (and, for MP4, moves the index
    // to the front so playback can start before the download ends).
    bool Finish();
    const std::string& LastError() const;

    struct TImpl;
    explicit TVideoFileWriter(std::unique_ptr<TImpl> impl);

private:
    std::unique_ptr<TImpl> FImpl;
};

} // namespace framolo
