// Frame waits measured on the painter's own clock. The fake clock moves only
// through the painter's waits (and Advance), so the gap between two frame
// starts is exactly the wait the painter chose.
#include "gif_painter_test_util.h"
#include "gif_test_util.h"

#include "platform/graphics/canvas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

namespace framolo {
namespace {

// A 2x2 document of frames with these delays (-1: no graphic control).
void BuildDelays(TGIFDocument& doc, const std::vector<int>& delays) {
    for (int delay : delays) {
        TGIFSubImage* frame = AddIndexedFrame(doc, 2, 2, 2, {0, 1, 1, 0});
        if (delay >= 0)
            AddGraphicControl(frame)->SetDelay(delay);
    }
}

struct TRun {
    std::vector<std::int64_t> Starts;
    std::vector<std::int64_t> Gaps() const {
        std::vector<std::int64_t> gaps;
        for (std::size_t i = 1; i < Starts.size(); ++i)
            gaps.push_back(Starts[i] - Starts[i - 1]);
        return gaps;
    }
};

// Plays one pass and records the clock at every frame start. afterFrame may
// move the clock to stand for slow drawing.
TRun Play(TGIFDocument& doc, TFakeClock& clock, bool threaded, std::int32_t speed = 100,
          std::int64_t drawCost = 0) {
    TClockScope scope(clock);
    doc.SetSpeedPercent(speed);
    TRun run;
    doc.OnFrameBefore = [&](TPersistent*) { run.Starts.push_back(clock.Now()); };
    doc.OnFrameAfter = [&](TPersistent*) { clock.Advance(drawCost); };
    TBitmap screen(2, 2, TPixelFormat::pf24bit);
    TBitmapCanvas canvas(screen);
    TGIFPainter* slot = nullptr;
    const TGIFDrawOptions options = poAllFrames | (threaded ? poThreaded : 0);
    if (TGIFPainter* painter =
            Painters(doc).StartPainter(&slot, canvas, options, TRect{0, 0, 2, 2})) {
        painter->Launch();
        EXPECT_TRUE(test::PumpUntilNoPainters());
    }
    doc.OnFrameBefore = nullptr;
    doc.OnFrameAfter = nullptr;
    return run;
}

TEST(GifPainterTiming, DelayUnitsCountTwelveMilliseconds) {
    // Missing control, delay 0, 1, 2, 10, 100: the wait before a frame comes
    // from the frame before it.
    TGIFDocument doc;
    BuildDelays(doc, {-1, 0, 1, 2, 10, 100, 5});
    for (bool threaded : {true, false}) {
        TFakeClock clock;
        const TRun run = Play(doc, clock, threaded);
        EXPECT_EQ(run.Gaps(), (std::vector<std::int64_t>{120, 120, 36, 36, 120, 1200}))
            << "threaded " << threaded;
    }
}

TEST(GifPainterTiming, SpeedPercentScalesTheWait) {
    TGIFDocument doc;
    BuildDelays(doc, {10, 10, 10});
    for (const auto& [speed, gap] :
         std::vector<std::pair<int, std::int64_t>>{{200, 60}, {100, 120}, {50, 240}, {300, 40}}) {
        TFakeClock clock;
        EXPECT_EQ(Play(doc, clock, true, speed).Gaps(), (std::vector<std::int64_t>{gap, gap}))
            << speed;
    }
}

TEST(GifPainterTiming, HalfOfAnOverrunComesOffTheNextWaitAndTheRestLater) {
    // Drawing costs 40 ms per frame. The wait after the first drawing is 20 ms
    // shorter; the other 20 ms are carried and halved into the following waits,
    // so the animation settles at its own pace of 120 ms a frame and stays
    // there: a steady drawing cost never makes it drift.
    TGIFDocument doc;
    BuildDelays(doc, std::vector<int>(40, 10));
    for (bool threaded : {true, false}) {
        TFakeClock clock;
        const TRun run = Play(doc, clock, threaded, 100, 40);
        ASSERT_EQ(run.Starts.size(), 40u);
        const auto gaps = run.Gaps();
        EXPECT_EQ(gaps[0], 140) << threaded;
        EXPECT_EQ(gaps[1], 130) << threaded;
        EXPECT_EQ(gaps[2], 125) << threaded;
        EXPECT_TRUE(std::all_of(gaps.begin() + 12, gaps.end(), [](auto g) { return g == 120; }))
            << threaded;
        // After 39 frames the animation is one drawing late, as it was when
        // the first wait began: nothing more has piled up.
        EXPECT_EQ(run.Starts[39] - run.Starts[0], 39 * 120 + 40) << threaded;
    }

    // At double speed the pace is 60 ms, and it holds as well.
    TFakeClock fast;
    const auto gaps = Play(doc, fast, true, 200, 10).Gaps();
    EXPECT_TRUE(std::all_of(gaps.end() - 10, gaps.end(), [](auto g) { return g == 60; }));
}

TEST(GifPainterTiming, SynchronousPainterCapsAndSlicesItsWaits) {
    TGIFDocument doc;
    BuildDelays(doc, {5000, 1});
    TFakeClock sync;
    const TRun run = Play(doc, sync, false);
    ASSERT_EQ(run.Starts.size(), 2u);
    EXPECT_EQ(run.Gaps()[0], 12000);
    const auto sleeps = sync.Sleeps();
    EXPECT_TRUE(std::all_of(sleeps.begin(), sleeps.end(), [](auto s) { return s <= 100; }));
    // The synchronous painter waits one unit before its first frame too.
    EXPECT_EQ(std::accumulate(sleeps.begin(), sleeps.end(), std::int64_t{0}), 12 + 12000);

    TFakeClock threaded;
    EXPECT_EQ(Play(doc, threaded, true).Gaps()[0], 60000);
}

TEST(GifPainterTiming, NegativeSpeedRunsWithoutWaitsAndZeroWaitsUntilHalted) {
    TGIFDocument doc;
    BuildDelays(doc, {10, 10, 10});
    TFakeClock fast;
    EXPECT_EQ(Play(doc, fast, true, -1).Gaps(), (std::vector<std::int64_t>{0, 0}));
    EXPECT_TRUE(fast.Waits().empty());

    // SpeedPercent 0: the first frame is shown, then the painter waits on its
    // wake event until it is halted.
    TFakeClock clock;
    TClockScope scope(clock);
    doc.SetSpeedPercent(0);
    int frames = 0;
    doc.OnFrameAfter = [&](TPersistent*) { ++frames; };
    TBitmap screen(2, 2, TPixelFormat::pf24bit);
    TBitmapCanvas canvas(screen);
    TGIFPainter* slot = nullptr;
    TGIFPainter* painter =
        Painters(doc).StartPainter(&slot, canvas, poThreaded | poAllFrames, TRect{0, 0, 2, 2});
    ASSERT_NE(painter, nullptr);
    ASSERT_NE(painter->WakeEvent(), nullptr);
    painter->Launch();
    ASSERT_TRUE(test::PumpUntil([&] { return painter->FrameIndex.load() == 1; }));
    doc.StopAllPainters();
    EXPECT_EQ(frames, 1);
    EXPECT_EQ(slot, nullptr);
    EXPECT_TRUE(test::PumpUntilNoPainters());
}

} // namespace
} // namespace framolo
