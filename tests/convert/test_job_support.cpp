#include "convert/job_support.h"
#include "platform/graphics/graphics.h"

#include <gtest/gtest.h>

namespace framolo {
namespace {

TEST(JobSupport, KilobytesRoundHalfToEven) {
    EXPECT_EQ(BytesToKBRounded(1536), 2);
    EXPECT_EQ(BytesToKBRounded(2560), 2);
    EXPECT_EQ(BytesToKBRounded(511), 0);
    EXPECT_EQ(BytesToKBRounded(512), 0);
    EXPECT_EQ(BytesToKBRounded(513), 1);
    EXPECT_EQ(BytesToKBRounded(3584), 4);
    EXPECT_EQ(BytesToKBRounded(0), 0);
}

TEST(JobSupport, FieldTextToInteger) {
    EXPECT_EQ(StrToInt("0012"), 12);
    EXPECT_EQ(StrToInt(" 7 "), 7);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
    for (const char* bad : {"", " ", "12a", "2147483648", "+", "1 2"}) {
        try {
            StrToInt(bad);
            FAIL() << bad;
        } catch (const EConvertError& e) {
            EXPECT_EQ(std::string(e.what()),
                      std::string("'") + bad + "' is not a valid integer value");
        }
    }
}

TEST(JobSupport, ZeroStepsAreRecognised) {
    EXPECT_TRUE(IsZeroStep("0"));
    EXPECT_TRUE(IsZeroStep("00"));
    EXPECT_TRUE(IsZeroStep(" 000 "));
    EXPECT_FALSE(IsZeroStep(""));
    EXPECT_FALSE(IsZeroStep("10"));
}

TEST(JobSupport, FileExtensions) {
    EXPECT_EQ(ExtractFileExt("a/b.c/clip"), "");
    EXPECT_EQ(ExtractFileExt("clip.GIF"), ".GIF");
    EXPECT_EQ(ChangeFileExt("dir/clip.gif", ".avi"), "dir/clip.avi");
    EXPECT_EQ(ChangeFileExt("dir.x/clip", ".avi"), "dir.x/clip.avi");
    EXPECT_EQ(LowerCase("CLIP.AVI"), "clip.avi");
}

TEST(JobSupport, FitPreviewFollowsItsFourCases) {
    // Both sides too big: fill the client area.
    EXPECT_TRUE(FitPreview(320, 240, 160, 121).FillClient);
    // Too wide: width PW-8, height scaled, centred vertically.
    TPreviewPlacement p = FitPreview(320, 100, 160, 121);
    EXPECT_EQ(p.Width, 152);
    EXPECT_EQ(p.Height, 48); // 100 * 152 / 320 = 47.5 -> 48 (halves to even)
    EXPECT_EQ(p.Left, 4);
    EXPECT_EQ(p.Top, 36); // (121 - 48) / 2 = 36.5 -> 36
    // Too tall.
    p = FitPreview(100, 300, 160, 121);
    EXPECT_EQ(p.Height, 113);
    EXPECT_EQ(p.Width, 38); // 37.67 -> 38
    EXPECT_EQ(p.Top, 4);
    EXPECT_EQ(p.Left, 61);
    // Fits: centred.
    p = FitPreview(50, 41, 160, 121);
    EXPECT_EQ(p.Width, 50);
    EXPECT_EQ(p.Left, 55);
    EXPECT_EQ(p.Top, 40);
}

} // namespace
} // namespace framolo
