#include "gif/gif_document.h"
#include "gif/lzw_encoder.h"
#include "gif_test_util.h"
#include "giflib_util.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace framolo {
namespace {

using test::AddGraphicControl;
using test::AddIndexedFrame;
using test::SaveToBytes;
using Bytes = std::vector<std::uint8_t>;

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// Reads LZW codes the way a GIF decoder does, noting the width of each code.
struct CodeTrace {
    std::vector<int> Codes;
    std::vector<int> Widths;
};

CodeTrace TraceCodes(const Bytes& imageData) {
    CodeTrace t;
    const int minSize = imageData.at(0);
    Bytes payload;
    std::size_t pos = 1;
    while (pos < imageData.size() && imageData[pos] != 0) {
        const std::size_t n = imageData[pos];
        payload.insert(payload.end(), imageData.begin() + static_cast<std::ptrdiff_t>(pos + 1),
                       imageData.begin() + static_cast<std::ptrdiff_t>(pos + 1 + n));
        pos += n + 1;
    }
    const int clear = 1 << minSize;
    int width = minSize + 1;
    int next = clear + 2;
    bool first = true;
    std::uint64_t bits = 0;
    int count = 0;
    std::size_t in = 0;
    for (;;) {
        while (count < width && in < payload.size()) {
            bits |= static_cast<std::uint64_t>(payload[in++]) << count;
            count += 8;
        }
        if (count < width)
            break;
        const int code = static_cast<int>(bits & ((1u << width) - 1));
        bits >>= width;
        count -= width;
        t.Codes.push_back(code);
        t.Widths.push_back(width);
        if (code == clear) {
            width = minSize + 1;
            next = clear + 2;
            first = true;
            continue;
        }
        if (code == clear + 1)
            break;
        if (!first && next < 4096) {
            ++next;
            if (next == (1 << width) && width < 12)
                ++width;
        }
        first = false;
    }
    return t;
}

Bytes EncodeFrame(int bits, int width, int height, const Bytes& pixels, int colors,
                  std::uint8_t coding = 0, bool interlace = false) {
    TMemoryStream s;
    CompressImageData(s, coding, bits, width, height, interlace, pixels.data(), colors, {});
    return s.Data();
}

// ---- Golden bytes ----

TEST(GifWriterGolden, TwoByTwoFrameWithGraphicControlIs89a) {
    TGIFDocument doc;
    TGIFSubImage* f = AddIndexedFrame(doc, 2, 2, 0, {0, 1, 2, 0});
    f->ColorMap().Add(RGB(255, 0, 0));
    f->ColorMap().Add(RGB(0, 255, 0));
    f->ColorMap().Add(RGB(0, 0, 255));
    AddGraphicControl(f);
    const Bytes expected = Concat({Text("GIF89a"),
                                   {0x02, 0x00, 0x02, 0x00, 0x11, 0x00, 0x00},
                                   {0x21, 0xF9, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00},
                                   {0x2C, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x02, 0x00, 0x81},
                                   {255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0},
                                   {0x02, 0x03, 0x44, 0x04, 0x05, 0x00},
                                   {0x3B}});
    EXPECT_EQ(SaveToBytes(doc), expected);
    // Writing records the recomputed packed bytes in the model.
    EXPECT_EQ(doc.Header().PackedFields(), 0x11);
    EXPECT_EQ(f->Descriptor().PackedFields, 0x81);
}

TEST(GifWriterGolden, SameFrameWithoutExtensionsIs87a) {
    TGIFDocument doc;
    TGIFSubImage* f = AddIndexedFrame(doc, 2, 2, 0, {0, 1, 2, 0});
    for (TColor c : {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255)})
        f->ColorMap().Add(c);
    const Bytes bytes = SaveToBytes(doc);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 6), Text("GIF87a"));
    EXPECT_EQ(bytes.size(), 6u + 7 + 10 + 12 + 6 + 1);
}

TEST(GifWriterGolden, OnePixelLzwFrame) {
    EXPECT_EQ(EncodeFrame(1, 1, 1, {0}, 2), (Bytes{0x02, 0x02, 0x44, 0x01, 0x00}));
}

TEST(GifWriterGolden, LoopingExtensionIsNineteenBytes) {
    TGIFDocument doc;
    TGIFSubImage* f = AddIndexedFrame(doc, 1, 1, 2, {0});
    auto loop = std::make_unique<TGIFAppExtNSLoop>(f);
    TMemoryStream s;
    loop->SaveToStream(s);
    EXPECT_EQ(s.Data(),
              Concat({{0x21, 0xFF, 0x0B}, Text("NETSCAPE2.0"), {0x03, 0x01, 0x00, 0x00, 0x00}}));

    loop->SetLoopCount(0x1234);
    loop->SetStreamBufferSize(0x01020304);
    TMemoryStream s2;
    loop->SaveToStream(s2);
    EXPECT_EQ(s2.Data(),
              Concat({{0x21, 0xFF, 0x0B},
                      Text("NETSCAPE2.0"),
                      {0x03, 0x01, 0x34, 0x12, 0x05, 0x02, 0x04, 0x03, 0x02, 0x01, 0x00}}));
}

TEST(GifWriterGolden, CommentLinesAreCutInto255ByteBlocks) {
    struct Case {
        std::size_t length;
        std::vector<std::size_t> blocks;
    };
    for (const Case& c :
         {Case{255, {255}}, Case{256, {255, 1}}, Case{600, {255, 255, 90}}, Case{0, {}}}) {
        TGIFCommentExtension comment(nullptr);
        comment.Lines.push_back(std::string(c.length, 'x'));
        TMemoryStream s;
        comment.SaveToStream(s);
        Bytes expected{0x21, 0xFE};
        for (std::size_t n : c.blocks) {
            expected.push_back(static_cast<std::uint8_t>(n));
            expected.insert(expected.end(), n, 'x');
        }
        expected.push_back(0);
        EXPECT_EQ(s.Data(), expected) << "line of " << c.length;
    }
}

TEST(GifWriterGolden, PlainTextAndUnknownApplicationBlocks) {
    TGIFTextExtension text(nullptr);
    text.Record().Left = 0x0102;
    text.Record().CellWidth = 8;
    text.Lines = {"hi", "there"};
    TMemoryStream s;
    text.SaveToStream(s);
    EXPECT_EQ(s.Data(), Concat({{0x21, 0x01, 0x0C, 0x02, 0x01, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0},
                                {2, 'h', 'i', 5, 't', 'h', 'e', 'r', 'e', 0}}));

    TGIFUnknownAppExtension app(nullptr);
    app.SetIdentifier(MakeAppIdentifier("XMP DataXMP"));
    app.Blocks.push_back(TGIFBlock{{1, 2, 3}});
    app.Blocks.push_back(TGIFBlock{{4}});
    TMemoryStream s2;
    app.SaveToStream(s2);
    EXPECT_EQ(s2.Data(), Concat({{0x21, 0xFF, 0x0B}, Text("XMP DataXMP"), {3, 1, 2, 3, 1, 4, 0}}));
}

TEST(GifWriterGolden, CodeWidthsOfOneBitFrame) {
    const CodeTrace t = TraceCodes(EncodeFrame(1, 4, 1, {0, 1, 1, 0}, 2));
    ASSERT_GE(t.Codes.size(), 3u);
    EXPECT_EQ(t.Codes.front(), 4);
    EXPECT_EQ(t.Codes.back(), 5);
    EXPECT_EQ(t.Widths.front(), 3);
}

TEST(GifWriterGolden, EightBitFrameWidensToTenBitsAfterCode512) {
    // Every adjacent pair is new, so each pixel after the first adds one code.
    Bytes pixels;
    for (int i = 0; i < 600; ++i)
        pixels.push_back(static_cast<std::uint8_t>((i * 37 + i / 256) & 0xFF));
    const Bytes data = EncodeFrame(8, 600, 1, pixels, 256);
    EXPECT_EQ(data[0], 8);
    const CodeTrace t = TraceCodes(data);
    EXPECT_EQ(t.Codes.front(), 256);
    EXPECT_EQ(t.Widths.front(), 9);
    EXPECT_EQ(t.Codes.back(), 257);
    // Codes are: clear, then pixel codes. The encoder's next free code is 258 + k
    // after k misses; the code emitted while it is 512 is still 9 bits wide, the next one 10.
    int firstTen = -1;
    for (std::size_t i = 0; i < t.Widths.size(); ++i)
        if (t.Widths[i] == 10) {
            firstTen = static_cast<int>(i);
            break;
        }
    ASSERT_GT(firstTen, 0);
    EXPECT_EQ(t.Widths[static_cast<std::size_t>(firstTen) - 1], 9);
    // Code i (1-based after the clear) is emitted when the next free code is 258 + i - 1.
    EXPECT_EQ(258 + (firstTen - 1) - 1, 512);
}

TEST(GifWriterGolden, InterlacedRowOrder) {
    // Global table, so the interlace bit is kept; giflib undoes interlacing,
    // so rows sent in the wrong order come back shuffled.
    for (int height : {1, 2, 3, 5, 8, 9, 17}) {
        TGIFDocument doc;
        for (int i = 0; i < 32; ++i)
            doc.GlobalColorMap().Add(RGB(static_cast<std::uint8_t>(i), 0, 0));
        auto frame = std::make_unique<TGIFSubImage>(&doc);
        frame->SetBounds(0, 0, 3, height);
        frame->SetInterlaced(true);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < 3; ++x)
                frame->Scanline(y)[x] = static_cast<std::uint8_t>(y);
        const Bytes expected(frame->Pixels(), frame->Pixels() + frame->PixelCount());
        doc.Add(std::move(frame));
        const auto decoded = test::GiflibDecode(SaveToBytes(doc));
        ASSERT_TRUE(decoded.Ok) << decoded.Error;
        EXPECT_TRUE(decoded.Frames.at(0).Interlaced);
        EXPECT_EQ(decoded.Frames[0].Indexes, expected) << "height " << height;
    }
}

TEST(GifWriterGolden, FrameWithLocalTableIsWrittenNonInterlaced) {
    TGIFDocument doc;
    TGIFSubImage* f = AddIndexedFrame(doc, 2, 3, 4, {0, 1, 2, 3, 0, 1});
    f->SetInterlaced(true);
    const auto decoded = test::GiflibDecode(SaveToBytes(doc));
    ASSERT_TRUE(decoded.Ok);
    EXPECT_FALSE(decoded.Frames[0].Interlaced);
    EXPECT_EQ(decoded.Frames[0].Indexes, (Bytes{0, 1, 2, 3, 0, 1}));
}

TEST(GifWriterGolden, ExactlyFullBlockHasNoEmptyBlockAfterIt) {
    TMemoryStream s;
    {
        TGIFWriter writer(s, {});
        Bytes data(255, 0xAB);
        writer.Write(data.data(), data.size());
        EXPECT_FALSE(writer.Dirty);
        writer.Finish();
    }
    ASSERT_EQ(s.Data().size(), 256u);
    EXPECT_EQ(s.Data()[0], 255);

    // And through a whole frame: find pixels whose code stream is exactly 255 bytes.
    bool found = false;
    for (int n = 200; n < 300 && !found; ++n) {
        const Bytes pixels = test::RandomPixels(static_cast<std::size_t>(n), 256, 7);
        const Bytes data = EncodeFrame(8, n, 1, pixels, 256);
        if (data.size() == 1 + 256 + 1) {
            found = true;
            EXPECT_EQ(data[1], 255);
            EXPECT_EQ(data.back(), 0);
        }
    }
    EXPECT_TRUE(found);
}

TEST(GifWriterGolden, GlobalTableFillerAndScreenPackedByte) {
    TGIFDocument doc;
    for (int i = 0; i < 5; ++i)
        doc.GlobalColorMap().Add(RGB(static_cast<std::uint8_t>(i + 1), 0, 0));
    auto frame = std::make_unique<TGIFSubImage>(&doc);
    frame->SetBounds(0, 0, 1, 1);
    doc.Add(std::move(frame));
    const Bytes bytes = SaveToBytes(doc);
    // 5 colours: 3 bits, table of 8 entries, packed 0x80 | 2 << 4 | 2.
    EXPECT_EQ(bytes[10], 0xA2);
    ASSERT_GE(bytes.size(), 13u + 24);
    for (int i = 5; i < 8; ++i)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(bytes[13 + static_cast<std::size_t>(i) * 3 + static_cast<std::size_t>(c)], 0);
    // The frame without a local table codes with the document's largest depth.
    EXPECT_EQ(bytes[13 + 24 + 10], 3);
}

// ---- The model while writing ----

TEST(GifWriter, WarningsWhenALargerFrameGrowsTheScreen) {
    TGIFDocument doc;
    std::vector<std::string> warnings;
    doc.WarningHandler = [&](TPersistent*, int severity, const std::string& m) {
        EXPECT_EQ(severity, 1);
        warnings.push_back(m);
    };
    EXPECT_EQ(AddIndexedFrame(doc, 120, 90, 2, {}) == nullptr, false);
    EXPECT_EQ(doc.Width(), 120);
    EXPECT_EQ(doc.Height(), 90);
    EXPECT_TRUE(warnings.empty());
    // The importer sets width, then height; do the same.
    auto frame = std::make_unique<TGIFSubImage>(&doc);
    frame->SetWidth(200);
    frame->SetHeight(150);
    EXPECT_EQ(doc.Add(std::move(frame)), 1);
    EXPECT_EQ(warnings, (std::vector<std::string>{"Image width too small for contained frames",
                                                  "Image exceeds Logical Screen size",
                                                  "Image height too small for contained frames",
                                                  "Image exceeds Logical Screen size"}));
    EXPECT_EQ(doc.Width(), 200);
    EXPECT_EQ(doc.Height(), 150);
}

TEST(GifWriter, ColorNotInColorTable) {
    TGIFDocument doc;
    AddIndexedFrame(doc, 2, 1, 3, {0, 3});
    TMemoryStream s;
    std::vector<std::pair<TProgressStage, int>> progress;
    doc.OnProgress = [&](TPersistent*, TProgressStage stage, std::uint8_t pct, bool, const TRect&,
                         const std::string& msg) {
        EXPECT_EQ(msg, "Saving...");
        progress.emplace_back(stage, pct);
    };
    EXPECT_EQ(test::GIFErrorOf([&] { doc.SaveToStream(s); }), "Color not in color table");
    // What was written before the error stays; the final progress reports 0 %.
    EXPECT_GT(s.Size(), 13);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), std::make_pair(TProgressStage::psEnding, 0));
    // A pixel equal to the colour count is out, one below is in.
    EXPECT_THROW(EncodeFrame(2, 1, 1, {3}, 3), GIFException);
    EXPECT_NO_THROW(EncodeFrame(2, 1, 1, {2}, 3));
    EXPECT_THROW(EncodeFrame(2, 1, 1, {3}, 3, 1), GIFException);
}

TEST(GifWriter, DocumentWithoutFramesIsRefusedBeforeAnyByte) {
    TGIFDocument doc;
    TMemoryStream s;
    EXPECT_EQ(test::GIFErrorOf([&] { doc.SaveToStream(s); }), "Unsupported GIF version");
    EXPECT_EQ(s.Size(), 0);
}

TEST(GifWriter, ProgressStagesAndPercentages) {
    TGIFDocument doc;
    for (int i = 0; i < 3; ++i)
        AddIndexedFrame(doc, 2, 2, 2, {0, 1, 1, 0});
    std::vector<std::tuple<TProgressStage, int, bool>> seen;
    doc.OnProgress = [&](TPersistent*, TProgressStage stage, std::uint8_t pct, bool redraw,
                         const TRect&,
                         const std::string&) { seen.emplace_back(stage, pct, redraw); };
    SaveToBytes(doc);
    const std::vector<std::tuple<TProgressStage, int, bool>> expected{
        {TProgressStage::psStarting, 0, false},
        {TProgressStage::psRunning, 33, false},
        {TProgressStage::psRunning, 67, false}, // rounded to the nearest, as the reader does
        {TProgressStage::psRunning, 100, false},
        {TProgressStage::psEnding, 100, true}};
    EXPECT_EQ(seen, expected);
}

TEST(GifWriter, EmptyFrameWithCommentWritesOnlyTheComment) {
    TGIFDocument doc;
    AddIndexedFrame(doc, 1, 1, 2, {1});
    auto empty = std::make_unique<TGIFSubImage>(&doc);
    auto comment = std::make_unique<TGIFCommentExtension>(empty.get());
    comment->Lines.push_back("ok");
    empty->Extensions().Add(std::move(comment));
    doc.Add(std::move(empty));
    const Bytes bytes = SaveToBytes(doc);
    const Bytes tail{0x21, 0xFE, 0x02, 'o', 'k', 0x00, 0x3B};
    ASSERT_GE(bytes.size(), tail.size());
    EXPECT_EQ(Bytes(bytes.end() - static_cast<std::ptrdiff_t>(tail.size()), bytes.end()), tail);
}

// ---- Independent decoder agrees ----

struct RoundTripCase {
    int bits;
    int width;
    int height;
    int kind; // 0 random, 1 flat, 2 long runs, 3 short runs
    std::uint8_t coding;
    bool global;
    bool interlaced;
};

Bytes MakeContent(const RoundTripCase& c, std::uint32_t seed) {
    const std::size_t n = static_cast<std::size_t>(c.width) * static_cast<std::size_t>(c.height);
    const int colors = 1 << c.bits;
    switch (c.kind) {
    case 0:
        return test::RandomPixels(n, colors, seed);
    case 1:
        return Bytes(n, static_cast<std::uint8_t>(colors - 1));
    case 2:
        return test::RunPixels(n, colors, 5000, seed);
    default:
        return test::RunPixels(n, colors, 12, seed);
    }
}

class GifWriterGiflib : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(GifWriterGiflib, DecodesToOurIndexesAndPalette) {
    const RoundTripCase c = GetParam();
    TGIFDocument doc;
    doc.SetDataCoding(c.coding);
    const int colors = 1 << c.bits;
    const Bytes pixels =
        MakeContent(c, static_cast<std::uint32_t>(c.width * 31 + c.height + c.bits));
    TGIFSubImage* f = nullptr;
    if (c.global) {
        for (int i = 0; i < colors; ++i)
            doc.GlobalColorMap().Add(
                RGB(static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i ^ 0x55), 9));
        f = AddIndexedFrame(doc, c.width, c.height, 0, pixels);
        f->SetInterlaced(c.interlaced);
    } else {
        f = AddIndexedFrame(doc, c.width, c.height, colors, pixels);
    }
    TGIFGraphicControlExtension* gce = AddGraphicControl(f);
    gce->SetDelay(7);
    gce->SetDisposal(2);
    gce->SetTransparent(true);
    gce->SetTransparentColorIndex(colors - 1);
    const auto decoded = test::GiflibDecode(SaveToBytes(doc));
    ASSERT_TRUE(decoded.Ok) << decoded.Error;
    ASSERT_EQ(decoded.Frames.size(), 1u);
    const auto& g = decoded.Frames[0];
    EXPECT_EQ(g.Width, c.width);
    EXPECT_EQ(g.Height, c.height);
    EXPECT_TRUE(g.Indexes == pixels) << "indexes differ";
    ASSERT_GE(g.Palette.size(), static_cast<std::size_t>(colors));
    const TGIFColorMap& map =
        c.global ? static_cast<const TGIFColorMap&>(doc.Header().ColorMap()) : f->ColorMap();
    for (int i = 0; i < colors; ++i) {
        const TGIFColor e = map.Entry(i);
        EXPECT_EQ(g.Palette[static_cast<std::size_t>(i)],
                  (std::array<std::uint8_t, 3>{e.Red, e.Green, e.Blue}));
    }
    EXPECT_EQ(g.Delay, 7);
    EXPECT_EQ(g.Disposal, 2);
    EXPECT_EQ(g.TransparentIndex, colors - 1);
    EXPECT_EQ(g.Interlaced, c.global && c.interlaced);
}

std::vector<RoundTripCase> RoundTripCases() {
    std::vector<RoundTripCase> cases;
    for (std::uint8_t coding : {std::uint8_t{0}, std::uint8_t{1}})
        for (int bits = 1; bits <= 8; ++bits)
            for (int kind = 0; kind < 4; ++kind) {
                cases.push_back({bits, 97, 61, kind, coding, false, false});
                cases.push_back({bits, 64, 33, kind, coding, true, true});
            }
    for (std::uint8_t coding : {std::uint8_t{0}, std::uint8_t{1}}) {
        cases.push_back({1, 1, 1, 0, coding, false, false});
        cases.push_back({8, 1, 1, 1, coding, true, true});
        cases.push_back({8, 1, 300, 0, coding, true, true});
        cases.push_back({8, 768, 576, 0, coding, false, false});
        cases.push_back({8, 768, 576, 2, coding, false, false});
        cases.push_back({8, 4000, 3000, 3, coding, false, false});
        cases.push_back({2, 4000, 3000, 1, coding, true, true});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(AllDepthsAndContents, GifWriterGiflib,
                         ::testing::ValuesIn(RoundTripCases()), [](const auto& param) {
                             const RoundTripCase& c = param.param;
                             return std::string(c.coding == 1 ? "rle" : "lzw") + "_b" +
                                    std::to_string(c.bits) + "_" + std::to_string(c.width) + "x" +
                                    std::to_string(c.height) + "_k" + std::to_string(c.kind) +
                                    (c.global ? "_global" : "_local") + (c.interlaced ? "_il" : "");
                         });

TEST(GifWriterGiflib, AnimationKeepsDelaysDisposalsAndLoopCount) {
    TGIFDocument doc;
    for (int i = 0; i < 4; ++i) {
        TGIFSubImage* f =
            AddIndexedFrame(doc, 16 + i, 9, 1 << (i + 1),
                            test::RandomPixels(static_cast<std::size_t>(16 + i) * 9, 1 << (i + 1),
                                               static_cast<std::uint32_t>(i)),
                            i, i);
        if (i == 0) {
            auto loop = std::make_unique<TGIFAppExtNSLoop>(f);
            loop->SetLoopCount(3);
            f->Extensions().Add(std::move(loop));
        }
        TGIFGraphicControlExtension* g = AddGraphicControl(f);
        g->SetDelay(10 * i);
        g->SetDisposal(i % 4);
    }
    const auto decoded = test::GiflibDecode(SaveToBytes(doc));
    ASSERT_TRUE(decoded.Ok) << decoded.Error;
    EXPECT_EQ(decoded.LoopCount, 3);
    ASSERT_EQ(decoded.Frames.size(), 4u);
    EXPECT_EQ(decoded.Width, 19 + 3);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(decoded.Frames[static_cast<std::size_t>(i)].Delay, 10 * i);
        EXPECT_EQ(decoded.Frames[static_cast<std::size_t>(i)].Disposal, i % 4);
        EXPECT_EQ(decoded.Frames[static_cast<std::size_t>(i)].Left, i);
        EXPECT_EQ(decoded.Frames[static_cast<std::size_t>(i)].TransparentIndex, -1);
    }
}

// ---- Run-length coder ----

TEST(GifRleEncoder, LongRunUsesGrowingRunCodes) {
    const Bytes data = EncodeFrame(2, 40, 1, Bytes(40, 1), 4, 1);
    const CodeTrace t = TraceCodes(data);
    // clear, the pixel, then run codes of length 2, 3, 4, ...: 6, 7, 8, ...
    ASSERT_GE(t.Codes.size(), 5u);
    EXPECT_EQ(t.Codes[0], 4);
    EXPECT_EQ(t.Codes[1], 1);
    EXPECT_EQ(t.Codes[2], 6);
    EXPECT_EQ(t.Codes[3], 7);
    EXPECT_EQ(t.Codes.back(), 5);
}

TEST(GifRleEncoder, TriangleCountAndIntegerSqrt) {
    for (std::int64_t x = 0; x < 5000; ++x) {
        const std::int64_t r = IntegerSqrt(x);
        ASSERT_LE(r * r, x) << x;
        ASSERT_GT((r + 1) * (r + 1), x) << x;
    }
    // Runs 1, 2, 3 cover 6 pixels in 3 codes; 7 pixels need a fourth.
    EXPECT_EQ(TriangleCount(6, 100), 3);
    EXPECT_EQ(TriangleCount(7, 100), 4);
    // With codes capped at 3 a full triangle is 6 pixels in 3 codes.
    EXPECT_EQ(TriangleCount(12, 3), 6);
    EXPECT_EQ(TriangleCount(13, 3), 7);
    EXPECT_EQ(TriangleCount(0, 3), 0);
}

} // namespace
} // namespace framolo
