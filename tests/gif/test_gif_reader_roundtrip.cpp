// Every document our writer produces reads back as the same document.
#include "gif_compare_util.h"
#include "gif_reader_test_util.h"
#include "gif_test_util.h"

#include <gtest/gtest.h>

namespace framolo::test {
namespace {

std::unique_ptr<TGIFDocument> ReadBack(const std::vector<std::uint8_t>& bytes) {
    Loaded r = LoadBytes(bytes);
    EXPECT_EQ(r.Error, "");
    EXPECT_TRUE(r.Warnings.empty()) << r.Warnings.front();
    return std::move(r.Doc);
}

template <class T> T* AddExtension(TGIFSubImage* frame) {
    auto ext = std::make_unique<T>(frame);
    T* p = ext.get();
    frame->Extensions().Add(std::move(ext));
    return p;
}

// An animation with every kind of extension, local tables of 1, 4 and 8 bits,
// and a comment after the last image.
std::unique_ptr<TGIFDocument> RichAnimation() {
    auto doc = std::make_unique<TGIFDocument>();
    doc->Header().SetBackgroundColorIndex(1);
    doc->Header().SetAspectRatio(49);
    TGIFSubImage* f0 = AddIndexedFrame(*doc, 40, 30, 2, RandomPixels(1200, 2, 1));
    auto* loop = std::make_unique<TGIFAppExtNSLoop>(f0).release();
    f0->Extensions().Add(std::unique_ptr<TGIFExtension>(loop));
    loop->SetLoopCount(3);
    loop->SetStreamBufferSize(4096);
    TGIFGraphicControlExtension* g0 = AddGraphicControl(f0);
    g0->SetDelay(7);
    g0->SetDisposal(dmBackground);
    auto* comment = AddExtension<TGIFCommentExtension>(f0);
    comment->Lines = {std::string(600, 'c'), "second line"};

    TGIFSubImage* f1 = AddIndexedFrame(*doc, 17, 9, 16, RunPixels(153, 16, 6, 2), 5, 4);
    TGIFGraphicControlExtension* g1 = AddGraphicControl(f1);
    g1->SetDelay(65535);
    g1->SetDisposal(dmPrevious);
    g1->SetTransparentColorIndex(15);
    g1->SetTransparent(true);
    auto* text = AddExtension<TGIFTextExtension>(f1);
    text->Record().Left = 2;
    text->Record().Width = 30;
    text->Record().CellWidth = 6;
    text->Record().TextFGColorIndex = 3;
    text->Lines = {"plain text", std::string(300, 't')};
    auto* xmp = AddExtension<TGIFUnknownAppExtension>(f1);
    xmp->SetIdentifier(MakeAppIdentifier("XMP DataXMP"));
    xmp->Blocks = {TGIFBlock{std::vector<std::uint8_t>(255, 0x3C)}, TGIFBlock{{1}},
                   TGIFBlock{{0, 0, 7}}};

    TGIFSubImage* f2 = AddIndexedFrame(*doc, 40, 30, 256, RandomPixels(1200, 256, 3));
    AddGraphicControl(f2)->SetDelay(0);

    auto trailing = std::make_unique<TGIFSubImage>(doc.get());
    AddExtension<TGIFCommentExtension>(trailing.get())->Lines = {"the end"};
    doc->Add(std::move(trailing));
    return doc;
}

TEST(GIFRoundTrip, AnimationWithEveryExtension) {
    auto doc = RichAnimation();
    auto back = ReadBack(SaveToBytes(*doc));
    ExpectSameDocument(*doc, *back);
    // A 600-byte comment line comes back as blocks of 255, 255 and 90 bytes.
    auto* comment = dynamic_cast<TGIFCommentExtension*>(back->Frames()[0]->Extensions()[2]);
    ASSERT_NE(comment, nullptr);
    ASSERT_EQ(comment->Lines.size(), 4u);
    EXPECT_EQ(comment->Lines[0].size(), 255u);
    EXPECT_EQ(comment->Lines[1].size(), 255u);
    EXPECT_EQ(comment->Lines[2].size(), 90u);
    EXPECT_TRUE(back->Frames()[1]->Transparent());
    EXPECT_EQ(back->Frames()[3]->PixelCount(), 0u);
}

TEST(GIFRoundTrip, GlobalTableInterlacedAndOffsetFrames) {
    TGIFDocument doc;
    for (int i = 0; i < 8; ++i)
        doc.GlobalColorMap().Add(
            RGB(static_cast<std::uint8_t>(i * 30), 9, static_cast<std::uint8_t>(200 - i)));
    AddIndexedFrame(doc, 23, 19, 0, RandomPixels(23 * 19, 8, 4));
    TGIFSubImage* inter = AddIndexedFrame(doc, 13, 11, 0, RunPixels(13 * 11, 8, 5, 5), 3, 2);
    inter->SetInterlaced(true);
    AddGraphicControl(inter)->SetDisposal(dmNoDisposal);
    auto back = ReadBack(SaveToBytes(doc));
    ExpectSameDocument(doc, *back);
    EXPECT_TRUE(back->Frames()[1]->Interlaced());
}

TEST(GIFRoundTrip, EveryTableSizeAndBothCoders) {
    for (int coding : {0, 1}) {
        for (int colors : {1, 2, 3, 4, 5, 8, 16, 31, 32, 64, 128, 200, 256}) {
            SCOPED_TRACE("coding " + std::to_string(coding) + ", colours " +
                         std::to_string(colors));
            TGIFDocument doc;
            doc.SetDataCoding(static_cast<std::uint8_t>(coding));
            AddIndexedFrame(doc, 61, 47, colors,
                            RandomPixels(61 * 47, colors, static_cast<std::uint32_t>(colors)));
            AddIndexedFrame(doc, 61, 47, colors, RunPixels(61 * 47, colors, 40, 9));
            auto back = ReadBack(SaveToBytes(doc));
            ExpectSameDocument(doc, *back);
        }
    }
}

TEST(GIFRoundTrip, WrittenFilesDecodeInGiflibAsReadHere) {
    // The same bytes through giflib and through our reader.
    auto doc = RichAnimation();
    ExpectSameAsGiflib(SaveToBytes(*doc), "rich animation");
}

} // namespace
} // namespace framolo::test
