// Passes, loop counts, starting and stopping painters, and the GUI thread's
// side of threaded painting, all without a display.
#include "gif_painter_test_util.h"
#include "gif_test_util.h"

#include "platform/graphics/canvas.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace framolo {
namespace {

// frames 2x2 frames; a looping extension with loopCount on frame loopFrame
// (none when loopFrame < 0).
void Build(TGIFDocument& doc, int frames, int loopFrame = -1, int loopCount = 0) {
    for (int i = 0; i < frames; ++i) {
        TGIFSubImage* frame =
            AddIndexedFrame(doc, 2, 2, 4, {static_cast<std::uint8_t>(i % 4), 1, 2, 3});
        if (i == loopFrame) {
            auto loop = std::make_unique<TGIFAppExtNSLoop>(frame);
            loop->SetLoopCount(loopCount);
            frame->Extensions().Add(std::move(loop));
        }
        AddGraphicControl(frame)->SetDelay(2);
    }
}

// Records the frame indexes shown and the passes begun.
struct TTrace {
    std::vector<int> Frames;
    int Passes = 1;
    bool Ended = false;
    explicit TTrace(TGIFDocument& doc) {
        doc.OnFrameBefore = [this](TPersistent* sender) {
            Frames.push_back(static_cast<TGIFPainter*>(sender)->FrameIndex.load());
        };
        doc.OnPassRepeat = [this](TPersistent*) { ++Passes; };
        doc.OnAnimEnd = [this](TPersistent*) { Ended = true; };
    }
};

struct TScreen {
    TBitmap Bitmap{16, 16, TPixelFormat::pf24bit};
    TBitmapCanvas Canvas{Bitmap};
};

// The loops run on the fake clock: time passes only as the painters wait.
class GifPainterLoops : public ::testing::Test {
protected:
    TFakeClock clock;
    TClockScope scope{clock};
};

constexpr TGIFDrawOptions kAnimate = poThreaded | poMasked | poAllFrames | poRepeat | poOnTarget;

TEST_F(GifPainterLoops, LoopCountGivesThatManyPassesFromTheLoopingFrame) {
    for (bool threaded : {true, false}) {
        TGIFDocument doc;
        Build(doc, 3, 1, 3);
        TTrace trace(doc);
        doc.SetPaintOptions(threaded ? kAnimate : (kAnimate & ~poThreaded));
        TScreen screen;
        doc.Draw(screen.Canvas, TRect{0, 0, 4, 4});
        ASSERT_TRUE(test::PumpUntil([&] { return trace.Ended; }));
        // Frame 0 plays once; passes two and three start at frame 1.
        EXPECT_EQ(trace.Frames, (std::vector<int>{0, 1, 2, 1, 2, 1, 2})) << threaded;
        EXPECT_EQ(trace.Passes, 3);
        EXPECT_TRUE(test::PumpUntilNoPainters());
        EXPECT_EQ(Painters(doc).CurrentPainter(), nullptr);
    }
}

TEST_F(GifPainterLoops, CountZeroRepeatsUntilHaltedOnlyWhenThreaded) {
    {
        TGIFDocument doc;
        Build(doc, 2, 0, 0);
        TTrace trace(doc);
        doc.SetPaintOptions(kAnimate & ~poThreaded);
        TScreen screen;
        doc.Draw(screen.Canvas, TRect{0, 0, 4, 4});
        EXPECT_EQ(trace.Frames, (std::vector<int>{0, 1}));
        EXPECT_TRUE(trace.Ended);
    }
    TGIFDocument doc;
    Build(doc, 2, 0, 0);
    TTrace trace(doc);
    doc.SetPaintOptions(kAnimate);
    TScreen screen;
    doc.Draw(screen.Canvas, TRect{0, 0, 4, 4});
    ASSERT_TRUE(test::PumpUntil([&] { return trace.Passes >= 10; }));
    doc.StopCurrentPainter();
    EXPECT_EQ(Painters(doc).CurrentPainter(), nullptr);
    EXPECT_FALSE(trace.Ended);
    EXPECT_TRUE(test::PumpUntilNoPainters());
}

TEST_F(GifPainterLoops, WithoutAllFramesOrRepeatOnePassOfOneOrAllFrames) {
    TGIFDocument doc;
    Build(doc, 3);
    TTrace trace(doc);
    TScreen screen;
    TGIFPainter* slot = nullptr;
    Painters(doc).StartPainter(&slot, screen.Canvas, poMasked | poAllFrames, TRect{0, 0, 4, 4});
    EXPECT_EQ(trace.Frames, (std::vector<int>{0, 1, 2}));
    trace.Frames.clear();
    Painters(doc).StartPainter(&slot, screen.Canvas, poMasked | poRepeat, TRect{0, 0, 4, 4});
    EXPECT_EQ(trace.Frames, (std::vector<int>{0}));
}

// A software canvas whose surface can be swapped, as a widget's is.
class TSwappableCanvas : public TBitmapCanvas {
public:
    using TBitmapCanvas::TBitmapCanvas;
    std::uintptr_t Handle() const override { return handle; }
    std::uintptr_t handle = 1;
};

TEST_F(GifPainterLoops, ALostSurfaceStopsAWatchingPainterOnly) {
    for (bool watch : {true, false}) {
        TGIFDocument doc;
        Build(doc, 4);
        doc.Frames()[2]->GraphicControl()->SetDisposal(2);
        TBitmap bitmap(4, 4, TPixelFormat::pf24bit);
        TSwappableCanvas canvas(bitmap);
        int painted = 0;
        doc.OnFrameAfter = [&](TPersistent* sender) {
            painted += static_cast<TGIFPainter*>(sender)->HasPainted.load() ? 1 : 0;
            canvas.handle = 2;
        };
        TGIFPainter* slot = nullptr;
        Painters(doc).StartPainter(&slot, canvas, poAllFrames | (watch ? poCheckDC : 0),
                                   TRect{0, 0, 4, 4});
        // The first frame is drawn before the surface goes; after it, only the
        // painter that does not watch goes on.
        EXPECT_EQ(painted, watch ? 1 : 4) << watch;
    }
}

TEST_F(GifPainterLoops, AHandlerCanRestartTheRunFromFrameZero) {
    TGIFDocument doc;
    Build(doc, 3);
    TTrace trace(doc);
    int begun = 0;
    doc.OnAnimBegin = [&](TPersistent*) { ++begun; };
    doc.OnFrameAfter = [&](TPersistent* sender) {
        auto* painter = static_cast<TGIFPainter*>(sender);
        if (begun == 1 && painter->FrameIndex.load() == 1)
            painter->RestartPending.store(true);
    };
    TBitmap bitmap(4, 4, TPixelFormat::pf24bit);
    TBitmapCanvas canvas(bitmap);
    TGIFPainter* slot = nullptr;
    Painters(doc).StartPainter(&slot, canvas, poAllFrames, TRect{0, 0, 4, 4});
    EXPECT_EQ(begun, 2);
    EXPECT_EQ(trace.Frames, (std::vector<int>{0, 1, 0, 1, 2}));
}

TEST(GifPainterThreads, OneFrameDrawsAtOnceWithoutAThread) {
    TGIFDocument doc;
    Build(doc, 1, 0, 0);
    doc.SetPaintOptions(kAnimate);
    TScreen screen;
    doc.Draw(screen.Canvas, TRect{0, 0, 2, 2});
    EXPECT_EQ(Painters(doc).CurrentPainter(), nullptr);
    EXPECT_EQ(TGIFPainter::LiveCount(), 0u);
    EXPECT_EQ(screen.Bitmap.PixelColor(1, 1), doc.Frames()[0]->ActiveColorMap().Color(3));
    TGIFPainter* slot = nullptr;
    EXPECT_EQ(Painters(doc).StartPainter(&slot, screen.Canvas, kAnimate, TRect{0, 0, 2, 2}),
              nullptr);
    EXPECT_EQ(Painters(doc).StartPainter(&slot, screen.Canvas, kAnimate, TRect{0, 0, 0, 2}),
              nullptr);
}

TEST(GifPainterThreads, SameRectangleKeepsThePainterANewOneRestartsAtFrameZero) {
    TFakeClock clock;
    TClockScope scope(clock);
    TGIFDocument doc;
    Build(doc, 4, 0, 0);
    TTrace trace(doc);
    int begun = 0;
    doc.OnAnimBegin = [&](TPersistent*) { ++begun; };
    doc.SetPaintOptions(kAnimate);
    TScreen screen;
    doc.Draw(screen.Canvas, TRect{0, 0, 4, 4});
    TGIFPainter* first = Painters(doc).CurrentPainter();
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(test::PumpUntil([&] { return trace.Frames.size() >= 6; }));
    doc.Draw(screen.Canvas, TRect{0, 0, 4, 4});
    EXPECT_EQ(Painters(doc).CurrentPainter(), first);
    EXPECT_EQ(begun, 1);

    trace.Frames.clear();
    doc.Draw(screen.Canvas, TRect{0, 0, 8, 8});
    ASSERT_NE(Painters(doc).CurrentPainter(), nullptr);
    ASSERT_TRUE(test::PumpUntil([&] { return trace.Frames.size() >= 2; }));
    EXPECT_EQ(begun, 2);
    EXPECT_EQ(trace.Frames[0], 0);
    EXPECT_EQ(trace.Frames[1], 1);
    doc.StopAllPainters();
    EXPECT_TRUE(test::PumpUntilNoPainters());
}

TEST(GifPainterThreads, ChangedOptionsHaltThePainterAndTheNextDrawStartsAnew) {
    TFakeClock clock;
    TClockScope scope(clock);
    TGIFDocument doc;
    Build(doc, 3);
    doc.SetPaintOptions(kAnimate);
    TScreen screen;
    doc.Draw(screen.Canvas, TRect{0, 0, 4, 4});
    auto* first = Painters(doc).CurrentPainter();
    ASSERT_NE(first, nullptr);
    doc.SetPaintOptions(kAnimate | poEndless);
    EXPECT_TRUE(first->Terminated());
    doc.Draw(screen.Canvas, TRect{0, 0, 4, 4});
    EXPECT_NE(Painters(doc).CurrentPainter(), nullptr);
    EXPECT_FALSE(Painters(doc).CurrentPainter()->Terminated());
    doc.StopAllPainters();
    EXPECT_TRUE(test::PumpUntilNoPainters());
}

TEST(GifPainterThreads, DrawWithoutOnTargetShowsTheRenderedBitmap) {
    TFakeClock clock;
    TClockScope scope(clock);
    TGIFDocument doc;
    Build(doc, 3);
    doc.SetPaintOptions(kAnimate & ~poOnTarget);
    TScreen screen;
    doc.Draw(screen.Canvas, TRect{0, 0, 2, 2});
    ASSERT_NE(doc.RenderedBitmap(), nullptr);
    EXPECT_EQ(screen.Bitmap.PixelColor(1, 0), doc.Frames()[0]->ColorMap().Color(1));
    doc.StopAllPainters();
    EXPECT_TRUE(test::PumpUntilNoPainters());
}

TEST(GifPainterThreads, AnErrorEndsTheRunAndIsRaisedAgain) {
    TFakeClock clock;
    TClockScope scope(clock);
    TGIFDocument doc;
    Build(doc, 3);
    doc.OnFrameAfter = [](TPersistent*) { throw std::runtime_error("handler failed"); };
    TScreen screen;
    TGIFPainter* slot = nullptr;
    EXPECT_THROW(Painters(doc).StartPainter(&slot, screen.Canvas, poAllFrames, TRect{0, 0, 2, 2}),
                 std::runtime_error);
    EXPECT_TRUE(Painters(doc).PainterList().empty());

    std::exception_ptr reported;
    PainterErrorHandler = [&](std::exception_ptr e) { reported = e; };
    TGIFPainter* painter = Painters(doc).StartPainter(&slot, screen.Canvas,
                                                      poThreaded | poAllFrames, TRect{0, 0, 2, 2});
    ASSERT_NE(painter, nullptr);
    painter->Launch();
    EXPECT_TRUE(test::PumpUntilNoPainters());
    PainterErrorHandler = nullptr;
    ASSERT_TRUE(reported);
    EXPECT_THROW(std::rethrow_exception(reported), std::runtime_error);
    EXPECT_EQ(slot, nullptr);
}

TEST(GifPainterThreads, StoppingNeverDeadlocksWhileAPainterWaitsForTheGuiThread) {
    // Real clock, short delays: the painter is often blocked in a call to the
    // GUI thread when the document stops it.
    TGIFDocument doc;
    Build(doc, 3);
    doc.SetPaintOptions(kAnimate);
    for (int i = 0; i < 50; ++i) {
        TScreen screen;
        doc.Draw(screen.Canvas, TRect{0, 0, 4, 4});
        std::this_thread::yield();
        doc.StopAllPainters();
        EXPECT_EQ(Painters(doc).CurrentPainter(), nullptr);
        EXPECT_TRUE(Painters(doc).PainterList().empty());
    }
    EXPECT_TRUE(test::PumpUntilNoPainters());
}

TEST(GifPainterThreads, CutPaintersNeverTouchTheDocumentAgain) {
    TFakeClock clock;
    TClockScope scope(clock);
    auto doc = std::make_unique<TGIFDocument>();
    Build(*doc, 3);
    int shown = 0;
    doc->OnFrameAfter = [&](TPersistent*) { ++shown; };
    doc->SetPaintOptions(kAnimate);
    TScreen screen;
    doc->Draw(screen.Canvas, TRect{0, 0, 4, 4});
    ASSERT_TRUE(test::PumpUntil([&] { return shown >= 2; }));
    doc->KillPainterThreads();
    EXPECT_TRUE(Painters(*doc).PainterList().empty());
    EXPECT_EQ(Painters(*doc).CurrentPainter(), nullptr);
    doc.reset();
    const int before = shown;
    EXPECT_TRUE(test::PumpUntilNoPainters());
    EXPECT_EQ(shown, before);
}

TEST(GifPainterThreads, DestroyingDocumentsMidAnimationAThousandTimes) {
    // Real clock and real waits: every document dies while its painter waits
    // for its next frame or for a step on the GUI thread.
    for (int i = 0; i < 1000; ++i) {
        auto doc = std::make_unique<TGIFDocument>();
        Build(*doc, 3);
        doc->SetPaintOptions(kAnimate);
        TScreen screen;
        doc->Draw(screen.Canvas, TRect{0, 0, 4, 4});
        if (i % 2 == 0)
            TMainThreadCalls::Instance().WaitAndPump(1);
        doc.reset();
    }
    EXPECT_TRUE(test::PumpUntilNoPainters());
    EXPECT_EQ(TMainThreadCalls::Instance().Pending(), 0u);
}

} // namespace
} // namespace framolo
