// Pictures added to documents: reduction, exact import, indexed sources,
// progress, transparency and other graphics, checked against giflib.
#include "color/color_lookup.h"
#include "gif/bitmap_import.h"
#include "gif/gif_document.h"
#include "gif_test_util.h"
#include "giflib_util.h"
#include "platform/graphics/canvas.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>
#include <string>
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

struct TProgressRecord {
    TPersistent* Sender;
    TProgressStage Stage;
    int Percent;
    std::string Message;
};

void Listen(TGIFDocument& doc, std::vector<TProgressRecord>& log) {
    doc.OnProgress = [&log](TPersistent* sender, TProgressStage stage, std::uint8_t percent, bool,
                            const TRect&, const std::string& message) {
        log.push_back({sender, stage, percent, message});
    };
}

// Every colour of a frame must agree with what giflib decodes from the file.
void ExpectFrameMatchesGiflib(TGIFSubImage& frame, const test::GiflibFrame& decoded,
                              const std::string& what) {
    ASSERT_EQ(decoded.Width, frame.Width()) << what;
    ASSERT_EQ(decoded.Height, frame.Height()) << what;
    ASSERT_EQ(decoded.Indexes.size(), frame.PixelCount()) << what;
    EXPECT_TRUE(std::equal(decoded.Indexes.begin(), decoded.Indexes.end(), frame.Pixels())) << what;
    const TGIFColorMap& map = frame.ColorMap();
    ASSERT_GE(static_cast<int>(decoded.Palette.size()), map.Count()) << what;
    for (int i = 0; i < map.Count(); ++i) {
        const TGIFColor c = map.Entry(i);
        const auto& d = decoded.Palette[static_cast<std::size_t>(i)];
        ASSERT_TRUE(d[0] == c.Red && d[1] == c.Green && d[2] == c.Blue) << what << " entry " << i;
    }
}

TEST(BitmapImport, PhotoThroughEveryMethodAndDitherModeSurvivesGiflib) {
    const std::unique_ptr<TBitmap> photo = LoadPhoto();
    ASSERT_EQ(photo->PixelFormat(), TPixelFormat::pf24bit);
    TGIFDocument doc;
    struct TCase {
        TColorReduction Method;
        TDitherMode Dither;
    };
    std::vector<TCase> cases;
    for (int m = 1; m <= 8; ++m)
        for (int d = 0; d <= 6; ++d) {
            const TCase c{static_cast<TColorReduction>(m), static_cast<TDitherMode>(d)};
            doc.SetColorReduction(c.Method);
            doc.SetDitherMode(c.Dither);
            doc.Add(*CopyOf(*photo));
            cases.push_back(c);
        }
    ASSERT_EQ(doc.Frames().Count(), 56);
    const test::GiflibDecoded decoded = GiflibDecode(SaveToBytes(doc));
    ASSERT_TRUE(decoded.Ok) << decoded.Error;
    ASSERT_EQ(decoded.Frames.size(), 56u);
    for (int i = 0; i < 56; ++i) {
        TGIFSubImage& frame = *doc.Frames()[i];
        const std::string what = "method " + std::to_string(static_cast<int>(cases[static_cast<std::size_t>(i)].Method)) +
                                 " dither " + std::to_string(static_cast<int>(cases[static_cast<std::size_t>(i)].Dither));
        // The reduced bitmap has a full table; its tail past the palette is black.
        EXPECT_EQ(frame.ColorMap().Count(), 256) << what;
        EXPECT_EQ(frame.Width(), 150);
        EXPECT_EQ(frame.Height(), 100);
        ExpectFrameMatchesGiflib(frame, decoded.Frames[static_cast<std::size_t>(i)], what);
    }

    // Without dithering the web cube and the gray ramp are plain per-pixel
    // maps, so every pixel can be predicted, rows in picture order.
    TGIFSubImage& netscape = *doc.Frames()[5 * 7];
    TGIFSubImage& gray = *doc.Frames()[4 * 7];
    ASSERT_EQ(cases[5 * 7].Method, TColorReduction::Netscape);
    ASSERT_EQ(cases[4 * 7].Method, TColorReduction::GrayScale);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 150; ++x) {
            const TColor c = photo->PixelColor(x, y);
            std::uint8_t r = 0;
            std::uint8_t g = 0;
            std::uint8_t b = 0;
            ASSERT_EQ(netscape.Pixel(x, y),
                      TNetscapeColorLookup::Map(GetRValue(c), GetGValue(c), GetBValue(c), r, g, b))
                << x << "," << y;
            ASSERT_EQ(gray.Pixel(x, y), TGrayScaleLookup::Map(GetRValue(c), GetGValue(c), GetBValue(c), r, g, b));
        }

    // The colour methods stay close to the photograph on average.
    for (int i = 0; i < 56; ++i) {
        const TColorReduction method = cases[static_cast<std::size_t>(i)].Method;
        if (method == TColorReduction::Monochrome || method == TColorReduction::WindowsGray ||
            method == TColorReduction::GrayScale || method == TColorReduction::Windows20)
            continue;
        TGIFSubImage& frame = *doc.Frames()[i];
        long long error = 0;
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 150; ++x) {
                const TColor a = photo->PixelColor(x, y);
                const TColor b = FrameColor(frame, x, y);
                error += std::abs(GetRValue(a) - GetRValue(b)) + std::abs(GetGValue(a) - GetGValue(b)) +
                         std::abs(GetBValue(a) - GetBValue(b));
            }
        EXPECT_LT(error / (150 * 100 * 3), 30) << "method " << static_cast<int>(method);
    }
}

TEST(BitmapImport, TrueColourSourceIsConvertedInPlaceExceptWithoutReduction) {
    const std::unique_ptr<TBitmap> photo = LoadPhoto();
    TGIFDocument doc;
    auto source = CopyOf(*photo);
    source->SetPixelFormat(TPixelFormat::pf32bit);
    doc.SetColorReduction(TColorReduction::NoReduction);
    EXPECT_THROW(doc.Add(*source), GIFException); // a photograph has far more than 256 colours
    EXPECT_EQ(source->PixelFormat(), TPixelFormat::pf32bit);
    doc.SetColorReduction(TColorReduction::Netscape);
    doc.Add(*source);
    EXPECT_EQ(source->PixelFormat(), TPixelFormat::pf24bit);
}

// A photograph cut down to at most 256 colours by dropping low bits.
std::unique_ptr<TBitmap> PosterizedPhoto(int keepBitsRed, int keepBitsGreen, int keepBitsBlue) {
    auto photo = LoadPhoto();
    auto mask = [](int bits) { return static_cast<std::uint8_t>(0xFF << (8 - bits)); };
    for (int y = 0; y < photo->Height(); ++y) {
        std::uint8_t* row = photo->ScanLine(y);
        for (int x = 0; x < photo->Width(); ++x) {
            row[3 * x] &= mask(keepBitsBlue);
            row[3 * x + 1] &= mask(keepBitsGreen);
            row[3 * x + 2] &= mask(keepBitsRed);
        }
    }
    return photo;
}

TEST(BitmapImport, NoReductionIsExactThroughTheFile) {
    const std::unique_ptr<TBitmap> picture = PosterizedPhoto(2, 3, 3); // at most 256 colours
    TGIFDocument doc;
    doc.SetColorReduction(TColorReduction::NoReduction);
    doc.SetDitherMode(TDitherMode::FloydSteinberg); // ignored without reduction
    doc.Add(*picture);
    TGIFSubImage& frame = *doc.Frames()[0];

    // Colours enter the table in order of first appearance, row by row.
    std::vector<TColor> order;
    std::set<TColor> seen;
    for (int y = 0; y < picture->Height(); ++y)
        for (int x = 0; x < picture->Width(); ++x)
            if (seen.insert(picture->PixelColor(x, y)).second)
                order.push_back(picture->PixelColor(x, y));
    ASSERT_GT(order.size(), 40u);
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
    TGIFSubImage& reread = *loaded.Frames()[0];
    for (int y = 0; y < picture->Height(); ++y)
        for (int x = 0; x < picture->Width(); ++x) {
            const TColor expected = picture->PixelColor(x, y);
            const auto& c = f.Palette[f.Indexes[static_cast<std::size_t>(y * f.Width + x)]];
            ASSERT_EQ(RGB(c[0], c[1], c[2]), expected) << x << "," << y;
            ASSERT_EQ(FrameColor(reread, x, y), expected) << x << "," << y;
        }
}

TEST(BitmapImport, TheColourAfterTheTwoHundredFiftySixthOverflowsAndLeavesTheDocumentAlone) {
    TBitmap picture(257, 2, TPixelFormat::pf24bit);
    for (int x = 0; x < 257; ++x) {
        std::uint8_t* p = picture.ScanLine(1) + 3 * x; // the bottom row is read last
        p[0] = static_cast<std::uint8_t>(x);
        p[1] = static_cast<std::uint8_t>(x >> 8);
    }
    TGIFDocument doc;
    doc.SetColorReduction(TColorReduction::NoReduction);
    std::vector<TProgressRecord> log;
    Listen(doc, log);
    try {
        doc.Add(picture);
        FAIL() << "no overflow";
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "Color table overflow");
    }
    EXPECT_EQ(doc.Frames().Count(), 0);
    EXPECT_EQ(doc.Width(), 0);
    EXPECT_EQ(doc.Height(), 0);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().Stage, TProgressStage::psEnding);
    EXPECT_EQ(log.back().Percent, 0);

    // One colour fewer fits exactly.
    picture.SetWidth(256);
    doc.Add(picture);
    EXPECT_EQ(doc.Frames()[0]->ColorMap().Count(), 256);
}

TEST(BitmapImport, IndexedSourcesKeepTheirPaletteWhateverTheReduction) {
    TGIFDocument doc;
    doc.SetColorReduction(TColorReduction::Monochrome);
    doc.SetDitherMode(TDitherMode::Stucki);

    // Odd widths show the nibble and bit order at the row's end.
    TBitmap eight(3, 2, TPixelFormat::pf8bit);
    std::vector<TRGBQuad> table(256);
    for (int i = 0; i < 256; ++i)
        table[static_cast<std::size_t>(i)] = TRGBQuad{static_cast<std::uint8_t>(i), 7, static_cast<std::uint8_t>(255 - i), 0};
    eight.SetColorTable(table);
    const std::uint8_t eightPixels[2][3] = {{200, 3, 17}, {0, 255, 128}};
    TBitmap four(5, 2, TPixelFormat::pf4bit);
    std::vector<TRGBQuad> table16(16);
    for (int i = 0; i < 16; ++i)
        table16[static_cast<std::size_t>(i)] = TRGBQuad{1, static_cast<std::uint8_t>(i * 16), 2, 0};
    four.SetColorTable(table16);
    TBitmap one(11, 2, TPixelFormat::pf1bit);
    one.SetColorTable({TRGBQuad{10, 20, 30, 0}, TRGBQuad{40, 50, 60, 0}});
    const std::uint8_t fourPixels[2][5] = {{1, 2, 15, 0, 9}, {14, 13, 12, 11, 10}};
    const std::uint8_t onePixels[2][11] = {{1, 0, 0, 1, 1, 0, 1, 0, 1, 1, 0}, {0, 1, 1, 1, 0, 0, 0, 0, 0, 0, 1}};
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x)
            eight.ScanLine(y)[x] = eightPixels[y][x];
        for (int x = 0; x < 5; ++x)
            four.ScanLine(y)[x / 2] |= static_cast<std::uint8_t>(x % 2 == 0 ? fourPixels[y][x] << 4 : fourPixels[y][x]);
        for (int x = 0; x < 11; ++x)
            one.ScanLine(y)[x / 8] |= static_cast<std::uint8_t>(onePixels[y][x] << (7 - x % 8));
    }
    for (TBitmap* source : {&eight, &four, &one}) {
        TGIFSubImage& frame = *doc.Frames()[doc.Add(*source)];
        const auto& colors = source->ColorTable();
        ASSERT_EQ(frame.ColorMap().Count(), static_cast<int>(colors.size()));
        for (std::size_t i = 0; i < colors.size(); ++i)
            EXPECT_EQ(frame.ColorMap().Color(static_cast<int>(i)),
                      RGB(colors[i].rgbRed, colors[i].rgbGreen, colors[i].rgbBlue));
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < source->Width(); ++x)
                EXPECT_EQ(FrameColor(frame, x, y), source->PixelColor(x, y)) << source->Width() << ": " << x << "," << y;
        EXPECT_EQ(source->PixelFormat(), source == &eight  ? TPixelFormat::pf8bit
                                         : source == &four ? TPixelFormat::pf4bit
                                                           : TPixelFormat::pf1bit);
    }
    EXPECT_EQ(doc.Frames()[0]->Pixel(0, 0), 200);
    EXPECT_EQ(doc.Frames()[1]->Pixel(4, 0), 9);
    EXPECT_EQ(doc.Frames()[2]->Pixel(10, 1), 1);
}

TEST(BitmapImport, ProgressIsReportedEveryThirtyTwoRowsAndNotForAnEmptyPicture) {
    TGIFDocument doc;
    std::vector<TProgressRecord> log;
    Listen(doc, log);

    TBitmap empty(0, 0, TPixelFormat::pf24bit);
    const int index = doc.Add(empty);
    EXPECT_TRUE(doc.Frames()[index]->Empty());
    EXPECT_TRUE(log.empty());

    for (const auto& [height, percents] :
         std::vector<std::pair<int, std::vector<int>>>{{100, {0, 32, 64, 96}}, {70, {0, 46, 91}}}) {
        log.clear();
        TBitmap picture(4, height, TPixelFormat::pf24bit);
        TGIFSubImage& frame = *doc.Frames()[doc.Add(picture)];
        ASSERT_EQ(log.size(), percents.size() + 2);
        EXPECT_EQ(log.front().Stage, TProgressStage::psStarting);
        EXPECT_EQ(log.front().Percent, 0);
        for (std::size_t i = 0; i < percents.size(); ++i) {
            EXPECT_EQ(log[i + 1].Stage, TProgressStage::psRunning);
            EXPECT_EQ(log[i + 1].Percent, percents[i]) << height;
        }
        EXPECT_EQ(log.back().Stage, TProgressStage::psEnding);
        EXPECT_EQ(log.back().Percent, 100);
        for (const TProgressRecord& r : log) {
            EXPECT_EQ(r.Sender, &frame);
            EXPECT_EQ(r.Message, "Converting...");
        }
    }
}

TEST(BitmapImport, QuicksortOrdersUsageLargestFirstAndIsNotStable) {
    std::vector<std::pair<std::int64_t, int>> usage{{1, 0}, {3, 1}, {3, 2}, {0, 3}, {2, 4}};
    SortColorUsage(usage);
    const std::vector<std::pair<std::int64_t, int>> expected{{3, 2}, {3, 1}, {2, 4}, {1, 0}, {0, 3}};
    EXPECT_EQ(usage, expected);

    // Packing a frame moves the entries the same way, renumbers every pixel
    // and cuts the unused tail.
    TGIFDocument doc;
    TGIFSubImage* frame = test::AddIndexedFrame(doc, 9, 1, 5, {0, 1, 1, 1, 2, 2, 2, 4, 4});
    std::vector<TColor> before;
    for (int i = 0; i < 5; ++i)
        before.push_back(frame->ColorMap().Color(i));
    PackFrameColorMap(*frame);
    ASSERT_EQ(frame->ColorMap().Count(), 4);
    EXPECT_TRUE(frame->ColorMap().Sorted());
    const std::vector<int> from{2, 1, 4, 0};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(frame->ColorMap().Color(i), before[static_cast<std::size_t>(from[static_cast<std::size_t>(i)])]);
    const std::vector<std::uint8_t> pixels(frame->Pixels(), frame->Pixels() + 9);
    EXPECT_EQ(pixels, (std::vector<std::uint8_t>{3, 1, 1, 1, 0, 0, 0, 2, 2}));
}

// A bitmap of the given pixel colours whose transparent colour is fixed.
std::unique_ptr<TBitmap> TransparentPicture(const std::vector<std::vector<TColor>>& rows, TColor transparent) {
    const int height = static_cast<int>(rows.size());
    const int width = static_cast<int>(rows[0].size());
    auto b = std::make_unique<TBitmap>(width, height, TPixelFormat::pf24bit);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = b->ScanLine(y) + 3 * x;
            const TColor c = rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)];
            p[0] = GetBValue(c);
            p[1] = GetGValue(c);
            p[2] = GetRValue(c);
        }
    b->SetTransparentColor(transparent);
    b->SetTransparent(true);
    return b;
}

TEST(BitmapImport, TransparentPictureGetsABlackTransparentEntryAfterPacking) {
    const TColor a = RGB(200, 10, 10);
    const TColor b = RGB(10, 200, 10);
    const TColor t = RGB(1, 2, 3);
    auto picture = TransparentPicture({{a, t, b, b}, {t, t, b, a}, {b, b, t, b}}, t);
    TGIFDocument doc;
    doc.SetColorReduction(TColorReduction::NoReduction);
    TGIFSubImage& frame = *doc.Frames()[doc.Add(*picture)];

    // First appearance gives a, t, b; use counts 2, 4, 6 pack them as b, t, a.
    ASSERT_EQ(frame.ColorMap().Count(), 4);
    EXPECT_EQ(frame.ColorMap().Color(0), b);
    EXPECT_EQ(frame.ColorMap().Color(1), t);
    EXPECT_EQ(frame.ColorMap().Color(2), a);
    EXPECT_EQ(frame.ColorMap().Color(3), clBlack);
    ASSERT_TRUE(frame.Transparent());
    ASSERT_NE(frame.GraphicControl(), nullptr);
    EXPECT_EQ(frame.GraphicControl()->TransparentColorIndex(), 3);
    EXPECT_EQ(frame.Extensions().Count(), 1);
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
    TGIFDocument doc;
    // 256 colours all in use: no room for the transparent entry.
    TBitmap full(16, 16, TPixelFormat::pf8bit);
    std::vector<TRGBQuad> table(256);
    for (int i = 0; i < 256; ++i) {
        table[static_cast<std::size_t>(i)] = TRGBQuad{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i / 2), 9, 0};
        full.ScanLine(i / 16)[i % 16] = static_cast<std::uint8_t>(i);
    }
    full.SetColorTable(table);
    full.SetTransparentColor(RGB(9, 2, 5)); // the colour of entry 5
    full.SetTransparent(true);
    TGIFSubImage& crowded = *doc.Frames()[doc.Add(full)];
    EXPECT_FALSE(crowded.Transparent());
    EXPECT_EQ(crowded.Extensions().Count(), 0);
    EXPECT_EQ(crowded.ColorMap().Count(), 256);

    // Three colours used of 256, none of them transparent: packed to three,
    // no black entry, no graphic control.
    TBitmap sparse(3, 2, TPixelFormat::pf8bit);
    sparse.SetColorTable(table);
    const std::uint8_t pixels[2][3] = {{7, 7, 40}, {7, 200, 40}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            sparse.ScanLine(y)[x] = pixels[y][x];
    sparse.SetTransparentColor(RGB(1, 1, 1));
    sparse.SetTransparent(true);
    TGIFSubImage& packed = *doc.Frames()[doc.Add(sparse)];
    EXPECT_FALSE(packed.Transparent());
    EXPECT_EQ(packed.Extensions().Count(), 0);
    ASSERT_EQ(packed.ColorMap().Count(), 3);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(FrameColor(packed, x, y), sparse.PixelColor(x, y));
    EXPECT_EQ(packed.Pixel(0, 0), 0); // the most used colour comes first
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
    TGIFDocument target;
    target.SetColorReduction(TColorReduction::Monochrome);
    TGIFSubImage& copy = *target.Frames()[target.Add(source)];
    ASSERT_EQ(copy.Width(), 5);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(FrameColor(copy, x, y), FrameColor(*original, x, y)) << x << "," << y;

    // A null source clears; an object that is no graphic is refused.
    copy.Assign(nullptr);
    EXPECT_TRUE(copy.Empty());
    EXPECT_EQ(copy.ColorMap().Count(), 0);
    TGIFColorMap notAGraphic;
    EXPECT_THROW(doc.Add(notAGraphic), GIFException);
}

} // namespace
} // namespace framolo
