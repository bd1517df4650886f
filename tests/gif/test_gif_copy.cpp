// Deep copies of documents, frames and headers.
#include "gif_compare_util.h"
#include "gif_reader_test_util.h"
#include "gif_test_util.h"

#include <gtest/gtest.h>

namespace framolo::test {
namespace {

std::unique_ptr<TGIFDocument> Sample() {
    auto doc = std::make_unique<TGIFDocument>();
    doc->GlobalColorMap().Add(RGB(1, 2, 3));
    doc->GlobalColorMap().Add(RGB(4, 5, 6));
    doc->Header().SetBackgroundColorIndex(1);
    TGIFSubImage* f0 = AddIndexedFrame(*doc, 8, 4, 4, RandomPixels(32, 4, 7));
    TGIFGraphicControlExtension* g = AddGraphicControl(f0);
    g->SetDelay(12);
    g->SetTransparentColorIndex(2);
    g->SetTransparent(true);
    auto loop = std::make_unique<TGIFAppExtNSLoop>(f0);
    loop->SetLoopCount(2);
    f0->Extensions().Add(std::move(loop));
    TGIFSubImage* f1 = AddIndexedFrame(*doc, 3, 2, 0, {0, 1, 1, 0, 1, 0}, 5, 2);
    auto comment = std::make_unique<TGIFCommentExtension>(f1);
    comment->Lines = {"one", "two"};
    f1->Extensions().Add(std::move(comment));
    AddIndexedFrame(*doc, 2, 2, 2, {1, 0, 0, 1});
    return doc;
}

TEST(GIFCopy, DocumentCopyIsDeepAndEqual) {
    auto src = Sample();
    TGIFDocument copy;
    copy.Assign(src.get());
    ExpectSameDocument(*src, copy);
    EXPECT_EQ(copy.Header().Descriptor().PackedFields, src->Header().Descriptor().PackedFields);

    // Each copied item belongs to the copy.
    TGIFSubImage& f = *copy.Frames()[0];
    EXPECT_EQ(f.Document(), &copy);
    ASSERT_NE(f.GraphicControl(), nullptr);
    EXPECT_NE(f.GraphicControl(), src->Frames()[0]->GraphicControl());
    EXPECT_EQ(f.GraphicControl(), f.Extensions()[0]);
    EXPECT_EQ(f.GraphicControl()->SubImage(), &f);
    EXPECT_TRUE(f.Transparent());

    // Changing the copy leaves the source alone.
    const std::uint8_t before = src->Frames()[0]->Pixels()[0];
    f.Pixels()[0] = static_cast<std::uint8_t>(before ^ 1);
    f.ColorMap().SetColor(0, RGB(9, 9, 9));
    f.GraphicControl()->SetDelay(99);
    copy.GlobalColorMap().Delete(0);
    EXPECT_EQ(src->Frames()[0]->Pixels()[0], before);
    EXPECT_NE(src->Frames()[0]->ColorMap().Entry(0), (TGIFColor{9, 9, 9}));
    EXPECT_EQ(src->Frames()[0]->GraphicControl()->Delay(), 12);
    EXPECT_EQ(src->GlobalColorMap().Count(), 2);

    // The copy outlives its source.
    src.reset();
    EXPECT_EQ(copy.Frames()[1]->Extensions().Count(), 1);
    EXPECT_NO_THROW(SaveToBytes(copy));
}

TEST(GIFCopy, SettingsHandlersAndProgress) {
    auto src = Sample();
    src->SetPainterPriority(5);
    src->SetPaintBackground(RGB(7, 8, 9));
    src->SetPaintOptions(0x0041);
    src->SetColorReduction(static_cast<TColorReduction>(7));
    src->SetDitherMode(static_cast<TDitherMode>(2));
    src->SetQuantizeBits(4);
    src->SetDataCoding(1);
    src->SetSpeedPercent(50);
    std::vector<std::pair<TProgressStage, int>> events;
    src->OnProgress = [&](TPersistent*, TProgressStage st, std::uint8_t pct, bool, const TRect&,
                          const std::string& msg) {
        EXPECT_EQ(msg, gifmsg::Copying);
        events.emplace_back(st, pct);
    };
    src->WarningHandler = [](TPersistent*, int, const std::string&) {};

    TGIFDocument copy;
    copy.OnProgress = [](TPersistent*, TProgressStage, std::uint8_t, bool, const TRect&,
                         const std::string&) {
        ADD_FAILURE() << "the copy's own handler is replaced for the copy";
    };
    copy.Assign(src.get());
    EXPECT_EQ(copy.PainterPriority(), 5);
    EXPECT_EQ(copy.PaintBackground(), RGB(7, 8, 9));
    EXPECT_EQ(copy.PaintOptions(), 0x0041);
    EXPECT_EQ(copy.ColorReduction(), src->ColorReduction());
    EXPECT_EQ(copy.DitherMode(), src->DitherMode());
    // Not copied: the reduction's palette size, the coder and the speed.
    EXPECT_EQ(copy.QuantizeBits(), DefaultQuantizeBits);
    EXPECT_EQ(copy.DataCoding(), DefaultDataCoding);
    EXPECT_EQ(copy.SpeedPercent(), DefaultSpeedPercent);

    const std::vector<std::pair<TProgressStage, int>> want = {{TProgressStage::psStarting, 0},
                                                              {TProgressStage::psRunning, 33},
                                                              {TProgressStage::psRunning, 66},
                                                              {TProgressStage::psRunning, 100},
                                                              {TProgressStage::psEnding, 100}};
    EXPECT_EQ(events, want);
    // Afterwards the copy has no handlers at all.
    EXPECT_FALSE(copy.OnProgress);
    EXPECT_FALSE(copy.WarningHandler);
}

TEST(GIFCopy, SpecialSources) {
    auto src = Sample();
    TGIFDocument doc;
    doc.Assign(src.get());
    doc.Assign(&doc);
    EXPECT_EQ(doc.Frames().Count(), 3);
    doc.Assign(nullptr);
    EXPECT_EQ(doc.Frames().Count(), 0);
    EXPECT_EQ(doc.Width(), 0);

    // A frame without pixel area copies as a cleared frame: its extensions
    // do not come along.
    TGIFSubImage onlyComment(src.get());
    auto c = std::make_unique<TGIFCommentExtension>(&onlyComment);
    c->Lines = {"x"};
    onlyComment.Extensions().Add(std::move(c));
    TGIFSubImage target(src.get());
    target.Assign(src->Frames()[0]);
    ASSERT_GT(target.Extensions().Count(), 0);
    target.Assign(&onlyComment);
    EXPECT_EQ(target.Extensions().Count(), 0);
    EXPECT_EQ(target.PixelCount(), 0u);
    EXPECT_EQ(target.GraphicControl(), nullptr);
    EXPECT_FALSE(target.Transparent());
}

TEST(GIFCopy, FrameCopyTakesTheRenderedBitmapAndHeaderCopyTheScreen) {
    auto src = Sample();
    TGIFSubImage* f = src->Frames()[2];
    f->SetBitmap(std::make_unique<TBitmap>(2, 2, TPixelFormat::pf8bit));
    TGIFSubImage copy(src.get());
    copy.Assign(f);
    ASSERT_NE(copy.Bitmap(), nullptr);
    EXPECT_NE(copy.Bitmap(), f->Bitmap());
    EXPECT_EQ(copy.Bitmap()->Width(), 2);

    TGIFDocument other;
    other.Header().Assign(&src->Header());
    EXPECT_EQ(other.Header().Width(), src->Width());
    EXPECT_EQ(other.Header().BackgroundColorIndex(), 1);
    EXPECT_EQ(other.GlobalColorMap().Count(), 2);
}

TEST(GIFCopy, LoadedFilesCopyEqual) {
    for (const char* name :
         {"wuffs/muybridge.gif", "wuffs/hippopotamus.interlaced.gif", "ancell/plain-text.gif",
          "ancell/loop-buffer.gif", "ancell/unknown-application-extension.gif"}) {
        SCOPED_TRACE(name);
        Loaded r = LoadBytes(ReadFileBytes(GifDataPath(name)));
        ASSERT_EQ(r.Error, "");
        TGIFDocument copy;
        copy.Assign(r.Doc.get());
        ExpectSameDocument(*r.Doc, copy);
    }
}

} // namespace
} // namespace framolo::test
