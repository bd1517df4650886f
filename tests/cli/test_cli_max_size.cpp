// avi2gif --max-size and --estimate as a user runs them: the file written is
// within the limit, and gives up quality, then frame rate, then size.
#include "cli_test_util.h"
#include "clip_tools.h"
#include "convert/size_fit.h"
#include "gif/encode/quality_table.h"
#include "giflib_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <regex>

#include <unistd.h>

namespace framolo {
namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 120;
constexpr int kFrames = 100;
// 25 frames a second: 4 hundredths a frame.
constexpr int kDelay = 4;

// A zoom into a fractal: every frame changes and colours matter, so quality,
// step and size all move the file's size (about 720 KB at the top quality,
// 520 KB at the floor, 370 KB a step of 2, 230 KB a step of 4, 40 KB at a
// quarter of the size). Long enough for estimates to sample it.
const std::string& ZoomClip() {
    static const std::string clip = [] {
        const std::string path = test::WorkPath("max_size_zoom100.avi");
        // Test processes run side by side: each writes its own copy and renames it
        // into place, so none reads a clip another is still writing.
        const std::string temp = path + "." + std::to_string(getpid()) + ".tmp.avi";
        std::string log;
        if (test::RunCommand("ffmpeg -hide_banner -loglevel error -y -f lavfi -i mandelbrot=s=" +
                                 std::to_string(kWidth) + "x" + std::to_string(kHeight) +
                                 ":rate=25 -frames:v " + std::to_string(kFrames) +
                                 " -c:v rawvideo -pix_fmt bgr24 " + test::Quote(temp) + " 2>&1",
                             &log) != 0 ||
            std::rename(temp.c_str(), path.c_str()) != 0)
            throw std::runtime_error("ffmpeg could not make the clip: " + log);
        return path;
    }();
    return clip;
}

// The number after "key": in a JSON report; -1 when there is none.
std::int64_t JsonNumber(const std::string& json, const std::string& key) {
    std::smatch m;
    if (!std::regex_search(json, m, std::regex("\"" + key + "\": ([0-9]+)")))
        return -1;
    return std::stoll(m[1]);
}

std::int64_t FileSize(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? -1 : static_cast<std::int64_t>(size);
}

TEST(CliMaxSize, WritesTheBestGifWithinEachLimitOrNothing) {
    enum TGiven { Nothing, Quality, FrameRate, Size, TooSmall };
    const struct {
        const char* Limit;
        std::int64_t Bytes;
        TGiven Gives;
    } cases[] = {
        {"2M", 2097152, Nothing}, {"700K", 716800, Quality}, {"400K", 409600, FrameRate},
        {"153600", 153600, Size}, {"20K", 20480, TooSmall},
    };
    const auto dir = test::FreshFolder("max_size");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Limit);
        const std::string out = (dir / (std::string(c.Limit) + ".gif")).string();
        std::string log;
        const int status =
            test::RunCli("avi2gif " + test::Quote(ZoomClip()) + " " + test::Quote(out) +
                             " --max-size " + c.Limit + " --json --quiet",
                         &log);
        if (c.Gives == TooSmall) {
            EXPECT_EQ(status, 1) << log;
            EXPECT_EQ(FileSize(out), -1);
            EXPECT_NE(log.find("the smallest"), std::string::npos) << log;
            EXPECT_NE(log.find("nothing was written"), std::string::npos) << log;
            continue;
        }
        ASSERT_EQ(status, 0) << log;
        const std::int64_t bytes = FileSize(out);
        EXPECT_LE(bytes, c.Bytes);
        EXPECT_EQ(JsonNumber(log, "size_bytes"), bytes) << log;
        EXPECT_EQ(JsonNumber(log, "max_size_bytes"), c.Bytes) << log;
        const std::int64_t quality = JsonNumber(log, "quality");
        const std::int64_t step = JsonNumber(log, "step");
        const std::int64_t width = JsonNumber(log, "width");
        const std::int64_t height = JsonNumber(log, "height");
        EXPECT_EQ(quality == kDefaultQuality, c.Gives == Nothing) << log;
        EXPECT_GE(quality, kFitQualityFloor) << log;
        EXPECT_EQ(step > 1, c.Gives >= FrameRate) << log;
        EXPECT_LE(step, kFitMaxStepFactor) << log;
        EXPECT_EQ(width < kWidth, c.Gives >= Size) << log;
        EXPECT_NEAR(static_cast<double>(width) / static_cast<double>(height), 4.0 / 3.0, 0.03);

        // What giflib reads agrees with the report; the animation keeps its length.
        const auto gif = test::GiflibDecode(test::ReadFileBytes(out));
        ASSERT_TRUE(gif.Ok) << gif.Error;
        EXPECT_EQ(gif.Width, width);
        EXPECT_EQ(gif.Height, height);
        const auto frames = static_cast<std::int64_t>(gif.Frames.size());
        EXPECT_EQ(frames, (kFrames + step - 1) / step);
        EXPECT_EQ(JsonNumber(log, "frames"), frames);
        for (const auto& frame : gif.Frames)
            EXPECT_EQ(frame.Delay, kDelay * step);
    }
}

TEST(CliMaxSize, RefusesLimitsItCannotTakeWithStatus2) {
    const struct {
        const char* Args;
        const char* Says;
    } cases[] = {
        {"--max-size 0", "--max-size takes a size"},
        {"--max-size 10G", "--max-size takes a size"},
        {"--max-size 1.5M", "--max-size takes a size"},
        {"--max-size 10MB", "--max-size takes a size"},
        {"--max-size -5", "--max-size takes a size"},
        {"--max-size ''", "--max-size takes a size"},
        {"--max-size", "--max-size needs a value"},
        {"--max-size 8M --reduction quantize", "--max-size works on the quality road"},
        {"--max-size 8M --optimize", "--max-size works on the quality road"},
        {"--max-size 8M --estimate", "do not go together"},
    };
    const auto dir = test::FreshFolder("max_size_refused");
    const std::string out = (dir / "out.gif").string();
    for (const auto& c : cases) {
        std::string log;
        EXPECT_EQ(test::RunCli("avi2gif " + test::Quote(ZoomClip()) + " " + test::Quote(out) + " " +
                                   c.Args,
                               &log),
                  2)
            << c.Args << "\n"
            << log;
        EXPECT_NE(log.find(c.Says), std::string::npos) << c.Args << "\n" << log;
        EXPECT_EQ(FileSize(out), -1) << c.Args;
    }
}

TEST(CliEstimate, TellsTheSizeWithin15PercentAndWritesNothing) {
    const auto dir = test::FreshFolder("estimate");
    const std::string out = (dir / "real.gif").string();
    const std::string untouched = (dir / "untouched.gif").string();
    for (const std::string settings :
         {"", "--quality 40", "--step 2", "--width 120 --height 90", "--quality 95 --step 3",
          "--bounce --step 2", "--crop 100x60+30+20 --reverse"}) {
        SCOPED_TRACE(settings);
        std::string estimate;
        // With OUTPUT.gif left out, and given (it is not written).
        ASSERT_EQ(
            test::RunCli("avi2gif " + test::Quote(ZoomClip()) + " --estimate --json " + settings,
                         &estimate),
            0)
            << estimate;
        std::string text;
        ASSERT_EQ(test::RunCli("avi2gif " + test::Quote(ZoomClip()) + " " + test::Quote(untouched) +
                                   " --estimate " + settings,
                               &text),
                  0)
            << text;
        EXPECT_EQ(FileSize(untouched), -1);
        EXPECT_TRUE(std::regex_match(text, std::regex("About [0-9]+ KB\n"))) << text;
        std::string real;
        ASSERT_EQ(test::RunCli("avi2gif " + test::Quote(ZoomClip()) + " " + test::Quote(out) +
                                   " --json --quiet " + settings,
                               &real),
                  0)
            << real;
        const auto told = static_cast<double>(JsonNumber(estimate, "estimate_bytes"));
        const auto size = static_cast<double>(FileSize(out));
        EXPECT_NEAR(told / size, 1.0, 0.15) << estimate << real;
        EXPECT_NE(text.find(std::to_string(std::llround(told / 1024))), std::string::npos) << text;
    }
}

} // namespace
} // namespace framolo
