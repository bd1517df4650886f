// Reading GIF files: lenient and strict cases on hand-built files, the
// extensions, the limits, the goldens of real-world files, giflib's decoding of
// two public test suites, and files cut at every offset.
#include "gif_reader_test_util.h"
#include "gif_test_util.h"

#include "gif/gif_reader.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace framolo::test {
namespace {

const std::vector<std::uint8_t> kFour = {0, 1, 2, 3};

// ---- Lenient reading and its limits, as a table ----

struct ReadCase {
    const char* Name;
    std::vector<std::uint8_t> Bytes;
    std::string Error;                 // "" when the load succeeds
    int Frames;                        // frames in the document afterwards
    std::vector<std::string> Warnings; // in order
};

std::vector<ReadCase> ReadCases() {
    using B = GifBytes;
    std::vector<ReadCase> cases;
    cases.push_back({"lower-case signature",
                     B().Header(2, 2, 0x80, "gif89a").Image(2, 2, kFour).Trailer().b,
                     "",
                     1,
                     {}});
    cases.push_back({"any version",
                     B().Header(2, 2, 0x80, "GIF12z").Image(2, 2, kFour).Trailer().b,
                     "",
                     1,
                     {}});
    {
        B b;
        b.Raw({'R', 'I', 'F', 'F'}).Header(2, 2).Image(2, 2, kFour).Trailer();
        cases.push_back({"4-byte prefix", b.b, "", 1, {}});
    }
    cases.push_back(
        {"no signature", B().Text("RIFFxxxxGIF89a.......").b, gifmsg::InvalidSignature, 0, {}});
    cases.push_back({"signature 5 bytes in",
                     B().Text("12345GIF89a....................").b,
                     gifmsg::InvalidSignature,
                     0,
                     {}});
    cases.push_back({"cut signature", B().Text("GIF").b, gifmsg::PrematureEnd, 0, {}});
    cases.push_back(
        {"cut screen descriptor", B().Text("GIF89a").Word(2).b, gifmsg::PrematureEnd, 0, {}});
    cases.push_back({"cut global table",
                     B().Text("GIF89a").Word(2).Word(2).Raw({0x81, 0, 0, 1, 2, 3}).b,
                     gifmsg::PrematureEnd,
                     0,
                     {}});
    cases.push_back({"zero bytes between blocks",
                     B().Header(2, 2)
                         .Raw({0, 0})
                         .Image(2, 2, kFour)
                         .Raw({0, 0, 0})
                         .Image(2, 2, kFour)
                         .Raw({0})
                         .Trailer()
                         .b,
                     "",
                     2,
                     {}});
    cases.push_back({"no trailer", B().Header(2, 2).Image(2, 2, kFour).b, "", 1, {}});
    // The byte that stops the frame list is then read as the trailer.
    cases.push_back({"garbage after the last frame",
                     B().Header(2, 2).Image(2, 2, kFour).Text("junk").b,
                     "",
                     1,
                     {gifmsg::UnknownBlockType, gifmsg::InvalidTrailer}});
    cases.push_back({"comment after the last image",
                     B().Header(2, 2).Image(2, 2, kFour).Comment("bye").Trailer().b,
                     "",
                     2,
                     {}});
    cases.push_back({"unknown extension label",
                     B().Header(2, 2).Raw({0x21, 0x55, 0}).Image(2, 2, kFour).b,
                     gifmsg::UnknownExtension,
                     0,
                     {}});
    cases.push_back(
        {"application block size 9",
         B().Header(2, 2).Raw({0x21, 0xFF, 9}).Text("ABCDEFGHI").Raw({0}).Image(2, 2, kFour).b,
         gifmsg::UnsupportedAppBlockSize,
         0,
         {}});
    cases.push_back({"loop sub-block too short",
                     B().Header(2, 2)
                         .Raw({0x21, 0xFF, 11})
                         .Text("NETSCAPE2.0")
                         .Raw({2, 1, 0, 0})
                         .Image(2, 2, kFour)
                         .b,
                     gifmsg::InvalidData,
                     0,
                     {}});
    cases.push_back({"buffer sub-block too short",
                     B().Header(2, 2)
                         .Raw({0x21, 0xFF, 11})
                         .Text("NETSCAPE2.0")
                         .Raw({4, 2, 0, 0, 0, 0})
                         .Image(2, 2, kFour)
                         .b,
                     gifmsg::InvalidData,
                     0,
                     {}});
    // The frame reader then takes the stray byte as an image separator.
    cases.push_back({"stray byte where an extension may start",
                     B().Header(2, 2)
                         .Gce(0, 5, 0)
                         .Raw({0x99})
                         .Word(0)
                         .Word(0)
                         .Word(2)
                         .Word(2)
                         .Raw({0})
                         .Literals(kFour)
                         .Trailer()
                         .b,
                     "",
                     1,
                     {gifmsg::InvalidExtensionIntroducer}});
    cases.push_back({"cut graphic control block",
                     B().Header(2, 2).Raw({0x21, 0xF9, 4, 1}).b,
                     "",
                     1,
                     {gifmsg::PrematureEnd}});
    cases.push_back({"cut comment block",
                     B().Header(2, 2).Raw({0x21, 0xFE, 9, 'a'}).b,
                     gifmsg::PrematureEnd,
                     0,
                     {}});
    cases.push_back({"cut image descriptor",
                     B().Header(2, 2).Raw({0x2C, 0, 0, 0}).b,
                     gifmsg::PrematureEnd,
                     0,
                     {}});
    cases.push_back({"cut local table",
                     B().Header(2, 2, 0).Descriptor(0, 0, 2, 2, 0x81).Table(3).b,
                     gifmsg::PrematureEnd,
                     0,
                     {}});
    // The decoder keeps what it has: no error for data that ends early.
    cases.push_back({"image data cut in a block",
                     [] {
                         auto b = B().Header(2, 2).Image(2, 2, kFour).b;
                         b.resize(b.size() - 3);
                         return b;
                     }(),
                     "",
                     1,
                     {gifmsg::PrematureEnd}});
    cases.push_back({"image without data", B().Header(2, 2).Descriptor(0, 0, 2, 2).b, "", 1, {}});
    cases.push_back({"frame of zero width",
                     B().Header(2, 2).Descriptor(0, 0, 0, 2).Literals(kFour).Trailer().b,
                     "",
                     1,
                     {gifmsg::ImageExceedsScreen}});
    // Undecodable data is passed over; the frames after it still load.
    cases.push_back(
        {"minimum code size 13",
         B().Header(2, 2).Descriptor(0, 0, 2, 2).Raw({13, 1, 0, 0}).Image(2, 2, kFour).Trailer().b,
         "",
         2,
         {gifmsg::InvalidCodeSize}});
    return cases;
}

TEST(GIFReader, LenientAndStrictCases) {
    for (const ReadCase& c : ReadCases()) {
        SCOPED_TRACE(c.Name);
        Loaded r = LoadBytes(c.Bytes);
        EXPECT_EQ(r.Error, c.Error);
        EXPECT_EQ(r.Doc->Frames().Count(), c.Frames);
        EXPECT_EQ(r.Warnings, c.Warnings);
        if (!c.Error.empty()) {
            EXPECT_EQ(r.PositionAfter, 0) << "a failed load returns the stream to its start";
        }
    }
}

TEST(GIFReader, WarningsAreDroppedWithoutAHandler) {
    const auto bytes = GifBytes().Header(2, 2).Image(2, 2, kFour).Text("junk").b;
    TGIFDocument doc;
    TReadOnlyMemoryStream s(bytes.data(), bytes.size());
    EXPECT_NO_THROW(doc.LoadFromStream(s));
    EXPECT_EQ(doc.Frames().Count(), 1);
}

TEST(GIFReader, ErrorKeepsEarlierFramesAndRewindsFromTheLoadStart) {
    std::vector<std::uint8_t> bytes = {0xEE, 0xEE, 0xEE};
    const auto gif = GifBytes().Header(2, 2).Image(2, 2, kFour).Raw({0x21, 0x55, 0}).b;
    bytes.insert(bytes.end(), gif.begin(), gif.end());
    TGIFDocument doc;
    TReadOnlyMemoryStream s(bytes.data(), bytes.size());
    s.SetPosition(3);
    std::vector<std::pair<TProgressStage, int>> progress;
    doc.OnProgress = [&](TPersistent*, TProgressStage st, std::uint8_t pct, bool, const TRect&,
                         const std::string& msg) {
        EXPECT_EQ(msg, gifmsg::Loading);
        progress.emplace_back(st, pct);
    };
    EXPECT_THROW(doc.LoadFromStream(s), GIFException);
    EXPECT_EQ(s.Position(), 3);
    EXPECT_EQ(doc.Frames().Count(), 1);
    ASSERT_GE(progress.size(), 3u);
    EXPECT_EQ(progress.front(), std::make_pair(TProgressStage::psStarting, 0));
    EXPECT_EQ(progress[1].first, TProgressStage::psRunning);
    EXPECT_EQ(progress.back(), std::make_pair(TProgressStage::psEnding, 0));
}

TEST(GIFReader, ScreenTablesAndBounds) {
    // Bounds are kept as they stand: the screen does not grow for a frame
    // reaching past it.
    const auto bytes = GifBytes()
                           .Header(3, 2, 0x81)
                           .Descriptor(2, 1, 2, 2, 0x82)
                           .Table(8)
                           .Literals({7, 6, 5, 4}, 3)
                           .Descriptor(0, 0, 1, 1)
                           .Literals({3})
                           .Trailer()
                           .b;
    Loaded r = LoadBytes(bytes);
    ASSERT_EQ(r.Error, "");
    EXPECT_TRUE(r.Warnings.empty());
    TGIFDocument& doc = *r.Doc;
    EXPECT_EQ(doc.Width(), 3);
    EXPECT_EQ(doc.Height(), 2);
    EXPECT_EQ(doc.GlobalColorMap().Count(), 4);
    EXPECT_FALSE(doc.GlobalColorMap().Sorted());
    ASSERT_EQ(doc.Frames().Count(), 2);
    TGIFSubImage& f = *doc.Frames()[0];
    EXPECT_EQ(f.Left(), 2);
    EXPECT_EQ(f.Top(), 1);
    EXPECT_EQ(f.ColorMap().Count(), 8);
    EXPECT_EQ(f.ColorMap().Entry(5), (TGIFColor{15, 250, 55}));
    EXPECT_EQ(std::vector<std::uint8_t>(f.Pixels(), f.Pixels() + 4),
              (std::vector<std::uint8_t>{7, 6, 5, 4}));
    EXPECT_EQ(doc.Frames()[1]->ColorMap().Count(), 0);
    EXPECT_EQ(&doc.Frames()[1]->ActiveColorMap(), &doc.GlobalColorMap());

    // Without bit 7 the global table is cleared.
    Loaded none = LoadBytes(GifBytes().Header(2, 2, 0).Image(2, 2, kFour).Trailer().b);
    EXPECT_EQ(none.Doc->GlobalColorMap().Count(), 0);
}

TEST(GIFReader, ZeroWidthFrameTakesTheScreenSize) {
    Loaded r =
        LoadBytes(GifBytes().Header(3, 2).Descriptor(1, 0, 2, 0).Literals({1, 2, 3}).Trailer().b);
    ASSERT_EQ(r.Error, "");
    EXPECT_EQ(r.Warnings, std::vector<std::string>{gifmsg::ImageExceedsScreen});
    TGIFSubImage& f = *r.Doc->Frames()[0];
    EXPECT_EQ(f.Width(), 3);
    EXPECT_EQ(f.Height(), 2);
    ASSERT_EQ(f.PixelCount(), 6u);
    EXPECT_EQ(std::vector<std::uint8_t>(f.Pixels(), f.Pixels() + 6),
              (std::vector<std::uint8_t>{1, 2, 3, 0, 0, 0}));
}

TEST(GIFReader, InterlacedRowsArriveInFourPasses) {
    // One pixel per row, numbered in the order the data holds them.
    std::vector<std::uint8_t> order(11);
    for (int i = 0; i < 11; ++i)
        order[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    Loaded r = LoadBytes(GifBytes()
                             .Header(1, 11, 0x83)
                             .Descriptor(0, 0, 1, 11, 0x40)
                             .Literals(order, 4)
                             .Trailer()
                             .b);
    ASSERT_EQ(r.Error, "");
    TGIFSubImage& f = *r.Doc->Frames()[0];
    EXPECT_TRUE(f.Interlaced());
    // Rows 0, 8, then 4, then 2, 6, 10, then 1, 3, 5, 7, 9.
    EXPECT_EQ(std::vector<std::uint8_t>(f.Pixels(), f.Pixels() + 11),
              (std::vector<std::uint8_t>{0, 6, 3, 7, 2, 8, 4, 9, 1, 10, 5}));

    Loaded three = LoadBytes(GifBytes()
                                 .Header(2, 3)
                                 .Descriptor(0, 0, 2, 3, 0x40)
                                 .Literals({1, 1, 2, 2, 3, 3})
                                 .Trailer()
                                 .b);
    TGIFSubImage& g = *three.Doc->Frames()[0];
    EXPECT_EQ(std::vector<std::uint8_t>(g.Pixels(), g.Pixels() + 6),
              (std::vector<std::uint8_t>{1, 1, 3, 3, 2, 2}));
}

TEST(GIFReader, TransparentFrameKeepsItsIndexWhereDataIsMissing) {
    const std::vector<std::uint8_t> half = {1, 2, 1, 2};
    Loaded r = LoadBytes(GifBytes().Header(4, 2).Gce(0x09, 7, 3).Image(4, 2, half).Trailer().b);
    ASSERT_EQ(r.Error, "");
    TGIFSubImage& f = *r.Doc->Frames()[0];
    EXPECT_TRUE(f.Transparent());
    ASSERT_NE(f.GraphicControl(), nullptr);
    EXPECT_EQ(f.GraphicControl()->Delay(), 7);
    EXPECT_EQ(f.GraphicControl()->Disposal(), 2);
    EXPECT_EQ(std::vector<std::uint8_t>(f.Pixels(), f.Pixels() + 8),
              (std::vector<std::uint8_t>{1, 2, 1, 2, 3, 3, 3, 3}));

    Loaded opaque =
        LoadBytes(GifBytes().Header(4, 2).Gce(0x08, 7, 3).Image(4, 2, half).Trailer().b);
    TGIFSubImage& o = *opaque.Doc->Frames()[0];
    EXPECT_FALSE(o.Transparent());
    EXPECT_EQ(o.Pixels()[7], 0);
}

// ---- Extensions ----

TEST(GIFReader, Extensions) {
    GifBytes b;
    b.Header(2, 2);
    b.Raw({0x21, 0xFF, 11})
        .Text("NETSCAPE2.0")
        .Raw({3, 9, 5, 0, 5, 2, 0x10, 0x20, 0, 0, 2, 3, 0xAA, 0});
    b.Raw({0x21, 0xFF, 11}).Text("ANIMEXTS1.0").Raw({3, 1, 7, 0, 0});
    b.Raw({0x21, 0xFF, 11}).Text("XMP DataXMP").Raw({3, 'a', 'b', 'c', 1, 0, 0});
    b.Raw({0x21, 0xFF, 10}).Text("ABCDEFGHIJ").Raw({2, 'x', 'y', 0});
    b.Raw({0x21, 0xFF, 12}).Text("FOOBAR01.0Zq").Raw({1, 'z', 0});
    b.Raw({0x21, 0x01, 12})
        .Word(1)
        .Word(2)
        .Word(30)
        .Word(40)
        .Raw({5, 6, 7, 8, 3})
        .Text("abc")
        .Raw({2})
        .Text("de")
        .Raw({0});
    b.Comment("first").Image(2, 2, kFour).Trailer();
    Loaded r = LoadBytes(b.b);
    ASSERT_EQ(r.Error, "");
    EXPECT_TRUE(r.Warnings.empty());
    ASSERT_EQ(r.Doc->Frames().Count(), 1);
    TGIFExtensionList& ext = r.Doc->Frames()[0]->Extensions();
    ASSERT_EQ(ext.Count(), 7);

    // Only the low three bits name a looping sub-block: id 9 is the loop count.
    auto* ns = dynamic_cast<TGIFAppExtNSLoop*>(ext[0]);
    ASSERT_NE(ns, nullptr);
    EXPECT_EQ(ns->LoopCount(), 5);
    EXPECT_EQ(ns->StreamBufferSize(), 0x2010u);
    auto* anim = dynamic_cast<TGIFAppExtNSLoop*>(ext[1]);
    ASSERT_NE(anim, nullptr);
    EXPECT_EQ(anim->LoopCount(), 7);
    EXPECT_EQ(anim->IdentifierText(), "ANIMEXTS1.0");

    auto* xmp = dynamic_cast<TGIFUnknownAppExtension*>(ext[2]);
    ASSERT_NE(xmp, nullptr);
    ASSERT_EQ(xmp->Blocks.size(), 2u);
    EXPECT_EQ(xmp->Blocks[0].Data, (std::vector<std::uint8_t>{'a', 'b', 'c'}));
    EXPECT_EQ(xmp->Blocks[1].Data, (std::vector<std::uint8_t>{0}));
    // A 10-byte identifier borrows the next byte; the blocks start after the 10.
    auto* ten = dynamic_cast<TGIFUnknownAppExtension*>(ext[3]);
    ASSERT_NE(ten, nullptr);
    EXPECT_EQ(ten->IdentifierText(), std::string("ABCDEFGHIJ\x02"));
    ASSERT_EQ(ten->Blocks.size(), 1u);
    EXPECT_EQ(ten->Blocks[0].Data, (std::vector<std::uint8_t>{'x', 'y'}));
    // A longer block keeps its first 11 bytes as identifier and skips the rest.
    auto* twelve = dynamic_cast<TGIFUnknownAppExtension*>(ext[4]);
    ASSERT_NE(twelve, nullptr);
    EXPECT_EQ(twelve->IdentifierText(), "FOOBAR01.0Z");
    ASSERT_EQ(twelve->Blocks.size(), 1u);

    auto* text = dynamic_cast<TGIFTextExtension*>(ext[5]);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->Record().Width, 30);
    EXPECT_EQ(text->Record().TextBGColorIndex, 8);
    EXPECT_EQ(text->Lines, (std::vector<std::string>{"abc", "de"}));
    auto* comment = dynamic_cast<TGIFCommentExtension*>(ext[6]);
    ASSERT_NE(comment, nullptr);
    EXPECT_EQ(comment->Lines, std::vector<std::string>{"first"});

    // Unknown application blocks are written back unchanged.
    const auto saved = SaveToBytes(*r.Doc);
    const std::vector<std::uint8_t> xmpBytes = {0x21, 0xFF, 11,  'X', 'M', 'P', ' ',
                                                'D',  'a',  't', 'a', 'X', 'M', 'P',
                                                3,    'a',  'b', 'c', 1,   0,   0};
    EXPECT_NE(std::search(saved.begin(), saved.end(), xmpBytes.begin(), xmpBytes.end()),
              saved.end());
}

TEST(GIFReader, LoopingExtensionStopsAtTheEndOfTheStream) {
    auto bytes = GifBytes()
                     .Header(2, 2)
                     .Image(2, 2, kFour)
                     .Raw({0x21, 0xFF, 11})
                     .Text("NETSCAPE2.0")
                     .Raw({3, 1, 4, 0})
                     .b;
    Loaded r = LoadBytes(bytes);
    EXPECT_EQ(r.Error, "");
    ASSERT_EQ(r.Doc->Frames().Count(), 2);
    EXPECT_EQ(LoopCountOf(*r.Doc), 4);
}

TEST(GIFReader, SecondGraphicControlIsKeptButNotLinked) {
    Loaded r = LoadBytes(
        GifBytes().Header(2, 2).Gce(0, 20, 0).Gce(1, 30, 2).Image(2, 2, kFour).Trailer().b);
    TGIFSubImage& f = *r.Doc->Frames()[0];
    ASSERT_EQ(f.Extensions().Count(), 2);
    EXPECT_EQ(f.GraphicControl(), f.Extensions()[0]);
    EXPECT_EQ(f.GraphicControl()->Delay(), 20);
    // The second one's transparent bit still marks the frame; the fill comes
    // from the linked one's index.
    EXPECT_TRUE(f.Transparent());
}

TEST(GIFReader, RegisteredApplicationClassesAreFound) {
    // A class registered later for an identifier wins over the unknown one.
    static const TGIFExtensionClass loopAlias = TGIFAppExtNSLoop::ClassInfo();
    RegisterAppExtension(MakeAppIdentifier("FRAMOLOTEST"), &loopAlias);
    Loaded r = LoadBytes(GifBytes()
                             .Header(2, 2)
                             .Raw({0x21, 0xFF, 11})
                             .Text("FRAMOLOTEST")
                             .Raw({3, 1, 9, 0, 0})
                             .Image(2, 2, kFour)
                             .b);
    ASSERT_EQ(r.Error, "");
    auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(r.Doc->Frames()[0]->Extensions()[0]);
    ASSERT_NE(loop, nullptr);
    EXPECT_EQ(loop->LoopCount(), 9);
}

// ---- Limits ----

struct LimitGuard {
    TGIFReadLimits saved = GIFReadLimits;
    ~LimitGuard() { GIFReadLimits = saved; }
};

TEST(GIFReader, LimitsRefuseBeforeAllocating) {
    // The defaults admit real animations.
    static_assert(std::int64_t{8000} * 8000 <= TGIFDocument::kMaxFramePixels);
    static_assert(std::int64_t{2000} * 1920 * 1080 <= TGIFDocument::kMaxDocumentPixels);

    // A descriptor of 65535 x 65535 in a tiny file is refused.
    Loaded huge = LoadBytes(
        GifBytes().Header(2, 2).Descriptor(0, 0, 65535, 65535).Literals(kFour).Trailer().b);
    EXPECT_EQ(huge.Error, gifmsg::FrameTooLarge);
    // 8000 x 8000 loads, its missing data left at the fill value.
    Loaded big = LoadBytes(GifBytes().Header(8000, 8000).Image(8000, 8000, kFour).Trailer().b);
    ASSERT_EQ(big.Error, "");
    EXPECT_EQ(big.Doc->Frames()[0]->PixelCount(), 64000000u);

    LimitGuard guard;
    GIFReadLimits.MaxFramePixels = 100;
    GIFReadLimits.MaxDocumentPixels = 250;
    GifBytes b;
    b.Header(10, 10);
    for (int i = 0; i < 3; ++i)
        b.Image(10, 10, kFour);
    b.Trailer();
    Loaded doc = LoadBytes(b.b);
    EXPECT_EQ(doc.Error, gifmsg::DocumentTooLarge);
    EXPECT_EQ(doc.Doc->Frames().Count(), 2) << "frames within the limit stay";
    Loaded frame = LoadBytes(GifBytes().Header(11, 10).Image(11, 10, kFour).Trailer().b);
    EXPECT_EQ(frame.Error, gifmsg::FrameTooLarge);
}

// ---- Real-world files: exact goldens ----

TEST(GIFReader, RealWorldIndexRastersAndPalettes) {
    for (const char* name : {"bricks-dither", "bricks-gray", "bricks-nodither"}) {
        SCOPED_TRACE(name);
        Loaded r = LoadBytes(ReadFileBytes(GifDataPath(std::string("wuffs/") + name + ".gif")));
        ASSERT_EQ(r.Error, "");
        const auto want = ReadFileBytes(GifDataPath(std::string("wuffs/") + name + ".indexes"));
        TGIFSubImage& f = *r.Doc->Frames()[0];
        ASSERT_EQ(f.PixelCount(), want.size());
        EXPECT_TRUE(std::equal(want.begin(), want.end(), f.Pixels()));
        const auto palette = ReadFileBytes(GifDataPath(std::string("wuffs/") + name + ".palette"));
        if (palette.empty())
            continue;
        const TGIFColorMap& map = f.ActiveColorMap();
        ASSERT_EQ(map.Count() * 4, static_cast<int>(palette.size()));
        for (int i = 0; i < map.Count(); ++i) {
            const std::size_t p = static_cast<std::size_t>(i) * 4;
            EXPECT_EQ(map.Entry(i), (TGIFColor{palette[p + 2], palette[p + 1], palette[p]})) << i;
        }
    }
    Loaded m = LoadBytes(ReadFileBytes(GifDataPath("wuffs/muybridge.gif")));
    ASSERT_EQ(m.Error, "");
    ASSERT_EQ(m.Doc->Frames().Count(), 15);
    for (int i = 0; i < 15; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "wuffs/muybridge-frame-%03d.indexes", i);
        const auto want = ReadFileBytes(GifDataPath(name));
        TGIFSubImage& f = *m.Doc->Frames()[i];
        ASSERT_EQ(f.PixelCount(), want.size()) << name;
        EXPECT_TRUE(std::equal(want.begin(), want.end(), f.Pixels())) << name;
    }
    Loaded gp = LoadBytes(ReadFileBytes(GifDataPath("wuffs/gifplayer-muybridge.gif")));
    EXPECT_EQ(gp.Doc->Frames().Count(), 380);
}

// ---- Two public suites against giflib ----

// Files where the rules here differ from what other decoders do; each loads
// as described.
TEST(GIFReader, CasesDecidedDifferentlyFromOtherDecoders) {
    // giflib rejects a frame of zero width; here it takes the screen size.
    Loaded zw = LoadBytes(ReadFileBytes(GifDataPath("wuffs/artificial-gif/zero-width-frame.gif")));
    EXPECT_EQ(zw.Error, "");
    EXPECT_EQ(zw.Warnings.front(), gifmsg::ImageExceedsScreen);
    EXPECT_EQ(zw.Doc->Frames()[0]->Width(), zw.Doc->Width());
    // These hold no image data either: the byte after the descriptor is no
    // usable code size, so the frame keeps its fill value.
    for (const char* name : {"image-zero-width.gif"}) {
        Loaded r = LoadBytes(ReadFileBytes(GifDataPath(std::string("ancell/") + name)));
        EXPECT_EQ(r.Error, "") << name;
        ASSERT_EQ(ImageFrames(*r.Doc).size(), 1u) << name;
        EXPECT_EQ(r.Warnings.front(), gifmsg::ImageExceedsScreen);
    }
    // These two's packed bytes also announce a local table that is not there.
    EXPECT_EQ(LoadBytes(ReadFileBytes(GifDataPath("ancell/image-zero-height.gif"))).Error,
              gifmsg::PrematureEnd);
    EXPECT_EQ(LoadBytes(ReadFileBytes(GifDataPath("ancell/image-zero-size.gif"))).Error,
              gifmsg::PrematureEnd);
    // An extension label nobody registered is an error (giflib and browsers
    // skip the block).
    Loaded unknown = LoadBytes(ReadFileBytes(GifDataPath("ancell/unknown-extension.gif")));
    EXPECT_EQ(unknown.Error, gifmsg::UnknownExtension);
    // Too little data is no error (Wuffs: "not enough data"): the rest keeps
    // the fill value.
    for (const char* name : {"pixel-data-none.gif", "pixel-data-not-enough.gif"}) {
        Loaded r =
            LoadBytes(ReadFileBytes(GifDataPath(std::string("wuffs/artificial-gif/") + name)));
        EXPECT_EQ(r.Error, "") << name;
        ASSERT_EQ(r.Doc->Frames().Count(), 1) << name;
    }
    // Too much data is no error either (Wuffs: "too much data").
    for (const char* name :
         {"pixel-data-too-much-good-lzw.gif", "pixel-data-too-much-bad-lzw.gif"}) {
        Loaded r =
            LoadBytes(ReadFileBytes(GifDataPath(std::string("wuffs/artificial-gif/") + name)));
        EXPECT_EQ(r.Error, "") << name;
        EXPECT_EQ(ImageFrames(*r.Doc).size(), 1u) << name;
    }
    // Frames reaching past the screen keep their bounds and the screen its
    // size (Wuffs grows the image by default).
    Loaded oob =
        LoadBytes(ReadFileBytes(GifDataPath("wuffs/artificial-gif/frame-out-of-bounds.gif")));
    ASSERT_EQ(oob.Error, "");
    EXPECT_EQ(oob.Doc->Width(), 2);
    EXPECT_EQ(oob.Doc->Height(), 2);
    ASSERT_EQ(oob.Doc->Frames().Count(), 4);
    EXPECT_EQ(oob.Doc->Frames()[3]->Left() + oob.Doc->Frames()[3]->Width(), 6);
    // A cut interlaced file keeps the fill value below what arrived (Wuffs
    // replicates the rows it has; giflib gives no rows at all).
    Loaded cut =
        LoadBytes(ReadFileBytes(GifDataPath("wuffs/hippopotamus.interlaced.truncated.gif")));
    ASSERT_EQ(cut.Error, "");
    TGIFSubImage& f = *cut.Doc->Frames()[0];
    EXPECT_EQ(f.Pixels()[f.PixelCount() - 1], 0);
}

std::vector<std::filesystem::path> SuiteFiles() {
    std::vector<std::filesystem::path> files;
    for (const char* dir : {"wuffs", "wuffs/artificial-gif", "ancell"})
        for (const auto& e : std::filesystem::directory_iterator(GifDataPath(dir)))
            if (e.path().extension() == ".gif")
                files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

TEST(GIFReader, SuitesDecodeLikeGiflib) {
    int compared = 0;
    for (const auto& path : SuiteFiles()) {
        const auto bytes = ReadFileBytes(path.string());
        const GiflibDecoded want = GiflibDecode(bytes);
        Loaded got = LoadBytes(bytes);
        if (!want.Ok)
            continue; // rejected by giflib; our outcome is checked elsewhere
        const std::string name = path.filename().string();
        // giflib fills what is missing from the screen's background colour
        // and decodes data past an unexpected code; here the fill is index 0
        // (or the transparent index) and a bad code ends decoding.
        if (name == "missing-pixels.gif" || name == "pixel-data-too-much-bad-lzw.gif" ||
            name == "invalid-code.gif" || name == "unknown-extension.gif")
            continue;
        ExpectSameAsGiflib(bytes, path.filename().string());
        ++compared;
    }
    EXPECT_GT(compared, 80);
}

// ---- Cut files ----

// Each cut re-reads its whole prefix, so the sweep costs the square of the
// dense range. Instrumented and unoptimised builds, ten times slower, sweep
// the first 512 bytes densely and every 13th offset to 4 KB; the fuzz target
// covers the rest under sanitizers.
#if defined(__SANITIZE_ADDRESS__) || !defined(NDEBUG)
constexpr std::size_t kDenseCut = 512;
constexpr std::size_t kSparseStep = 13;
#else
constexpr std::size_t kDenseCut = 4096;
constexpr std::size_t kSparseStep = 7;
#endif

TEST(GIFReader, FilesCutAnywhereLoadOrRaise) {
    std::size_t loads = 0;
    for (const auto& path : SuiteFiles()) {
        const auto bytes = ReadFileBytes(path.string());
        // Every offset of the first 4 KB, then about 24 cuts through the rest
        // (a cut late in a long animation reads most of it). The two files
        // above 256 KB, whose every cut allocates large frames, take every
        // offset of their first 1 KB and every 7th up to 4 KB.
        const std::size_t step = std::max<std::size_t>(251, bytes.size() / 24);
        const std::size_t dense =
            std::min<std::size_t>(bytes.size() > 262144 ? 1024 : 4096, kDenseCut);
        for (std::size_t cut = 0; cut < bytes.size(); cut += cut < dense  ? 1
                                                             : cut < 4096 ? kSparseStep
                                                                          : step) {
            TGIFDocument doc;
            doc.WarningHandler = [](TPersistent*, int, const std::string&) {};
            TReadOnlyMemoryStream s(bytes.data(), cut);
            try {
                doc.LoadFromStream(s);
            } catch (const GIFException&) {
            }
            ++loads;
        }
    }
    EXPECT_GT(loads, kDenseCut == 4096 ? 80000u : 20000u);
}

} // namespace
} // namespace framolo::test
