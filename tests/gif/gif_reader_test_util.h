#pragma once

// Builders of GIF byte streams, loading with recorded warnings, and the
// comparison of a loaded document with giflib's decoding of the same bytes.

#include "giflib_util.h"
#include "lzw_test_util.h"

#include "gif/gif_document.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace framolo::test {

// A GIF file put together byte by byte.
struct GifBytes {
    std::vector<std::uint8_t> b;

    GifBytes& Raw(std::initializer_list<int> bytes) {
        for (int v : bytes)
            b.push_back(static_cast<std::uint8_t>(v));
        return *this;
    }
    GifBytes& Text(const std::string& s) {
        b.insert(b.end(), s.begin(), s.end());
        return *this;
    }
    GifBytes& Word(int v) { return Raw({v & 0xFF, (v >> 8) & 0xFF}); }
    // Signature, screen descriptor and, when packed bit 7 is set, a global
    // table of distinct colours.
    GifBytes& Header(int width, int height, int packed = 0x81, const char* sig = "GIF89a") {
        Text(sig).Word(width).Word(height).Raw({packed, 0, 0});
        if ((packed & 0x80) != 0)
            Table(2 << (packed & 7));
        return *this;
    }
    GifBytes& Table(int entries) {
        for (int i = 0; i < entries; ++i)
            Raw({i * 3 & 0xFF, (255 - i) & 0xFF, i * 11 & 0xFF});
        return *this;
    }
    GifBytes& Gce(int packed, int delay, int transparentIndex) {
        return Raw({0x21, 0xF9, 4, packed}).Word(delay).Raw({transparentIndex, 0});
    }
    GifBytes& Descriptor(int left, int top, int width, int height, int packed = 0) {
        return Raw({0x2C}).Word(left).Word(top).Word(width).Word(height).Raw({packed});
    }
    // Image data coding the pixels as literals only: a clear code comes before
    // the table would widen the codes.
    GifBytes& Literals(const std::vector<std::uint8_t>& pixels, int minCodeSize = 2,
                       bool endCode = true) {
        const int clear = 1 << minCodeSize;
        const int width = minCodeSize + 1;
        std::vector<std::pair<int, int>> codes = {{clear, width}};
        int run = 0;
        for (std::uint8_t p : pixels) {
            if (run == clear - 2) {
                codes.emplace_back(clear, width);
                run = 0;
            }
            codes.emplace_back(p, width);
            ++run;
        }
        if (endCode)
            codes.emplace_back(clear + 1, width);
        b.push_back(static_cast<std::uint8_t>(minCodeSize));
        const std::vector<std::uint8_t> blocks = SubBlocks(PackCodes(codes));
        b.insert(b.end(), blocks.begin(), blocks.end());
        return *this;
    }
    GifBytes& Image(int width, int height, const std::vector<std::uint8_t>& pixels,
                    int packed = 0) {
        return Descriptor(0, 0, width, height, packed).Literals(pixels);
    }
    GifBytes& Comment(const std::string& text) {
        Raw({0x21, 0xFE});
        if (!text.empty())
            Raw({static_cast<int>(text.size())}).Text(text);
        return Raw({0});
    }
    GifBytes& Trailer() { return Raw({0x3B}); }
};

struct Loaded {
    std::unique_ptr<TGIFDocument> Doc = std::make_unique<TGIFDocument>();
    std::vector<std::string> Warnings;
    std::string Error; // empty when the load succeeded
    std::int64_t PositionAfter = 0;
};

// Loads bytes, noting warnings and the error; a budget of 0 or more replaces
// the document's pixel budget.
inline Loaded LoadBytes(const std::vector<std::uint8_t>& bytes, std::int64_t budget = -1) {
    Loaded r;
    if (budget >= 0)
        r.Doc->SetPixelBudget(budget);
    r.Doc->WarningHandler = [&w = r.Warnings](TPersistent*, int severity, const std::string& m) {
        EXPECT_EQ(severity, 1);
        w.push_back(m);
    };
    TReadOnlyMemoryStream s(bytes.data(), bytes.size());
    try {
        r.Doc->LoadFromStream(s);
    } catch (const GIFException& e) {
        r.Error = e.what();
    }
    r.PositionAfter = s.Position();
    r.Doc->WarningHandler = nullptr;
    return r;
}

// Frames that hold an image, as giflib counts them.
inline std::vector<TGIFSubImage*> ImageFrames(TGIFDocument& doc) {
    std::vector<TGIFSubImage*> out;
    for (int i = 0; i < doc.Frames().Count(); ++i)
        if (doc.Frames()[i]->Width() > 0 && doc.Frames()[i]->Height() > 0)
            out.push_back(doc.Frames()[i]);
    return out;
}

// Loop count of the first looping extension; -1 without one.
inline int LoopCountOf(TGIFDocument& doc) {
    for (int i = 0; i < doc.Frames().Count(); ++i) {
        TGIFExtensionList& list = doc.Frames()[i]->Extensions();
        for (int e = 0; e < list.Count(); ++e)
            if (auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(list[e]))
                return loop->LoopCount();
    }
    return -1;
}

// Index rasters, palettes, bounds, delays, disposal and transparency of every
// image equal giflib's decoding of the same bytes.
inline void ExpectSameAsGiflib(const std::vector<std::uint8_t>& bytes, const std::string& what) {
    SCOPED_TRACE(what);
    const GiflibDecoded want = GiflibDecode(bytes);
    ASSERT_TRUE(want.Ok) << want.Error;
    Loaded got = LoadBytes(bytes);
    ASSERT_EQ(got.Error, "");
    EXPECT_EQ(got.Doc->Width(), want.Width);
    EXPECT_EQ(got.Doc->Height(), want.Height);
    EXPECT_EQ(got.Doc->Header().BackgroundColorIndex(), want.Background);
    std::vector<TGIFSubImage*> frames = ImageFrames(*got.Doc);
    ASSERT_EQ(frames.size(), want.Frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        TGIFSubImage& f = *frames[i];
        const GiflibFrame& w = want.Frames[i];
        EXPECT_EQ(f.Left(), w.Left);
        EXPECT_EQ(f.Top(), w.Top);
        ASSERT_EQ(f.Width(), w.Width);
        ASSERT_EQ(f.Height(), w.Height);
        ASSERT_EQ(f.PixelCount(), w.Indexes.size());
        EXPECT_TRUE(std::equal(w.Indexes.begin(), w.Indexes.end(), f.Pixels()))
            << "index raster differs";
        const TGIFColorMap& map = f.ActiveColorMap();
        ASSERT_EQ(static_cast<std::size_t>(map.Count()), w.Palette.size());
        for (int c = 0; c < map.Count(); ++c) {
            const TGIFColor e = map.Entry(c);
            EXPECT_EQ((std::array<std::uint8_t, 3>{e.Red, e.Green, e.Blue}),
                      w.Palette[static_cast<std::size_t>(c)])
                << "colour " << c;
        }
        const TGIFGraphicControlExtension* gce = f.GraphicControl();
        EXPECT_EQ(gce ? gce->Delay() : -1, w.Delay);
        EXPECT_EQ(gce ? gce->Disposal() : -1, w.Disposal);
        EXPECT_EQ(gce && gce->Transparent() ? gce->TransparentColorIndex() : -1,
                  w.TransparentIndex);
    }
    if (want.LoopCount >= 0) {
        EXPECT_EQ(LoopCountOf(*got.Doc), want.LoopCount);
    }
}

} // namespace framolo::test
