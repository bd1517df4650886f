// Real sound: a clip whose sound is a 1 kHz tone plays through the QAudioSink
// device into a PulseAudio null sink, and parec records the sink's monitor.
// scripts/pulse-for-tests.sh starts such a server; without one the test skips.

#include <QProcess>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <numbers>

#include "preview/avi_player.h"
#include "test_avi_player_support.h"

namespace framolo {
namespace {

constexpr int kRate = 44100;

struct TTone {
    double Rms = 0;
    // Share of the energy at `frequency`: near 1 for a pure tone there.
    double ShareAt(const std::vector<double>& x, double frequency) const {
        // Goertzel filter over the whole block.
        const double w = 2 * std::numbers::pi * frequency / kRate;
        const double c = 2 * std::cos(w);
        double s1 = 0;
        double s2 = 0;
        double energy = 0;
        for (const double v : x) {
            const double s0 = v + c * s1 - s2;
            s2 = s1;
            s1 = s0;
            energy += v * v;
        }
        const double power = s1 * s1 + s2 * s2 - c * s1 * s2;
        return energy > 0 ? 2 * power / (static_cast<double>(x.size()) * energy) : 0;
    }
};

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
    playertest::Pump(2000);
    const qsizetype playing = heard.size();
    player.Stop();
    EXPECT_FALSE(player.Audio().DeviceOpen());
    playertest::Pump(400);
    const qsizetype stopped = heard.size();
    playertest::Pump(600);
    parec.kill();
    parec.waitForFinished();
    heard += parec.readAllStandardOutput();

    // The monitor records only while the sink has something to play. The last
    // half second recorded before Stop: the tone, and nothing else.
    const qsizetype half = kRate; // bytes of 16-bit mono
    ASSERT_GT(playing, half) << "parec recorded too little";
    const std::vector<double> tone = Samples(heard, playing - half, playing);
    const TTone t;
    ::testing::Test::RecordProperty("tone_rms", static_cast<int>(Rms(tone)));
    ::testing::Test::RecordProperty("tone_share_permille",
                                    static_cast<int>(1000 * t.ShareAt(tone, 1000)));
    EXPECT_GT(Rms(tone), 1000) << "no sound reached the sink";
    EXPECT_GT(t.ShareAt(tone, 1000), 0.8);
    EXPECT_LT(t.ShareAt(tone, 900), 0.05);
    EXPECT_LT(t.ShareAt(tone, 1100), 0.05);

    // From 400 ms after Stop on: silence.
    const std::vector<double> after = Samples(heard, stopped, heard.size());
    ASSERT_GT(after.size(), 4410u);
    ::testing::Test::RecordProperty("after_stop_rms", static_cast<int>(Rms(after)));
    EXPECT_LT(Rms(after), 30) << "Stop did not silence the sound";
}

} // namespace
} // namespace framolo
