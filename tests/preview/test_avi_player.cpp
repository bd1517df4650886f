// TAVIPlayer driven as a widget: clips made with ffmpeg, the frame clock
// running on the event loop, and what the widget paints read back by grabbing
// it.

#include <QPainter>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <unistd.h>

#include "preview/avi_player.h"
#include "preview/scripted_sound_device.h"
#include "test_avi_player_support.h"

namespace framolo {
namespace {

using playertest::PatternClip;
using playertest::Pump;
using playertest::TRecorder;
using playertest::WaitFor;

class AVIPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        host = std::make_unique<QWidget>();
        host->resize(400, 300);
        auto sound = std::make_unique<TScriptedSoundDevice>();
        device = sound.get();
        player = new TAVIPlayer(host.get(), std::move(sound));
        player->SetObserver(&recorder);
        player->OnStart = [this](TAVIPlayer*) { ++starts; };
        player->OnStop = [this](TAVIPlayer*) { ++stops; };
        host->show();
        ASSERT_TRUE(WaitFor([this] { return player->isVisible(); }));
    }

    // Opens `clip` and lets the first paints pass, so that the recorder only
    // sees what follows.
    void OpenClip(const std::filesystem::path& clip) {
        ASSERT_FALSE(clip.empty()) << "ffmpeg could not make the clip";
        player->SetFileName(clip.string());
        ASSERT_GT(player->FrameCount(), 0);
        Pump(30);
        recorder.Positions.clear();
        recorder.Delays.clear();
    }

    QImage Grab(QWidget* widget) {
        return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    std::unique_ptr<QWidget> host;
    TAVIPlayer* player = nullptr;
    TScriptedSoundDevice* device = nullptr;
    TRecorder recorder;
    int starts = 0;
    int stops = 0;
};

// A 50 frames-per-second clip keeps the plays short.
std::filesystem::path FastClip() {
    return PatternClip(64, 48, "50", 12);
}

TEST_F(AVIPlayerTest, OpenTakesTheClipsRangeAndSizeAndCloseKeepsThem) {
    int opens = 0;
    int closes = 0;
    player->OnOpen = [&](TAVIPlayer*) { ++opens; };
    player->OnClose = [&](TAVIPlayer*) { ++closes; };
    OpenClip(FastClip());
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(player->FrameCount(), 12);
    EXPECT_EQ(player->StartFrame(), 0);
    EXPECT_EQ(player->StopFrame(), 11);
    EXPECT_EQ(player->Position(), 0);
    EXPECT_EQ(player->FrameWidth(), 64);
    EXPECT_EQ(player->FrameHeight(), 48);
    // AutoSize is on by default: the widget takes the frame's size.
    EXPECT_EQ(player->size(), QSize(64, 48));

    player->SetPosition(4);
    player->Close();
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(player->FrameCount(), 0);
    EXPECT_EQ(player->StopFrame(), 11);
    EXPECT_EQ(player->Position(), 4);
    player->Close();
    EXPECT_EQ(closes, 1) << "closing a closed player is no event";
}

// A recording cut off after its eighth frame, index and all: the header
// still promises twelve, the player offers the eight the file holds.
TEST_F(AVIPlayerTest, ACutShortClipOffersTheFramesItHolds) {
    auto bytes = avitest::ReadFile(FastClip());
    const std::string movi = "movi";
    auto at = static_cast<std::size_t>(
        std::search(bytes.begin(), bytes.end(), movi.begin(), movi.end()) - bytes.begin() + 4);
    for (int frames = 0; frames < 8 && at + 8 <= bytes.size();) {
        std::uint32_t size = 0;
        std::memcpy(&size, bytes.data() + at + 4, 4);
        frames += bytes[at] == '0' && bytes[at + 2] == 'd' ? 1 : 0;
        at += 8 + size + (size & 1);
    }
    ASSERT_LT(at, bytes.size());
    bytes.resize(at);
    const auto cut = avitest::WorkDir() / "player_cut_short.avi";
    avitest::WriteFile(cut, bytes);
    OpenClip(cut);
    EXPECT_EQ(player->FrameCount(), 8);
    EXPECT_EQ(player->StopFrame(), 7);
}

TEST_F(AVIPlayerTest, TwoPassesShowTheRangeTwiceAndEndOnePastIt) {
    OpenClip(FastClip());
    player->Play(5, 7, 2);
    EXPECT_EQ(player->Position(), 5) << "Play paints nothing itself";
    ASSERT_TRUE(WaitFor([this] { return !player->Active(); }));
    // Every tick paints one frame; the final Stop paints the last one again.
    EXPECT_EQ(recorder.Positions, (std::vector<int>{6, 7, 5, 6, 7, 7}));
    EXPECT_EQ(player->Position(), 8);
    EXPECT_EQ(player->StartFrame(), 5);
    EXPECT_EQ(player->StopFrame(), 7);
    EXPECT_FALSE(player->TimerRunning());
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(stops, 1);
}

// A paint slower than the frame period delays the play; it never skips a
// frame, also when the clock's ticks pile up behind it.
TEST_F(AVIPlayerTest, SlowPaintsStretchThePlayWithoutSkippingFrames) {
    struct TSlow : TRecorder {
        void ReportPosition(int position) override {
            TRecorder::ReportPosition(position);
            QThread::msleep(45); // more than two periods of 20 ms
        }
    } slow;
    OpenClip(FastClip());
    player->SetObserver(&slow);
    player->Play(0, 11, 1);
    ASSERT_TRUE(WaitFor([this] { return !player->Active(); }));
    EXPECT_EQ(slow.Positions, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 11}));
    player->SetObserver(&recorder);
}

TEST_F(AVIPlayerTest, CountZeroLoopsWithoutEnd) {
    OpenClip(FastClip());
    player->Play(5, 7, 0);
    ASSERT_TRUE(WaitFor([this] { return recorder.Positions.size() >= 10; }));
    EXPECT_TRUE(player->Active());
    const std::vector<int> first(recorder.Positions.begin(), recorder.Positions.begin() + 9);
    EXPECT_EQ(first, (std::vector<int>{6, 7, 5, 6, 7, 5, 6, 7, 5}));
    player->Stop();
    EXPECT_FALSE(player->Active());
    EXPECT_FALSE(player->TimerRunning());
    EXPECT_EQ(stops, 1);
}

TEST_F(AVIPlayerTest, FrameNumbersAreSixteenBitsAndNotClamped) {
    OpenClip(FastClip());
    // A caller with wider numbers passes them cut to 16 bits: 70 000 is 4 464.
    player->Play(static_cast<std::uint16_t>(70000u & 0xFFFFu), 4470, 1);
    EXPECT_EQ(player->Position(), 4464);
    EXPECT_EQ(player->StartFrame(), 4464);
    // Frames past the clip decode to nothing but are still reported.
    ASSERT_TRUE(WaitFor([this] { return !recorder.Positions.empty(); }));
    EXPECT_EQ(recorder.Positions.front(), 4465);
    player->Stop();

    // Active := true cuts StartFrame and StopFrame the same way.
    player->SetActive(false);
    player->Close();
    player->SetStartFrame(70000);
    player->SetStopFrame(70005);
    player->Open();
    player->SetStartFrame(3);
    player->SetStopFrame(9);
    player->SetActive(true);
    EXPECT_EQ(player->StartFrame(), 3);
    EXPECT_TRUE(player->Active());
    player->SetActive(false);
    EXPECT_FALSE(player->Active());
}

TEST_F(AVIPlayerTest, PositionClampsOnlyWhileOpenAndEndsAPlay) {
    player->SetPosition(1000);
    EXPECT_EQ(player->Position(), 1000) << "a closed player stores any position";
    player->SetPosition(-5);
    EXPECT_EQ(player->Position(), -5);

    OpenClip(FastClip());
    player->SetPosition(1000);
    EXPECT_EQ(player->Position(), 11);
    player->SetPosition(-5);
    EXPECT_EQ(player->Position(), 0);
    player->SetStartFrame(99);
    player->SetStopFrame(-1);
    EXPECT_EQ(player->StartFrame(), 11);
    EXPECT_EQ(player->StopFrame(), 0);

    player->Play(0, 11, 1);
    ASSERT_TRUE(player->Active());
    player->SetPosition(3);
    EXPECT_FALSE(player->Active());
    EXPECT_FALSE(player->TimerRunning());
    EXPECT_EQ(player->Position(), 3);
}

// The frame period: dwScale * 1000 / dwRate rounded to the nearest.
TEST_F(AVIPlayerTest, FramePeriodGoesToTheDelayFieldAtEveryPlay) {
    const struct {
        const char* rate;
        int period;
    } cases[] = {{"15", 67}, {"30000/1001", 33}, {"25", 40}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        OpenClip(PatternClip(32, 24, c.rate, 6));
        player->Play(0, 5, 1);
        EXPECT_EQ(player->Interval(), c.period);
        ASSERT_EQ(recorder.Delays.size(), 1u);
        EXPECT_EQ(recorder.Delays[0], c.period);
        EXPECT_TRUE(player->TimerRunning());
        player->SetFileName("");
    }
}

// A clip whose video header has dwRate 0 gives -1 and never ticks.
TEST_F(AVIPlayerTest, RateZeroReportsMinusOneAndStartsNoClock) {
    const auto clip = FastClip();
    ASSERT_FALSE(clip.empty());
    auto bytes = avitest::ReadFile(clip);
    bool patched = false;
    for (std::size_t i = 0; i + 36 <= bytes.size(); ++i) {
        if (std::memcmp(&bytes[i], "strh", 4) == 0 && std::memcmp(&bytes[i + 8], "vids", 4) == 0) {
            std::memset(&bytes[i + 8 + 24], 0, 4); // dwRate
            patched = true;
            break;
        }
    }
    ASSERT_TRUE(patched);
    const auto zero = avitest::WorkDir() / ("rate_zero" + std::to_string(::getpid()) + ".avi");
    avitest::WriteFile(zero, bytes);
    player->SetFileName(zero.string());
    if (player->FrameCount() == 0) {
        std::filesystem::remove(zero);
        GTEST_SKIP() << "the AVIFile layer does not open a clip without a frame rate";
    }
    Pump(30);
    recorder.Positions.clear();
    player->Play(0, 5, 1);
    EXPECT_EQ(player->Interval(), -1);
    EXPECT_EQ(recorder.Delays, std::vector<int>{-1});
    EXPECT_TRUE(player->Active());
    EXPECT_FALSE(player->TimerRunning());
    Pump(100);
    EXPECT_EQ(player->Position(), 0);
    EXPECT_TRUE(recorder.Positions.empty());
    player->SetFileName("");
    std::filesystem::remove(zero);
}

// A solid frame, so that every pixel of the grab tells frame from band.
std::filesystem::path SolidClip(int width, int height) {
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    return avitest::MakeClip("solid_" + size + ".avi",
                             "-f lavfi -i color=c=0x2040a0:size=" + size +
                                 ":rate=25 -frames:v 3 -c:v rawvideo -pix_fmt bgr24");
}

TEST_F(AVIPlayerTest, UnstretchedFrameIsCentredAndTheBandsFilled) {
    const QColor band(255, 0, 255);
    const auto clip = SolidClip(320, 240);
    const avitest::TReference ref = avitest::DecodeReference(clip);
    ASSERT_FALSE(ref.Pictures.empty());
    const QRgb frameColour = playertest::BgrToImage(ref.Pictures[0], 320, 240).pixel(0, 0);
    player->SetAutoSize(false);
    player->SetTransparent(false);
    player->SetColor(band);
    player->setGeometry(0, 0, 400, 300);
    OpenClip(clip);
    EXPECT_EQ(player->CalcFrameRect(), QRect(40, 30, 320, 240));
    QImage shot = Grab(player);
    ASSERT_EQ(shot.size(), QSize(400, 300));
    for (int y = 0; y < 300; ++y) {
        for (int x = 0; x < 400; ++x) {
            const bool inFrame = x >= 40 && x < 360 && y >= 30 && y < 270;
            ASSERT_EQ(shot.pixel(x, y), inFrame ? frameColour : band.rgb())
                << "at " << x << "," << y;
        }
    }

    // A frame larger than the widget starts above and left of it.
    player->setGeometry(0, 0, 200, 100);
    EXPECT_EQ(player->CalcFrameRect(), QRect(-60, -70, 320, 240));
    shot = Grab(player);
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 200; ++x) {
            ASSERT_EQ(shot.pixel(x, y), frameColour) << "at " << x << "," << y;
        }
    }

    // Without centring the frame sits at the top-left corner.
    player->setGeometry(0, 0, 400, 300);
    player->SetCenter(false);
    EXPECT_EQ(player->CalcFrameRect(), QRect(0, 0, 320, 240));
    shot = Grab(player);
    EXPECT_EQ(shot.pixel(319, 239), frameColour);
    EXPECT_EQ(shot.pixel(320, 0), band.rgb());
    EXPECT_EQ(shot.pixel(0, 240), band.rgb());
}

TEST_F(AVIPlayerTest, EmptyFileNameDuringAPlayStopsAndClearsToColor) {
    const QColor colour(10, 200, 30);
    player->SetTransparent(false);
    player->SetColor(colour);
    OpenClip(FastClip());
    player->Play(0, 11, 0);
    ASSERT_TRUE(WaitFor([this] { return !recorder.Positions.empty(); }));
    player->SetFileName("");
    EXPECT_FALSE(player->Active());
    EXPECT_FALSE(player->TimerRunning());
    EXPECT_EQ(player->FrameCount(), 0);
    EXPECT_EQ(stops, 1);
    const QImage shot = Grab(player);
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            ASSERT_EQ(shot.pixel(x, y), colour.rgb()) << "at " << x << "," << y;
        }
    }
}

TEST_F(AVIPlayerTest, NewFileNameWhilePlayingStartsTheNewClipFromItsStart) {
    OpenClip(FastClip());
    player->Play(3, 11, 0);
    player->SetFileName(PatternClip(32, 24, "50", 6).string());
    EXPECT_TRUE(player->Active());
    EXPECT_EQ(player->StartFrame(), 0);
    EXPECT_EQ(player->StopFrame(), 5);
    player->Stop();
}

TEST_F(AVIPlayerTest, TransparentPixelsOfTheKeyColourShowTheParent) {
    // Red ground (the bottom-left pixel, so the key) with a blue box.
    const auto clip = avitest::MakeClip(
        "keyed.avi", "-f lavfi -i color=c=red:size=64x48:rate=25,drawbox=x=16:y=12:w=32:h=24:"
                     "color=blue:t=fill -frames:v 2 -c:v rawvideo -pix_fmt bgr24");
    const avitest::TReference ref = avitest::DecodeReference(clip);
    ASSERT_FALSE(ref.Pictures.empty());
    const QImage frame = playertest::BgrToImage(ref.Pictures[0], 64, 48);
    const QRgb red = frame.pixel(0, 47);
    const QRgb blue = frame.pixel(32, 24);
    ASSERT_NE(red, blue);
    QPalette green = host->palette();
    green.setColor(QPalette::Window, Qt::green);
    host->setPalette(green);
    host->setAutoFillBackground(true);
    ASSERT_TRUE(player->Transparent()) << "transparent is the default";
    player->move(100, 50);
    OpenClip(clip);
    QImage shot = Grab(host.get());
    EXPECT_EQ(shot.pixel(100 + 2, 50 + 2), qRgb(0, 255, 0));
    EXPECT_EQ(shot.pixel(100 + 63, 50 + 47), qRgb(0, 255, 0));
    EXPECT_EQ(shot.pixel(100 + 32, 50 + 24), blue);
    EXPECT_EQ(shot.pixel(100 + 16, 50 + 12), blue);

    // Stretched, the key is taken from the scaled frame.
    player->SetAutoSize(false);
    player->SetStretch(true);
    player->setGeometry(100, 50, 128, 96);
    shot = Grab(host.get());
    EXPECT_EQ(shot.pixel(100 + 4, 50 + 4), qRgb(0, 255, 0));
    EXPECT_EQ(shot.pixel(100 + 64, 50 + 48), blue);

    // Opaque, the key colour is just a colour.
    player->SetTransparent(false);
    shot = Grab(host.get());
    EXPECT_EQ(shot.pixel(100 + 4, 50 + 4), red);
}

TEST_F(AVIPlayerTest, NoPositionReportsWhileTheTrackBarIsHeld) {
    OpenClip(FastClip());
    recorder.Dragging = true;
    player->Play(0, 4, 1);
    ASSERT_TRUE(WaitFor([this] { return !player->Active(); }));
    EXPECT_TRUE(recorder.Positions.empty());
    EXPECT_EQ(recorder.Delays, std::vector<int>{20});
    EXPECT_EQ(player->Position(), 5);

    recorder.Dragging = false;
    player->Play(0, 2, 1);
    ASSERT_TRUE(WaitFor([this] { return !player->Active(); }));
    EXPECT_EQ(recorder.Positions, (std::vector<int>{1, 2, 2}));
}

TEST_F(AVIPlayerTest, UnopenableFileLeavesThePlayerClosedAndSilent) {
    const auto junk = avitest::WorkDir() / ("junk" + std::to_string(::getpid()) + ".avi");
    avitest::WriteFile(junk, std::vector<std::uint8_t>(5000, 0x5A));
    int opens = 0;
    player->OnOpen = [&](TAVIPlayer*) { ++opens; };
    player->SetTransparent(false);
    player->SetColor(QColor(1, 2, 3));
    for (const std::string& name : {junk.string(), junk.string() + ".missing"}) {
        SCOPED_TRACE(name);
        player->SetFileName(name);
        EXPECT_EQ(player->FrameCount(), 0);
        player->SetActive(true);
        EXPECT_FALSE(player->Active());
        EXPECT_FALSE(player->TimerRunning());
        player->Play(0, 10, 1);
        EXPECT_FALSE(player->Active());
        EXPECT_TRUE(recorder.Delays.empty());
        EXPECT_EQ(Grab(player).pixel(5, 5), qRgb(1, 2, 3));
    }
    EXPECT_EQ(opens, 0);
    EXPECT_TRUE(device->Log.empty()) << "no sound device was touched";
    std::filesystem::remove(junk);
}

// What the widget shows at a paused position is ffmpeg's decode of that
// frame: exactly at natural size, and scaled by the same smooth scaler when
// stretched.
TEST_F(AVIPlayerTest, GrabAtAPausedPositionIsTheDecodedFrame) {
    const auto clip = PatternClip(96, 72, "25", 10);
    const avitest::TReference ref = avitest::DecodeReference(clip);
    ASSERT_EQ(ref.Pictures.size(), 10u);
    player->SetTransparent(false);
    OpenClip(clip);
    for (const int frame : {0, 6, 9}) {
        SCOPED_TRACE(frame);
        player->SetPosition(frame);
        const QImage want = playertest::BgrToImage(*ref.At(frame), ref.Width, ref.Height);
        EXPECT_EQ(Grab(player), want);
    }

    player->SetAutoSize(false);
    player->SetStretch(true);
    for (const QSize size : {QSize(192, 144), QSize(131, 57)}) {
        SCOPED_TRACE(size.width());
        player->resize(size);
        player->SetPosition(6);
        QImage want(size, QImage::Format_RGB32);
        QPainter painter(&want);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRect(QPoint(0, 0), size),
                          playertest::BgrToImage(*ref.At(6), ref.Width, ref.Height));
        painter.end();
        const QImage shot = Grab(player);
        ASSERT_EQ(shot.size(), size);
        int worst = 0;
        for (int y = 0; y < size.height(); ++y) {
            for (int x = 0; x < size.width(); ++x) {
                const QRgb a = shot.pixel(x, y);
                const QRgb b = want.pixel(x, y);
                worst = std::max({worst, std::abs(qRed(a) - qRed(b)),
                                  std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
            }
        }
        RecordProperty("worst_channel_difference_" + std::to_string(size.width()), worst);
        EXPECT_LE(worst, 1) << "more than the scaler's rounding";
    }
}

TEST_F(AVIPlayerTest, EveryPassRestartsTheSoundAtItsFirstFrame) {
    const auto clip = avitest::MakeClip(
        "tone_u8.avi", "-f lavfi -i testsrc=size=32x24:rate=50 -f lavfi -i "
                       "sine=frequency=440:sample_rate=44100 -t 1 -c:v rawvideo -pix_fmt bgr24 "
                       "-c:a pcm_u8 -ac 1");
    OpenClip(clip);
    player->Play(5, 7, 2);
    // Frame 5 of a 50 fps clip starts at 100 ms, sample 4410; frame 7 at 6174.
    EXPECT_EQ(player->Audio().StartSample(), 4410);
    EXPECT_EQ(player->Audio().EndSample(), 6174);
    ASSERT_TRUE(WaitFor([this] { return !player->Active(); }));
    // Open, pause, restart for each pass; the second pass reset and closed the
    // first pass's device, and Stop the second's.
    const auto count = [this](const std::string& what) {
        return std::count(device->Log.begin(), device->Log.end(), what);
    };
    EXPECT_EQ(count("open"), 2);
    EXPECT_EQ(count("restart"), 2);
    EXPECT_EQ(count("reset"), 2);
    EXPECT_EQ(count("close"), 2);
    EXPECT_EQ(player->Audio().StartSample(), 4410);
    EXPECT_FALSE(player->Audio().DeviceOpen());
    device->DeliverReturned();
    EXPECT_EQ(player->Audio().BuffersHeld(), 0u);

    // Without a sound device the pictures play all the same.
    device->FailOpen = true;
    recorder.Positions.clear();
    player->Play(0, 3, 1);
    EXPECT_TRUE(player->Active());
    EXPECT_FALSE(player->Audio().DeviceOpen());
    ASSERT_TRUE(WaitFor([this] { return !player->Active(); }));
    EXPECT_EQ(recorder.Positions, (std::vector<int>{1, 2, 3, 3}));
    device->FailOpen = false;

    // PlaySound off: no device at all.
    device->Log.clear();
    player->SetPlaySound(false);
    player->Play(0, 5, 1);
    EXPECT_TRUE(device->Log.empty());
    player->Stop();
}

} // namespace
} // namespace framolo
