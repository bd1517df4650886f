// Bounds on what reading costs: the document's pixel budget, counted over all
// frames before each frame's pixels are made; frames handed to a handler as
// they are read, so that it need not keep them; and lists long enough that
// freeing them by shifting after every item would take minutes.
#include "gif_reader_test_util.h"
#include "gif_test_util.h"

#include "gif/gif_reader.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace framolo::test {
namespace {

const std::vector<std::uint8_t> kFour = {0, 1, 2, 3};

// count frames of width x height, each coded as four pixels: the rest of a
// frame keeps its fill, so a few bytes claim any area.
GifBytes& Frames(GifBytes& b, int count, int width, int height) {
    for (int i = 0; i < count; ++i)
        b.Image(width, height, kFour);
    return b;
}

std::int64_t PixelsHeld(const TGIFDocument& doc) {
    std::int64_t total = 0;
    for (int i = 0; i < doc.Frames().Count(); ++i)
        total += static_cast<std::int64_t>(doc.Frames()[i]->PixelCount());
    return total;
}

Loaded LoadWithBudget(const std::vector<std::uint8_t>& bytes, std::int64_t budget) {
    return LoadBytes(bytes, budget);
}

struct BudgetCase {
    const char* Name;
    std::vector<std::uint8_t> Bytes;
    std::int64_t Budget;
    std::string Error; // "" when the load succeeds
    int Frames;        // kept afterwards
};

TEST(GIFReaderBounds, PixelBudgetCountsAllFramesBeforeAllocating) {
    GifBytes large;
    Frames(large.Header(2048, 2048), 13, 2048, 2048).Trailer();
    GifBytes largeThenTiny;
    Frames(Frames(largeThenTiny.Header(2048, 2048), 1, 2048, 2048), 3000, 1, 1).Trailer();
    GifBytes exact;
    Frames(exact.Header(1000, 1000), 3, 1000, 1000).Trailer();
    const std::vector<BudgetCase> cases = {
        {"13 large frames in a few hundred bytes", large.b, 10000000,
         "The GIF image holds more pixels than can be decoded (13 million; the limit is 10 "
         "million)",
         2},
        // 2048 x 2048 + 696 pixels fit 4,195,000; the 697th tiny frame does not.
        {"a large frame, then many 1 x 1 frames", largeThenTiny.b, 4195000,
         "The GIF image holds more pixels than can be decoded (5 million; the limit is 4 "
         "million)",
         697},
        {"frames filling the budget exactly", exact.b, 3000000, "", 3},
        // A frame without area takes the screen's, and is counted at that size.
        {"a zero-area frame on a large screen",
         GifBytes().Header(4000, 4000).Image(0, 0, kFour).Trailer().b, 1000000,
         "The GIF image holds more pixels than can be decoded (16 million; the limit is 1 "
         "million)",
         0},
    };
    for (const BudgetCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Loaded r = LoadWithBudget(c.Bytes, c.Budget);
        EXPECT_EQ(r.Error, c.Error);
        ASSERT_EQ(r.Doc->Frames().Count(), c.Frames);
        EXPECT_LE(PixelsHeld(*r.Doc), c.Budget);
        if (c.Error.empty() || c.Frames == 0)
            continue;
        // The frames read before the refusal form a whole document.
        EXPECT_EQ(r.PositionAfter, 0);
        Loaded again = LoadWithBudget(SaveToBytes(*r.Doc), c.Budget);
        EXPECT_EQ(again.Error, "");
        EXPECT_EQ(again.Doc->Frames().Count(), c.Frames);
    }

    // Reading one frame into a document counts the pixels of its other
    // frames; the refused frame is left cleared.
    Loaded one = LoadWithBudget(GifBytes().Header(2048, 2048).Image(2048, 2048, kFour).b, 5000000);
    ASSERT_EQ(one.Error, "");
    TGIFSubImage frame(one.Doc.get());
    const std::vector<std::uint8_t> second = GifBytes().Image(2048, 2048, kFour).b;
    TReadOnlyMemoryStream s(second.data(), second.size());
    EXPECT_THROW(frame.LoadFromStream(s), GIFException);
    EXPECT_EQ(frame.Width(), 0);
    EXPECT_EQ(frame.PixelCount(), 0u);
}

TEST(GIFReaderBounds, DefaultBudgetAdmitsEveryRealFileByAWideMargin) {
    std::int64_t largest = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(GifDataPath("")))
        if (e.path().extension() == ".gif")
            largest =
                std::max(largest, PixelsHeld(*LoadBytes(ReadFileBytes(e.path().string())).Doc));
    EXPECT_GT(largest, 4000000) << "the 380-frame animation";
    EXPECT_LE(largest * 100, DefaultPixelBudget);

    // A new document starts from the default as it stands.
    const std::int64_t saved = DefaultPixelBudget;
    DefaultPixelBudget = 12345;
    EXPECT_EQ(TGIFDocument().PixelBudget(), 12345);
    DefaultPixelBudget = saved;
}

TEST(GIFReaderBounds, FramesAreHandedOverAsTheyAreRead) {
    // The second frame holds only a comment: it has no pixels to hand over.
    const std::vector<std::uint8_t> bytes =
        GifBytes().Header(2, 2).Gce(0, 10, 0).Image(2, 2, kFour).Comment("between").Trailer().b;
    TGIFDocument doc;
    std::vector<std::pair<int, std::size_t>> seen; // index in the list, pixels
    doc.OnFrameLoaded = [&](TGIFSubImage& frame) {
        EXPECT_EQ(doc.Frames().IndexOf(&frame), doc.Frames().Count() - 1);
        seen.emplace_back(doc.Frames().IndexOf(&frame), frame.PixelCount());
        frame.FreePixels();
    };
    TReadOnlyMemoryStream s(bytes.data(), bytes.size());
    doc.LoadFromStream(s);
    EXPECT_EQ(seen, (std::vector<std::pair<int, std::size_t>>{{0, 4}, {1, 0}}));
    TGIFSubImage& first = *doc.Frames()[0];
    EXPECT_TRUE(first.Empty());
    EXPECT_EQ(first.Width(), 2);
    ASSERT_NE(first.GraphicControl(), nullptr);
    EXPECT_EQ(first.GraphicControl()->Delay(), 10);

    // Pixels dropped by the handler still count against the budget.
    GifBytes large;
    Frames(large.Header(2048, 2048), 13, 2048, 2048).Trailer();
    doc.SetPixelBudget(10000000);
    TReadOnlyMemoryStream bomb(large.b.data(), large.b.size());
    EXPECT_THROW(doc.LoadFromStream(bomb), GIFException);
    EXPECT_EQ(doc.Frames().Count(), 2);
}

TEST(GIFReaderBounds, FramesAndExtensionsCountAgainstTheBlockLimit) {
    const TGIFReadLimits saved = GIFReadLimits;
    GIFReadLimits.MaxBlocks = 1000;
    const auto comments = [](int count, int frames) {
        GifBytes g;
        g.Header(1, 1);
        for (int f = 0; f < frames; ++f) {
            for (int i = 0; i < count; ++i)
                g.Raw({0x21, 0xFE, 0});
            g.Image(1, 1, {0});
        }
        return g.Trailer().b;
    };
    const struct {
        const char* Name;
        std::vector<std::uint8_t> Bytes;
        bool Refused;
    } cases[] = {
        {"one frame and 999 extensions", comments(999, 1), false},
        {"one frame and 1000 extensions", comments(1000, 1), true},
        {"500 frames of one extension", comments(1, 500), false},
        {"501 frames of one extension", comments(1, 501), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const Loaded r = LoadBytes(c.Bytes);
        EXPECT_EQ(r.Error,
                  c.Refused ? "The GIF image holds more blocks than can be read (the limit is 1000)"
                            : "");
    }
    GIFReadLimits = saved;
}

TEST(GIFDocumentLists, LongListsLoadAndFree) {
    // A 1 x 1 frame coded as clear, index 0 and end.
    const std::vector<std::uint8_t> tinyFrame = GifBytes().Image(1, 1, {0}).b;
    GifBytes tiny;
    tiny.Header(1, 1);
    for (int i = 0; i < 200000; ++i)
        tiny.b.insert(tiny.b.end(), tinyFrame.begin(), tinyFrame.end());
    tiny.Trailer();
    GifBytes comments;
    comments.Header(1, 1);
    for (int i = 0; i < 300000; ++i)
        comments.Raw({0x21, 0xFE, 0});
    comments.Image(1, 1, {0}).Trailer();

    Loaded frames = LoadBytes(tiny.b);
    ASSERT_EQ(frames.Error, "");
    EXPECT_EQ(frames.Doc->Frames().Count(), 200000);
    frames.Doc->Clear();
    EXPECT_EQ(frames.Doc->Frames().Count(), 0);

    Loaded blocks = LoadBytes(comments.b);
    ASSERT_EQ(blocks.Error, "");
    ASSERT_EQ(blocks.Doc->Frames().Count(), 1);
    TGIFSubImage& frame = *blocks.Doc->Frames()[0];
    EXPECT_EQ(frame.Extensions().Count(), 300000);
    frame.Clear();
    EXPECT_EQ(frame.Extensions().Count(), 0);
}

} // namespace
} // namespace framolo::test
