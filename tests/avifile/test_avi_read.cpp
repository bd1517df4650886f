// Reading real clips: header values, frame-exact pictures in any order of
// access, palettes, dropped frames, sound as PCM and other containers.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <random>

#include "avi_test_support.h"
#include "open_clip.h"
#include "platform/avifile/avifile.h"
#include "platform/avifile/video_extensions.h"

namespace framolo {
namespace {

using namespace avitest;
namespace fs = std::filesystem;

// Inputs of the clips: a moving test pattern and, where wanted, a tone.
std::string PatternInput(const char* size, const char* rate) {
    return "-f lavfi -i testsrc2=size=" + std::string(size) + ":rate=" + rate;
}
std::string Pattern(const char* size, const char* rate, int frames) {
    return PatternInput(size, rate) + " -frames:v " + std::to_string(frames);
}

struct TClipSpec {
    const char* Name;
    std::string Args;
    std::uint32_t Rate;
    std::uint32_t Scale;
    int Frames;   // as counted in the stream header
    int BitCount; // of the frames we deliver
};

// A row of a clip table (a name and ffmpeg's arguments first) prints as the
// clip's name.
template <typename TRow>
requires requires(const TRow& s) {
    s.Name;
    s.Args;
}
std::ostream& operator<<(std::ostream& os, const TRow& s) {
    return os << s.Name;
}

// Test names from clip file names: "raw_bgr24.avi" becomes "raw_bgr24_avi".
template <typename TParamInfo> std::string ParamName(const TParamInfo& p) {
    std::string n = p.param.Name;
    std::replace_if(
        n.begin(), n.end(), [](char ch) { return !std::isalnum(ch); }, '_');
    return n;
}

// Tests over a table of clips: ffmpeg makes each row's clip before its test
// runs, and a clip it cannot make fails the test.
template <typename TRow> class TClipTest : public ::testing::TestWithParam<TRow> {
protected:
    void SetUp() override {
        const TRow& s = this->GetParam();
        clip_ = MakeClip(s.Name, s.Args);
        ASSERT_FALSE(clip_.empty()) << "ffmpeg could not make " << s.Name;
    }
    const fs::path& Clip() const { return clip_; }

private:
    fs::path clip_;
};

class TCodecClip : public TClipTest<TClipSpec> {};

TEST_P(TCodecClip, StreamInfoHasTheHeaderValues) {
    const fs::path& clip = Clip();
    TRawStrh raw;
    ASSERT_TRUE(FindStrh(ReadFile(clip), 0, raw));
    TOpenClip c(clip);
    ASSERT_EQ(c.Result, AVIERR_OK);
    TAVIStreamInfo info;
    ASSERT_EQ(AVIStreamInfo(c.Stream, info, sizeof info), AVIERR_OK);
    EXPECT_EQ(info.fccType, streamtypeVIDEO);
    EXPECT_EQ(info.fccHandler, raw.fccHandler);
    EXPECT_EQ(info.dwScale, raw.dwScale);
    EXPECT_EQ(info.dwRate, raw.dwRate);
    EXPECT_EQ(info.dwStart, raw.dwStart);
    EXPECT_EQ(info.dwLength, raw.dwLength);
    EXPECT_EQ(info.dwSampleSize, raw.dwSampleSize);
    EXPECT_EQ(info.rcFrame, (TRect{raw.rc[0], raw.rc[1], raw.rc[2], raw.rc[3]}));
    // And what the clip was made with.
    EXPECT_EQ(std::uint64_t{info.dwRate} * GetParam().Scale,
              std::uint64_t{info.dwScale} * GetParam().Rate);
    EXPECT_EQ(info.dwLength, static_cast<std::uint32_t>(GetParam().Frames));
    EXPECT_EQ(AVIStreamLength(c.Stream), GetParam().Frames);
    EXPECT_EQ(AVIStreamStart(c.Stream), 0);

    std::int32_t size = 0;
    ASSERT_EQ(AVIStreamReadFormat(c.Stream, 0, nullptr, &size), AVIERR_OK);
    ASSERT_GE(size, 40);
    std::vector<std::uint8_t> format(static_cast<std::size_t>(size));
    ASSERT_EQ(AVIStreamReadFormat(c.Stream, 0, format.data(), &size), AVIERR_OK);
    const TBitmapInfoHeader bih = DibHeader(format.data());
    EXPECT_GE(bih.biSize, 40u); // codecs may keep private data after the 40 bytes
    EXPECT_EQ(bih.biWidth, info.rcFrame.Width());
    EXPECT_EQ(std::abs(bih.biHeight), info.rcFrame.Height());
}

TEST_P(TCodecClip, FramesEqualFfmpegInOrderBackwardsAndInJumps) {
    const fs::path& clip = Clip();
    const TReference ref = DecodeReference(clip);
    ASSERT_FALSE(ref.Pictures.empty());
    TOpenClip c(clip);
    ASSERT_EQ(c.Result, AVIERR_OK);
    ASSERT_NE(c.OpenFrames(), nullptr);
    const int length = AVIStreamLength(c.Stream);
    ASSERT_GT(length, 0);

    auto check = [&](int k) {
        const void* dib = AVIStreamGetFrame(c.Frames, k);
        ASSERT_NE(dib, nullptr) << "frame " << k;
        const TBitmapInfoHeader h = DibHeader(dib);
        EXPECT_EQ(h.biBitCount, GetParam().BitCount);
        EXPECT_EQ(h.biCompression, BI_RGB);
        EXPECT_GT(h.biHeight, 0); // bottom-up
        int w = 0;
        int hh = 0;
        const auto bgr = DibToBgr(dib, &w, &hh);
        ASSERT_EQ(w, ref.Width);
        ASSERT_EQ(hh, ref.Height);
        const auto* want = ref.At(k);
        ASSERT_NE(want, nullptr);
        ASSERT_TRUE(bgr == *want) << "frame " << k << " differs from ffmpeg's";
    };
    for (int k = 0; k < length; ++k) {
        check(k);
        if (::testing::Test::HasFatalFailure())
            return;
    }
    for (int k = length - 1; k >= 0; --k) {
        check(k);
        if (::testing::Test::HasFatalFailure())
            return;
    }
    std::mt19937 rng(1234);
    for (int i = 0; i < 40; ++i) {
        check(static_cast<int>(rng() % static_cast<unsigned>(length)));
        if (::testing::Test::HasFatalFailure())
            return;
    }
    EXPECT_EQ(AVIStreamGetFrame(c.Frames, length), nullptr);
    EXPECT_EQ(AVIStreamGetFrame(c.Frames, -1), nullptr);
}

const TClipSpec kClips[] = {
    {"raw_bgr24.avi", Pattern("64x48", "25", 20) + " -c:v rawvideo -pix_fmt bgr24", 25, 1, 20, 24},
    {"raw_pal8.avi", Pattern("64x48", "25", 12) + " -c:v rawvideo -pix_fmt pal8", 25, 1, 12, 8},
    {"mjpeg_ntsc.avi", Pattern("96x64", "30000/1001", 15) + " -c:v mjpeg -q:v 4", 30000, 1001, 15,
     24},
    {"xvid_bframes.avi", Pattern("96x64", "25", 30) + " -c:v mpeg4 -bf 2 -g 12 -vtag XVID -q:v 4",
     25, 1, 30, 24},
    {"h264_bframes.avi",
     Pattern("96x64", "30000/1001", 30) + " -c:v libx264 -preset fast -bf 2 -g 12 -crf 30", 30000,
     1001, 30, 24},
    {"msvideo1.avi", Pattern("64x48", "25", 10) + " -c:v msvideo1", 25, 1, 10, 24},
    {"cinepak.avi", Pattern("64x48", "25", 10) + " -c:v cinepak", 25, 1, 10, 24},
    {"huffyuv.avi", Pattern("64x48", "30000/1001", 10) + " -c:v huffyuv", 30000, 1001, 10, 24},
    // Frames 5 and 11 are dropped: the muxer stores empty chunks for them.
    {"xvid_dropped.avi",
     Pattern("96x64", "25", 22) +
         " -vf \"select='not(eq(n\\,5)+eq(n\\,11))'\" -fps_mode passthrough -c:v mpeg4 -bf 0 "
         "-g 6 -vtag XVID -q:v 4",
     25, 1, 24, 24},
};

INSTANTIATE_TEST_SUITE_P(Codecs, TCodecClip, ::testing::ValuesIn(kClips),
                         ParamName<::testing::TestParamInfo<TClipSpec>>);

TEST(AviRead, DroppedFramesShowThePreviousFrameAndCountInTheLength) {
    const fs::path clip = MakeClip("xvid_dropped.avi", kClips[8].Args);
    ASSERT_FALSE(clip.empty());
    const TProbe probe = ProbeVideo(clip);
    EXPECT_EQ(probe.DecodedFrames, 22); // ffmpeg does not list the two empty chunks
    TOpenClip c(clip);
    ASSERT_EQ(c.Result, AVIERR_OK);
    EXPECT_EQ(AVIStreamLength(c.Stream), 24);
    ASSERT_NE(c.OpenFrames(), nullptr);
    for (int k : {5, 11}) {
        const auto dropped = DibToBgr(AVIStreamGetFrame(c.Frames, k));
        const auto before = DibToBgr(AVIStreamGetFrame(c.Frames, k - 1));
        const auto after = DibToBgr(AVIStreamGetFrame(c.Frames, k + 1));
        EXPECT_EQ(dropped, before);
        EXPECT_NE(dropped, after);
    }
}

TEST(AviRead, PalettisedFramesCarryTheirPalette) {
    const fs::path clip = MakeClip("raw_pal8.avi", kClips[1].Args);
    ASSERT_FALSE(clip.empty());
    TOpenClip c(clip);
    ASSERT_EQ(c.Result, AVIERR_OK);
    std::int32_t size = 0;
    ASSERT_EQ(AVIStreamReadFormat(c.Stream, 0, nullptr, &size), AVIERR_OK);
    std::vector<std::uint8_t> format(static_cast<std::size_t>(size));
    ASSERT_EQ(AVIStreamReadFormat(c.Stream, 0, format.data(), &size), AVIERR_OK);
    const TBitmapInfoHeader fh = DibHeader(format.data());
    ASSERT_EQ(fh.biBitCount, 8);
    const std::size_t colours = fh.biClrUsed ? fh.biClrUsed : 256;
    ASSERT_GE(format.size(), 40 + 4 * colours);

    ASSERT_NE(c.OpenFrames(), nullptr);
    const auto* dib = static_cast<const std::uint8_t*>(AVIStreamGetFrame(c.Frames, 3));
    ASSERT_NE(dib, nullptr);
    const TBitmapInfoHeader h = DibHeader(dib);
    EXPECT_EQ(h.biBitCount, 8);
    EXPECT_EQ(h.biClrUsed, 256u);
    EXPECT_EQ(h.biSizeImage, static_cast<std::uint32_t>((h.biWidth + 3) / 4 * 4 * h.biHeight));
    // The stream's palette is the frame's palette (reserved bytes aside).
    for (std::size_t i = 0; i < colours; ++i) {
        EXPECT_EQ(std::memcmp(dib + 40 + 4 * i, format.data() + 40 + 4 * i, 3), 0) << i;
    }
}

TEST(AviRead, PlayerStyleInterleavedAccessOfTwoDecoders) {
    // Two decoders of one stream keep their own positions.
    const fs::path clip = MakeClip("xvid_bframes.avi", kClips[3].Args);
    ASSERT_FALSE(clip.empty());
    const TReference ref = DecodeReference(clip);
    ASSERT_EQ(ref.Pictures.size(), 30u);
    TOpenClip c(clip);
    ASSERT_NE(c.OpenFrames(), nullptr);
    PGetFrame second = AVIStreamGetFrameOpen(c.Stream, nullptr);
    ASSERT_NE(second, nullptr);
    for (int k = 0; k < 30; ++k) {
        EXPECT_EQ(DibToBgr(AVIStreamGetFrame(c.Frames, k)), *ref.At(k));
        EXPECT_EQ(DibToBgr(AVIStreamGetFrame(second, 29 - k)), *ref.At(29 - k));
    }
    EXPECT_EQ(AVIStreamGetFrameClose(second), AVIERR_OK);
    EXPECT_NE(AVIStreamGetFrameClose(second), AVIERR_OK); // already closed
}

// ---------------------------------------------------------------------------
// Sound

struct TSoundSpec {
    const char* Name;
    std::string Args;
    int Channels;
    int Rate;
};

class TSoundClip : public TClipTest<TSoundSpec> {};

TEST_P(TSoundClip, PcmOfASampleRangeEqualsFfmpeg) {
    const TSoundSpec& s = GetParam();
    const fs::path& clip = Clip();
    const auto ref = DecodeReferencePcm(clip, s.Channels);
    ASSERT_GT(ref.size(), 4000u);
    const auto refFrames =
        static_cast<std::int32_t>(ref.size() / static_cast<std::size_t>(s.Channels));

    TOpenClip opened(clip, OF_READ, streamtypeAUDIO);
    ASSERT_EQ(opened.Result, AVIERR_OK);
    PAVIStream audio = opened.Stream;
    TAVIStreamInfo info;
    ASSERT_EQ(AVIStreamInfo(audio, info, sizeof info), AVIERR_OK);
    EXPECT_EQ(info.fccType, streamtypeAUDIO);
    EXPECT_EQ(info.dwSampleSize, static_cast<std::uint32_t>(2 * s.Channels));
    EXPECT_EQ(std::uint64_t{info.dwRate},
              std::uint64_t{info.dwScale} * static_cast<std::uint64_t>(s.Rate));

    std::int32_t size = 0;
    ASSERT_EQ(AVIStreamReadFormat(audio, 0, nullptr, &size), AVIERR_OK);
    ASSERT_GE(size, 16);
    TWaveFormatEx wf;
    size = sizeof wf;
    ASSERT_EQ(AVIStreamReadFormat(audio, 0, &wf, &size), AVIERR_OK);
    EXPECT_EQ(wf.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(wf.nChannels, s.Channels);
    EXPECT_EQ(wf.nSamplesPerSec, static_cast<std::uint32_t>(s.Rate));
    EXPECT_EQ(wf.wBitsPerSample, 16);
    EXPECT_EQ(wf.nBlockAlign, 2 * s.Channels);

    // The length is the header's, close to what decodes.
    EXPECT_NEAR(AVIStreamLength(audio), refFrames, s.Rate / 10);

    auto readRange = [&](std::int32_t from, std::int32_t count) {
        std::vector<std::int16_t> got(static_cast<std::size_t>(count * s.Channels));
        std::int32_t bytes = 0;
        std::int32_t samples = 0;
        EXPECT_EQ(AVIStreamRead(audio, from, count, got.data(),
                                static_cast<std::int32_t>(got.size() * 2), &bytes, &samples),
                  AVIERR_OK);
        EXPECT_EQ(bytes, samples * 2 * s.Channels);
        got.resize(static_cast<std::size_t>(samples * s.Channels));
        return got;
    };
    auto expectRange = [&](std::int32_t from, std::int32_t count) {
        const auto got = readRange(from, count);
        const std::int32_t want = std::max(0, std::min(count, refFrames - from));
        ASSERT_EQ(static_cast<std::int32_t>(got.size()) / s.Channels, want) << from;
        ASSERT_TRUE(std::equal(got.begin(), got.end(),
                               ref.begin() + static_cast<std::ptrdiff_t>(from) * s.Channels))
            << "range from " << from;
    };
    // In order as the player reads, then a jump back and a jump ahead.
    for (std::int32_t from = 0; from < 4096; from += 512) {
        expectRange(from, 512);
    }
    expectRange(100, 777);
    expectRange(refFrames / 2, 1000);
    expectRange(3, 5);
    expectRange(refFrames - 300, 1000); // runs into the end
    expectRange(refFrames + 10, 100);   // past it
}

// The pattern with a sine tone of hz sampled at rate, 1.2 seconds long; the
// beeping one is a 440 Hz tone at 44100 Hz, on and off.
std::string WithSine(int hz, int rate) {
    return PatternInput("64x48", "25") + " -f lavfi -i sine=frequency=" + std::to_string(hz) +
           ":sample_rate=" + std::to_string(rate) + ":duration=1.2";
}
const std::string kBeeps =
    PatternInput("64x48", "25") +
    " -f lavfi -i sine=frequency=440:beep_factor=3:sample_rate=44100:duration=1.2";
const TSoundSpec kSounds[] = {
    {"sound_pcm.avi", kBeeps + " -ac 2 -c:v mjpeg -c:a pcm_s16le -frames:v 30", 2, 44100},
    {"sound_pcm_mono.avi", WithSine(300, 22050) + " -c:v mjpeg -c:a pcm_s16le -frames:v 30", 1,
     22050},
    {"sound_mp3.avi", kBeeps + " -ac 2 -c:v mjpeg -c:a libmp3lame -b:a 96k -frames:v 30", 2, 44100},
    {"sound_ac3.avi", WithSine(440, 48000) + " -ac 2 -c:v mjpeg -c:a ac3 -frames:v 30", 2, 48000},
    {"sound_aac.mp4", kBeeps + " -ac 2 -c:v libx264 -c:a aac -b:a 96k -t 1.2", 2, 44100},
    {"sound_u8.avi", WithSine(500, 11025) + " -c:v mjpeg -c:a pcm_u8 -frames:v 30", 1, 11025},
};

INSTANTIATE_TEST_SUITE_P(Sounds, TSoundClip, ::testing::ValuesIn(kSounds),
                         ParamName<::testing::TestParamInfo<TSoundSpec>>);

TEST(AviRead, PcmStreamInfoKeepsTheHeaderValues) {
    const fs::path clip = MakeClip(kSounds[0].Name, kSounds[0].Args);
    ASSERT_FALSE(clip.empty());
    TRawStrh raw;
    ASSERT_TRUE(FindStrh(ReadFile(clip), 1, raw));
    ASSERT_EQ(raw.fccType, streamtypeAUDIO);
    TOpenClip opened(clip, OF_READ, streamtypeAUDIO);
    ASSERT_EQ(opened.Result, AVIERR_OK);
    PAVIStream audio = opened.Stream;
    TAVIStreamInfo info;
    ASSERT_EQ(AVIStreamInfo(audio, info, sizeof info), AVIERR_OK);
    EXPECT_EQ(info.dwScale, raw.dwScale);
    EXPECT_EQ(info.dwRate, raw.dwRate);
    EXPECT_EQ(info.dwLength, raw.dwLength);
    EXPECT_EQ(info.dwSampleSize, raw.dwSampleSize);
    PAVIStream none = nullptr;
    EXPECT_NE(AVIFileGetStream(opened.File, none, streamtypeAUDIO, 1), AVIERR_OK);
    EXPECT_EQ(none, nullptr);
}

TEST(AviRead, TimeConversionsFollowScaleAndRate) {
    const fs::path ntsc = MakeClip("mjpeg_ntsc.avi", kClips[2].Args);
    const fs::path sound = MakeClip(kSounds[0].Name, kSounds[0].Args);
    ASSERT_FALSE(ntsc.empty());
    ASSERT_FALSE(sound.empty());
    TOpenClip v(ntsc);
    ASSERT_EQ(v.Result, AVIERR_OK);
    EXPECT_EQ(AVIStreamSampleToTime(v.Stream, 0), 0);
    EXPECT_EQ(AVIStreamSampleToTime(v.Stream, 1), 33);  // 33.37 ms
    EXPECT_EQ(AVIStreamSampleToTime(v.Stream, 3), 100); // 100.1 ms
    EXPECT_EQ(AVIStreamSampleToTime(v.Stream, 30000), 1001000);
    for (int k = 0; k < 500; ++k) {
        EXPECT_EQ(AVIStreamTimeToSample(v.Stream, AVIStreamSampleToTime(v.Stream, k)), k);
    }
    TOpenClip a(sound);
    PAVIStream audio = nullptr;
    ASSERT_EQ(AVIFileGetStream(a.File, audio, streamtypeAUDIO, 0), AVIERR_OK);
    // The player's mapping from a frame to a sample goes through time.
    PAVIStream video25 = a.Stream;
    EXPECT_EQ(AVIStreamTimeToSample(audio, AVIStreamSampleToTime(video25, 25)), 44100);
    EXPECT_EQ(AVIStreamTimeToSample(audio, AVIStreamSampleToTime(video25, 3)), 5292);
    EXPECT_EQ(AVIStreamSampleToTime(nullptr, 3), -1);
    AVIStreamRelease(audio);
}

// ---------------------------------------------------------------------------
// Other containers

struct TContainerSpec {
    const char* Name;
    std::string Args;
    std::uint32_t Rate;
    std::uint32_t Scale;
    int Frames;
};

class TContainerClip : public TClipTest<TContainerSpec> {};

TEST_P(TContainerClip, OpensWithFramesInPresentationOrder) {
    const TContainerSpec& s = GetParam();
    const fs::path& clip = Clip();
    const TReference ref = DecodeReference(clip);
    ASSERT_FALSE(ref.Pictures.empty());
    TOpenClip c(clip);
    ASSERT_EQ(c.Result, AVIERR_OK);
    TAVIStreamInfo info;
    ASSERT_EQ(AVIStreamInfo(c.Stream, info, sizeof info), AVIERR_OK);
    EXPECT_EQ(info.dwRate, s.Rate);
    EXPECT_EQ(info.dwScale, s.Scale);
    EXPECT_EQ(AVIStreamLength(c.Stream), s.Frames);
    EXPECT_EQ(info.rcFrame, (TRect{0, 0, ref.Width, ref.Height}));
    ASSERT_NE(c.OpenFrames(), nullptr);
    std::vector<int> order(static_cast<std::size_t>(s.Frames));
    for (int k = 0; k < s.Frames; ++k)
        order[static_cast<std::size_t>(k)] = k;
    for (int k = s.Frames - 1; k >= 0; k -= 3)
        order.push_back(k);
    std::mt19937 rng(99);
    for (int i = 0; i < 20; ++i)
        order.push_back(static_cast<int>(rng() % static_cast<unsigned>(s.Frames)));
    for (int k : order) {
        const void* dib = AVIStreamGetFrame(c.Frames, k);
        ASSERT_NE(dib, nullptr) << k;
        ASSERT_TRUE(DibToBgr(dib) == *ref.At(k)) << s.Name << " frame " << k;
    }
}

const TContainerSpec kContainers[] = {
    {"h264_bframes.mp4",
     Pattern("96x64", "25", 24) + " -c:v libx264 -preset fast -bf 2 -g 8 -crf 30", 25, 1, 24},
    {"h264_ntsc.mkv",
     Pattern("96x64", "30000/1001", 20) + " -c:v libx264 -preset fast -bf 2 -g 8 -crf 30", 30000,
     1001, 20},
    {"mjpeg.mov", Pattern("64x48", "25", 12) + " -c:v mjpeg -q:v 4", 25, 1, 12},
    {"vp8.webm", Pattern("64x48", "25", 12) + " -c:v libvpx -b:v 200k -g 5", 25, 1, 12},
};

INSTANTIATE_TEST_SUITE_P(Containers, TContainerClip, ::testing::ValuesIn(kContainers),
                         ParamName<::testing::TestParamInfo<TContainerSpec>>);

// Every extension an open dialog offers as a video opens: a clip of each
// gives its size, its frame count and, read in order and by jumps, the
// pictures ffmpeg decodes.
TEST(AviRead, EveryOfferedVideoExtensionOpens) {
    const std::map<std::string, std::string> codecs = {
        {".avi", "-c:v mjpeg"},      {".mp4", "-c:v libx264 -preset fast"},
        {".m4v", "-c:v mpeg4"},      {".mkv", "-c:v libx264 -preset fast"},
        {".mov", "-c:v mjpeg"},      {".webm", "-c:v libvpx"},
        {".mpg", "-c:v mpeg1video"}, {".mpeg", "-c:v mpeg1video"},
        {".wmv", "-c:v wmv2"},       {".flv", "-c:v flv1"},
        {".ogv", "-c:v libtheora"},  {".3gp", "-c:v h263"},
        {".ts", "-c:v mpeg2video"}};
    constexpr int kFrames = 8;
    for (const char* extension : VideoFileExtensions) {
        SCOPED_TRACE(extension);
        const auto codec = codecs.find(extension);
        ASSERT_NE(codec, codecs.end()) << "an offered extension without a test clip";
        // 128 x 96 is a size every one of these codecs takes (H.263's smallest).
        const fs::path clip = MakeClip(std::string("offered") + extension,
                                       Pattern("128x96", "25", kFrames) + " " + codec->second);
        ASSERT_FALSE(clip.empty());
        const TReference ref = DecodeReference(clip);
        ASSERT_EQ(ref.Pictures.size(), static_cast<std::size_t>(kFrames));
        TOpenClip c(clip);
        ASSERT_EQ(c.Result, AVIERR_OK);
        TAVIStreamInfo info;
        ASSERT_EQ(AVIStreamInfo(c.Stream, info, sizeof info), AVIERR_OK);
        EXPECT_EQ(info.rcFrame, (TRect{0, 0, 128, 96}));
        EXPECT_EQ(AVIStreamLength(c.Stream), kFrames);
        ASSERT_NE(c.OpenFrames(), nullptr);
        // In order, as a conversion and the player read them.
        for (int k = 0; k < kFrames; ++k) {
            const void* dib = AVIStreamGetFrame(c.Frames, k);
            EXPECT_TRUE(dib != nullptr &&
                        DibToBgr(dib) == ref.Pictures[static_cast<std::size_t>(k)])
                << "frame " << k;
        }
        // Jumps, as the player's track bar makes them: to the end and back.
        for (const int k : {0, kFrames - 1, 2, kFrames - 2}) {
            const void* dib = AVIStreamGetFrame(c.Frames, k);
            EXPECT_TRUE(dib != nullptr &&
                        DibToBgr(dib) == ref.Pictures[static_cast<std::size_t>(k)])
                << "jump to frame " << k;
        }
    }
}

// A small MPEG-1 program stream stamps only its first packets with a
// presentation time; the rest still count, and the last one is reachable.
TEST(AviRead, MpegPacketsWithoutAPresentationTimeStillCount) {
    constexpr int kFrames = 8;
    const fs::path clip =
        MakeClip("unstamped.mpg", Pattern("64x48", "25", kFrames) + " -c:v mpeg1video");
    ASSERT_FALSE(clip.empty());
    const TReference ref = DecodeReference(clip);
    ASSERT_EQ(ref.Pictures.size(), static_cast<std::size_t>(kFrames));
    TOpenClip c(clip);
    ASSERT_EQ(c.Result, AVIERR_OK);
    EXPECT_EQ(AVIStreamLength(c.Stream), kFrames);
    ASSERT_NE(c.OpenFrames(), nullptr);
    for (const int k : {0, kFrames - 1}) {
        const void* dib = AVIStreamGetFrame(c.Frames, k);
        EXPECT_TRUE(dib != nullptr && DibToBgr(dib) == ref.Pictures[static_cast<std::size_t>(k)])
            << "frame " << k;
    }
}

} // namespace
} // namespace framolo

namespace framolo {
namespace {

using namespace avitest;
namespace fs = std::filesystem;

// A hand-made 8-bit AVI: frame 0, a palette change chunk that recolours
// entries 0..3, frame 1 (same indexes), frame 2; with or without idx1.
std::vector<std::uint8_t> PaletteChangeFile(bool withIndex) {
    std::vector<std::uint8_t> b;
    auto u32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    auto u16 = [&](std::uint16_t v) {
        b.push_back(static_cast<std::uint8_t>(v));
        b.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    auto tag = [&](const char* t) { u32(MakeFourCC(t)); };
    const int w = 8;
    const int h = 4;
    tag("RIFF");
    const std::size_t riffSize = b.size();
    u32(0);
    tag("AVI ");
    tag("LIST");
    u32(4 + 8 + 56 + 12 + 8 + 56 + 8 + 40 + 1024);
    tag("hdrl");
    tag("avih");
    u32(56);
    u32(40000);
    u32(0);
    u32(0);
    u32(0);
    u32(3);
    u32(0);
    u32(1);
    u32(0);
    u32(w);
    u32(h);
    u32(0);
    u32(0);
    u32(0);
    u32(0);
    tag("LIST");
    u32(4 + 8 + 56 + 8 + 40 + 1024);
    tag("strl");
    tag("strh");
    u32(56);
    tag("vids");
    u32(0);
    u32(0);
    u16(0);
    u16(0);
    u32(0);
    u32(1);
    u32(25);
    u32(0);
    u32(3);
    u32(32);
    u32(0);
    u32(0);
    u16(0);
    u16(0);
    u16(w);
    u16(h);
    tag("strf");
    u32(40 + 1024);
    u32(40);
    u32(w);
    u32(h);
    u16(1);
    u16(8);
    u32(0);
    u32(32);
    u32(0);
    u32(0);
    u32(256);
    u32(0);
    for (int i = 0; i < 256; ++i) { // grey ramp
        b.push_back(static_cast<std::uint8_t>(i));
        b.push_back(static_cast<std::uint8_t>(i));
        b.push_back(static_cast<std::uint8_t>(i));
        b.push_back(0);
    }
    tag("LIST");
    const std::size_t moviSize = b.size();
    u32(0);
    tag("movi");
    std::vector<std::pair<std::uint32_t, std::size_t>> entries; // id, chunk position
    auto frame = [&](std::uint8_t shift) {
        entries.emplace_back(MakeFourCC("00db"), b.size());
        tag("00db");
        u32(w * h);
        for (int i = 0; i < w * h; ++i)
            b.push_back(static_cast<std::uint8_t>((i + shift) % 4));
    };
    frame(0);
    entries.emplace_back(MakeFourCC("00pc"), b.size());
    tag("00pc");
    u32(4 + 4 * 4);
    b.push_back(0); // first entry
    b.push_back(4); // number of entries
    u16(0);
    for (int i = 0; i < 4; ++i) { // red, green, blue, flags
        b.push_back(static_cast<std::uint8_t>(200 + i));
        b.push_back(static_cast<std::uint8_t>(10 * i));
        b.push_back(static_cast<std::uint8_t>(50));
        b.push_back(0);
    }
    frame(0);
    frame(1);
    auto put = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    put(moviSize, static_cast<std::uint32_t>(b.size() - moviSize - 4));
    if (withIndex) {
        tag("idx1");
        u32(static_cast<std::uint32_t>(16 * entries.size()));
        for (const auto& [id, pos] : entries) {
            u32(id);
            u32(id == MakeFourCC("00db") ? 0x10u : 0x100u); // key frame / no time
            u32(static_cast<std::uint32_t>(pos - (moviSize + 4)));
            u32(id == MakeFourCC("00db") ? 32u : 20u);
        }
        put(44, 0x10); // avih flags: has an index
    }
    put(riffSize, static_cast<std::uint32_t>(b.size() - riffSize - 4));
    return b;
}

TEST(AviRead, PaletteChangesReachTheFollowingFrames) {
    for (const bool withIndex : {false, true}) {
        SCOPED_TRACE(withIndex ? "with idx1" : "without index");
        const fs::path path =
            WorkDir() / (withIndex ? "palette_change_idx1.avi" : "palette_change.avi");
        WriteFile(path, PaletteChangeFile(withIndex));
        const TReference ref = DecodeReference(path);
        ASSERT_EQ(ref.Pictures.size(), 3u);
        TOpenClip opened(path, OF_READ);
        ASSERT_EQ(opened.Result, AVIERR_OK);
        EXPECT_EQ(AVIStreamLength(opened.Stream), 3); // the palette chunk is not a frame
        PGetFrame gf = opened.OpenFrames();
        ASSERT_NE(gf, nullptr);
        for (int k : {0, 1, 2, 1, 0, 2}) {
            const auto* dib = static_cast<const std::uint8_t*>(AVIStreamGetFrame(gf, k));
            ASSERT_NE(dib, nullptr);
            EXPECT_EQ(DibHeader(dib).biBitCount, 8);
            EXPECT_TRUE(DibToBgr(dib) == *ref.At(k)) << k;
            // Entry 1 is grey before the change and (50, 10, 201) in BGR after it.
            const std::uint8_t grey[3] = {1, 1, 1};
            const std::uint8_t changed[3] = {50, 10, 201};
            EXPECT_EQ(std::memcmp(dib + 44, k == 0 ? grey : changed, 3), 0) << k;
        }
    }
}

} // namespace
} // namespace framolo
