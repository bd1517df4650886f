#include "color/octree_quantizer.h"

#include "color/dib_access.h"
#include "platform/graphics/gif_exception.h"
#include "reference.h"

#include <gtest/gtest.h>

namespace framolo {
namespace {

using test::TRgb;
using test::TRgbImage;

std::vector<TRgb> Table(const TColorQuantizer& q, std::size_t capacity = 256) {
    std::vector<TRGBQuad> table(capacity);
    const int n = q.FillColorTable(table);
    std::vector<TRgb> out;
    for (int i = 0; i < n; ++i)
        out.push_back(TRgb{table[static_cast<std::size_t>(i)].rgbRed,
                           table[static_cast<std::size_t>(i)].rgbGreen,
                           table[static_cast<std::size_t>(i)].rgbBlue});
    return out;
}

std::vector<TRgb> Quantize(const TRgbImage& image, int limit, int depth = 8) {
    auto bitmap = test::ToBitmap(image);
    TDIBReader reader(*bitmap, TPixelFormat::pf24bit);
    TColorQuantizer q(limit, depth);
    EXPECT_TRUE(q.ScanBitmap(reader));
    EXPECT_LE(q.LeafTotal(), std::max(limit, 1));
    return Table(q);
}

TRgbImage Row(std::initializer_list<TRgb> colors) {
    TRgbImage image = test::MakeImage(static_cast<int>(colors.size()), 1);
    int x = 0;
    for (const TRgb& c : colors) {
        std::uint8_t* p = image.Pixel(x++, 0);
        p[0] = static_cast<std::uint8_t>(c.Red);
        p[1] = static_cast<std::uint8_t>(c.Green);
        p[2] = static_cast<std::uint8_t>(c.Blue);
    }
    return image;
}

TEST(ColorQuantizer, FewColoursComeOutExactInTreeOrder) {
    const TRgbImage image =
        Row({{255, 0, 0}, {0, 0, 255}, {0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}});
    EXPECT_EQ(Quantize(image, 4),
              (std::vector<TRgb>{{0, 0, 0}, {0, 0, 255}, {0, 255, 0}, {255, 0, 0}}));
    // Same colours, a larger limit: nothing changes.
    EXPECT_EQ(Quantize(image, 256).size(), 4u);
    // Order follows the bits from the top: 127 has a clear top bit, 128 a set one.
    EXPECT_EQ(Quantize(Row({{128, 0, 0}, {127, 255, 255}}), 2),
              (std::vector<TRgb>{{127, 255, 255}, {128, 0, 0}}));
}

TEST(ColorQuantizer, MergingTwoNeighboursTruncatesTheirAverage) {
    TColorQuantizer q(1, 8);
    q.AddColor(10, 20, 30);
    q.AddColor(10, 20, 31);
    EXPECT_EQ(q.LeafTotal(), 1);
    EXPECT_EQ(Table(q), (std::vector<TRgb>{{10, 20, 30}}));
    // The leaf is the depth-7 node above both colours.
    std::uint32_t node = q.Root();
    int depth = 0;
    while (!q.Node(node).Leaf) {
        std::uint32_t next = 0;
        for (std::uint32_t c : q.Node(node).Children)
            if (c != 0) {
                ASSERT_EQ(next, 0u) << "more than one child at depth " << depth;
                next = c;
            }
        node = next;
        ++depth;
    }
    EXPECT_EQ(depth, 7);
    EXPECT_EQ(q.Node(node).PixelCount, 2u);

    TColorQuantizer reds(1, 8);
    reds.AddColor(1, 0, 0);
    reds.AddColor(2, 0, 0);
    EXPECT_EQ(Table(reds), (std::vector<TRgb>{{1, 0, 0}}));
}

TEST(ColorQuantizer, TheRootIsMergedLastAndThenTakesEveryPixel) {
    TColorQuantizer q(1, 8);
    q.AddColor(0, 0, 0);
    q.AddColor(255, 255, 255);
    ASSERT_TRUE(q.Node(q.Root()).Leaf);
    q.AddColor(0, 255, 0);
    q.AddColor(3, 3, 3);
    EXPECT_EQ(q.LeafTotal(), 1);
    EXPECT_EQ(q.Node(q.Root()).PixelCount, 4u);
    EXPECT_EQ(Table(q), (std::vector<TRgb>{{64, 128, 64}}));
    EXPECT_FALSE(q.MergeDeepestNode());
}

TEST(ColorQuantizer, MergesTheNewestNodeOfTheDeepestLevel) {
    // Limit 2. 0,0,0 and 0,0,1 share a depth-7 node; 255,255,255 is far.
    // The third colour makes three leaves; the deepest inner nodes are the
    // two depth-7 nodes, and the newest (255's) goes first, which alone does
    // not reduce the count, then 0/1's, which does.
    TColorQuantizer q(2, 8);
    q.AddColor(0, 0, 0);
    q.AddColor(0, 0, 1);
    q.AddColor(255, 255, 255);
    EXPECT_EQ(q.LeafTotal(), 2);
    EXPECT_EQ(Table(q), (std::vector<TRgb>{{0, 0, 0}, {255, 255, 255}}));
}

TEST(ColorQuantizer, LimitsOutsideTheRangeAreSafe) {
    TColorQuantizer zero(0, 8);
    EXPECT_EQ(zero.ColorLimit(), 1);
    zero.AddColor(1, 2, 3);
    zero.AddColor(200, 2, 3);
    EXPECT_EQ(zero.LeafTotal(), 1);
    TColorQuantizer shallow(4, 0);
    shallow.AddColor(1, 2, 3);
    shallow.AddColor(3, 2, 1);
    EXPECT_EQ(Table(shallow), (std::vector<TRgb>{{2, 2, 2}}));
    TColorQuantizer deep(4, 99);
    EXPECT_EQ(deep.DepthBits(), 8);
    // An empty tree writes nothing; a short table is never overrun.
    EXPECT_TRUE(Table(TColorQuantizer(4, 8)).empty());
    TColorQuantizer many(8, 8);
    for (int i = 0; i < 8; ++i)
        many.AddColor(static_cast<std::uint8_t>(i * 32), 0, 0);
    EXPECT_EQ(Table(many, 3).size(), 3u);
}

TEST(ColorQuantizer, RefusesAReaderOfAnotherFormat) {
    TBitmap bitmap(2, 2, TPixelFormat::pf32bit);
    TDIBReader reader(bitmap, TPixelFormat::pf32bit);
    TColorQuantizer q(4, 8);
    EXPECT_THROW(q.ScanBitmap(reader), GIFException);
}

TEST(ColorQuantizer, MatchesTheReferenceBitForBit) {
    struct Case {
        int Limit;
        int Depth;
    };
    const Case cases[] = {{1, 8},   {2, 8},   {7, 8},  {16, 8}, {64, 8},
                          {236, 8}, {256, 8}, {16, 5}, {256, 3}};
    std::vector<TRgbImage> images;
    for (int w = 1; w <= 7; ++w)
        images.push_back(test::RandomImage(w, 3, static_cast<std::uint32_t>(w)));
    images.push_back(test::RandomImage(64, 40, 1));
    images.push_back(test::PhotoLikeImage(120, 80, 2));
    images.push_back(test::PhotoLikeImage(33, 17, 3));
    images.push_back(test::FewColorsImage(50, 20, 300, 4));
    images.push_back(test::FewColorsImage(50, 20, 200, 5));
    for (const Case& c : cases)
        for (std::size_t i = 0; i < images.size(); ++i)
            ASSERT_EQ(Quantize(images[i], c.Limit, c.Depth),
                      test::RefQuantize(images[i], c.Limit, c.Depth))
                << "limit " << c.Limit << " depth " << c.Depth << " image " << i;
}

} // namespace
} // namespace framolo
