// Documents on the clipboard of the offscreen platform.
#include "gif_test_util.h"

#include "gif/gif_document.h"
#include "preview/qt_clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <gtest/gtest.h>

namespace framolo {
namespace {

using test::AddGraphicControl;
using test::AddIndexedFrame;

class Clipboard : public ::testing::Test {
protected:
    void SetUp() override {
        InstallQtClipboard();
        QGuiApplication::clipboard()->clear();
    }
    void TearDown() override { SetGIFClipboard(nullptr); }
};

void BuildAnimation(TGIFDocument& doc) {
    for (int i = 0; i < 3; ++i) {
        TGIFSubImage* frame =
            AddIndexedFrame(doc, 5, 3, 4, test::RandomPixels(15, 4, 7u + i), i, i % 2);
        TGIFGraphicControlExtension* gce = AddGraphicControl(frame);
        gce->SetDelay(4 + i);
        gce->SetDisposal(i == 1 ? 2 : 1);
        if (i == 0) {
            auto loop = std::make_unique<TGIFAppExtNSLoop>(frame);
            loop->SetLoopCount(3);
            frame->Extensions().Add(std::move(loop));
        }
    }
}

TEST_F(Clipboard, ADocumentComesBackFrameForFrame) {
    TGIFDocument doc;
    BuildAnimation(doc);
    doc.SaveToClipboardFormat();
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(data->hasFormat("GIF Image"));
    EXPECT_TRUE(data->hasFormat("image/gif"));
    ASSERT_TRUE(data->hasImage());
    const QImage picture = qvariant_cast<QImage>(data->imageData());
    EXPECT_EQ(picture.size(), QSize(doc.Width(), doc.Height()));

    TGIFDocument back;
    back.LoadFromClipboardFormat();
    ASSERT_EQ(back.Frames().Count(), 3);
    EXPECT_EQ(back.Width(), doc.Width());
    EXPECT_EQ(back.Height(), doc.Height());
    for (int i = 0; i < 3; ++i) {
        TGIFSubImage* a = doc.Frames()[i];
        TGIFSubImage* b = back.Frames()[i];
        EXPECT_EQ(b->Left(), a->Left());
        EXPECT_EQ(b->Top(), a->Top());
        ASSERT_EQ(b->PixelCount(), a->PixelCount());
        EXPECT_TRUE(std::equal(a->Pixels(), a->Pixels() + a->PixelCount(), b->Pixels())) << i;
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(b->ActiveColorMap().Color(c), a->ActiveColorMap().Color(c));
        ASSERT_NE(b->GraphicControl(), nullptr);
        EXPECT_EQ(b->GraphicControl()->Delay(), 4 + i);
        EXPECT_EQ(b->GraphicControl()->Disposal(), a->GraphicControl()->Disposal());
    }
    EXPECT_EQ(test::SaveToBytes(back), test::SaveToBytes(doc));
}

TEST_F(Clipboard, GifBytesFromAnotherProgramUnderTheMimeTypeAlone) {
    TGIFDocument doc;
    BuildAnimation(doc);
    const auto bytes = test::SaveToBytes(doc);
    auto data = std::make_unique<QMimeData>();
    data->setData("image/gif", QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                          static_cast<qsizetype>(bytes.size())));
    QGuiApplication::clipboard()->setMimeData(data.release());
    TGIFDocument back;
    back.LoadFromClipboardFormat();
    EXPECT_EQ(test::SaveToBytes(back), bytes);
}

TEST_F(Clipboard, APictureBecomesAOneFrameDocument) {
    QImage image(6, 4, QImage::Format_RGB32);
    image.fill(QColor(255, 0, 0));
    image.setPixelColor(2, 1, QColor(255, 255, 255));
    QGuiApplication::clipboard()->setImage(image);
    TGIFDocument doc;
    doc.LoadFromClipboardFormat();
    ASSERT_EQ(doc.Frames().Count(), 1);
    EXPECT_EQ(doc.Width(), 6);
    EXPECT_EQ(doc.Height(), 4);
    TBitmap whole;
    whole.Assign(&doc);
    EXPECT_EQ(whole.PixelColor(0, 0), RGB(255, 0, 0));
    EXPECT_EQ(whole.PixelColor(2, 1), RGB(255, 255, 255));
}

TEST_F(Clipboard, AnythingElseIsUnsupported) {
    QGuiApplication::clipboard()->setText("not a picture");
    TGIFDocument doc;
    BuildAnimation(doc);
    EXPECT_EQ(test::GIFErrorOf([&] { doc.LoadFromClipboardFormat(); }),
              "Unsupported clipboard format");
    // The document is untouched.
    EXPECT_EQ(doc.Frames().Count(), 3);

    SetGIFClipboard(nullptr);
    EXPECT_EQ(test::GIFErrorOf([&] { doc.SaveToClipboardFormat(); }),
              "Failed to store GIF on clipboard");
}

} // namespace
} // namespace framolo
