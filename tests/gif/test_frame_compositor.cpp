// The compositor shows what a viewer shows: every test GIF that both our
// reader and giflib read composes, frame by frame, to the same screens as the
// tests' own giflib compositor (black screen, disposal to black or back).
#include "gif/frame_compositor.h"
#include "gif_reader_test_util.h"
#include "lzw_test_util.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace framolo::test {
namespace {

bool IndexesInPalette(const GiflibDecoded& gif) {
    for (const GiflibFrame& f : gif.Frames)
        for (std::uint8_t i : f.Indexes)
            if (i >= f.Palette.size() && i != f.TransparentIndex)
                return false;
    return true;
}

TEST(FrameCompositor, MatchesGiflibOnEveryTestFile) {
    int compared = 0;
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(FRAMOLO_TEST_DATA_DIR "/gif")) {
        if (entry.path().extension() != ".gif")
            continue;
        const auto bytes = ReadFileBytes(entry.path().string());
        const GiflibDecoded want = GiflibDecode(bytes);
        if (!want.Ok || want.Frames.empty() || !IndexesInPalette(want) ||
            static_cast<std::int64_t>(want.Width) * want.Height > 4'000'000)
            continue;
        Loaded got = LoadBytes(bytes);
        if (!got.Error.empty())
            continue;
        SCOPED_TRACE(entry.path().filename().string());
        const auto screens = GiflibComposite(want);
        TGIFCompositor compositor(*got.Doc, 0);
        const std::vector<TGIFSubImage*> frames = ImageFrames(*got.Doc);
        ASSERT_EQ(frames.size(), screens.size());
        for (std::size_t i = 0; i < frames.size(); ++i)
            ASSERT_TRUE(compositor.Draw(*frames[i]) == screens[i]) << "frame " << i;
        ++compared;
    }
    EXPECT_GT(compared, 20);
}

TEST(FrameCompositor, StartsFromAndDisposesToTheBackground) {
    // Two colours: 0 = (0, 255, 0), 1 = (3, 254, 11); index 0 of the first
    // frame is transparent, and it is disposed of to the background.
    Loaded got = LoadBytes(GifBytes()
                               .Header(3, 2, 0x80)
                               .Gce(0x01 | (2 << 2), 0, 0)
                               .Descriptor(1, 0, 2, 2)
                               .Literals({0, 1, 1, 0})
                               .Descriptor(0, 0, 1, 1)
                               .Literals({1})
                               .Raw({0x3B})
                               .b);
    ASSERT_EQ(got.Error, "");
    TGIFCompositor c(*got.Doc, 0x00112233);
    const std::vector<TGIFSubImage*> frames = ImageFrames(*got.Doc);
    ASSERT_EQ(frames.size(), 2u);
    using Screen = std::vector<std::uint8_t>;
    const Screen bg = {0x33, 0x22, 0x11}, one = {3, 254, 11};
    const auto rows = [](std::initializer_list<Screen> pixels) {
        Screen s;
        for (const Screen& p : pixels)
            s.insert(s.end(), p.begin(), p.end());
        return s;
    };
    EXPECT_EQ(c.Draw(*frames[0]), rows({bg, bg, one, bg, one, bg}));
    EXPECT_EQ(c.Draw(*frames[1]), rows({one, bg, bg, bg, bg, bg}));
}

} // namespace
} // namespace framolo::test
