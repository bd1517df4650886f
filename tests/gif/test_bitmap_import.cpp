// Pictures added to documents: reduction, exact import, indexed sources,
// progress, transparency and other graphics, checked against giflib.
#include "color/color_lookup.h"
#include "gif/bitmap_import.h"
#include "gif/gif_document.h"
#include "gif_test_util.h"
#include "giflib_util.h"
#include "platform/graphics/canvas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace framolo {
namespace {

using test::GiflibDecode;
using test::SaveToBytes;

std::unique_ptr<TBitmap> LoadPhoto() {
    auto photo = std::make_unique<TBitmap>();
    photo->LoadFromFile(std::string(FRAMOLO_TEST_DATA_DIR) + "/photo/coffee_150x100.bmp");
    return photo;
}

std::unique_ptr<TBitmap> CopyOf(const TBitmap& source) {
    auto copy = std::make_unique<TBitmap>();
    copy->Assign(&source);
    return copy;
}

TColor FrameColor(TGIFSubImage& frame, int x, int y) {
    return frame.ActiveColorMap().Color(frame.Pixel(x, y));
}

// An indexed bitmap (1, 4 or 8 bits) with the given table and index rows.
std::unique_ptr<TBitmap> IndexedBitmap(TPixelFormat format, std::vector<TRGBQuad> table,
                                       const std::vector<std::vector<int>>& rows) {
    const int bits = BitsPerPixelOf(format);
    auto b = std::make_unique<TBitmap>(static_cast<int>(rows[0].size()),
                                       static_cast<int>(rows.size()), format);
    b->SetColorTable(std::move(table));
    for (int y = 0; y < b->Height(); ++y)
        for (int x = 0; x < b->Width(); ++x) {
            const int bit = x * bits;
            b->ScanLine(y)[bit / 8] |= static_cast<std::uint8_t>(
                rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)]
                << (8 - bits - bit % 8));
        }
    return b;
}

// A 24-bit bitmap of the given colours.
std::unique_ptr<TBitmap> TrueColourBitmap(const std::vector<std::vector<TColor>>& rows) {
    auto b = std::make_unique<TBitmap>(static_cast<int>(rows[0].size()),
                                       static_cast<int>(rows.size()), TPixelFormat::pf24bit);
    for (int y = 0; y < b->Height(); ++y)
        for (int x = 0; x < b->Width(); ++x) {
            const TColor c = rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)];
            std::uint8_t* p = b->ScanLine(y) + 3 * x;
            p[0] = GetBValue(c);
            p[1] = GetGValue(c);
            p[2] = GetRValue(c);
        }
    return b;
}

void ExpectFrameMatchesGiflib(TGIFSubImage& frame, const test::GiflibFrame& decoded,
                              const std::string& what) {
    ASSERT_EQ(decoded.Indexes.size(), frame.PixelCount()) << what;
    EXPECT_TRUE(std::equal(decoded.Indexes.begin(), decoded.Indexes.end(), frame.Pixels())) << what;
    const TGIFColorMap& map = frame.ColorMap();
    ASSERT_GE(static_cast<int>(decoded.Palette.size()), map.Count()) << what;
    for (int i = 0; i < map.Count(); ++i) {
        const auto& d = decoded.Palette[static_cast<std::size_t>(i)];
        ASSERT_EQ(map.Entry(i), (TGIFColor{d[0], d[1], d[2]})) << what << " entry " << i;
    }
}

TEST(BitmapImport, PhotoThroughEveryMethodAndDitherModeSurvivesGiflib) {
    const std::unique_ptr<TBitmap> photo = LoadPhoto();
    TGIFDocument doc;
    for (int m = 1; m <= 8; ++m)
        for (int d = 0; d <= 6; ++d) {
            doc.SetColorReduction(static_cast<TColorReduction>(m));
            doc.SetDitherMode(static_cast<TDitherMode>(d));
            doc.Add(*CopyOf(*photo));
        }
    const test::GiflibDecoded decoded = GiflibDecode(SaveToBytes(doc));
    ASSERT_TRUE(decoded.Ok) << decoded.Error;
    ASSERT_EQ(decoded.Frames.size(), 56u);
    for (int i = 0; i < 56; ++i) {
        TGIFSubImage& frame = *doc.Frames()[i];
        // The reduced bitmap has a full table; its tail past the palette is black.
        EXPECT_EQ(frame.ColorMap().Count(), 256);
        ExpectFrameMatchesGiflib(frame, decoded.Frames[static_cast<std::size_t>(i)],
                                 "method " + std::to_string(i / 7 + 1) + " dither " +
                                     std::to_string(i % 7));
    }
    // Without dithering the web cube and the gray ramp map pixel by pixel,
    // so every pixel is predictable, rows in picture order.
    TGIFSubImage& netscape = *doc.Frames()[5 * 7];
    TGIFSubImage& gray = *doc.Frames()[4 * 7];
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 150; ++x) {
            const TColor c = photo->PixelColor(x, y);
            std::uint8_t r = 0, g = 0, b = 0;
            ASSERT_EQ(netscape.Pixel(x, y),
                      TNetscapeColorLookup::Map(GetRValue(c), GetGValue(c), GetBValue(c), r, g, b));
            ASSERT_EQ(gray.Pixel(x, y),
                      TGrayScaleLookup::Map(GetRValue(c), GetGValue(c), GetBValue(c), r, g, b));
        }

    // The caller's true-colour bitmap becomes 24-bit, except without reduction.
    auto wide = CopyOf(*photo);
    wide->SetPixelFormat(TPixelFormat::pf32bit);
    doc.SetColorReduction(TColorReduction::NoReduction);
    EXPECT_THROW(doc.Add(*wide), GIFException); // far more than 256 colours
    EXPECT_EQ(wide->PixelFormat(), TPixelFormat::pf32bit);
    doc.SetColorReduction(TColorReduction::Quantize);
    doc.Add(*wide);
    EXPECT_EQ(wide->PixelFormat(), TPixelFormat::pf24bit);
}

TEST(BitmapImport, NoReductionIsExactThroughTheFile) {
    // The photograph cut to at most 4 x 8 x 8 colours by dropping low bits.
    auto picture = LoadPhoto();
    for (int y = 0; y < picture->Height(); ++y)
        for (int x = 0; x < picture->Width(); ++x) {
            std::uint8_t* p = picture->ScanLine(y) + 3 * x;
            p[0] &= 0xE0;
            p[1] &= 0xE0;
            p[2] &= 0xC0;
        }
    TGIFDocument doc;
    doc.SetColorReduction(TColorReduction::NoReduction);
    doc.SetDitherMode(TDitherMode::FloydSteinberg); // no effect without reduction
    TGIFSubImage& frame = *doc.Frames()[doc.Add(*picture)];

    // Colours enter the table in order of first appearance, row by row.
    std::vector<TColor> order;
    std::set<TColor> seen;
    for (int y = 0; y < picture->Height(); ++y)
        for (int x = 0; x < picture->Width(); ++x)
            if (seen.insert(picture->PixelColor(x, y)).second)
                order.push_back(picture->PixelColor(x, y));
    ASSERT_EQ(frame.ColorMap().Count(), static_cast<int>(order.size()));
    for (std::size_t i = 0; i < order.size(); ++i)
        EXPECT_EQ(frame.ColorMap().Color(static_cast<int>(i)), order[i]);

    const std::vector<std::uint8_t> bytes = SaveToBytes(doc);
    const test::GiflibDecoded decoded = GiflibDecode(bytes);
    ASSERT_TRUE(decoded.Ok) << decoded.Error;
    const test::GiflibFrame& f = decoded.Frames.at(0);
    TGIFDocument loaded;
    TReadOnlyMemoryStream stream(bytes.data(), bytes.size());
    loaded.LoadFromStream(stream);
    for (int y = 0; y < picture->Height(); ++y)
        for (int x = 0; x < picture->Width(); ++x) {
            const auto& c = f.Palette[f.Indexes[static_cast<std::size_t>(y * f.Width + x)]];
            ASSERT_EQ(RGB(c[0], c[1], c[2]), picture->PixelColor(x, y)) << x << "," << y;
            ASSERT_EQ(FrameColor(*loaded.Frames()[0], x, y), picture->PixelColor(x, y))
                << x << "," << y;
        }
}

TEST(BitmapImport, TheColourAfterTheTwoHundredFiftySixthOverflowsAndLeavesTheDocumentAlone) {
    std::vector<TColor> colours;
    for (int i = 0; i < 257; ++i)
        colours.push_back(RGB(0, static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)));
    auto picture = TrueColourBitmap({colours, colours});
    TGIFDocument doc;
    doc.SetColorReduction(TColorReduction::NoReduction);
    std::vector<int> ends;
    doc.OnProgress = [&](TPersistent*, TProgressStage stage, std::uint8_t percent, bool,
                         const TRect&, const std::string&) {
        if (stage == TProgressStage::psEnding)
            ends.push_back(percent);
    };
    EXPECT_EQ(test::GIFErrorOf([&] { doc.Add(*picture); }), "Color table overflow")
        << "no overflow";
    EXPECT_EQ(ends, std::vector<int>{0});
    EXPECT_TRUE(doc.Empty());
    EXPECT_EQ(doc.Width(), 0);
    EXPECT_EQ(doc.Height(), 0);
    picture->SetWidth(256); // one colour fewer fits exactly
    EXPECT_EQ(doc.Frames()[doc.Add(*picture)]->ColorMap().Count(), 256);
}

TEST(BitmapImport, IndexedSourcesKeepTheirPaletteWhateverTheReduction) {
    TGIFDocument doc;
    doc.SetColorReduction(TColorReduction::Monochrome);
    doc.SetDitherMode(TDitherMode::Stucki);
    std::vector<TRGBQuad> table(256);
    for (std::size_t i = 0; i < 256; ++i)
        table[i] = TRGBQuad{static_cast<std::uint8_t>(i), 7, static_cast<std::uint8_t>(255 - i), 0};
    // Odd widths show the nibble and bit order up to the row's end.
    std::unique_ptr<TBitmap> sources[] = {
        IndexedBitmap(TPixelFormat::pf8bit, table, {{200, 3, 17}, {0, 255, 128}}),
        IndexedBitmap(TPixelFormat::pf4bit, {table.begin() + 100, table.begin() + 116},
                      {{1, 2, 15, 0, 9}, {14, 13, 12, 11, 10}}),
        IndexedBitmap(TPixelFormat::pf1bit, {table[40], table[90]},
                      {{1, 0, 0, 1, 1, 0, 1, 0, 1, 1, 0}, {0, 1, 1, 1, 0, 0, 0, 0, 0, 0, 1}}),
    };
    for (auto& source : sources) {
        const TPixelFormat format = source->PixelFormat();
        TGIFSubImage& frame = *doc.Frames()[doc.Add(*source)];
        const auto& colors = source->ColorTable();
        ASSERT_EQ(frame.ColorMap().Count(), static_cast<int>(colors.size()));
        for (std::size_t i = 0; i < colors.size(); ++i)
            EXPECT_EQ(frame.ColorMap().Color(static_cast<int>(i)),
                      RGB(colors[i].rgbRed, colors[i].rgbGreen, colors[i].rgbBlue));
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < source->Width(); ++x)
                EXPECT_EQ(FrameColor(frame, x, y), source->PixelColor(x, y))
                    << source->Width() << ": " << x << "," << y;
        EXPECT_EQ(source->PixelFormat(), format);
    }
    EXPECT_EQ(doc.Frames()[1]->Pixel(4, 0), 9);
    EXPECT_EQ(doc.Frames()[2]->Pixel(10, 1), 1);
}

TEST(BitmapImport, ProgressIsReportedEveryThirtyTwoRowsAndNotForAnEmptyPicture) {
    TGIFDocument doc;
    std::vector<std::tuple<TPersistent*, TProgressStage, int>> log;
    doc.OnProgress = [&](TPersistent* sender, TProgressStage stage, std::uint8_t percent, bool,
                         const TRect&, const std::string& message) {
        EXPECT_EQ(message, "Converting...");
        log.emplace_back(sender, stage, percent);
    };
    TBitmap empty(0, 0, TPixelFormat::pf24bit);
    EXPECT_TRUE(doc.Frames()[doc.Add(empty)]->Empty());
    EXPECT_TRUE(log.empty());

    // 100 rows: rows 0, 32, 64, 96. 70 rows: 45.7 % rounds up to 46.
    for (const auto& [height, percents] : std::vector<std::pair<int, std::vector<int>>>{
             {100, {0, 0, 32, 64, 96, 100}}, {70, {0, 0, 46, 91, 100}}}) {
        log.clear();
        TBitmap picture(4, height, TPixelFormat::pf24bit);
        TGIFSubImage* frame = doc.Frames()[doc.Add(picture)];
        ASSERT_EQ(log.size(), percents.size());
        for (std::size_t i = 0; i < log.size(); ++i) {
            const auto& [sender, stage, percent] = log[i];
            EXPECT_EQ(sender, frame);
            EXPECT_EQ(stage, i == 0                ? TProgressStage::psStarting
                             : i + 1 == log.size() ? TProgressStage::psEnding
                                                   : TProgressStage::psRunning);
            EXPECT_EQ(percent, percents[i]) << height << " #" << i;
        }
    }
}

TEST(BitmapImport, PackingSortsUsageLargestFirstWithTheUnstableQuicksort) {
    std::vector<std::pair<std::int64_t, int>> usage{{1, 0}, {3, 1}, {3, 2}, {0, 3}, {2, 4}};
    SortColorUsage(usage);
    EXPECT_EQ(usage,
              (std::vector<std::pair<std::int64_t, int>>{{3, 2}, {3, 1}, {2, 4}, {1, 0}, {0, 3}}));
    // Any table size and any counts (many equal ones) end sorted, nothing lost.
    std::mt19937 rng(17);
    for (int n = 1; n <= 256; n += 5) {
        std::vector<std::pair<std::int64_t, int>> random;
        for (int i = 0; i < n; ++i)
            random.emplace_back(std::uniform_int_distribution<int>(0, n % 7 + 1)(rng), i);
        SortColorUsage(random);
        EXPECT_TRUE(std::is_sorted(random.begin(), random.end(),
                                   [](const auto& a, const auto& b) { return a.first > b.first; }));
        std::set<int> entries;
        for (const auto& pair : random)
            entries.insert(pair.second);
        EXPECT_EQ(static_cast<int>(entries.size()), n);
    }

    // The frame's entries move the same way, pixels follow, the unused tail goes.
    TGIFDocument doc;
    TGIFSubImage* frame = test::AddIndexedFrame(doc, 9, 1, 5, {0, 1, 1, 1, 2, 2, 2, 4, 4});
    std::vector<TColor> before;
    for (int i = 0; i < 5; ++i)
        before.push_back(frame->ColorMap().Color(i));
    PackFrameColorMap(*frame);
    ASSERT_EQ(frame->ColorMap().Count(), 4);
    const int from[] = {2, 1, 4, 0};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(frame->ColorMap().Color(i), before[static_cast<std::size_t>(from[i])]);
    EXPECT_EQ(std::vector<std::uint8_t>(frame->Pixels(), frame->Pixels() + 9),
              (std::vector<std::uint8_t>{3, 1, 1, 1, 0, 0, 0, 2, 2}));
}

TEST(BitmapImport, TransparentPictureGetsABlackTransparentEntryAfterPacking) {
    const TColor a = RGB(200, 10, 10), b = RGB(10, 200, 10), t = RGB(1, 2, 3);
    auto picture = TrueColourBitmap({{a, t, b, b}, {t, t, b, a}, {b, b, t, b}});
    picture->SetTransparentColor(t);
    picture->SetTransparent(true);
    TGIFDocument doc;
    doc.SetColorReduction(TColorReduction::NoReduction);
    TGIFSubImage& frame = *doc.Frames()[doc.Add(*picture)];

    // Imported as a, t, b; used 2, 4 and 6 times, packed as b, t, a.
    const std::vector<TColor> expected{b, t, a, clBlack};
    ASSERT_EQ(frame.ColorMap().Count(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(frame.ColorMap().Color(i), expected[static_cast<std::size_t>(i)]);
    ASSERT_TRUE(frame.Transparent());
    EXPECT_EQ(frame.GraphicControl()->TransparentColorIndex(), 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            const TColor c = picture->PixelColor(x, y);
            EXPECT_EQ(frame.Pixel(x, y), c == t ? 3 : c == b ? 0 : 2) << x << "," << y;
        }
    const test::GiflibDecoded decoded = GiflibDecode(SaveToBytes(doc));
    ASSERT_TRUE(decoded.Ok) << decoded.Error;
    EXPECT_EQ(decoded.Frames.at(0).TransparentIndex, 3);
    ExpectFrameMatchesGiflib(frame, decoded.Frames[0], "transparent");
}

TEST(BitmapImport, TransparencyNeedsRoomInTheTableAndAMaskedPixel) {
    std::vector<TRGBQuad> table(256);
    std::vector<std::vector<int>> all(16, std::vector<int>(16));
    for (int i = 0; i < 256; ++i) {
        table[static_cast<std::size_t>(i)] =
            TRGBQuad{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i / 2), 9, 0};
        all[static_cast<std::size_t>(i / 16)][static_cast<std::size_t>(i % 16)] = i;
    }
    TGIFDocument doc;
    // All 256 colours in use: no room for the transparent entry.
    auto full = IndexedBitmap(TPixelFormat::pf8bit, table, all);
    full->SetTransparentColor(RGB(9, 2, 5)); // entry 5
    full->SetTransparent(true);
    TGIFSubImage& crowded = *doc.Frames()[doc.Add(*full)];
    EXPECT_FALSE(crowded.Transparent());
    EXPECT_EQ(crowded.Extensions().Count(), 0);
    EXPECT_EQ(crowded.ColorMap().Count(), 256);

    // Three of 256 colours used, none transparent: packed, no black entry.
    auto sparse = IndexedBitmap(TPixelFormat::pf8bit, table, {{7, 7, 40}, {7, 200, 40}});
    sparse->SetTransparentColor(RGB(1, 1, 1));
    sparse->SetTransparent(true);
    TGIFSubImage& packed = *doc.Frames()[doc.Add(*sparse)];
    EXPECT_FALSE(packed.Transparent());
    EXPECT_EQ(packed.Extensions().Count(), 0);
    ASSERT_EQ(packed.ColorMap().Count(), 3);
    EXPECT_EQ(packed.Pixel(0, 0), 0); // the most used colour comes first
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(FrameColor(packed, x, y), sparse->PixelColor(x, y));
}

// A graphic that cannot turn itself into a bitmap, only draw itself.
class TStripes : public TGraphic {
public:
    int Width() const override { return 6; }
    int Height() const override { return 4; }
    void SetWidth(int) override {}
    void SetHeight(int) override {}
    void LoadFromStream(TStream&) override {}
    void SaveToStream(TStream&) override {}
    void Draw(TCanvas& canvas, const TRect& rect) override {
        for (int x = rect.Left; x < rect.Right; x += 2)
            canvas.FillRect(TRect{x, rect.Top, x + 1, rect.Bottom}, RGB(30, 60, 90));
    }

protected:
    bool GetEmpty() const override { return false; }
};

TEST(BitmapImport, OtherGraphicsAreDrawnOrAssignedThroughABitmap) {
    TGIFDocument doc;
    doc.SetColorReduction(TColorReduction::NoReduction);
    TStripes stripes;
    TGIFSubImage& drawn = *doc.Frames()[doc.Add(stripes)];
    ASSERT_EQ(drawn.Width(), 6);
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(FrameColor(drawn, x, 3), x % 2 == 0 ? RGB(30, 60, 90) : clWhite) << x;

    // A document added to another arrives as its whole-document bitmap.
    TGIFDocument source;
    TGIFSubImage* original = test::AddIndexedFrame(source, 5, 4, 7, test::RandomPixels(20, 7, 3));
    TGIFSubImage& copy = *doc.Frames()[doc.Add(source)];
    ASSERT_EQ(copy.Width(), 5);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(FrameColor(copy, x, y), FrameColor(*original, x, y)) << x << "," << y;

    // A null source clears; an object that is no graphic is refused.
    copy.Assign(nullptr);
    EXPECT_TRUE(copy.Empty());
    TGIFColorMap notAGraphic;
    EXPECT_THROW(doc.Add(notAGraphic), GIFException);
}

} // namespace
} // namespace framolo
