// Writing: files made through the AVIFile calls and through the writer itself
// read back in our reader, in ffprobe and in ffmpeg, also when they grow into
// OpenDML files and when the writer never finishes them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "avi_test_support.h"
#include "open_clip.h"
#include "platform/avifile/avifile.h"
#include "platform/avifile/riff_parser.h"
#include "platform/avifile/riff_writer.h"

namespace framolo {
namespace {

using namespace avitest;
namespace fs = std::filesystem;

// An 8-bit test picture: a palette and frames that differ from one another.
struct TPal8Clip {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint8_t> Header; // 40-byte header + 256 colours
    std::uint32_t Stride() const { return (static_cast<std::uint32_t>(Width) + 3) & ~3u; }
    std::uint32_t ImageSize() const { return Stride() * static_cast<std::uint32_t>(Height); }

    TPal8Clip(int w, int h) : Width(w), Height(h), Header(40 + 1024, 0) {
        TBitmapInfoHeader bih;
        bih.biWidth = w;
        bih.biHeight = h;
        bih.biBitCount = 8;
        bih.biSizeImage = ImageSize();
        bih.biClrUsed = 256;
        std::memcpy(Header.data(), &bih, 40);
        for (int i = 0; i < 256; ++i) {
            Header[static_cast<std::size_t>(40 + 4 * i)] = static_cast<std::uint8_t>(i);
            Header[static_cast<std::size_t>(41 + 4 * i)] = static_cast<std::uint8_t>(255 - i);
            Header[static_cast<std::size_t>(42 + 4 * i)] =
                static_cast<std::uint8_t>((i * 37) & 255);
        }
    }
    std::vector<std::uint8_t> Pixels(int frame) const {
        std::vector<std::uint8_t> p(ImageSize(), 0);
        for (int y = 0; y < Height; ++y) {
            for (int x = 0; x < Width; ++x) {
                p[static_cast<std::size_t>(y) * Stride() + static_cast<std::size_t>(x)] =
                    static_cast<std::uint8_t>((x * 3 + y * 5 + frame * 17) & 255);
            }
        }
        return p;
    }
    // Top-down BGR24 of a frame, as a decoder shows it.
    std::vector<std::uint8_t> Bgr(int frame) const {
        const auto p = Pixels(frame);
        std::vector<std::uint8_t> out;
        for (int y = Height - 1; y >= 0; --y) {
            for (int x = 0; x < Width; ++x) {
                const std::uint8_t i =
                    p[static_cast<std::size_t>(y) * Stride() + static_cast<std::size_t>(x)];
                out.insert(out.end(), Header.begin() + 40 + 4 * i, Header.begin() + 43 + 4 * i);
            }
        }
        return out;
    }
    TAVIStreamInfo Info(std::uint32_t scale, std::uint32_t rate) const {
        TAVIStreamInfo info;
        info.fccType = streamtypeVIDEO;
        info.dwScale = scale;
        info.dwRate = rate;
        info.dwSuggestedBufferSize = ImageSize();
        info.rcFrame = {0, 0, Width, Height};
        return info;
    }
};

fs::path OutPath(const std::string& name) {
    return WorkDir() / name;
}

std::uint32_t Le32At(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 |
           static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// Every entry of the file's idx1 points at its chunk: at the 'movi' list's
// type plus the entry's offset stand the entry's chunk id and size. Read from
// the raw bytes, apart from our own parser. Returns the entries checked.
std::size_t ExpectIdx1PointsAtItsChunks(const fs::path& path) {
    const std::vector<std::uint8_t> b = ReadFile(path);
    const auto find = [&b](const char* tag) {
        const auto at = std::search(b.begin(), b.end(), tag, tag + 4);
        return at == b.end() ? std::string::npos : static_cast<std::size_t>(at - b.begin());
    };
    const std::size_t movi = find("movi");
    const std::size_t idx1 = find("idx1");
    EXPECT_NE(movi, std::string::npos);
    EXPECT_NE(idx1, std::string::npos);
    if (movi == std::string::npos || idx1 == std::string::npos)
        return 0;
    const std::size_t entries = Le32At(b, idx1 + 4) / 16;
    for (std::size_t e = 0; e < entries; ++e) {
        const std::size_t entry = idx1 + 8 + 16 * e;
        const std::size_t chunk = movi + Le32At(b, entry + 8);
        EXPECT_LE(chunk + 8, b.size()) << "entry " << e;
        if (chunk + 8 > b.size())
            continue;
        EXPECT_EQ(Le32At(b, chunk), Le32At(b, entry)) << "entry " << e;
        EXPECT_EQ(Le32At(b, chunk + 4), Le32At(b, entry + 12)) << "entry " << e;
    }
    return entries;
}

// Checks a written file frame by frame in our reader: `shown[k]` is the
// written frame that frame k must show.
void ExpectOurReaderShows(const fs::path& path, const TPal8Clip& clip,
                          const std::vector<int>& shown) {
    TOpenClip opened(path, OF_READ);
    ASSERT_EQ(opened.Result, AVIERR_OK);
    EXPECT_EQ(AVIStreamLength(opened.Stream), static_cast<std::int32_t>(shown.size()));
    PGetFrame frames = opened.OpenFrames();
    ASSERT_NE(frames, nullptr);
    for (std::size_t k = 0; k < shown.size(); ++k) {
        const auto* dib = static_cast<const std::uint8_t*>(
            AVIStreamGetFrame(frames, static_cast<std::int32_t>(k)));
        ASSERT_NE(dib, nullptr) << k;
        const TBitmapInfoHeader h = DibHeader(dib);
        ASSERT_EQ(h.biBitCount, 8);
        // Same palette, same pixels: the file's frame comes back unchanged.
        ASSERT_EQ(std::memcmp(dib + 40, clip.Header.data() + 40, 1024 - 4 * 0), 0) << k;
        const auto want = clip.Pixels(shown[k]);
        ASSERT_EQ(std::memcmp(dib + 40 + 1024, want.data(), want.size()), 0) << "frame " << k;
    }
}

void ExpectFfmpegShows(const fs::path& path, const TPal8Clip& clip, const std::vector<int>& shown) {
    const TReference ref = DecodeReference(path);
    ASSERT_FALSE(ref.Pictures.empty());
    ASSERT_EQ(ref.Width, clip.Width);
    ASSERT_EQ(ref.Height, clip.Height);
    for (std::size_t k = 0; k < shown.size(); ++k) {
        const auto* got = ref.At(static_cast<std::int64_t>(k));
        ASSERT_NE(got, nullptr) << k;
        ASSERT_TRUE(*got == clip.Bgr(shown[k])) << "ffmpeg's frame " << k;
    }
}

TEST(AviWrite, GifToAviSequenceReadsBackEverywhere) {
    const TPal8Clip clip(40, 30);
    const fs::path path = OutPath("written_pal8.avi");
    AVIFileInit();
    PAVIFile file = nullptr;
    ASSERT_EQ(AVIFileOpen(file, path.string(), OF_CREATE | OF_WRITE | OF_SHARE_EXCLUSIVE),
              AVIERR_OK);
    PAVIStream stream = nullptr;
    ASSERT_EQ(AVIFileCreateStream(file, stream, clip.Info(10, 65)), AVIERR_OK);
    ASSERT_EQ(AVIStreamSetFormat(stream, 0, clip.Header.data(),
                                 static_cast<std::int32_t>(clip.Header.size())),
              AVIERR_OK);
    // Sample 3 is skipped, as an empty GIF frame is.
    for (int i : {0, 1, 2, 4, 5}) {
        const auto px = clip.Pixels(i);
        std::int32_t samples = -1;
        std::int32_t bytes = -1;
        ASSERT_EQ(AVIStreamWrite(stream, i, 1, px.data(), static_cast<std::int32_t>(px.size()),
                                 AVIIF_KEYFRAME, &samples, &bytes),
                  AVIERR_OK);
        EXPECT_EQ(samples, 1);
        EXPECT_EQ(bytes, static_cast<std::int32_t>(px.size()));
    }
    EXPECT_EQ(AVIStreamLength(stream), 6);
    EXPECT_EQ(AVIStreamRelease(stream), 0u);
    EXPECT_EQ(AVIFileRelease(file), 0u);
    AVIFileExit();

    // Our own parse of what was written.
    auto source = TFileByteSource::Open(path.string());
    ASSERT_TRUE(source);
    const auto layout = ParseAviLayout(*source);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->Main.dwTotalFrames, 6u);
    EXPECT_EQ(layout->Main.dwFlags & 0x10u, 0x10u); // has an index
    EXPECT_EQ(layout->Main.dwWidth, 40u);
    ASSERT_EQ(layout->Streams.size(), 1u);
    const auto& st = layout->Streams[0];
    EXPECT_FALSE(layout->OpenDml);
    EXPECT_EQ(st.IndexSource, TAviIndexSource::Idx1);
    EXPECT_EQ(st.Header.dwScale, 10u);
    EXPECT_EQ(st.Header.dwRate, 65u);
    EXPECT_EQ(st.Header.dwLength, 6u);
    EXPECT_EQ(st.Header.rcRight, 40);
    EXPECT_EQ(st.Header.rcBottom, 30);
    EXPECT_EQ(st.Format, clip.Header);
    ASSERT_EQ(st.Chunks.size(), 6u);
    EXPECT_EQ(st.EmptyChunks, 1u);
    EXPECT_EQ(st.Chunks[3].Size, 0u);
    EXPECT_FALSE(st.Chunks[3].KeyFrame);
    EXPECT_TRUE(st.Chunks[4].KeyFrame);
    EXPECT_EQ(st.Chunks[4].Size, clip.ImageSize());

    EXPECT_EQ(ExpectIdx1PointsAtItsChunks(path), 6u);
    ExpectOurReaderShows(path, clip, {0, 1, 2, 2, 4, 5});
    const TProbe probe = ProbeVideo(path);
    EXPECT_EQ(probe.FrameRate, "13/2");
    EXPECT_EQ(probe.NbFrames, 6);
    EXPECT_EQ(probe.DecodedFrames, 5);
    ExpectFfmpegShows(path, clip, {0, 1, 2, 2, 4, 5});
}

TEST(AviWrite, TrueColourFramesWithOddWidthReadBack) {
    const int w = 37;
    const int h = 21;
    const std::uint32_t stride = (w * 3 + 3) & ~3u;
    const fs::path path = OutPath("written_bgr24.avi");
    TBitmapInfoHeader bih;
    bih.biWidth = w;
    bih.biHeight = h;
    bih.biBitCount = 24;
    bih.biSizeImage = stride * h;
    PAVIFile file = nullptr;
    ASSERT_EQ(AVIFileOpen(file, path.string(), 0x1011), AVIERR_OK);
    TAVIStreamInfo info;
    info.fccType = streamtypeVIDEO;
    info.dwScale = 1001;
    info.dwRate = 30000;
    info.rcFrame = {0, 0, w, h};
    PAVIStream stream = nullptr;
    ASSERT_EQ(AVIFileCreateStream(file, stream, info), AVIERR_OK);
    ASSERT_EQ(AVIStreamSetFormat(stream, 0, &bih, sizeof bih), AVIERR_OK);
    std::vector<std::vector<std::uint8_t>> frames;
    for (int f = 0; f < 7; ++f) {
        std::vector<std::uint8_t> px(bih.biSizeImage, 0);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w * 3; ++x) {
                px[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x)] =
                    static_cast<std::uint8_t>(x * 7 + y * 3 + f * 29);
            }
        }
        ASSERT_EQ(AVIStreamWrite(stream, f, 1, px.data(), static_cast<std::int32_t>(px.size()),
                                 AVIIF_KEYFRAME, nullptr, nullptr),
                  AVIERR_OK);
        frames.push_back(std::move(px));
    }
    // The file is finished only when both handles are gone, in either order.
    AVIFileRelease(file);
    AVIStreamRelease(stream);

    TOpenClip opened(path, OF_READ);
    ASSERT_EQ(opened.Result, AVIERR_OK);
    PGetFrame gf = opened.OpenFrames();
    ASSERT_NE(gf, nullptr);
    const TReference ref = DecodeReference(path);
    ASSERT_EQ(ref.Pictures.size(), 7u);
    EXPECT_EQ(ProbeVideo(path).FrameRate, "30000/1001");
    for (int f = 6; f >= 0; --f) {
        const auto* dib = static_cast<const std::uint8_t*>(AVIStreamGetFrame(gf, f));
        ASSERT_NE(dib, nullptr);
        EXPECT_EQ(
            std::memcmp(dib + 40, frames[static_cast<std::size_t>(f)].data(), bih.biSizeImage), 0);
        EXPECT_TRUE(DibToBgr(dib) == *ref.At(f)) << f;
    }
}

// Writes `frames` frames of `clip` (frame 7 skipped) through the writer
// itself; `copyAfter` > 0 copies the file as it stands after that many writes.
std::vector<int> WriteDirect(const fs::path& path, const TPal8Clip& clip, int frames,
                             std::uint64_t partLimit, int copyAfter = 0,
                             const fs::path& copy = {}) {
    TAviWriterOptions options;
    options.PartLimit = partLimit;
    auto writer = TAviWriter::Create(path.string(), options);
    EXPECT_TRUE(writer);
    if (!writer)
        return {};
    const int s = writer->AddStream(clip.Info(1, 25));
    EXPECT_EQ(writer->SetFormat(s, clip.Header.data(), clip.Header.size()), AVIERR_OK);
    std::vector<int> shown;
    int writes = 0;
    for (int i = 0; i < frames; ++i) {
        if (i != 7) {
            const auto px = clip.Pixels(i);
            EXPECT_EQ(writer->Write(s, i, 1, px.data(), px.size(), AVIIF_KEYFRAME), AVIERR_OK);
            ++writes;
        }
        shown.push_back(i == 7 ? 6 : i);
        if (writes == copyAfter && i != 7) {
            fs::copy_file(path, copy, fs::copy_options::overwrite_existing);
            shown.resize(static_cast<std::size_t>(i + 1));
            break;
        }
    }
    if (copyAfter > 0) {
        return shown; // the copy is the file under test; the writer finishes the original
    }
    EXPECT_TRUE(writer->Close());
    return shown;
}

TEST(AviWrite, LargeFilesBecomeOpenDmlWithEveryFrameIndexed) {
    const TPal8Clip clip(64, 48); // 3 KiB frames
    const fs::path path = OutPath("written_odml.avi");
    const auto shown = WriteDirect(path, clip, 120, 64 * 1024);
    auto source = TFileByteSource::Open(path.string());
    ASSERT_TRUE(source);
    const auto layout = ParseAviLayout(*source);
    ASSERT_TRUE(layout);
    EXPECT_TRUE(layout->OpenDml);
    EXPECT_GE(layout->RiffParts, 5u);
    EXPECT_EQ(layout->OdmlTotalFrames, 120u);
    EXPECT_LT(layout->Main.dwTotalFrames, 30u); // the first part only
    ASSERT_EQ(layout->Streams.size(), 1u);
    EXPECT_EQ(layout->Streams[0].IndexSource, TAviIndexSource::OpenDml);
    EXPECT_EQ(layout->Streams[0].Header.dwLength, 120u);
    ASSERT_EQ(layout->Streams[0].Chunks.size(), 120u);
    EXPECT_EQ(layout->Streams[0].EmptyChunks, 1u);
    EXPECT_EQ(layout->Streams[0].Chunks[7].Size, 0u);
    // No part is larger than the limit.
    EXPECT_LT(fs::file_size(path), static_cast<std::uintmax_t>(layout->RiffParts) * 64 * 1024);

    ExpectOurReaderShows(path, clip, shown);
    const TProbe probe = ProbeVideo(path);
    EXPECT_EQ(probe.NbFrames, 120);
    EXPECT_EQ(probe.DecodedFrames, 119);
    ExpectFfmpegShows(path, clip, shown);
}

TEST(AviWrite, UnfinishedFilesKeepEveryWrittenFrame) {
    const TPal8Clip clip(32, 24);
    for (const bool odml : {false, true}) {
        SCOPED_TRACE(odml ? "OpenDML" : "AVI 1.0");
        const fs::path path = OutPath(odml ? "unfinished_odml_src.avi" : "unfinished_src.avi");
        const fs::path copy = OutPath(odml ? "unfinished_odml.avi" : "unfinished.avi");
        const auto shown = WriteDirect(path, clip, 200, odml ? 64 * 1024 : 1u << 30, 150, copy);
        ASSERT_EQ(shown.size(), 151u); // 150 frames written, one of them after the gap

        auto source = TFileByteSource::Open(copy.string());
        ASSERT_TRUE(source);
        const auto layout = ParseAviLayout(*source);
        ASSERT_TRUE(layout);
        ASSERT_EQ(layout->Streams.size(), 1u);
        EXPECT_EQ(layout->Streams[0].Header.dwLength, 151u);
        EXPECT_EQ(layout->Streams[0].Chunks.size(), 151u);
        EXPECT_EQ(layout->OpenDml, odml);

        ExpectOurReaderShows(copy, clip, shown);
        EXPECT_EQ(ProbeVideo(copy).DecodedFrames, 150);
        ExpectFfmpegShows(copy, clip, shown);
    }
}

TEST(AviWrite, MisuseIsRefused) {
    const TPal8Clip clip(8, 8);
    const fs::path path = OutPath("misuse.avi");
    PAVIFile file = nullptr;
    EXPECT_NE(AVIFileOpen(file, (WorkDir() / "no-such-dir" / "x.avi").string(), 0x1011), AVIERR_OK);
    EXPECT_EQ(file, nullptr);
    ASSERT_EQ(AVIFileOpen(file, path.string(), 0x1011), AVIERR_OK);
    PAVIStream stream = nullptr;
    TAVIStreamInfo bad = clip.Info(0, 65); // a zero scale has no frame rate
    EXPECT_NE(AVIFileCreateStream(file, stream, bad), AVIERR_OK);
    ASSERT_EQ(AVIFileCreateStream(file, stream, clip.Info(1, 65)), AVIERR_OK);
    const auto px = clip.Pixels(0);
    const auto size = static_cast<std::int32_t>(px.size());
    // No format yet.
    EXPECT_NE(AVIStreamWrite(stream, 0, 1, px.data(), size, AVIIF_KEYFRAME, nullptr, nullptr),
              AVIERR_OK);
    ASSERT_EQ(AVIStreamSetFormat(stream, 0, clip.Header.data(), 1064), AVIERR_OK);
    ASSERT_EQ(AVIStreamWrite(stream, 2, 1, px.data(), size, AVIIF_KEYFRAME, nullptr, nullptr),
              AVIERR_OK);
    // Samples go forward only.
    EXPECT_EQ(AVIStreamWrite(stream, 1, 1, px.data(), size, AVIIF_KEYFRAME, nullptr, nullptr),
              AVIERR_BADPARAM);
    // The header is on disk: no new stream, no other format.
    PAVIStream late = nullptr;
    EXPECT_NE(AVIFileCreateStream(file, late, clip.Info(1, 65)), AVIERR_OK);
    std::vector<std::uint8_t> other = clip.Header;
    other[100] ^= 1;
    EXPECT_NE(AVIStreamSetFormat(stream, 0, other.data(), 1064), AVIERR_OK);
    EXPECT_EQ(AVIStreamSetFormat(stream, 0, clip.Header.data(), 1064), AVIERR_OK);
    // Reading calls on a stream being written fail cleanly.
    EXPECT_EQ(AVIStreamGetFrameOpen(stream, nullptr), nullptr);
    std::int32_t fs = 0;
    EXPECT_NE(AVIStreamReadFormat(stream, 0, nullptr, &fs), AVIERR_OK);
    AVIStreamRelease(stream);
    AVIFileRelease(file);
    // Released handles are refused, not used.
    EXPECT_NE(AVIStreamWrite(stream, 3, 1, px.data(), size, 0, nullptr, nullptr), AVIERR_OK);
    EXPECT_EQ(AVIFileRelease(file), 0u);
    EXPECT_EQ(AVIStreamLength(stream), -1);

    // Streams cannot be added to a file opened for reading.
    ASSERT_EQ(AVIFileOpen(file, path.string(), OF_READ), AVIERR_OK);
    EXPECT_EQ(AVIFileCreateStream(file, stream, clip.Info(1, 65)), AVIERR_UNSUPPORTED);
    PAVIFile again = nullptr;
    EXPECT_EQ(AVIFileOpen(again, path.string(), OF_WRITE), AVIERR_UNSUPPORTED);
    EXPECT_EQ(AVIFileOpen(again, path.string(), OF_READ, &clip), AVIERR_UNSUPPORTED);
    EXPECT_EQ(again, nullptr);
    AVIFileRelease(file);
}

// Opt-in: set FRAMOLO_AVI_LONG_TESTS=1. Writes about 1.2 GiB.
TEST(AviWriteLong, OverOneGibibyteBecomesOpenDml) {
    if (std::getenv("FRAMOLO_AVI_LONG_TESTS") == nullptr) {
        GTEST_SKIP() << "set FRAMOLO_AVI_LONG_TESTS=1 to write a file over 1 GiB";
    }
    const TPal8Clip clip(640, 480); // 300 KiB frames
    const fs::path path = OutPath("long_odml.avi");
    const int frames = 4200;
    {
        PAVIFile file = nullptr;
        ASSERT_EQ(AVIFileOpen(file, path.string(), 0x1011), AVIERR_OK);
        PAVIStream stream = nullptr;
        ASSERT_EQ(AVIFileCreateStream(file, stream, clip.Info(1, 25)), AVIERR_OK);
        ASSERT_EQ(AVIStreamSetFormat(stream, 0, clip.Header.data(), 1064), AVIERR_OK);
        for (int i = 0; i < frames; ++i) {
            const auto px = clip.Pixels(i % 251);
            ASSERT_EQ(AVIStreamWrite(stream, i, 1, px.data(), static_cast<std::int32_t>(px.size()),
                                     AVIIF_KEYFRAME, nullptr, nullptr),
                      AVIERR_OK);
        }
        AVIStreamRelease(stream);
        AVIFileRelease(file);
    }
    EXPECT_GT(fs::file_size(path), std::uintmax_t{1} << 30);
    auto source = TFileByteSource::Open(path.string());
    const auto layout = ParseAviLayout(*source);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->RiffParts, 2u);
    EXPECT_EQ(layout->Streams[0].Chunks.size(), static_cast<std::size_t>(frames));
    const TProbe probe = ProbeVideo(path);
    EXPECT_EQ(probe.NbFrames, frames);
    EXPECT_EQ(probe.DecodedFrames, frames);
    {
        TOpenClip opened(path, OF_READ);
        ASSERT_EQ(opened.Result, AVIERR_OK);
        PGetFrame gf = opened.OpenFrames();
        ASSERT_NE(gf, nullptr);
        for (int k : {frames - 1, 0, 3600, 3601, 100}) {
            const auto* dib = static_cast<const std::uint8_t*>(AVIStreamGetFrame(gf, k));
            ASSERT_NE(dib, nullptr);
            const auto want = clip.Pixels(k % 251);
            EXPECT_EQ(std::memcmp(dib + 1064, want.data(), want.size()), 0) << k;
        }
    }
    fs::remove(path);
}

} // namespace
} // namespace framolo

namespace framolo {
namespace {

using namespace avitest;

TEST(AviWrite, FramesAreNumberedFromTheStreamStart) {
    // Frame numbers are stream positions: a stream that starts at 5 has
    // frames 5 to 8, as readers of the file count them too.
    const TPal8Clip clip(16, 8);
    const auto path = WorkDir() / "start5.avi";
    PAVIFile file = nullptr;
    ASSERT_EQ(AVIFileOpen(file, path.string(), 0x1011), AVIERR_OK);
    TAVIStreamInfo info = clip.Info(1, 10);
    info.dwStart = 5;
    PAVIStream stream = nullptr;
    ASSERT_EQ(AVIFileCreateStream(file, stream, info), AVIERR_OK);
    ASSERT_EQ(AVIStreamSetFormat(stream, 0, clip.Header.data(), 1064), AVIERR_OK);
    for (int i = 0; i < 4; ++i) {
        const auto px = clip.Pixels(i);
        ASSERT_EQ(AVIStreamWrite(stream, i, 1, px.data(), static_cast<std::int32_t>(px.size()),
                                 AVIIF_KEYFRAME, nullptr, nullptr),
                  AVIERR_OK);
    }
    AVIStreamRelease(stream);
    AVIFileRelease(file);

    ASSERT_EQ(AVIFileOpen(file, path.string(), OF_READ), AVIERR_OK);
    ASSERT_EQ(AVIFileGetStream(file, stream, streamtypeVIDEO, 0), AVIERR_OK);
    EXPECT_EQ(AVIStreamStart(stream), 5);
    EXPECT_EQ(AVIStreamLength(stream), 4);
    PGetFrame gf = AVIStreamGetFrameOpen(stream, nullptr);
    ASSERT_NE(gf, nullptr);
    EXPECT_EQ(AVIStreamGetFrame(gf, 4), nullptr);
    EXPECT_EQ(AVIStreamGetFrame(gf, 9), nullptr);
    for (int k : {8, 5, 6, 7, 5}) {
        const auto* dib = static_cast<const std::uint8_t*>(AVIStreamGetFrame(gf, k));
        ASSERT_NE(dib, nullptr) << k;
        const auto want = clip.Pixels(k - 5);
        EXPECT_EQ(std::memcmp(dib + 1064, want.data(), want.size()), 0) << k;
    }
    AVIStreamGetFrameClose(gf);
    AVIStreamRelease(stream);
    AVIFileRelease(file);
}

} // namespace
} // namespace framolo

namespace framolo {
namespace {

// A write that fails while the file is finished (the index, a patch of the
// sizes, the close) makes the finishing fail, in AVI 1.0 and OpenDML files
// alike; AVIFileFinish passes that on, and the stream takes no more frames.
TEST(AviWrite, AFailureWhileFinishingIsReported) {
    const TPal8Clip clip(40, 30);
    // Opens path and writes `frames` frames of the clip into its one stream.
    const auto write = [&clip](const fs::path& path, int frames, PAVIFile& file,
                               PAVIStream& stream) {
        ASSERT_EQ(AVIFileOpen(file, path.string(), OF_CREATE | OF_WRITE | OF_SHARE_EXCLUSIVE),
                  AVIERR_OK);
        ASSERT_EQ(AVIFileCreateStream(file, stream, clip.Info(1, 25)), AVIERR_OK);
        ASSERT_EQ(AVIStreamSetFormat(stream, 0, clip.Header.data(),
                                     static_cast<std::int32_t>(clip.Header.size())),
                  AVIERR_OK);
        for (int i = 0; i < frames; ++i) {
            const auto px = clip.Pixels(i);
            ASSERT_EQ(AVIStreamWrite(stream, i, 1, px.data(), static_cast<std::int32_t>(px.size()),
                                     AVIIF_KEYFRAME, nullptr, nullptr),
                      AVIERR_OK);
        }
    };
    for (const std::uint64_t partLimit : {std::uint64_t{1} << 30, std::uint64_t{16384}}) {
        for (const TAviWriteStep failing :
             {TAviWriteStep::Index, TAviWriteStep::Patch, TAviWriteStep::Close}) {
            TAviWriterOptions options;
            options.PartLimit = partLimit;
            bool finishing = false;
            options.FailStep = [&finishing, failing](TAviWriteStep step) {
                return finishing && step == failing;
            };
            SetAviWriterOptions(options);
            PAVIFile file = nullptr;
            PAVIStream stream = nullptr;
            write(WorkDir() / "finish_fault.avi", 12, file, stream);
            ASSERT_FALSE(HasFatalFailure());
            finishing = true;
            EXPECT_EQ(AVIFileFinish(file), AVIERR_FILEWRITE)
                << static_cast<int>(failing) << " part limit " << partLimit;
            const auto px = clip.Pixels(12);
            EXPECT_NE(AVIStreamWrite(stream, 12, 1, px.data(), static_cast<std::int32_t>(px.size()),
                                     AVIIF_KEYFRAME, nullptr, nullptr),
                      AVIERR_OK);
            AVIStreamRelease(stream);
            AVIFileRelease(file);
            SetAviWriterOptions({});
        }
    }
    // Without a fault the same file finishes and says so.
    PAVIFile file = nullptr;
    PAVIStream stream = nullptr;
    write(WorkDir() / "finish_ok.avi", 1, file, stream);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(AVIFileFinish(file), AVIERR_OK);
    EXPECT_EQ(AVIFileFinish(file), AVIERR_OK);
    AVIStreamRelease(stream);
    AVIFileRelease(file);
}

} // namespace
} // namespace framolo
