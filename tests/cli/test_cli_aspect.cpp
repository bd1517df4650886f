// One side given alone: the other keeps the clip's aspect.
#include "cli_test_util.h"
#include "clip_tools.h"
#include "gif/gif_document.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace framolo {
namespace {

using test::Quote;
using test::RunCli;

TEST(CliAspect, OneSideGivenAloneKeepsTheClipsAspect) {
    // 48 x 36 is 4:3; 32 x 4 is 8:1, so small widths round down to nothing.
    const std::string wide = test::MakeClip("aspect_48x36.avi", 48, 36, 2, "-c:v mjpeg", "25");
    const std::string flat = test::MakeClip("aspect_32x4.avi", 32, 4, 2, "-c:v mjpeg", "25");
    struct TCase {
        const std::string* Clip;
        std::string Options;
        int Width, Height;
        std::string SameAs; // options that must give the same bytes; empty for none
    };
    const TCase cases[] = {
        {&wide, "", 48, 36, ""},
        {&wide, "--width 20", 20, 15, "--width 20 --height 15"},
        {&wide, "--height 9", 12, 9, "--width 12 --height 9"},
        {&wide, "--width 7", 7, 5, ""},   // 5.25
        {&wide, "--width 10", 10, 8, ""}, // 7.5 rounds up
        {&wide, "--width 10 --height 30", 10, 30, ""},
        {&flat, "--width 3", 3, 1, ""}, // 0.375, but at least 1
        {&flat, "--height 2", 16, 2, ""},
    };
    const std::string out = test::WorkPath("aspect_out.gif");
    const std::string other = test::WorkPath("aspect_other.gif");
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Options);
        std::string log;
        ASSERT_EQ(
            RunCli("avi2gif " + Quote(*c.Clip) + " " + Quote(out) + " --quiet " + c.Options, &log),
            0)
            << log;
        TGIFDocument document;
        document.LoadFromFile(out);
        EXPECT_EQ(document.Width(), c.Width);
        EXPECT_EQ(document.Height(), c.Height);
        ASSERT_GT(document.Frames().Count(), 0);
        EXPECT_EQ(document.Frames()[0]->Width(), c.Width);
        if (c.SameAs.empty())
            continue;
        ASSERT_EQ(RunCli("avi2gif " + Quote(*c.Clip) + " " + Quote(other) + " --quiet " + c.SameAs),
                  0);
        EXPECT_EQ(test::ReadFileBytes(out), test::ReadFileBytes(other));
    }
}

} // namespace
} // namespace framolo
