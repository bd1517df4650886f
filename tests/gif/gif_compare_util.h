#pragma once

// Whether two documents hold the same file content.

#include "gif/gif_document.h"

#include <gtest/gtest.h>

#include <string>

namespace framolo::test {

// Colour tables are equal when their entries are, except that one may go on
// with black entries: the writer pads every table to a power of two.
inline void ExpectSameColors(const TGIFColorMap& a, const TGIFColorMap& b) {
    const TGIFColorMap& longer = a.Count() >= b.Count() ? a : b;
    const TGIFColorMap& shorter = a.Count() >= b.Count() ? b : a;
    for (int i = 0; i < longer.Count(); ++i)
        EXPECT_EQ(longer.Entry(i), i < shorter.Count() ? shorter.Entry(i) : TGIFColor{})
            << "colour " << i;
    EXPECT_EQ(BitsForColors(a.Count()), BitsForColors(b.Count()));
}

inline std::string Joined(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& l : lines)
        s += l;
    return s;
}

inline void ExpectSameExtension(TGIFExtension* a, TGIFExtension* b) {
    ASSERT_EQ(typeid(*a), typeid(*b));
    if (auto* g = dynamic_cast<TGIFGraphicControlExtension*>(a)) {
        auto* h = static_cast<TGIFGraphicControlExtension*>(b);
        EXPECT_EQ(g->Delay(), h->Delay());
        EXPECT_EQ(g->Disposal(), h->Disposal());
        EXPECT_EQ(g->Transparent(), h->Transparent());
        EXPECT_EQ(g->UserInput(), h->UserInput());
        EXPECT_EQ(g->TransparentColorIndex(), h->TransparentColorIndex());
    } else if (auto* t = dynamic_cast<TGIFTextExtension*>(a)) {
        auto* u = static_cast<TGIFTextExtension*>(b);
        EXPECT_EQ(t->Record().Left, u->Record().Left);
        EXPECT_EQ(t->Record().Top, u->Record().Top);
        EXPECT_EQ(t->Record().Width, u->Record().Width);
        EXPECT_EQ(t->Record().Height, u->Record().Height);
        EXPECT_EQ(t->Record().CellWidth, u->Record().CellWidth);
        EXPECT_EQ(t->Record().CellHeight, u->Record().CellHeight);
        EXPECT_EQ(t->Record().TextFGColorIndex, u->Record().TextFGColorIndex);
        EXPECT_EQ(t->Record().TextBGColorIndex, u->Record().TextBGColorIndex);
        // Text travels in blocks of up to 255 bytes: a long line comes back
        // as several.
        EXPECT_EQ(Joined(t->Lines), Joined(u->Lines));
    } else if (auto* c = dynamic_cast<TGIFCommentExtension*>(a)) {
        EXPECT_EQ(Joined(c->Lines), Joined(static_cast<TGIFCommentExtension*>(b)->Lines));
    } else if (auto* l = dynamic_cast<TGIFAppExtNSLoop*>(a)) {
        auto* m = static_cast<TGIFAppExtNSLoop*>(b);
        EXPECT_EQ(l->Identifier(), m->Identifier());
        EXPECT_EQ(l->LoopCount(), m->LoopCount());
        EXPECT_EQ(l->StreamBufferSize(), m->StreamBufferSize());
    } else if (auto* x = dynamic_cast<TGIFUnknownAppExtension*>(a)) {
        auto* y = static_cast<TGIFUnknownAppExtension*>(b);
        EXPECT_EQ(x->Identifier(), y->Identifier());
        ASSERT_EQ(x->Blocks.size(), y->Blocks.size());
        for (std::size_t i = 0; i < x->Blocks.size(); ++i)
            EXPECT_EQ(x->Blocks[i].Data, y->Blocks[i].Data);
    }
}

inline void ExpectSameDocument(TGIFDocument& a, TGIFDocument& b) {
    EXPECT_EQ(a.Width(), b.Width());
    EXPECT_EQ(a.Height(), b.Height());
    EXPECT_EQ(a.Header().BackgroundColorIndex(), b.Header().BackgroundColorIndex());
    EXPECT_EQ(a.Header().AspectRatio(), b.Header().AspectRatio());
    ExpectSameColors(a.GlobalColorMap(), b.GlobalColorMap());
    ASSERT_EQ(a.Frames().Count(), b.Frames().Count());
    for (int i = 0; i < a.Frames().Count(); ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        TGIFSubImage& f = *a.Frames()[i];
        TGIFSubImage& g = *b.Frames()[i];
        EXPECT_EQ(f.Left(), g.Left());
        EXPECT_EQ(f.Top(), g.Top());
        EXPECT_EQ(f.Width(), g.Width());
        EXPECT_EQ(f.Height(), g.Height());
        EXPECT_EQ(f.Interlaced(), g.Interlaced());
        EXPECT_EQ(f.Transparent(), g.Transparent());
        ASSERT_EQ(f.PixelCount(), g.PixelCount());
        EXPECT_TRUE(f.PixelCount() == 0 ||
                    std::equal(f.Pixels(), f.Pixels() + f.PixelCount(), g.Pixels()))
            << "pixels differ";
        ExpectSameColors(f.ColorMap(), g.ColorMap());
        ASSERT_EQ(f.Extensions().Count(), g.Extensions().Count());
        for (int e = 0; e < f.Extensions().Count(); ++e)
            ExpectSameExtension(f.Extensions()[e], g.Extensions()[e]);
        EXPECT_EQ(f.GraphicControl() == nullptr, g.GraphicControl() == nullptr);
    }
}

} // namespace framolo::test
