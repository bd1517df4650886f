// The preview widget and the Qt canvas, driven offscreen through real widgets.
#include "gif_painter_test_util.h"
#include "gif_test_util.h"

#include "gif/animation/gif_painter.h"
#include "gif/gif_document.h"
#include "preview/gif_preview.h"
#include "preview/qt_canvas.h"

#include <QCoreApplication>
#include <QImage>
#include <gtest/gtest.h>

#include <chrono>

namespace framolo {
namespace {

constexpr TGIFDrawOptions kAnimate = poThreaded | poMasked | poAllFrames | poRepeat | poOnTarget;
const TColor kFrameColors[] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255)};

// Three 4x4 frames of one colour each, repeating without end.
std::unique_ptr<TGIFDocument> ThreeColours() {
    auto doc = std::make_unique<TGIFDocument>();
    for (int i = 0; i < 3; ++i) {
        TGIFSubImage* frame = AddIndexedFrame(*doc, 4, 4, 1, std::vector<std::uint8_t>(16, 0));
        frame->ColorMap().SetColor(0, kFrameColors[i]);
        AddGraphicControl(frame)->SetDelay(3);
        if (i == 0)
            frame->Extensions().Add(std::make_unique<TGIFAppExtNSLoop>(frame));
    }
    doc->SetPaintOptions(kAnimate);
    return doc;
}

template <class Pred> bool ProcessUntil(Pred&& pred) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

TColor At(const QImage& image, int x, int y) {
    const QColor c = image.pixelColor(x, y);
    return RGB(static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
               static_cast<std::uint8_t>(c.blue()));
}

class GifPreview : public ::testing::Test {
protected:
    TFakeClock clock;
    TClockScope scope{clock};
    void TearDown() override {
        EXPECT_TRUE(ProcessUntil([] { return TGIFPainter::LiveCount() == 0; }));
    }
};

TEST_F(GifPreview, AnimatesTheFramesInOrderOnItsOwnCanvas) {
    TGIFPreview preview;
    preview.resize(8, 8);
    auto doc = ThreeColours();
    std::vector<TColor> shown;
    doc->OnFrameAfter = [&](TPersistent*) { shown.push_back(At(preview.Snapshot(), 4, 4)); };
    preview.SetPicture(std::move(doc));
    preview.show();
    ASSERT_TRUE(ProcessUntil([&] { return shown.size() >= 7; }));
    for (std::size_t i = 0; i < 7; ++i)
        EXPECT_EQ(shown[i], kFrameColors[i % 3]) << i;
    // The stretched picture fills the widget.
    EXPECT_EQ(preview.PictureRect(), (TRect{0, 0, 8, 8}));
    EXPECT_EQ(At(preview.Snapshot(), 0, 0), At(preview.Snapshot(), 7, 7));
}

TEST_F(GifPreview, RemovingThePictureOrTheWidgetStopsTheAnimation) {
    auto preview = std::make_unique<TGIFPreview>();
    preview->resize(8, 8);
    auto doc = ThreeColours();
    int frames = 0;
    doc->OnFrameAfter = [&](TPersistent*) { ++frames; };
    preview->SetPicture(std::move(doc));
    preview->show();
    ASSERT_TRUE(ProcessUntil([&] { return frames >= 3; }));
    preview->SetPicture(nullptr);
    EXPECT_EQ(preview->Picture(), nullptr);
    const int stopped = frames;
    ASSERT_TRUE(ProcessUntil([] { return TGIFPainter::LiveCount() == 0; }));
    EXPECT_EQ(frames, stopped);

    preview->SetPicture(ThreeColours());
    preview->update();
    ASSERT_TRUE(ProcessUntil([] { return TGIFPainter::LiveCount() == 1; }));
    preview.reset();
}

TEST_F(GifPreview, RepaintingKeepsThePainterAndResizingRestartsIt) {
    TGIFPreview preview;
    preview.resize(8, 8);
    auto doc = ThreeColours();
    int begun = 0;
    std::vector<int> indexes;
    doc->OnAnimBegin = [&](TPersistent*) { ++begun; };
    doc->OnFrameBefore = [&](TPersistent* sender) {
        indexes.push_back(static_cast<TGIFPainter*>(sender)->FrameIndex.load());
    };
    TGIFDocument* raw = doc.get();
    preview.SetPicture(std::move(doc));
    preview.show();
    ASSERT_TRUE(ProcessUntil([&] { return indexes.size() >= 4; }));
    TGIFPainter* first = Painters(*raw).CurrentPainter();
    preview.repaint();
    EXPECT_EQ(Painters(*raw).CurrentPainter(), first);
    EXPECT_EQ(begun, 1);

    preview.resize(12, 10);
    indexes.clear();
    ASSERT_TRUE(ProcessUntil([&] { return indexes.size() >= 2; }));
    EXPECT_EQ(begun, 2);
    EXPECT_EQ(indexes[0], 0);
    EXPECT_EQ(preview.Snapshot().size(), QSize(12, 10));
}

TEST_F(GifPreview, APictureThatCannotBeDrawnLeavesThePreviewEmpty) {
    // Frames without any colour table raise when they are rendered.
    auto doc = std::make_unique<TGIFDocument>();
    for (int i = 0; i < 2; ++i)
        AddIndexedFrame(*doc, 4, 4, 0, std::vector<std::uint8_t>(16, 0));
    for (TGIFDrawOptions options : {kAnimate, TGIFDrawOptions{poMasked}}) {
        doc->SetPaintOptions(options);
        TGIFPreview preview;
        preview.resize(8, 8);
        auto copy = std::make_unique<TGIFDocument>();
        copy->Assign(doc.get());
        copy->SetPaintOptions(options);
        preview.SetPicture(std::move(copy));
        preview.show();
        preview.repaint();
        ASSERT_TRUE(ProcessUntil([] { return TGIFPainter::LiveCount() == 0; }));
        EXPECT_EQ(At(preview.Snapshot(), 4, 4), At(preview.Snapshot(), 0, 0));
    }
}

TEST_F(GifPreview, APictureThatIsNotStretchedIsCentred) {
    TGIFPreview preview;
    preview.resize(20, 10);
    preview.SetStretch(false);
    preview.SetPicture(ThreeColours());
    EXPECT_EQ(preview.PictureRect(), (TRect{8, 3, 12, 7}));
    preview.SetCenter(false);
    EXPECT_EQ(preview.PictureRect(), (TRect{0, 0, 4, 4}));
}

// Plays the document once, synchronously, stretched by 4 onto canvas, and
// returns the target after every frame as read through read.
template <class Read>
std::vector<std::vector<TColor>> PlayOn(TGIFDocument& doc, TCanvas& canvas, Read&& read) {
    std::vector<std::vector<TColor>> screens;
    doc.OnFrameAfter = [&](TPersistent*) { screens.push_back(read()); };
    TGIFPainter* slot = nullptr;
    Painters(doc).StartPainter(&slot, canvas, poMasked | poAllFrames,
                               TRect{0, 0, doc.Width() * 4, doc.Height() * 4});
    doc.OnFrameAfter = nullptr;
    return screens;
}

TEST_F(GifPreview, TheQtCanvasShowsWhatTheSoftwareCanvasShows) {
    for (const char* name : {"animation", "animation-multi-image", "dispose-keep",
                             "dispose-restore-background", "dispose-restore-previous"}) {
        TGIFDocument doc;
        doc.LoadFromFile(test::PainterDataPath(std::string("ancell/") + name + ".gif"));
        const int w = doc.Width() * 4;
        const int h = doc.Height() * 4;

        TBitmap bitmap(w, h, TPixelFormat::pf24bit);
        TBitmapCanvas software(bitmap);
        software.FillRect(TRect{0, 0, w, h}, RGB(9, 8, 7));
        const auto expected = PlayOn(doc, software, [&] {
            std::vector<TColor> pixels;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    pixels.push_back(bitmap.PixelColor(x, y));
            return pixels;
        });

        TQtCanvas qt;
        qt.SetSize(QSize(w, h), QColor(9, 8, 7));
        const auto actual = PlayOn(doc, qt, [&] {
            std::vector<TColor> pixels;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    pixels.push_back(At(qt.Image(), x, y));
            return pixels;
        });
        ASSERT_EQ(actual.size(), expected.size()) << name;
        ASSERT_GT(actual.size(), 3u);
        for (std::size_t i = 0; i < actual.size(); ++i)
            EXPECT_EQ(actual[i], expected[i]) << name << " frame " << i;
    }
}

TEST_F(GifPreview, TheQtCanvasCopiesAndWatchesItsSurface) {
    TQtCanvas canvas;
    EXPECT_EQ(canvas.Handle(), 0u);
    canvas.SetSize(QSize(4, 3), QColor(1, 2, 3));
    const std::uintptr_t first = canvas.Handle();
    EXPECT_NE(first, 0u);
    canvas.FillRect(TRect{1, 1, 2, 2}, RGB(200, 100, 50));
    const auto copy = canvas.CopyRect(TRect{1, 1, 5, 3});
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->Width(), 4);
    EXPECT_EQ(copy->PixelColor(0, 0), RGB(200, 100, 50));
    EXPECT_EQ(copy->PixelColor(1, 0), RGB(1, 2, 3));
    EXPECT_EQ(copy->PixelColor(3, 0), clBlack);
    canvas.SetSize(QSize(4, 3), QColor(1, 2, 3));
    EXPECT_NE(canvas.Handle(), first);
    canvas.Release();
    EXPECT_EQ(canvas.Handle(), 0u);
}

} // namespace
} // namespace framolo
