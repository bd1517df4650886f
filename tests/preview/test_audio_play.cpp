// The sound ring of TAudioPlay on a scripted device and a scripted source:
// buffer sizes, whole samples, the end of a range, Stop, and notices that
// come late.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "preview/audio_play.h"
#include "preview/scripted_sound_device.h"
#include "test_avi_player_support.h"

namespace framolo {
namespace {

// Samples of `SampleSize` bytes whose every byte is the sample number's low
// byte, so a buffer tells which samples it holds.
class TScriptedSource : public TAudioSource {
public:
    std::uint32_t SampleSize = 2;
    std::int32_t First = 0;
    std::int32_t Count = 100000;
    // Reads that start here or later deliver one sample less than asked.
    std::int32_t ShortFrom = INT32_MAX;
    std::vector<std::pair<std::int32_t, std::int32_t>> Reads;

    THResult Info(TAVIStreamInfo& info) override {
        info = {};
        info.fccType = streamtypeAUDIO;
        info.dwSampleSize = SampleSize;
        info.dwScale = SampleSize;
        info.dwRate = 8000 * SampleSize;
        info.dwStart = static_cast<std::uint32_t>(First);
        info.dwLength = static_cast<std::uint32_t>(Count);
        return AVIERR_OK;
    }
    std::vector<std::uint8_t> Format() override {
        TWaveFormatEx f;
        f.wFormatTag = WAVE_FORMAT_PCM;
        f.nChannels = 1;
        f.nSamplesPerSec = 8000;
        f.nBlockAlign = static_cast<std::uint16_t>(std::min<std::uint32_t>(SampleSize, 0xFFFF));
        f.nAvgBytesPerSec = 8000 * SampleSize;
        f.wBitsPerSample = 8;
        std::vector<std::uint8_t> bytes(sizeof f);
        std::memcpy(bytes.data(), &f, sizeof f);
        return bytes;
    }
    std::int32_t Start() override { return First; }
    std::int32_t Length() override { return Count; }
    THResult Read(std::int32_t start, std::int32_t samples, void* buffer, std::int32_t bufferSize,
                  std::int32_t* bytesRead, std::int32_t* samplesRead) override {
        Reads.emplace_back(start, samples);
        std::int32_t n = std::min(samples, First + Count - start);
        if (start >= ShortFrom) {
            n = std::max(0, n - 1);
        }
        const auto size = static_cast<std::int32_t>(SampleSize);
        EXPECT_LE(std::int64_t{n} * size, bufferSize) << "a read past the buffer";
        auto* out = static_cast<std::uint8_t*>(buffer);
        for (std::int32_t i = 0; i < n; ++i) {
            std::memset(out + static_cast<std::ptrdiff_t>(i) * size,
                        static_cast<std::uint8_t>(start + i), SampleSize);
        }
        *bytesRead = n * size;
        *samplesRead = n;
        return AVIERR_OK;
    }
};

class AudioPlayTest : public ::testing::Test {
protected:
    AudioPlayTest() {
        auto d = std::make_unique<TScriptedSoundDevice>();
        device = d.get();
        audio = std::make_unique<TAudioPlay>(std::move(d));
    }
    std::size_t Count(const std::string& what) const {
        return static_cast<std::size_t>(std::count(device->Log.begin(), device->Log.end(), what));
    }

    // Delivers the notices of the 8 buffers a closed device handed back: they
    // leave `heldAfter` buffers held and write nothing. Returns the writes so far.
    std::size_t DeliverHandedBack(std::size_t heldAfter) {
        const std::size_t written = device->Written().size();
        EXPECT_EQ(device->DeliverReturned(), 8u);
        EXPECT_EQ(audio->BuffersHeld(), heldAfter);
        EXPECT_EQ(device->Written().size(), written);
        return written;
    }

    TScriptedSource source;
    TScriptedSoundDevice* device = nullptr;
    std::unique_ptr<TAudioPlay> audio;
};

TEST_F(AudioPlayTest, OneByteSamplesFillBuffersOf2048Samples) {
    source.SampleSize = 1;
    ASSERT_TRUE(audio->Play(source, -1, -1));
    EXPECT_EQ(audio->BufferSize(), 2048);
    EXPECT_EQ(device->Written(), std::vector<std::int32_t>(8, 2048));
    EXPECT_EQ(audio->NextSample(), 8 * 2048);
    EXPECT_EQ(audio->EndSample(), 100000);
    // Nothing sounds while the queue fills.
    EXPECT_EQ(device->Log.front(), "open");
    EXPECT_EQ(device->Log[1], "pause");
    EXPECT_EQ(device->Log.back(), "restart");

    // Each finished buffer is replaced by the next samples, in order.
    ASSERT_EQ(device->Finish(3), 3u);
    EXPECT_EQ(audio->BuffersHeld(), 8u);
    EXPECT_EQ(device->Written().size(), 11u);
    ASSERT_EQ(source.Reads.size(), 11u);
    for (std::size_t i = 0; i < source.Reads.size(); ++i) {
        EXPECT_EQ(source.Reads[i].first, static_cast<std::int32_t>(i) * 2048);
        EXPECT_EQ(source.Reads[i].second, 2048);
    }
}

TEST_F(AudioPlayTest, SamplesLargerThan2048BytesGoOneABuffer) {
    source.SampleSize = 4096;
    source.Count = 20;
    ASSERT_TRUE(audio->Play(source, 0, 20));
    EXPECT_EQ(audio->BufferSize(), 4096);
    EXPECT_EQ(device->Written(), std::vector<std::int32_t>(8, 4096));
    EXPECT_EQ(audio->NextSample(), 8);
}

TEST_F(AudioPlayTest, ARangeShorterThanTheRingQueuesOnlyWhatHasData) {
    source.SampleSize = 2;
    // 1024 samples a buffer: 1024 + 1024 + 952.
    ASSERT_TRUE(audio->Play(source, 100, 3100));
    EXPECT_EQ(device->Written(), (std::vector<std::int32_t>{2048, 2048, 1904}));
    EXPECT_EQ(audio->BuffersHeld(), 3u) << "the five empty buffers are freed at once";
    EXPECT_EQ(device->Finish(8), 3u);
    EXPECT_EQ(audio->BuffersHeld(), 0u);
    EXPECT_EQ(device->Written().size(), 3u) << "the drained ring stays empty";
    EXPECT_TRUE(audio->DeviceOpen()) << "the device stays open until Stop";
    audio->Stop();
    EXPECT_FALSE(audio->DeviceOpen());
}

TEST_F(AudioPlayTest, AnEmptyRangeOrAnUnusableStreamOpensNothing) {
    EXPECT_FALSE(audio->Play(source, 500, 500));
    EXPECT_FALSE(audio->Play(source, 600, 500));
    EXPECT_TRUE(device->Log.empty());

    source.SampleSize = 0; // variable-size samples
    EXPECT_FALSE(audio->Play(source, 0, 1000));
    source.SampleSize = 0x40000000u; // absurd
    EXPECT_FALSE(audio->Play(source, 0, 1000));
    EXPECT_TRUE(device->Log.empty());

    source.SampleSize = 2;
    device->FailOpen = true; // no sound device
    EXPECT_FALSE(audio->Play(source, 0, 1000));
    EXPECT_EQ(audio->BuffersHeld(), 0u);
    EXPECT_FALSE(audio->Playing());
    audio->Stop(); // safe at any time
    EXPECT_EQ(device->Log, std::vector<std::string>{"open"});
}

TEST_F(AudioPlayTest, StopSilencesAtOnceAndLateNoticesFreeWithoutRefilling) {
    ASSERT_TRUE(audio->Play(source, 0, -1));
    device->Finish(2);
    audio->Stop();
    EXPECT_EQ(device->Log[device->Log.size() - 2], "reset");
    EXPECT_EQ(device->Log.back(), "close");
    EXPECT_FALSE(audio->Playing());
    EXPECT_EQ(device->Queued(), 0u);
    // The returned buffers are still ours until their notices come.
    EXPECT_EQ(audio->BuffersHeld(), 8u);
    DeliverHandedBack(0u);
}

// Notices of a device that Stop closed may come after the next Play opened
// a new one: they free their buffers and never add to the new queue.
TEST_F(AudioPlayTest, StaleNoticesDoNotGrowTheNextPlaysQueue) {
    ASSERT_TRUE(audio->Play(source, 0, -1));
    device->Reset(); // as the next Play's Stop would, but the notices wait
    ASSERT_TRUE(audio->Play(source, 5000, -1));
    EXPECT_EQ(Count("open"), 2u);
    EXPECT_EQ(device->Queued(), 8u);
    EXPECT_EQ(audio->BuffersHeld(), 16u);
    const std::size_t written = DeliverHandedBack(8u);

    // A notice for a buffer that is not ours is ignored.
    TWaveHeader stranger;
    device->Notify(&stranger);
    device->Notify(nullptr);
    EXPECT_EQ(audio->BuffersHeld(), 8u);

    // The current play's own notices still refill.
    device->Finish(1);
    EXPECT_EQ(audio->BuffersHeld(), 8u);
    EXPECT_EQ(device->Written().size(), written + 1);
}

TEST_F(AudioPlayTest, AShortReadEndsTheSoundAndTheRingDrains) {
    source.ShortFrom = 3 * 1024;
    ASSERT_TRUE(audio->Play(source, 0, -1));
    EXPECT_EQ(device->Written().size(), 3u);
    EXPECT_EQ(audio->BuffersHeld(), 3u);
    device->Finish(8);
    EXPECT_EQ(audio->BuffersHeld(), 0u);
    EXPECT_EQ(device->Written().size(), 3u);
}

// A real clip's 8-bit mono sound arrives as 16-bit PCM, so its 2048-byte
// buffers hold 1024 samples, read straight from the clip.
TEST(AudioPlayClipTest, EightBitMonoClipPlaysAs16BitPcmInWholeSamples) {
    const auto clip = avitest::MakeClip("tone_u8_3s.avi",
                                        "-f lavfi -i testsrc=size=32x24:rate=25 -f lavfi -i "
                                        "sine=frequency=440:sample_rate=22050 -t 3 -c:v rawvideo "
                                        "-pix_fmt bgr24 -c:a pcm_u8 -ac 1");
    ASSERT_FALSE(clip.empty());
    const std::vector<std::int16_t> want = avitest::DecodeReferencePcm(clip, 1);
    ASSERT_GT(want.size(), 8u * 1024);
    PAVIFile file = nullptr;
    PAVIStream stream = nullptr;
    ASSERT_EQ(AVIFileOpen(file, clip.string(), OF_READ), AVIERR_OK);
    ASSERT_EQ(AVIFileGetStream(file, stream, streamtypeAUDIO, 0), AVIERR_OK);
    {
        auto d = std::make_unique<TScriptedSoundDevice>();
        TScriptedSoundDevice* device = d.get();
        std::vector<std::int16_t> heard;
        TAudioPlay audio(std::move(d));
        // Copy each buffer as it is finished, before the ring takes it back.
        auto done = device->OnBufferDone;
        device->OnBufferDone = [&](TWaveHeader* h) {
            const auto* p = reinterpret_cast<const std::int16_t*>(h->lpData);
            heard.insert(heard.end(), p, p + h->dwBufferLength / 2);
            done(h);
        };
        ASSERT_TRUE(audio.Play(stream, -1, -1));
        EXPECT_EQ(device->Format.wBitsPerSample, 16);
        EXPECT_EQ(device->Format.nChannels, 1);
        EXPECT_EQ(audio.SampleSize(), 2);
        EXPECT_EQ(audio.BufferSize(), 2048);
        while (device->Finish(1) == 1) {
        }
        EXPECT_EQ(audio.BuffersHeld(), 0u);
        ASSERT_EQ(heard.size(), want.size());
        EXPECT_TRUE(heard == want) << "the samples differ from ffmpeg's decode";
    }
    AVIStreamRelease(stream);
    AVIFileRelease(file);
}

} // namespace
} // namespace framolo
