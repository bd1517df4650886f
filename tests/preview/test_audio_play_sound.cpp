// Real sound: a clip whose sound is a 1 kHz tone plays through the QAudioSink
// device into a PulseAudio null sink, and parec records the sink's monitor.
// scripts/pulse-for-tests.sh starts such a server; without one the test skips.

#include <QProcess>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <utility>
#include <vector>

#include "preview/avi_player.h"
#include "test_avi_player_support.h"

namespace framolo {
namespace {

constexpr int kRate = 44100;
// A sample this loud is sound; the tone's peak is about 4096, and it moves by
// more than this between samples near a zero crossing.
constexpr int kLoud = 100;
// This many quiet samples in a row (1 ms) are a gap: an underrun of the sink
// when the machine is busy, or the end of the sound.
constexpr std::size_t kGap = kRate / 1000;
// Sound is analysed in blocks of 50 ms: 45, 50 and 55 whole periods of 900,
// 1000 and 1100 Hz. Shorter stretches are counted as sound, not analysed.
constexpr std::size_t kShortest = kRate / 20;

std::vector<double> Samples(const QByteArray& bytes, qsizetype from, qsizetype to) {
    std::vector<double> x;
    from &= ~qsizetype{1};
    for (qsizetype i = from; i + 1 < to; i += 2) {
        const auto lo = static_cast<std::uint8_t>(bytes[i]);
        const auto hi = static_cast<std::uint8_t>(bytes[i + 1]);
        x.push_back(static_cast<std::int16_t>(lo | (hi << 8)));
    }
    return x;
}

double Rms(const std::vector<double>& x) {
    double sum = 0;
    for (const double v : x) {
        sum += v * v;
    }
    return x.empty() ? 0 : std::sqrt(sum / static_cast<double>(x.size()));
}

// The stretches of sound in a recording, [begin, end) in samples, split at
// gaps of silence.
std::vector<std::pair<std::size_t, std::size_t>> Stretches(const std::vector<double>& x) {
    std::vector<std::pair<std::size_t, std::size_t>> out;
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (std::abs(x[i]) < kLoud) {
            continue;
        }
        if (!out.empty() && i - out.back().second < kGap) {
            out.back().second = i + 1;
        } else {
            out.emplace_back(i, i + 1);
        }
    }
    return out;
}

// Samples of sound in a recording.
std::size_t SoundLength(const std::vector<double>& x) {
    std::size_t n = 0;
    for (const auto& [begin, end] : Stretches(x)) {
        n += end - begin;
    }
    return n;
}

// The sound of a recording in 50 ms blocks, each within one stretch: a
// stretch is one continuous piece of the sink's output, but a busy machine can
// still make it jump within a stretch, so a Goertzel filter runs over each
// block, and a jump spoils one block, not the whole recording.
struct TTone {
    std::size_t Analysed = 0;
    double Energy = 0;

    explicit TTone(const std::vector<double>& x) : FX(x) {
        for (const auto& [begin, end] : Stretches(x)) {
            for (std::size_t b = begin; b + kShortest <= end; b += kShortest) {
                FPieces.emplace_back(b, b + kShortest);
                Analysed += kShortest;
                for (std::size_t i = b; i < b + kShortest; ++i) {
                    Energy += x[i] * x[i];
                }
            }
        }
    }

    double Rms() const {
        return Analysed > 0 ? std::sqrt(Energy / static_cast<double>(Analysed)) : 0;
    }

    // Share of the energy at `frequency`: near 1 for a pure tone there.
    double ShareAt(double frequency) const {
        const double w = 2 * std::numbers::pi * frequency / kRate;
        const double c = 2 * std::cos(w);
        double at = 0;
        for (const auto& [begin, end] : FPieces) {
            double s1 = 0;
            double s2 = 0;
            for (std::size_t i = begin; i < end; ++i) {
                const double s0 = FX[i] + c * s1 - s2;
                s2 = s1;
                s1 = s0;
            }
            const double power = s1 * s1 + s2 * s2 - c * s1 * s2;
            at += 2 * power / static_cast<double>(end - begin);
        }
        return Energy > 0 ? at / Energy : 0;
    }

private:
    const std::vector<double>& FX;
    std::vector<std::pair<std::size_t, std::size_t>> FPieces;
};

TEST(AudioPlaySoundTest, ToneReachesTheSoundServerAndStopSilencesIt) {
    const char* sink = std::getenv("FRAMOLO_TEST_PULSE_SINK");
    if (sink == nullptr || std::getenv("PULSE_SERVER") == nullptr) {
        GTEST_SKIP() << "no PulseAudio server for tests: run scripts/pulse-for-tests.sh start DIR "
                        "and export what it prints";
    }
    if (std::system("command -v parec >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "parec is not installed";
    }
    const auto clip = avitest::MakeClip(
        "tone_1k.avi", "-f lavfi -i testsrc=size=32x24:rate=25 -f lavfi -i "
                       "sine=frequency=1000:sample_rate=44100 -t 6 -c:v rawvideo -pix_fmt bgr24 "
                       "-c:a pcm_s16le -ac 1");
    ASSERT_FALSE(clip.empty());

    QProcess parec;
    QByteArray heard;
    QObject::connect(&parec, &QProcess::readyReadStandardOutput,
                     [&] { heard += parec.readAllStandardOutput(); });
    parec.start("parec", {"-d", QString::fromUtf8(sink) + ".monitor", "--raw", "--format=s16le",
                          "--rate=44100", "--channels=1", "--latency-msec=20"});
    ASSERT_TRUE(parec.waitForStarted(5000));
    playertest::Pump(500);

    TAVIPlayer player;
    player.SetFileName(clip.string());
    ASSERT_GT(player.FrameCount(), 100);
    player.Play(0, static_cast<std::uint16_t>(player.FrameCount() - 1), 1);
    if (!player.Audio().DeviceOpen()) {
        parec.kill();
        parec.waitForFinished();
        GTEST_SKIP() << "Qt found no sound output on the test server";
    }
    // The monitor records in the sink's time, whatever the load on the
    // machine: the stream may take a while to start and may underrun. Play
    // until a second of sound has been recorded; the bounds only keep a broken
    // play from hanging the test.
    const bool reached = playertest::WaitFor(
        [&] { return SoundLength(Samples(heard, 0, heard.size())) >= std::size_t{kRate}; }, 30000);
    const qsizetype atStop = heard.size();
    player.Stop();
    EXPECT_FALSE(player.Audio().DeviceOpen());
    // After Stop the sink may still play out what it held, and parec may still
    // deliver what was recorded before; then a second of silence, recorded
    // after the Stop mark.
    const auto silentTail = [&](const std::vector<double>& after) {
        const auto stretches = Stretches(after);
        const std::size_t quietFrom = stretches.empty() ? 0 : stretches.back().second;
        return after.size() - quietFrom;
    };
    const bool silenced = playertest::WaitFor(
        [&] { return silentTail(Samples(heard, atStop, heard.size())) >= std::size_t{kRate}; },
        30000);
    parec.kill();
    parec.waitForFinished();

    // Everything recorded before the Stop mark was played before Stop: the
    // tone, at 1 kHz and nothing else.
    const std::vector<double> before = Samples(heard, 0, atStop);
    const TTone t(before);
    ::testing::Test::RecordProperty("tone_samples", static_cast<int>(SoundLength(before)));
    ::testing::Test::RecordProperty("tone_analysed_samples", static_cast<int>(t.Analysed));
    ::testing::Test::RecordProperty("tone_rms", static_cast<int>(t.Rms()));
    ::testing::Test::RecordProperty("tone_share_permille",
                                    static_cast<int>(1000 * t.ShareAt(1000)));
    ASSERT_TRUE(reached) << "no sound reached the sink";
    ASSERT_GE(t.Analysed, std::size_t{kRate / 4}) << "the sound came only in short bits";
    EXPECT_GT(t.Rms(), 1000);
    EXPECT_GT(t.ShareAt(1000), 0.8);
    EXPECT_LT(t.ShareAt(900), 0.05);
    EXPECT_LT(t.ShareAt(1100), 0.05);

    // Stop silenced it: the recording ends in a second of silence, and the
    // six seconds of the clip's tone were not all played.
    const std::vector<double> after = Samples(heard, atStop, heard.size());
    ::testing::Test::RecordProperty("after_stop_samples", static_cast<int>(after.size()));
    ::testing::Test::RecordProperty("sound_after_stop_samples",
                                    static_cast<int>(SoundLength(after)));
    ASSERT_TRUE(silenced) << "Stop did not silence the sound";
    const std::vector<double> last(after.end() - kRate, after.end());
    ::testing::Test::RecordProperty("after_stop_rms", static_cast<int>(Rms(last)));
    EXPECT_LT(Rms(last), 30) << "Stop did not silence the sound";
    EXPECT_LT(SoundLength(before) + SoundLength(after), std::size_t{4 * kRate})
        << "the tone went on after Stop";
}

} // namespace
} // namespace framolo
