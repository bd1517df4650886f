// Crop, reverse and bounce as a person asks for them on the command line.
#include "cli_test_util.h"
#include "giflib_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

namespace framolo {
namespace {

using test::Quote;
using test::RunCli;

// 12 frames of ffmpeg's moving test pattern, stored without loss.
std::string MakePattern(const std::string& name, const std::string& filter = "") {
    const std::string clip = test::WorkPath(name + ".avi");
    std::string log;
    if (test::RunCommand("ffmpeg -hide_banner -loglevel error -y -f lavfi -i "
                         "testsrc2=s=320x240:rate=25 -frames:v 12 " +
                             (filter.empty() ? "" : "-vf " + filter + " ") +
                             "-c:v rawvideo -pix_fmt bgr24 " + Quote(clip) + " 2>&1",
                         &log) != 0)
        throw std::runtime_error("ffmpeg could not make " + name + ": " + log);
    return clip;
}

test::GiflibDecoded Convert(const std::string& clip, const std::string& args) {
    const std::string out = test::WorkPath("crop_out.gif");
    std::string log;
    EXPECT_EQ(RunCli("avi2gif " + Quote(clip) + " " + Quote(out) + " --quiet" + args, &log), 0)
        << args << ": " << log;
    return test::GiflibDecode(test::ReadFileBytes(out));
}

TEST(CliCrop, CutsWhatFfmpegsCropCutsAndRefusesWhatDoesNotFit) {
    const std::string clip = MakePattern("crop_whole");
    const std::string cut = MakePattern("crop_cut", "crop=160:100:40:60");
    for (const char* args :
         {"", " --reduction quantize", " --width 80", " --reduction quantize --width 100"}) {
        const std::string a = test::WorkPath("crop_a.gif"), b = test::WorkPath("crop_b.gif");
        ASSERT_EQ(RunCli("avi2gif " + Quote(clip) + " " + Quote(a) +
                         " --quiet --crop 160x100+40+60" + args),
                  0);
        ASSERT_EQ(RunCli("avi2gif " + Quote(cut) + " " + Quote(b) + " --quiet" + args), 0);
        EXPECT_EQ(test::ReadFileBytes(a), test::ReadFileBytes(b)) << args;
    }
    const std::string out = test::WorkPath("crop_refused.gif");
    for (const char* args :
         {"--crop 400x100+0+0", "--crop 100x100+221+0", "--crop 100x100+0+141", "--crop 0x100+0+0",
          "--crop 100x100", "--crop 1x1+-1+0", "--crop ax1+0+0", "--reverse --bounce"}) {
        std::filesystem::remove(out);
        std::string log;
        EXPECT_EQ(RunCli("avi2gif " + Quote(clip) + " " + Quote(out) + " " + args, &log), 2)
            << args;
        EXPECT_FALSE(std::filesystem::exists(out)) << args;
        if (std::string(args).find("--crop") != std::string::npos) {
            EXPECT_NE(log.find("320x240"), std::string::npos) << args << ": " << log;
        }
    }
}

TEST(CliOrder, ReverseAndBounceWriteTheForwardFramesInTheirOrder) {
    const std::string clip = MakePattern("order");
    const std::vector<int> forward = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    const std::vector<int> reverse = {11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    std::vector<int> bounce = forward;
    bounce.insert(bounce.end(), reverse.begin() + 1, reverse.end() - 1);
    // Frames coded one by one: the same indexes and tables, reordered.
    const auto plain = Convert(clip, " --reduction quantize");
    ASSERT_EQ(plain.Frames.size(), forward.size());
    for (const auto& [args, order] : std::vector<std::pair<std::string, std::vector<int>>>{
             {" --reverse", reverse}, {" --bounce", bounce}}) {
        const auto gif = Convert(clip, " --reduction quantize" + args);
        ASSERT_EQ(gif.Frames.size(), order.size()) << args;
        for (std::size_t k = 0; k < order.size(); ++k) {
            const auto& want = plain.Frames[static_cast<std::size_t>(order[k])];
            EXPECT_EQ(gif.Frames[k].Indexes, want.Indexes) << args << " frame " << k;
            EXPECT_EQ(gif.Frames[k].Palette, want.Palette) << args << " frame " << k;
        }
    }
    // The quality road codes what changed: what it shows follows the frames.
    const auto forwardShown = test::GiflibComposite(Convert(clip, ""));
    const auto bounced = Convert(clip, " --bounce --loop 3");
    EXPECT_EQ(bounced.LoopCount, 3);
    const auto shown = test::GiflibComposite(bounced);
    ASSERT_EQ(shown.size(), bounce.size());
    for (std::size_t k = 0; k < shown.size(); ++k) {
        const auto& want = forwardShown[static_cast<std::size_t>(bounce[k])];
        double squared = 0;
        for (std::size_t i = 0; i < want.size(); ++i)
            squared += (shown[k][i] - want[i]) * (shown[k][i] - want[i]);
        const double psnr = 10 * std::log10(255.0 * 255.0 * static_cast<double>(want.size()) /
                                            std::max(squared, 1.0));
        EXPECT_GT(psnr, 30.0) << "frame " << k;
    }
}

} // namespace
} // namespace framolo
