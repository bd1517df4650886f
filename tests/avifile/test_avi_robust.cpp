// Bad input: empty, foreign, cut-off and damaged files give failure results
// or null frames, never a crash; the header parser survives every cut.

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>

#include "avi_test_support.h"
#include "open_clip.h"
#include "platform/avifile/avifile.h"
#include "platform/avifile/riff_parser.h"

namespace framolo {
namespace {

using namespace avitest;
namespace fs = std::filesystem;

// Opens `path` and touches every frame and some sound. Returns whether the
// file opened at all.
bool ExerciseFile(const fs::path& path) {
    PAVIFile file = nullptr;
    if (AVIFileOpen(file, path.string(), OF_READ) != AVIERR_OK) {
        EXPECT_EQ(file, nullptr);
        return false;
    }
    PAVIStream video = nullptr;
    if (AVIFileGetStream(file, video, streamtypeVIDEO, 0) == AVIERR_OK) {
        TAVIStreamInfo info;
        EXPECT_EQ(AVIStreamInfo(video, info, sizeof info), AVIERR_OK);
        std::int32_t size = 0;
        AVIStreamReadFormat(video, 0, nullptr, &size);
        if (PGetFrame gf = AVIStreamGetFrameOpen(video, nullptr)) {
            const std::int32_t n = std::min(AVIStreamLength(video), 64);
            for (std::int32_t k = n - 1; k >= 0; k -= 2) {
                if (const void* dib = AVIStreamGetFrame(gf, k)) {
                    const TBitmapInfoHeader h = DibHeader(dib);
                    EXPECT_TRUE(h.biBitCount == 8 || h.biBitCount == 24);
                    EXPECT_GT(h.biWidth, 0);
                }
            }
            for (std::int32_t k = 0; k < n; ++k) {
                AVIStreamGetFrame(gf, k);
            }
            AVIStreamGetFrameClose(gf);
        }
        AVIStreamRelease(video);
    }
    PAVIStream audio = nullptr;
    if (AVIFileGetStream(file, audio, streamtypeAUDIO, 0) == AVIERR_OK) {
        std::vector<std::int16_t> pcm(4096);
        std::int32_t bytes = 0;
        std::int32_t samples = 0;
        AVIStreamRead(audio, 0, 1024, pcm.data(), 8192, &bytes, &samples);
        EXPECT_LE(samples, 1024);
        AVIStreamRead(audio, 500, 1024, pcm.data(), 8192, &bytes, &samples);
        AVIStreamRelease(audio);
    }
    AVIFileRelease(file);
    return true;
}

fs::path SourceClip() {
    return MakeClip("robust_src.avi",
                    "-f lavfi -i testsrc2=size=48x32:rate=25 -f lavfi -i "
                    "sine=sample_rate=8000:duration=0.5 -c:v mpeg4 -bf 1 -g 5 -vtag XVID "
                    "-c:a libmp3lame -b:a 32k -frames:v 12");
}

TEST(AviRobust, EmptyForeignAndMissingFilesFailToOpen) {
    const fs::path empty = WorkDir() / "empty.avi";
    WriteFile(empty, {});
    const fs::path text = WorkDir() / "text.avi";
    const std::string words = "This is a plain text file that merely carries an .avi name.\n";
    WriteFile(text, std::vector<std::uint8_t>(words.begin(), words.end()));
    const fs::path riffOnly = WorkDir() / "riff_only.avi";
    WriteFile(riffOnly, {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' '});
    for (const fs::path& p : {empty, text, riffOnly, WorkDir() / "missing.avi"}) {
        int marker = 0;
        PAVIFile file = reinterpret_cast<PAVIFile>(&marker); // must be overwritten
        EXPECT_NE(AVIFileOpen(file, p.string(), OF_READ), AVIERR_OK) << p;
        EXPECT_EQ(file, nullptr);
    }
}

TEST(AviRobust, NullAndForeignHandlesAreRefused) {
    TAVIStreamInfo info;
    std::int32_t size = 0;
    PAVIStream stream = nullptr;
    EXPECT_NE(AVIFileGetStream(nullptr, stream, streamtypeVIDEO, 0), AVIERR_OK);
    EXPECT_NE(AVIStreamInfo(nullptr, info, sizeof info), AVIERR_OK);
    EXPECT_NE(AVIStreamReadFormat(nullptr, 0, nullptr, &size), AVIERR_OK);
    EXPECT_EQ(AVIStreamGetFrameOpen(nullptr, nullptr), nullptr);
    EXPECT_EQ(AVIStreamGetFrame(nullptr, 0), nullptr);
    EXPECT_NE(AVIStreamGetFrameClose(nullptr), AVIERR_OK);
    EXPECT_EQ(AVIStreamLength(nullptr), -1);
    EXPECT_EQ(AVIStreamStart(nullptr), -1);
    EXPECT_NE(AVIStreamBeginStreaming(nullptr, 0, 0, 1000), AVIERR_OK);
    int local = 0;
    EXPECT_EQ(AVIStreamGetFrame(reinterpret_cast<PGetFrame>(&local), 0), nullptr);
    EXPECT_EQ(AVIStreamRelease(reinterpret_cast<PAVIStream>(&local)), 0u);

    const fs::path clip = SourceClip();
    ASSERT_FALSE(clip.empty());
    PAVIFile file = nullptr;
    ASSERT_EQ(AVIFileOpen(file, clip.string(), OF_SHARE_DENY_WRITE), AVIERR_OK);
    ASSERT_EQ(AVIFileGetStream(file, stream, streamtypeVIDEO, 0), AVIERR_OK);
    EXPECT_EQ(AVIStreamInfo(stream, info, 100), AVIERR_BADSIZE);
    EXPECT_EQ(AVIStreamBeginStreaming(stream, 0, 0, 1000), AVIERR_OK);
    EXPECT_EQ(AVIStreamEndStreaming(stream), AVIERR_OK);
    TBitmapInfoHeader wanted;
    EXPECT_EQ(AVIStreamGetFrameOpen(stream, &wanted), nullptr); // only the decoder's choice
    std::int32_t bytes = 0;
    EXPECT_EQ(AVIStreamRead(stream, 0, 1, &local, 4, &bytes, nullptr), AVIERR_UNSUPPORTED);
    PAVIStream text = nullptr;
    EXPECT_NE(AVIFileGetStream(file, text, MakeFourCC("txts"), 0), AVIERR_OK);
    EXPECT_EQ(text, nullptr);
    AVIStreamRelease(stream);
    AVIFileRelease(file);
}

TEST(AviRobust, CutOffFilesNeverCrash) {
    const fs::path clip = SourceClip();
    ASSERT_FALSE(clip.empty());
    const auto bytes = ReadFile(clip);
    ASSERT_GT(bytes.size(), 4000u);
    const fs::path cut = WorkDir() / "cut.avi";
    int opened = 0;
    // Densely through the headers, then across the data and the index.
    std::vector<std::size_t> cuts;
    for (std::size_t n = 0; n < 700; n += 23)
        cuts.push_back(n);
    for (std::size_t n = 700; n < bytes.size(); n += bytes.size() / 25)
        cuts.push_back(n);
    cuts.push_back(bytes.size() - 1);
    for (std::size_t n : cuts) {
        SCOPED_TRACE(n);
        WriteFile(cut, std::vector<std::uint8_t>(bytes.begin(),
                                                 bytes.begin() + static_cast<std::ptrdiff_t>(n)));
        opened += ExerciseFile(cut) ? 1 : 0;
    }
    EXPECT_GT(opened, 0); // files cut inside the frames still open
}

TEST(AviRobust, FramesCutOffTheEndAreNullFrames) {
    const fs::path clip = SourceClip();
    ASSERT_FALSE(clip.empty());
    const auto bytes = ReadFile(clip);
    const fs::path cut = WorkDir() / "cut_half.avi";
    TRawStrh strh;
    ASSERT_TRUE(FindStrh(bytes, 0, strh));
    const auto length = static_cast<std::int32_t>(strh.dwLength);
    // Without idx1 and the last frames.
    WriteFile(cut, std::vector<std::uint8_t>(bytes.begin(), bytes.end() - 3000));
    TOpenClip opened(cut, OF_READ);
    ASSERT_EQ(opened.Result, AVIERR_OK);
    EXPECT_EQ(AVIStreamLength(opened.Stream), length); // the header still says so
    PGetFrame gf = opened.OpenFrames();
    ASSERT_NE(gf, nullptr);
    EXPECT_NE(AVIStreamGetFrame(gf, 0), nullptr);
    EXPECT_EQ(AVIStreamGetFrame(gf, length - 1), nullptr);
    EXPECT_NE(AVIStreamGetFrame(gf, 1), nullptr);
}

TEST(AviRobust, CorruptIndexAndHeadersNeverCrash) {
    const fs::path clip = SourceClip();
    ASSERT_FALSE(clip.empty());
    const auto bytes = ReadFile(clip);
    const fs::path bad = WorkDir() / "corrupt.avi";

    // Garbage over the whole idx1 index.
    std::size_t idx1 = 0;
    for (std::size_t i = bytes.size() - 8; i > 0; --i) {
        if (bytes[i] == 'i' && bytes[i + 1] == 'd' && bytes[i + 2] == 'x' && bytes[i + 3] == '1') {
            idx1 = i;
            break;
        }
    }
    ASSERT_GT(idx1, 0u);
    std::mt19937 rng(7);
    auto damaged = bytes;
    for (std::size_t i = idx1 + 8; i < damaged.size(); ++i) {
        damaged[i] = static_cast<std::uint8_t>(rng());
    }
    WriteFile(bad, damaged);
    ExerciseFile(bad);

    // An index whose sizes and offsets all point past the end.
    damaged = bytes;
    for (std::size_t i = idx1 + 8; i + 16 <= damaged.size(); i += 16) {
        for (std::size_t b = 8; b < 16; ++b)
            damaged[i + b] = 0xFF;
    }
    WriteFile(bad, damaged);
    ExerciseFile(bad);

    // Random bytes over the header lists.
    for (int round = 0; round < 60; ++round) {
        damaged = bytes;
        for (int k = 0; k < 6; ++k) {
            damaged[12 + rng() % 600] = static_cast<std::uint8_t>(rng());
        }
        WriteFile(bad, damaged);
        ExerciseFile(bad);
    }
}

TEST(AviRobust, HeaderParserSurvivesEveryCut) {
    const fs::path clip = SourceClip();
    ASSERT_FALSE(clip.empty());
    const auto bytes = ReadFile(clip);
    std::size_t parsed = 0;
    for (std::size_t n = 0; n <= bytes.size(); n += (n < 2048 ? 1 : 97)) {
        TMemoryByteSource src(std::span<const std::uint8_t>(bytes.data(), n));
        std::string why;
        const auto layout = ParseAviLayout(src, &why);
        if (layout) {
            ++parsed;
            for (const auto& st : layout->Streams) {
                EXPECT_LE(st.Format.size(), n);
                EXPECT_LE(st.Chunks.size(), n / 8 + 1);
            }
        } else {
            EXPECT_FALSE(why.empty());
        }
    }
    EXPECT_GT(parsed, 0u);
    // The whole file parses with the index.
    TMemoryByteSource whole(bytes);
    const auto layout = ParseAviLayout(whole);
    ASSERT_TRUE(layout);
    ASSERT_EQ(layout->Streams.size(), 2u);
    EXPECT_EQ(layout->Streams[0].IndexSource, TAviIndexSource::Idx1);
    EXPECT_EQ(layout->Streams[0].Chunks.size(), layout->Streams[0].Header.dwLength);
    EXPECT_TRUE(layout->Streams[0].Chunks[0].KeyFrame);
}

// A header's frame count and first frame number are claims: the length is
// what the index holds, and a stream whose numbers run past the largest one
// is refused rather than cut short. The field sits `at` bytes into the video
// stream header's data: dwStart at 28, dwLength at 32.
TEST(AviRobust, TheIndexCountsTheFramesAndLateStartsAreRefused) {
    const fs::path clip =
        MakeClip("counted_src.avi", "-f lavfi -i testsrc2=size=16x16:rate=25 -c:v mjpeg "
                                    "-frames:v 10");
    ASSERT_FALSE(clip.empty());
    const auto source = ReadFile(clip);
    const std::string strh = "strh";
    const auto at = std::search(source.begin(), source.end(), strh.begin(), strh.end());
    ASSERT_NE(at, source.end());
    const auto data = static_cast<std::size_t>(at - source.begin()) + 8;
    constexpr std::int32_t kLargest = std::numeric_limits<std::int32_t>::max();
    struct TCase {
        std::size_t At;
        std::uint32_t Value;
        THResult Opens;
        std::int32_t Start;
        bool Unindexed = false; // both indexes turned into JUNK: the chunks are scanned
    };
    const TCase cases[] = {
        {32, 0, AVIERR_OK, 0, true},
        {32, 1000, AVIERR_OK, 0, true},
        {32, 0, AVIERR_OK, 0},                       // left at 0 by its writer
        {32, 1000, AVIERR_OK, 0},                    // 990 frames too many
        {32, 0x80000000u, AVIERR_OK, 0},             // past the largest frame number
        {28, kLargest - 9, AVIERR_OK, kLargest - 9}, // the last frame is the largest number
        {28, kLargest - 8, AVIERR_UNSUPPORTED, 0},   // the last frame would be lost
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.At) + ": " + std::to_string(c.Value));
        auto bytes = source;
        for (int b = 0; b < 4; ++b)
            bytes[data + c.At + static_cast<std::size_t>(b)] =
                static_cast<std::uint8_t>(c.Value >> (8 * b));
        for (const std::string index : {"indx", "idx1"}) {
            auto found = std::search(bytes.begin(), bytes.end(), index.begin(), index.end());
            if (c.Unindexed && found != bytes.end())
                std::copy_n("JUNK", 4, found);
        }
        const fs::path patched = WorkDir() / "counted.avi";
        WriteFile(patched, bytes);
        PAVIFile file = nullptr;
        ASSERT_EQ(AVIFileOpen(file, patched.string(), OF_READ), c.Opens);
        if (c.Opens != AVIERR_OK)
            continue;
        PAVIStream video = nullptr;
        ASSERT_EQ(AVIFileGetStream(file, video, streamtypeVIDEO, 0), AVIERR_OK);
        TAVIStreamInfo info;
        ASSERT_EQ(AVIStreamInfo(video, info, sizeof info), AVIERR_OK);
        EXPECT_EQ(info.dwLength, 10u);
        EXPECT_EQ(AVIStreamLength(video), 10);
        EXPECT_EQ(AVIStreamLengthInFile(video), 10);
        EXPECT_EQ(AVIStreamStart(video), c.Start);
        PGetFrame frames = AVIStreamGetFrameOpen(video, nullptr);
        ASSERT_NE(frames, nullptr);
        EXPECT_NE(AVIStreamGetFrame(frames, c.Start + 9), nullptr);
        if (c.Start + 9 < kLargest) {
            EXPECT_EQ(AVIStreamGetFrame(frames, c.Start + 10), nullptr);
        }
        AVIStreamGetFrameClose(frames);
        AVIStreamRelease(video);
        AVIFileRelease(file);
    }
}

// The pictures of frames 0, 4 and 9 of path, numbered from its first frame.
std::vector<std::vector<std::uint8_t>> SomeFrames(const fs::path& path) {
    std::vector<std::vector<std::uint8_t>> pictures;
    PAVIFile file = nullptr;
    if (AVIFileOpen(file, path.string(), OF_READ) != AVIERR_OK)
        return pictures;
    PAVIStream video = nullptr;
    if (AVIFileGetStream(file, video, streamtypeVIDEO, 0) == AVIERR_OK) {
        PGetFrame frames = AVIStreamGetFrameOpen(video, nullptr);
        for (const std::int32_t k : {0, 4, 9, 0}) {
            const auto* dib = static_cast<const std::uint8_t*>(
                AVIStreamGetFrame(frames, AVIStreamStart(video) + k));
            pictures.emplace_back(dib != nullptr ? dib : nullptr,
                                  dib != nullptr ? dib + 40 + 16 * 16 * 3 : nullptr);
        }
        AVIStreamGetFrameClose(frames);
        AVIStreamRelease(video);
    }
    AVIFileRelease(file);
    return pictures;
}

// A first frame number far past the clip's start (more than an hour of
// frames) is one the demuxer does not believe; the frames keep their pictures
// whatever the number, in order and after a jump back.
TEST(AviRobust, FramesKeepTheirPicturesAtAnyFirstFrameNumber) {
    // A frame a second: an hour is 3600 frames.
    const fs::path clip =
        MakeClip("started_src.avi", "-f lavfi -i testsrc2=size=16x16:rate=1 -c:v mjpeg "
                                    "-frames:v 10");
    ASSERT_FALSE(clip.empty());
    const auto expected = SomeFrames(clip);
    ASSERT_EQ(expected.size(), 4u);
    ASSERT_NE(expected[0], expected[1]);
    const auto source = ReadFile(clip);
    const std::string strh = "strh";
    const auto at = std::search(source.begin(), source.end(), strh.begin(), strh.end());
    ASSERT_NE(at, source.end());
    const auto data = static_cast<std::size_t>(at - source.begin()) + 8 + 28;
    for (const std::uint32_t start : {5u, 3600u, 3601u, 0x10000000u, 0x7ffffff0u}) {
        auto bytes = source;
        for (int b = 0; b < 4; ++b)
            bytes[data + static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(start >> (8 * b));
        const fs::path patched = WorkDir() / "started.avi";
        WriteFile(patched, bytes);
        EXPECT_EQ(SomeFrames(patched), expected) << start;
    }
}

} // namespace
} // namespace framolo
