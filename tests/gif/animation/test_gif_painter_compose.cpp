// What the painter shows, frame by frame, drawn headless through the software
// canvas: the animations of the ancell test suite against their expected
// frames, and the disposal table on hand-built documents.
#include "gif_painter_test_util.h"
#include "gif_test_util.h"

#include "platform/graphics/canvas.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

namespace framolo {
namespace {

// A colour that no test picture uses: what was on the canvas before the
// animation, visible wherever the expected frame is transparent.
constexpr TColor kUnderlay = RGB(0x12, 0x34, 0x56);

std::map<std::string, std::map<std::string, std::string>> ReadConf(const std::string& path) {
    std::map<std::string, std::map<std::string, std::string>> sections;
    std::ifstream in(path);
    std::string line;
    std::string section;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            section = line.substr(1, line.find(']') - 1);
            continue;
        }
        const auto eq = line.find(" = ");
        if (eq != std::string::npos)
            sections[section][line.substr(0, eq)] = line.substr(eq + 3);
    }
    return sections;
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Plays the document once on a synchronous painter over a canvas filled with
// kUnderlay, and returns the screen after every frame drawn.
std::vector<std::unique_ptr<TBitmap>> PlayScreens(TGIFDocument& doc, TGIFDrawOptions options) {
    TFakeClock clock;
    TClockScope scope(clock);
    TBitmap screen(doc.Width(), doc.Height(), TPixelFormat::pf24bit);
    TBitmapCanvas canvas(screen);
    canvas.FillRect(TRect{0, 0, doc.Width(), doc.Height()}, kUnderlay);
    std::vector<std::unique_ptr<TBitmap>> shown;
    doc.OnFrameAfter = [&](TPersistent*) {
        shown.push_back(std::make_unique<TBitmap>());
        shown.back()->Assign(&screen);
    };
    TGIFPainter* slot = nullptr;
    EXPECT_EQ(
        Painters(doc).StartPainter(&slot, canvas, options, TRect{0, 0, doc.Width(), doc.Height()}),
        nullptr);
    EXPECT_EQ(slot, nullptr);
    doc.OnFrameAfter = nullptr;
    return shown;
}

// Compares a screen with an RGBA frame: opaque pixels by colour, transparent
// ones must show the underlay. Returns the first difference, or "".
std::string CompareScreen(const TBitmap& screen, const std::vector<std::uint8_t>& rgba) {
    const int w = screen.Width();
    if (rgba.size() != static_cast<std::size_t>(w) * static_cast<std::size_t>(screen.Height()) * 4)
        return "expected frame has another size";
    for (int y = 0; y < screen.Height(); ++y)
        for (int x = 0; x < w; ++x) {
            const std::size_t i = (static_cast<std::size_t>(y) * static_cast<std::size_t>(w) +
                                   static_cast<std::size_t>(x)) *
                                  4;
            const TColor want =
                rgba[i + 3] == 0 ? kUnderlay : RGB(rgba[i], rgba[i + 1], rgba[i + 2]);
            if (screen.PixelColor(x, y) != want) {
                std::ostringstream s;
                s << "pixel " << x << "," << y << " is " << std::hex << screen.PixelColor(x, y)
                  << ", expected " << want;
                return s.str();
            }
        }
    return "";
}

// The suite counts a run of images as one frame up to the image that has a
// delay; a file whose every image is a frame needs no grouping.
std::vector<std::size_t> SuiteFrameEnds(TGIFDocument& doc, std::size_t expectedFrames) {
    std::vector<std::size_t> ends;
    const auto images = static_cast<std::size_t>(doc.Frames().Count());
    if (images == expectedFrames) {
        for (std::size_t i = 0; i < images; ++i)
            ends.push_back(i);
        return ends;
    }
    for (std::size_t i = 0; i < images; ++i) {
        TGIFGraphicControlExtension* gce = doc.Frames()[static_cast<int>(i)]->GraphicControl();
        if (gce != nullptr && gce->Delay() > 0)
            ends.push_back(i);
    }
    return ends;
}

class AncellAnimation : public ::testing::TestWithParam<const char*> {};

TEST_P(AncellAnimation, ScreensEqualTheExpectedFrames) {
    const std::string name = GetParam();
    const std::string dir = test::PainterDataPath("ancell/");
    auto conf = ReadConf(dir + name + ".conf");
    std::vector<std::string> frames;
    std::stringstream list(conf["config"]["frames"]);
    for (std::string f; std::getline(list, f, ',');)
        frames.push_back(f);
    ASSERT_GT(frames.size(), 1u);

    TGIFDocument doc;
    doc.LoadFromFile(dir + name + ".gif");
    const auto screens = PlayScreens(doc, poMasked | poAllFrames);
    ASSERT_EQ(screens.size(), static_cast<std::size_t>(doc.Frames().Count()));
    const auto ends = SuiteFrameEnds(doc, frames.size());
    ASSERT_EQ(ends.size(), frames.size());
    for (std::size_t k = 0; k < frames.size(); ++k) {
        const auto rgba = ReadBytes(dir + conf[frames[k]]["pixels"]);
        EXPECT_EQ(CompareScreen(*screens[ends[k]], rgba), "") << name << " frame " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Suite, AncellAnimation,
                         ::testing::Values("animation", "animation-speed", "animation-no-delays",
                                           "animation-zero-delays", "animation-multi-image",
                                           "animation-multi-image-explicit-zero-delay",
                                           "dispose-none", "dispose-keep",
                                           "dispose-restore-background", "dispose-restore-previous",
                                           "gif87a-animation"),
                         [](const ::testing::TestParamInfo<const char*>& param) {
                             std::string n = param.param;
                             for (char& c : n)
                                 if (c == '-')
                                     c = '_';
                             return n;
                         });

// Where our painter deliberately differs from the suite's expectations.
TEST(AncellAnimation, CasesDecidedDifferently) {
    const std::string dir = test::PainterDataPath("ancell/");
    // Restore-background without poMasked fills the frame's area with the
    // document's background colour (here the global table's entry 0, black);
    // the suite expects the area to become transparent.
    {
        TGIFDocument doc;
        doc.LoadFromFile(dir + "dispose-restore-background.gif");
        const auto screens = PlayScreens(doc, poAllFrames);
        ASSERT_EQ(screens.size(), 4u);
        EXPECT_EQ(screens[1]->PixelColor(0, 0), clBlack);
        EXPECT_EQ(screens[1]->PixelColor(1, 0), clWhite);
    }
    // A looping extension with count 0 plays once on a synchronous painter,
    // where the suite reads it as "loop forever".
    {
        TGIFDocument doc;
        doc.LoadFromFile(dir + "animation.gif");
        const auto screens = PlayScreens(doc, poMasked | poAllFrames | poRepeat);
        EXPECT_EQ(screens.size(), 4u);
    }
    // Images without a delay are shown as frames of their own (with the
    // default wait of 10 units) instead of merging into the next frame.
    {
        TGIFDocument doc;
        doc.LoadFromFile(dir + "animation-multi-image.gif");
        const auto screens = PlayScreens(doc, poMasked | poAllFrames);
        ASSERT_EQ(screens.size(), 7u);
        EXPECT_EQ(screens[1]->PixelColor(1, 0), RGB(255, 0, 0));
    }
}

// ---- The disposal table on built documents ----

// A 4x1 document: frame 0 fills the screen with colour 1, later frames are one
// pixel at x = their index, colour 2, with the given disposals.
struct TStrip {
    TGIFDocument Doc;
    explicit TStrip(const std::vector<int>& disposals) {
        AddIndexedFrame(Doc, 4, 1, 4, {1, 1, 1, 1});
        Doc.GlobalColorMap().Add(RGB(0, 0, 0));
        for (std::size_t i = 1; i < disposals.size(); ++i)
            AddIndexedFrame(Doc, 1, 1, 4, {2}, static_cast<int>(i), 0);
        for (std::size_t i = 0; i < disposals.size(); ++i)
            AddGraphicControl(Doc.Frames()[static_cast<int>(i)])->SetDisposal(disposals[i]);
    }
};

TColor StripColor(TGIFDocument& doc, int frame, int index) {
    return doc.Frames()[frame]->ColorMap().Color(index);
}

TEST(GifPainterCompose, BuffersOnlyForRestoringDisposals) {
    for (const auto& [disposals, compose, underlay] :
         std::vector<std::tuple<std::vector<int>, bool, bool>>{
             {{1, 1, 0}, false, false}, {{1, 3, 1}, true, false}, {{1, 2, 1}, true, true}}) {
        TStrip strip(disposals);
        TBitmap screen(4, 1, TPixelFormat::pf24bit);
        TBitmapCanvas canvas(screen);
        TGIFPainter* slot = nullptr;
        TGIFPainter painter(&strip.Doc, poMasked | poAllFrames, TRect{0, 0, 4, 1}, &canvas, &slot);
        EXPECT_EQ(slot, &painter);
        EXPECT_EQ(painter.ComposeBuffer() != nullptr, compose);
        EXPECT_EQ(painter.PreviousBuffer() != nullptr, compose);
        EXPECT_EQ(painter.UnderlayBuffer() != nullptr, underlay);
        EXPECT_EQ(painter.WakeEvent(), nullptr);
    }
}

TEST(GifPainterCompose, RestorePreviousAfterLeaveDrawsOnTheTargetOnly) {
    // Frame 1 restores the previous screen after a frame that was left: it is
    // drawn on the target, and frame 2 is composed over the screen without it.
    TStrip strip({1, 3, 1});
    const auto screens = PlayScreens(strip.Doc, poMasked | poAllFrames);
    ASSERT_EQ(screens.size(), 3u);
    const TColor base = StripColor(strip.Doc, 0, 1);
    const TColor dot = StripColor(strip.Doc, 1, 2);
    EXPECT_EQ(screens[1]->PixelColor(1, 0), dot);
    EXPECT_EQ(screens[2]->PixelColor(1, 0), base);
    EXPECT_EQ(screens[2]->PixelColor(2, 0), StripColor(strip.Doc, 2, 2));
}

TEST(GifPainterCompose, RestorePreviousAfterRestoreGoesThroughThePreviousBuffer) {
    // Frame 1 restores the background, frame 2 the previous screen: frame 2 is
    // shown over frame 1's restored area, and frame 3 sees neither dot.
    TStrip strip({1, 2, 3, 1});
    const auto screens = PlayScreens(strip.Doc, poMasked | poAllFrames);
    ASSERT_EQ(screens.size(), 4u);
    const TColor base = StripColor(strip.Doc, 0, 1);
    EXPECT_EQ(screens[1]->PixelColor(1, 0), StripColor(strip.Doc, 1, 2));
    EXPECT_EQ(screens[2]->PixelColor(1, 0), kUnderlay);
    EXPECT_EQ(screens[2]->PixelColor(2, 0), StripColor(strip.Doc, 2, 2));
    EXPECT_EQ(screens[3]->PixelColor(1, 0), kUnderlay);
    EXPECT_EQ(screens[3]->PixelColor(2, 0), base);
    EXPECT_EQ(screens[3]->PixelColor(3, 0), StripColor(strip.Doc, 3, 2));
}

TEST(GifPainterCompose, UndefinedDisposalsDrawNothingAndTheAnimationGoesOn) {
    // Composed painting (a restoring disposal is present) skips frame 1.
    TStrip strip({1, 5, 2});
    const auto screens = PlayScreens(strip.Doc, poMasked | poAllFrames);
    ASSERT_EQ(screens.size(), 3u);
    EXPECT_EQ(screens[1]->PixelColor(1, 0), StripColor(strip.Doc, 0, 1));
    EXPECT_EQ(screens[2]->PixelColor(2, 0), StripColor(strip.Doc, 2, 2));
}

TEST(GifPainterCompose, ClearPerPassRestoresUnderFrameZeroAndTilesRepeat) {
    // Tiled on a target twice the screen's width: both cells show each frame.
    TStrip strip({1, 1, 1});
    TFakeClock clock;
    TClockScope scope(clock);
    TBitmap screen(8, 1, TPixelFormat::pf24bit);
    TBitmapCanvas canvas(screen);
    canvas.FillRect(TRect{0, 0, 8, 1}, kUnderlay);
    TGIFPainter* slot = nullptr;
    Painters(strip.Doc).StartPainter(&slot, canvas, poAllFrames | poTiled | poClearPerPass,
                                     TRect{0, 0, 8, 1});
    for (int cell : {0, 4}) {
        EXPECT_EQ(screen.PixelColor(cell, 0), StripColor(strip.Doc, 0, 1));
        EXPECT_EQ(screen.PixelColor(cell + 1, 0), StripColor(strip.Doc, 1, 2));
        EXPECT_EQ(screen.PixelColor(cell + 2, 0), StripColor(strip.Doc, 2, 2));
    }
}

TEST(GifPainterCompose, BackgroundColourChoice) {
    TStrip strip({1, 2});
    TBitmap screen(4, 1, TPixelFormat::pf24bit);
    TBitmapCanvas canvas(screen);
    TGIFPainter* slot = nullptr;
    {
        TGIFPainter painter(&strip.Doc, poAllFrames, TRect{0, 0, 4, 1}, &canvas, &slot);
        EXPECT_EQ(painter.BackgroundColor(), clBlack);
    }
    strip.Doc.SetPaintBackground(RGB(1, 2, 3));
    {
        TGIFPainter painter(&strip.Doc, poAllFrames, TRect{0, 0, 4, 1}, &canvas, &slot);
        EXPECT_EQ(painter.BackgroundColor(), RGB(1, 2, 3));
    }
    strip.Doc.SetPaintBackground(clNone);
    strip.Doc.GlobalColorMap().Clear();
    {
        TGIFPainter painter(&strip.Doc, poAllFrames, TRect{0, 0, 4, 1}, &canvas, &slot);
        EXPECT_EQ(painter.BackgroundColor(), clWhite);
    }
}

// A document that does not keep its frames' bitmaps shows the same screens,
// pass after pass, and holds no frame's bitmap or mask once it has played.
TEST(GifPainterCompose, FramesRenderedAgainWhenTheirBitmapsAreNotKept) {
    for (const bool keep : {true, false}) {
        SCOPED_TRACE(keep ? "kept" : "dropped");
        TStrip strip({1, 2, 3, 1});
        // Frame 2's pixel is transparent: its mask goes with its bitmap.
        strip.Doc.Frames()[2]->GraphicControl()->SetTransparent(true);
        strip.Doc.Frames()[2]->GraphicControl()->SetTransparentColorIndex(2);
        strip.Doc.Frames()[2]->SetTransparent(true);
        const auto kept = PlayScreens(strip.Doc, poMasked | poAllFrames);
        strip.Doc.SetKeepFrameBitmaps(keep);
        PlayScreens(strip.Doc, poMasked | poAllFrames);
        const auto again = PlayScreens(strip.Doc, poMasked | poAllFrames);
        ASSERT_EQ(again.size(), 4u);
        for (std::size_t i = 0; i < 4; ++i)
            for (int x = 0; x < 4; ++x)
                EXPECT_EQ(again[i]->PixelColor(x, 0), kept[i]->PixelColor(x, 0));
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(strip.Doc.Frames()[i]->Bitmap() != nullptr, keep) << i;
            EXPECT_EQ(strip.Doc.Frames()[i]->Mask() != nullptr, keep && i == 2) << i;
        }
    }
}

} // namespace
} // namespace framolo
