// Frames coded one by one and streamed must give the file the document writer
// saves for the same pictures, settings and timing.
#include "gif/encode/optimized_frames.h"
#include "gif/frame_encoder.h"
#include "gif/gif_stream_writer.h"
#include "gif_test_util.h"
#include "giflib_util.h"

#include <gtest/gtest.h>

namespace framolo {
namespace {

// A 24-bit picture whose colours move with k; with transparent, its top-left
// colour is the transparent one.
std::unique_ptr<TBitmap> Picture(int width, int height, int k, bool transparent = false) {
    auto picture = std::make_unique<TBitmap>(width, height, TPixelFormat::pf24bit);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = picture->ScanLine(y) + 3 * x;
            p[0] = static_cast<std::uint8_t>(x * 9 + k * 17);
            p[1] = static_cast<std::uint8_t>(y * 13);
            p[2] = static_cast<std::uint8_t>((x + y) * 5 - k * 11);
        }
    if (transparent) {
        picture->SetTransparentColor(picture->PixelColor(0, 0));
        picture->SetTransparent(true);
    }
    return picture;
}

// An 8-bit picture with a 16-colour palette of its own.
std::unique_ptr<TBitmap> IndexedPicture(int width, int height, int k) {
    auto picture = std::make_unique<TBitmap>(width, height, TPixelFormat::pf8bit);
    std::vector<TRGBQuad> colors(16);
    for (int i = 0; i < 16; ++i)
        colors[static_cast<std::size_t>(i)] =
            TRGBQuad{static_cast<std::uint8_t>(i * 16), static_cast<std::uint8_t>(255 - i * 9),
                     static_cast<std::uint8_t>(i * 3 + k), 0};
    picture->SetColorTable(colors);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture->ScanLine(y)[x] = static_cast<std::uint8_t>((x + y + k) % 16);
    return picture;
}

struct TEncodeCase {
    const char* Name;
    TGIFFrameSettings Settings;
    int Width;
    int Height;
    int Loop;
    int DelayMs;
    std::unique_ptr<TBitmap> (*Make)(int width, int height, int k);
};

std::unique_ptr<TBitmap> Plain(int width, int height, int k) {
    return Picture(width, height, k);
}
std::unique_ptr<TBitmap> WithHole(int width, int height, int k) {
    return Picture(width, height, k, true);
}

// A coded frame ends with its image: the code size, the data sub-blocks the
// encoder counted, and the terminator. area is the pixels of its rectangle.
void ExpectCountedImageData(const TEncodedFrame& frame, std::int64_t area, const char* name) {
    const std::vector<std::uint8_t>& b = frame.Bytes;
    EXPECT_EQ(frame.ImageArea, area) << name;
    if (area == 0) {
        EXPECT_EQ(frame.ImageDataBytes, 0) << name;
        return;
    }
    ASSERT_GT(frame.ImageDataBytes, 0) << name;
    ASSERT_LT(frame.ImageDataBytes + 2, static_cast<std::int64_t>(b.size())) << name;
    std::size_t at = b.size() - 1 - static_cast<std::size_t>(frame.ImageDataBytes);
    EXPECT_GE(b[at - 1], 2) << name;
    EXPECT_LE(b[at - 1], 8) << name;
    while (at < b.size() - 1)
        at += 1 + std::size_t{b[at]};
    EXPECT_EQ(at, b.size() - 1) << name;
    EXPECT_EQ(b.back(), 0) << name;
}

TEST(FrameEncoder, StreamedFramesAreTheDocumentWritersBytes) {
    using R = TColorReduction;
    using D = TDitherMode;
    const TEncodeCase cases[] = {
        {"quantize lzw", {R::Quantize, D::FloydSteinberg, 8, 0}, 37, 23, 0, 40, Plain},
        {"netscape rle", {R::Netscape, D::Nearest, 8, 1}, 16, 40, 70000, 125, Plain},
        {"gray 4 bits", {R::GrayScale, D::Stucki, 4, 0}, 9, 9, 3, 5, Plain},
        {"monochrome rle", {R::Monochrome, D::Burkes, 8, 1}, 30, 3, 1, 655350, Plain},
        {"best", {R::BestQuality, D::Sierra, 8, 0}, 20, 14, 2, 70, Plain},
        {"indexed", {R::Windows20, D::JaJuNI, 8, 0}, 12, 10, 0, 100, IndexedPicture},
        {"transparent", {R::Windows256, D::SteveArche, 8, 1}, 14, 11, 5, 30, WithHole},
    };
    for (const TEncodeCase& c : cases) {
        TGIFDocument document;
        document.SetColorReduction(c.Settings.ColorReduction);
        document.SetDitherMode(c.Settings.DitherMode);
        document.SetQuantizeBits(c.Settings.QuantizeBits);
        document.SetDataCoding(c.Settings.DataCoding);
        TMemoryStream streamed;
        TGIFStreamWriter writer(streamed);
        for (int k = 0; k < 3; ++k) {
            const TFrameTiming timing{k == 0, c.Loop, c.DelayMs * (k + 1)};
            PlaceTimingExtensions(*document.Frames()[document.Add(*c.Make(c.Width, c.Height, k))],
                                  timing);
            const auto frame = ReducePictureToFrame(*c.Make(c.Width, c.Height, k), c.Settings);
            EXPECT_EQ(frame->Bitmap(), nullptr) << c.Name;
            PlaceTimingExtensions(*frame, timing);
            const TEncodedFrame encoded = EncodeFrame(*frame, k, c.Settings.DataCoding);
            ExpectCountedImageData(encoded, std::int64_t{c.Width} * c.Height, c.Name);
            writer.WriteFrame(encoded);
        }
        document.SetWidth(c.Width);
        document.SetHeight(c.Height);
        const std::int64_t size = writer.Finish(c.Width, c.Height);
        EXPECT_EQ(size, streamed.Size()) << c.Name;
        const std::vector<std::uint8_t> bytes = streamed.TakeData();
        EXPECT_EQ(bytes, test::SaveToBytes(document)) << c.Name;
        const test::GiflibDecoded decoded = test::GiflibDecode(bytes);
        ASSERT_TRUE(decoded.Ok) << c.Name << ": " << decoded.Error;
        EXPECT_EQ(decoded.LoopCount, c.Loop & 0xFFFF) << c.Name;
        // Each timing here is a first frame's (Index 0): the nearest hundredth.
        EXPECT_EQ(decoded.Frames[2].Delay, ((c.DelayMs * 3 + 5) / 10) & 0xFFFF) << c.Name;
        EXPECT_EQ(decoded.Frames[0].TransparentIndex >= 0, c.Make == WithHole) << c.Name;
    }
}

TEST(FrameEncoder, OptimizedFramesMatchTheDocumentAndRefuseWhatTheyCannotCode) {
    // Same-sized tables all through: the stream's file is the document's.
    TGIFDocument document;
    TOptimizedFrameAdder adder(TDitherMode::FloydSteinberg);
    TOptimizedFrameSequence sequence(TDitherMode::FloydSteinberg);
    TMemoryStream streamed;
    TGIFStreamWriter writer(streamed);
    for (int k = 0; k < 4; ++k) {
        const TFrameTiming timing{k == 0, 0, 60};
        PlaceTimingExtensions(*document.Frames()[adder.Add(document, *Picture(24, 18, k / 2))],
                              timing);
        TOptimizedFrame frame = sequence.Next(*Picture(24, 18, k / 2));
        TFrameOptimizer::ChooseTransparency(frame);
        const TEncodedFrame encoded = EncodeOptimizedFrame(frame, k, timing, 0);
        ExpectCountedImageData(encoded, std::int64_t{frame.Width} * frame.Height, "optimized");
        writer.WriteFrame(encoded);
    }
    document.SetWidth(24);
    document.SetHeight(18);
    writer.Finish(24, 18);
    EXPECT_EQ(streamed.TakeData(), test::SaveToBytes(document));

    // A first frame needs a table; a reduction must give an indexed picture;
    // a writer without frames has no version to write.
    TOptimizedFrame local;
    local.Width = local.Height = 1;
    local.Pixels = {0};
    local.Colors = {TGIFColor{1, 2, 3}};
    EXPECT_THROW(EncodeOptimizedFrame(local, 0, {}, 0), GIFException);
    EXPECT_THROW(ReducePictureToFrame(*Picture(4, 4, 0), {TColorReduction::NoReduction}),
                 GIFException);
    TMemoryStream empty;
    EXPECT_THROW(TGIFStreamWriter(empty).Finish(4, 4), GIFException);
}

} // namespace
} // namespace framolo
