// Frames rendered to bitmaps: palettes, the direct and the web-palette
// method, masks, progress and abort, render caches, the whole-document bitmap.
#include "gif/frame_render.h"
#include "gif/gif_document.h"
#include "gif_test_util.h"
#include "platform/graphics/abort.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace framolo {
namespace {

using test::AddIndexedFrame;
using test::RandomPixels;

TColor FrameColor(TGIFSubImage& frame, int x, int y) {
    return frame.ActiveColorMap().Color(frame.Pixel(x, y));
}

bool IsCubeColor(TColor c) {
    return GetRValue(c) % 51 == 0 && GetGValue(c) % 51 == 0 && GetBValue(c) % 51 == 0;
}

TGIFSubImage* AddTransparentFrame(TGIFDocument& doc, int width, int height, int colors,
                                  const std::vector<std::uint8_t>& pixels, int index) {
    TGIFSubImage* frame = AddIndexedFrame(doc, width, height, colors, pixels);
    TGIFGraphicControlExtension* control = test::AddGraphicControl(frame);
    control->SetTransparent(true);
    control->SetTransparentColorIndex(index);
    return frame;
}

void UseWebPalette(TGIFDocument& doc) {
    doc.SetPaintOptions(static_cast<TGIFDrawOptions>(RenderWebPalette));
}

TEST(FrameRender, DirectRenderingHasTheFramesExactColoursAtEveryPixel) {
    TGIFDocument doc;
    TGIFSubImage* frame = AddIndexedFrame(doc, 37, 23, 200, RandomPixels(37 * 23, 200, 5));
    TBitmap* bitmap = frame->RenderBitmap();
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->PixelFormat(), TPixelFormat::pf8bit);
    ASSERT_EQ(bitmap->Width(), 37);
    ASSERT_EQ(bitmap->Height(), 23);
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x) {
            ASSERT_EQ(bitmap->ScanLine(y)[x], frame->Pixel(x, y)) << x << "," << y;
            ASSERT_EQ(bitmap->PixelColor(x, y), FrameColor(*frame, x, y));
        }
    // Cached until a colour changes.
    EXPECT_EQ(frame->RenderBitmap(), bitmap);
    frame->ColorMap().SetColor(frame->Pixel(0, 0), RGB(1, 2, 3));
    EXPECT_EQ(frame->Bitmap(), nullptr);
    EXPECT_EQ(frame->RenderBitmap()->PixelColor(0, 0), RGB(1, 2, 3));

    // Without a local table the global one is used.
    TGIFDocument global;
    global.GlobalColorMap().Add(RGB(10, 20, 30));
    global.GlobalColorMap().Add(RGB(40, 50, 60));
    TGIFSubImage* plain = AddIndexedFrame(global, 4, 2, 0, {0, 1, 1, 0, 1, 1, 0, 0});
    ASSERT_NE(plain->RenderBitmap(), nullptr);
    EXPECT_EQ(plain->RenderBitmap()->PixelColor(1, 0), RGB(40, 50, 60));
    EXPECT_EQ(plain->RenderBitmap()->PixelColor(3, 1), RGB(10, 20, 30));
}

TEST(FrameRender, LargeFramesRenderCompletelyThroughTheOneBitStage) {
    // Over 500000 pixels the target starts as a 1-bit bitmap; the result must
    // still be the whole 8-bit rendering.
    TGIFDocument doc;
    TGIFSubImage* frame = AddIndexedFrame(doc, 1000, 600, 256, test::RunPixels(600000, 256, 40, 9));
    TBitmap* bitmap = frame->RenderBitmap();
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->PixelFormat(), TPixelFormat::pf8bit);
    ASSERT_EQ(bitmap->Height(), 600);
    for (int y = 0; y < 600; ++y)
        ASSERT_TRUE(std::equal(frame->Scanline(y), frame->Scanline(y) + 1000, bitmap->ScanLine(y)))
            << y;
}

TEST(FrameRender, WebPaletteRenderingUsesOnlyCubeColoursAndDiffusesTheError) {
    TGIFDocument doc;
    UseWebPalette(doc);
    ASSERT_TRUE(doc.DoesRenderWebPalette());
    // Colour 0 lies between cube levels in every channel. Over a flat area
    // its average must come out near it, which nearest-colour mapping cannot.
    std::vector<std::uint8_t> pixels = RandomPixels(40 * 30, 64, 11);
    std::fill(pixels.begin(), pixels.begin() + 40 * 15, 0);
    TGIFSubImage* frame = AddIndexedFrame(doc, 40, 30, 64, pixels);
    frame->ColorMap().SetColor(0, RGB(120, 30, 200));
    TBitmap* bitmap = frame->RenderBitmap();
    ASSERT_NE(bitmap, nullptr);
    int sum[3] = {0, 0, 0};
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            const TColor c = bitmap->PixelColor(x, y);
            ASSERT_TRUE(IsCubeColor(c) && bitmap->ScanLine(y)[x] < 216) << x << "," << y;
            if (y < 15) {
                sum[0] += GetRValue(c);
                sum[1] += GetGValue(c);
                sum[2] += GetBValue(c);
            }
        }
    EXPECT_NEAR(sum[0] / 600, 120, 4);
    EXPECT_NEAR(sum[1] / 600, 30, 4);
    EXPECT_NEAR(sum[2] / 600, 200, 4);
    // The document's palette is the web palette, kept once made.
    const HPALETTE palette = doc.GetPalette();
    ASSERT_EQ(palette->Count(), 216);
    EXPECT_EQ(doc.GetPalette(), palette);
}

TEST(FrameRender, MaskMarksExactlyTheTransparentPixelsByEitherMethod) {
    for (const bool web : {false, true}) {
        TGIFDocument doc;
        if (web)
            UseWebPalette(doc);
        TGIFSubImage* frame = AddTransparentFrame(doc, 37, 9, 6, RandomPixels(37 * 9, 6, 21), 4);
        frame->ColorMap().SetColor(4, RGB(51, 102, 153));
        TBitmap* bitmap = frame->RenderBitmap();
        ASSERT_NE(bitmap, nullptr);
        ASSERT_NE(frame->Mask(), nullptr);
        EXPECT_FALSE(frame->MaskPending());
        const TBitmap& mask = *frame->Mask();
        EXPECT_EQ(mask.PixelFormat(), TPixelFormat::pf1bit);
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 37; ++x) {
                const bool transparent = frame->Pixel(x, y) == 4;
                ASSERT_EQ(mask.PixelColor(x, y) == clWhite, transparent)
                    << web << ": " << x << "," << y;
                // The web rendering leaves its fill byte at transparent pixels.
                if (web && transparent) {
                    ASSERT_EQ(bitmap->ScanLine(y)[x], 52);
                } else if (web) {
                    ASSERT_TRUE(IsCubeColor(bitmap->PixelColor(x, y)));
                }
            }
    }
    EXPECT_EQ(WebPaletteTransparentByte(0, 0, 0), 1);
    EXPECT_EQ(WebPaletteTransparentByte(255, 255, 255), 216);
    EXPECT_EQ(MaskRowBytes(37), 6u);

    // Transparent, but no pixel has the index: no mask, and none pending.
    TGIFDocument doc;
    TGIFSubImage* frame = AddTransparentFrame(doc, 5, 5, 4, RandomPixels(25, 3, 2), 3);
    ASSERT_NE(frame->RenderBitmap(), nullptr);
    EXPECT_EQ(frame->Mask(), nullptr);
    EXPECT_FALSE(frame->MaskPending());
}

TEST(FrameRender, WithoutAnyColourTableRenderingFailsCleanly) {
    TGIFDocument doc;
    TGIFSubImage* first = AddIndexedFrame(doc, 3, 3, 0, RandomPixels(9, 2, 1));
    TGIFSubImage* second = AddIndexedFrame(doc, 3, 3, 0, RandomPixels(9, 2, 2));
    std::vector<int> ends;
    doc.OnProgress = [&](TPersistent*, TProgressStage stage, std::uint8_t percent, bool,
                         const TRect&, const std::string&) {
        if (stage == TProgressStage::psEnding)
            ends.push_back(percent);
    };
    for (TGIFSubImage* frame : {first, second}) {
        EXPECT_EQ(test::GIFErrorOf([&] { frame->RenderBitmap(); }),
                  "No global or local color table defined")
            << "rendered without colours";
        EXPECT_EQ(frame->Bitmap(), nullptr);
    }
    EXPECT_EQ(ends, (std::vector<int>{0, 0}));
    // The guard is down again: with a global table every frame resolves.
    doc.GlobalColorMap().Add(RGB(5, 6, 7));
    doc.GlobalColorMap().Add(RGB(8, 9, 10));
    ASSERT_NE(second->RenderBitmap(), nullptr);
    EXPECT_EQ(second->RenderBitmap()->PixelColor(0, 0), FrameColor(*second, 0, 0));
    TGIFDocument none;
    EXPECT_EQ(none.GetPalette(), nullptr);
}

TEST(FrameRender, ProgressReportsRowsAndAnAbortLeavesNoBitmap) {
    TGIFDocument doc;
    TGIFSubImage* frame = AddIndexedFrame(doc, 8, 70, 3, RandomPixels(560, 3, 4));
    std::vector<int> percents;
    bool abort = true;
    doc.OnProgress = [&](TPersistent* sender, TProgressStage stage, std::uint8_t percent, bool,
                         const TRect&, const std::string& message) {
        EXPECT_EQ(sender, frame);
        EXPECT_EQ(message, "Rendering...");
        percents.push_back(percent);
        if (abort && stage == TProgressStage::psRunning && percent > 0)
            throw EAbort();
    };
    EXPECT_EQ(frame->RenderBitmap(), nullptr);
    EXPECT_EQ(frame->Bitmap(), nullptr);
    EXPECT_EQ(percents, (std::vector<int>{0, 0, 45, 0}));

    percents.clear();
    abort = false;
    ASSERT_NE(frame->RenderBitmap(), nullptr);
    EXPECT_EQ(percents, (std::vector<int>{0, 0, 45, 91, 100}));
}

TEST(FrameRender, ResettingCachesMovesALoneFramesTableIntoTheGlobalOne) {
    TGIFDocument doc;
    TGIFSubImage* frame = AddIndexedFrame(doc, 4, 4, 5, RandomPixels(16, 5, 8));
    std::vector<TColor> colors;
    for (int i = 0; i < 5; ++i)
        colors.push_back(frame->ColorMap().Color(i));
    ASSERT_NE(frame->RenderBitmap(), nullptr);
    doc.SetPaintOptions(static_cast<TGIFDrawOptions>(doc.PaintOptions() ^ poTiled));
    EXPECT_EQ(frame->Bitmap(), nullptr);
    EXPECT_EQ(frame->ColorMap().Count(), 0);
    ASSERT_EQ(doc.GlobalColorMap().Count(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(doc.GlobalColorMap().Color(i), colors[static_cast<std::size_t>(i)]);
    EXPECT_EQ(frame->RenderBitmap()->PixelColor(2, 2), colors[frame->Pixel(2, 2)]);

    // With two frames nothing moves.
    TGIFDocument two;
    AddIndexedFrame(two, 2, 2, 3, RandomPixels(4, 3, 1));
    TGIFSubImage* second = AddIndexedFrame(two, 2, 2, 3, RandomPixels(4, 3, 2));
    two.SetPaintOptions(static_cast<TGIFDrawOptions>(two.PaintOptions() ^ poTiled));
    EXPECT_EQ(two.GlobalColorMap().Count(), 0);
    EXPECT_EQ(second->ColorMap().Count(), 3);
}

TEST(FrameRender, BitmapReceivesTheWholeDocument) {
    // Frame 0 covering the screen: its own rendering.
    TGIFDocument covering;
    TGIFSubImage* only = AddIndexedFrame(covering, 6, 4, 9, RandomPixels(24, 9, 3));
    TBitmap whole;
    whole.Assign(&covering);
    EXPECT_EQ(whole.PixelFormat(), TPixelFormat::pf8bit);
    ASSERT_EQ(whole.Width(), 6);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(whole.PixelColor(x, y), FrameColor(*only, x, y));

    // A smaller frame 0 is drawn through its mask on the background of a
    // screen-sized bitmap.
    TGIFDocument doc;
    doc.SetPaintBackground(RGB(9, 99, 199));
    TGIFSubImage* first =
        AddTransparentFrame(doc, 4, 3, 3, {0, 1, 2, 0, 2, 2, 1, 0, 1, 1, 1, 2}, 2);
    first->SetLeft(1);
    first->SetTop(1);
    AddIndexedFrame(doc, 8, 6, 2, RandomPixels(48, 2, 1));
    TBitmap screen;
    screen.Assign(&doc);
    ASSERT_EQ(screen.Width(), 8);
    ASSERT_EQ(screen.Height(), 6);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool shows =
                x >= 1 && x < 5 && y >= 1 && y < 4 && first->Pixel(x - 1, y - 1) != 2;
            EXPECT_EQ(screen.PixelColor(x, y),
                      shows ? FrameColor(*first, x - 1, y - 1) : RGB(9, 99, 199))
                << x << "," << y;
        }
    TGIFDocument empty;
    TBitmap nothing(2, 2, TPixelFormat::pf24bit);
    nothing.Assign(&empty);
    EXPECT_TRUE(nothing.Empty());
}

TEST(FrameRender, WithoutAnimationInstalledAnAnimationDrawsItsFirstFrame) {
    // The codec alone (as in the command-line tool and the fuzzers) has no
    // painter registry factory: Draw shows frame 0 and starts nothing.
    TGIFDocument doc;
    AddIndexedFrame(doc, 2, 2, 2, {0, 0, 0, 0});
    AddIndexedFrame(doc, 2, 2, 2, {1, 1, 1, 1});
    for (TGIFDrawOptions onTarget : {TGIFDrawOptions{0}, TGIFDrawOptions{poOnTarget}}) {
        doc.SetPaintOptions(static_cast<TGIFDrawOptions>(DefaultPaintOptions | onTarget));
        TBitmap screen(4, 4, TPixelFormat::pf24bit);
        TBitmapCanvas canvas(screen);
        doc.Draw(canvas, TRect{0, 0, 4, 4});
        EXPECT_EQ(screen.PixelColor(3, 3), doc.Frames()[0]->ColorMap().Color(0)) << onTarget;
        EXPECT_EQ(doc.PainterRegistry(), nullptr);
        EXPECT_EQ(doc.RenderedBitmap(), nullptr);
        doc.StopAllPainters();
        doc.KillPainterThreads();
    }
}

} // namespace
} // namespace framolo
