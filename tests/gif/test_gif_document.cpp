#include "gif/gif_document.h"
#include "gif_test_util.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace framolo {
namespace {

using test::AddGraphicControl;
using test::AddIndexedFrame;

TEST(GifDocument, NewDocumentDefaults) {
    TGIFDocument doc;
    EXPECT_TRUE(doc.Empty());
    EXPECT_EQ(doc.Width(), 0);
    EXPECT_EQ(doc.Height(), 0);
    EXPECT_EQ(doc.ColorReduction(), TColorReduction::Netscape);
    EXPECT_EQ(doc.DitherMode(), TDitherMode::Nearest);
    EXPECT_EQ(doc.QuantizeBits(), 8);
    EXPECT_EQ(doc.DataCoding(), 0);
    EXPECT_EQ(doc.PaintOptions(), 0x060F);
    EXPECT_EQ(doc.SpeedPercent(), 100);
    EXPECT_EQ(doc.PainterPriority(), 3);
    EXPECT_EQ(doc.PaintBackground(), clNone);
    EXPECT_EQ(doc.Version(), 0);

    // The main window's start-up change reaches later documents only.
    const TGIFDrawOptions saved = DefaultPaintOptions;
    DefaultPaintOptions = static_cast<TGIFDrawOptions>(DefaultPaintOptions | poOnTarget);
    TGIFDocument later;
    EXPECT_EQ(later.PaintOptions(), 0x064F);
    EXPECT_EQ(doc.PaintOptions(), 0x060F);
    DefaultPaintOptions = saved;
}

TEST(GifDocument, ScreenSizeCannotShrinkBelowAFrame) {
    TGIFDocument doc;
    AddIndexedFrame(doc, 10, 8, 2, {}, 5, 2);
    EXPECT_EQ(doc.Width(), 15);
    EXPECT_EQ(doc.Height(), 10);
    EXPECT_EQ(test::GIFErrorOf([&] { doc.SetWidth(14); }),
              "Image width too small for contained frames");
    EXPECT_THROW(doc.SetHeight(9), GIFException);
    EXPECT_EQ(doc.Width(), 15);
    EXPECT_EQ(doc.Height(), 10);
    int changes = 0;
    doc.OnChange = [&](TPersistent*) { ++changes; };
    doc.SetWidth(40);
    doc.SetWidth(40);
    EXPECT_EQ(doc.Width(), 40);
    EXPECT_EQ(changes, 1);
}

TEST(GifDocument, FirstFrameSizesTheScreenWithoutWarnings) {
    TGIFDocument doc;
    int warnings = 0;
    doc.WarningHandler = [&](TPersistent*, int, const std::string&) { ++warnings; };
    AddIndexedFrame(doc, 120, 90, 2, {});
    EXPECT_EQ(doc.Width(), 120);
    EXPECT_EQ(doc.Height(), 90);
    EXPECT_EQ(warnings, 0);
    // A frame that fits warns nothing either.
    AddIndexedFrame(doc, 20, 20, 2, {}, 100, 70);
    EXPECT_EQ(warnings, 0);
}

TEST(GifDocument, ClearKeepsBackgroundAndAspect) {
    TGIFDocument doc;
    doc.Header().SetBackgroundColorIndex(7);
    doc.Header().SetAspectRatio(49);
    doc.GlobalColorMap().Add(RGB(1, 2, 3));
    AddIndexedFrame(doc, 3, 3, 2, {});
    doc.Clear();
    EXPECT_TRUE(doc.Empty());
    EXPECT_EQ(doc.Width(), 0);
    EXPECT_EQ(doc.GlobalColorMap().Count(), 0);
    EXPECT_EQ(doc.Header().BackgroundColorIndex(), 7);
    EXPECT_EQ(doc.Header().AspectRatio(), 49);
}

TEST(GifFrame, BoundsReplacePixelsOnlyWhenTheSizeChanges) {
    TGIFDocument doc;
    TGIFSubImage* f = AddIndexedFrame(doc, 4, 3, 4, std::vector<std::uint8_t>(12, 3));
    f->SetLeft(1);
    EXPECT_EQ(f->Pixel(0, 0), 3);
    f->SetWidth(5);
    ASSERT_EQ(f->PixelCount(), 15u);
    for (std::size_t i = 0; i < 15; ++i)
        EXPECT_EQ(f->Pixels()[i], 0);
    f->SetHeight(0);
    EXPECT_TRUE(f->Empty());
    EXPECT_EQ(f->PixelCount(), 0u);
    EXPECT_THROW(f->SetWidth(-1), GIFException);
    EXPECT_THROW(f->SetWidth(70000), GIFException);
}

TEST(GifFrame, PixelAccessChecksCoordinates) {
    TGIFDocument doc;
    TGIFSubImage* f = AddIndexedFrame(doc, 3, 2, 2, {0, 1, 0, 1, 1, 1});
    EXPECT_EQ(f->Pixel(1, 0), 1);
    EXPECT_EQ(f->Scanline(1)[0], 1);
    for (auto [x, y] : {std::pair{3, 0}, std::pair{-1, 0}, std::pair{0, 2}, std::pair{0, -1}}) {
        EXPECT_EQ(test::GIFErrorOf([&] { f->Pixel(x, y); }), "Invalid pixel coordinates")
            << x << "," << y;
    }
    TGIFSubImage empty(&doc);
    EXPECT_THROW(empty.Scanline(0), GIFException);
    // A frame with height but no width has no pixel area.
    empty.SetBounds(0, 0, 0, 2);
    EXPECT_EQ(test::GIFErrorOf([&] { empty.Scanline(0); }), "Image is empty");
}

TEST(GifFrame, OversizedFrameIsRefusedBeforeAllocating) {
    TGIFDocument doc;
    TGIFSubImage f(&doc);
    EXPECT_THROW(f.SetBounds(0, 0, 65535, 65535), GIFException);
    EXPECT_EQ(f.PixelCount(), 0u);
    EXPECT_NO_THROW(f.SetBounds(0, 0, 8000, 8000));
}

TEST(GifFrame, VersionFollowsExtensionsAndSortedTables) {
    TGIFDocument doc;
    TGIFSubImage* f = AddIndexedFrame(doc, 1, 1, 2, {0});
    EXPECT_EQ(f->Version(), 1);
    f->ColorMap().SetSorted(true);
    EXPECT_EQ(f->Version(), 2);
    f->ColorMap().SetSorted(false);
    AddGraphicControl(f);
    EXPECT_EQ(f->Version(), 2);
    EXPECT_EQ(doc.Version(), 2);
}

TEST(GifGraphicControl, LinksOnlyTheFirstAndUnlinksOnDestruction) {
    TGIFDocument doc;
    TGIFSubImage* f = AddIndexedFrame(doc, 1, 1, 4, {0});
    TGIFGraphicControlExtension* first = AddGraphicControl(f);
    EXPECT_EQ(f->GraphicControl(), first);
    TGIFGraphicControlExtension* second = AddGraphicControl(f);
    EXPECT_EQ(f->GraphicControl(), first);
    first->SetTransparent(true);
    EXPECT_TRUE(f->Transparent());
    f->Extensions().Delete(f->Extensions().IndexOf(first));
    EXPECT_EQ(f->GraphicControl(), nullptr);
    EXPECT_FALSE(f->Transparent());
    f->Extensions().Delete(f->Extensions().IndexOf(second));
    EXPECT_EQ(f->Extensions().Count(), 0);
}

TEST(GifGraphicControl, FieldsAndTransparentIndexCheck) {
    TGIFDocument doc;
    std::vector<std::string> warnings;
    doc.WarningHandler = [&](TPersistent*, int, const std::string& m) { warnings.push_back(m); };
    TGIFSubImage* f = AddIndexedFrame(doc, 1, 1, 4, {0});
    TGIFGraphicControlExtension* g = AddGraphicControl(f);
    g->SetDisposal(3);
    g->SetTransparent(true);
    g->SetDisposal(2);
    EXPECT_EQ(g->Disposal(), 2);
    EXPECT_TRUE(g->Transparent());
    g->SetDelay(65535);
    EXPECT_EQ(g->Delay(), 65535);
    g->SetTransparentColorIndex(3);
    EXPECT_EQ(g->TransparentColorIndex(), 3);
    g->SetTransparentColorIndex(4);
    EXPECT_EQ(g->TransparentColorIndex(), 0);
    EXPECT_EQ(warnings, std::vector<std::string>{"Invalid color index"});
}

TEST(GifColorMap, AddIndexOfDeleteAndLimits) {
    TGIFColorMap map;
    EXPECT_EQ(map.BitsPerPixel(), 0);
    map.Add(RGB(1, 1, 1));
    EXPECT_EQ(map.BitsPerPixel(), 1);
    EXPECT_EQ(map.Capacity(), 16);
    map.Add(RGB(2, 2, 2));
    map.Add(RGB(1, 1, 1));
    EXPECT_EQ(map.BitsPerPixel(), 2);
    EXPECT_EQ(map.IndexOf(RGB(1, 1, 1)), 2);
    map.SetSorted(true);
    EXPECT_EQ(map.IndexOf(RGB(1, 1, 1)), 0);
    EXPECT_EQ(map.IndexOf(RGB(9, 9, 9)), -1);
    EXPECT_EQ(map.AddUnique(RGB(2, 2, 2)), 1);
    EXPECT_EQ(map.Count(), 3);
    EXPECT_THROW(map.Delete(3), GIFException);
    map.Delete(0);
    EXPECT_FALSE(map.Sorted());
    EXPECT_EQ(map.Color(0), RGB(2, 2, 2));
    // Out of range reads entry 0.
    EXPECT_EQ(map.Color(99), RGB(2, 2, 2));

    TGIFColorMap full;
    for (int i = 0; i < 256; ++i) {
        full.Add(RGB(static_cast<std::uint8_t>(i), 0, 0));
        if (i == 16) {
            EXPECT_EQ(full.Capacity(), 32);
        }
    }
    EXPECT_EQ(full.Capacity(), 256);
    EXPECT_EQ(full.BitsPerPixel(), 8);
    EXPECT_EQ(test::GIFErrorOf([&] { full.Add(0); }), "Color table overflow");
    TGIFColorMap empty;
    EXPECT_EQ(test::GIFErrorOf([&] { empty.Color(0); }), "Color table is empty");
}

TEST(GifColorMap, ActiveMapAndPalettes) {
    TGIFDocument doc;
    TGIFSubImage* f = AddIndexedFrame(doc, 1, 1, 0, {0});
    EXPECT_EQ(&f->ActiveColorMap(), &f->ColorMap());
    doc.GlobalColorMap().Add(RGB(5, 6, 7));
    EXPECT_EQ(&f->ActiveColorMap(), &doc.GlobalColorMap());
    f->ColorMap().Add(RGB(1, 2, 3));
    EXPECT_EQ(&f->ActiveColorMap(), &f->ColorMap());
    const HPALETTE p = f->ColorMap().MakePalette();
    ASSERT_TRUE(p);
    ASSERT_EQ(p->Count(), 1);
    EXPECT_EQ(p->Entries[0], (TPaletteEntry{1, 2, 3, PC_NOCOLLAPSE}));
    EXPECT_EQ(TGIFColorMap().MakePalette(), nullptr);

    const TRGBQuad table[2] = {{30, 20, 10, 0}, {3, 2, 1, 0}};
    f->ColorMap().LoadFromColorTable(table, 2);
    EXPECT_EQ(f->ColorMap().Color(0), RGB(10, 20, 30));
    f->ColorMap().LoadFromPalette(p);
    EXPECT_EQ(f->ColorMap().Count(), 1);
}

TEST(GifDocument, ResetRenderCachesMovesALoneLocalTableIntoTheGlobalOne) {
    TGIFDocument doc;
    TGIFSubImage* f = AddIndexedFrame(doc, 2, 2, 3, {0, 1, 2, 0});
    doc.SetPaintOptions(static_cast<TGIFDrawOptions>(doc.PaintOptions() ^ poTiled));
    EXPECT_EQ(f->ColorMap().Count(), 0);
    EXPECT_EQ(doc.GlobalColorMap().Count(), 3);

    TGIFDocument two;
    AddIndexedFrame(two, 2, 2, 3, {0, 1, 2, 0});
    AddIndexedFrame(two, 2, 2, 3, {0, 1, 2, 0});
    two.ResetRenderCaches();
    EXPECT_EQ(two.GlobalColorMap().Count(), 0);
}

TEST(GifDocument, AddingAnUnsupportedObjectRaises) {
    TGIFDocument doc;
    TGIFColorMap notAGraphic;
    EXPECT_EQ(test::GIFErrorOf([&] { doc.Add(notAGraphic); }),
              "Object type not supported for operation");
    EXPECT_TRUE(doc.Empty());
}

TEST(GifRegistries, BuiltInClassesAndLaterRegistrationsWin) {
    EXPECT_EQ(FindExtension(0xF9), &TGIFGraphicControlExtension::ClassInfo());
    EXPECT_EQ(FindExtension(0xFE), &TGIFCommentExtension::ClassInfo());
    EXPECT_EQ(FindExtension(0x01), &TGIFTextExtension::ClassInfo());
    EXPECT_EQ(FindExtension(0xFF), &TGIFApplicationExtension::ClassInfo());
    EXPECT_EQ(FindExtension(0x42), nullptr);
    EXPECT_EQ(FindAppExtension(MakeAppIdentifier("NETSCAPE2.0")), &TGIFAppExtNSLoop::ClassInfo());
    EXPECT_EQ(FindAppExtension(MakeAppIdentifier("ANIMEXTS1.0")), &TGIFAppExtNSLoop::ClassInfo());
    EXPECT_EQ(FindAppExtension(MakeAppIdentifier("NETSCAPE2.1")), nullptr);
    const TGIFApplicationRec id = MakeAppIdentifier("FRAMOLOTEST");
    RegisterAppExtension(id, &TGIFAppExtNSLoop::ClassInfo());
    RegisterAppExtension(id, &TGIFUnknownAppExtension::ClassInfo());
    EXPECT_EQ(FindAppExtension(id), &TGIFUnknownAppExtension::ClassInfo());
}

} // namespace
} // namespace framolo
