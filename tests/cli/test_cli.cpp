#include "cli/media_info.h"
#include "clip_tools.h"
#include "gif/gif_document.h"
#include "giflib_util.h"
#include "platform/graphics/bitmap.h"

#include "gif/gif_document.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace framolo {
namespace {

std::string Cli(const std::string& args) {
    return std::string(FRAMOLO_CLI_PATH) + " " + args + " 2>&1";
}

int RunCli(const std::string& args, std::string* out = nullptr) {
    return test::RunCommand(Cli(args), out);
}

bool Exists(const std::string& path) {
    return std::ifstream(path).good();
}

struct ClipCase {
    const char* name;
    const char* options;
    const char* rate;
};

class CliAviToGif : public ::testing::TestWithParam<ClipCase> {};

TEST_P(CliAviToGif, OutputDecodesInGiflibWithTheExpectedFrames) {
    const ClipCase c = GetParam();
    const std::string clip = test::MakeClip(c.name, 48, 32, 12, c.options, c.rate);
    const std::string out = test::WorkPath(std::string(c.name) + ".gif");
    std::string log;
    ASSERT_EQ(RunCli("avi2gif '" + clip + "' '" + out +
                         "' --step 2 --delay 100 --loop 3 --reduction quantize",
                     &log),
              0)
        << log;
    EXPECT_NE(log.find("frames: 6"), std::string::npos) << log;
    EXPECT_NE(log.find("width: 48"), std::string::npos) << log;
    const auto decoded = test::GiflibDecode(test::ReadFileBytes(out));
    ASSERT_TRUE(decoded.Ok) << decoded.Error;
    EXPECT_EQ(decoded.Width, 48);
    EXPECT_EQ(decoded.Height, 32);
    EXPECT_EQ(decoded.LoopCount, 3);
    ASSERT_EQ(decoded.Frames.size(), 6u);
    for (const auto& f : decoded.Frames) {
        EXPECT_EQ(f.Delay, 10);
        EXPECT_TRUE(f.HasLocalMap);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, CliAviToGif,
    ::testing::Values(ClipCase{"cli_raw.avi", "-c:v rawvideo -pix_fmt bgr24", "25"},
                      ClipCase{"cli_mjpeg.avi", "-c:v mjpeg -q:v 3", "25"},
                      ClipCase{"cli_mpeg4.avi", "-c:v mpeg4 -bf 2 -vtag XVID", "30000/1001"},
                      ClipCase{"cli_h264.mp4", "-c:v libx264 -bf 2 -pix_fmt yuv420p", "25"},
                      ClipCase{"cli_pal8.avi", "-c:v rawvideo -pix_fmt pal8", "25"}),
    [](const auto& param) {
        std::string n = param.param.name;
        return n.substr(4, n.find('.') - 4);
    });

TEST(Cli, DefaultsComeFromTheClip) {
    const std::string clip = test::MakeClip("cli_defaults.avi", 40, 30, 7, "-c:v mjpeg", "20");
    const std::string out = test::WorkPath("defaults.gif");
    std::string log;
    ASSERT_EQ(RunCli("avi2gif '" + clip + "' '" + out + "'", &log), 0) << log;
    const auto decoded = test::GiflibDecode(test::ReadFileBytes(out));
    ASSERT_TRUE(decoded.Ok);
    EXPECT_EQ(decoded.Frames.size(), 7u);
    EXPECT_EQ(decoded.LoopCount, 0);
    EXPECT_EQ(decoded.Frames[0].Delay, 5); // 50 ms frame period
}

TEST(Cli, GifToAviReadsBackInFfprobeAndMatchesTheRenderedFrames) {
    const std::string clip = test::MakeClip("cli_src.avi", 40, 30, 6, "-c:v mjpeg", "25");
    const std::string gif = test::WorkPath("roundtrip.gif");
    std::string log;
    ASSERT_EQ(RunCli("avi2gif '" + clip + "' '" + gif + "' --delay 80 --quiet", &log), 0) << log;
    const std::string avi = test::WorkPath("roundtrip.avi");
    ASSERT_EQ(RunCli("gif2avi '" + gif + "' '" + avi + "'", &log), 0) << log;
    EXPECT_NE(log.find("frames: 6"), std::string::npos) << log;
    EXPECT_EQ(test::ProbeRateAndFrames(avi), "25/2,6");

    // The GIF's six frames show fewer than 256 colours in all: every AVI frame
    // equals giflib's composited frame exactly.
    const auto screens = test::GiflibComposite(test::GiflibDecode(test::ReadFileBytes(gif)));
    const auto frames = test::DecodeWithFfmpeg(avi, 40, 30);
    ASSERT_EQ(frames.size(), 6u);
    ASSERT_EQ(screens.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) {
        std::vector<std::uint8_t> expected = screens[i];
        for (std::size_t p = 0; p < expected.size(); p += 3)
            std::swap(expected[p], expected[p + 2]);
        EXPECT_EQ(frames[i], expected) << "frame " << i;
    }
}

// A clip whose frame period is not a whole number of hundredths keeps its
// length in the GIF: each frame starts at the hundredth nearest its time.
TEST(Cli, AClipsGifLastsAsLongAsTheClip) {
    for (const int fps : {15, 30}) {
        SCOPED_TRACE(fps);
        const std::string name = "period_" + std::to_string(fps);
        const std::string clip =
            test::MakeClip(name + ".avi", 16, 12, 3 * fps, "-c:v mjpeg", std::to_string(fps));
        const std::string gif = test::WorkPath(name + ".gif");
        std::string log;
        ASSERT_EQ(RunCli("avi2gif '" + clip + "' '" + gif + "' --quiet", &log), 0) << log;
        const auto decoded = test::GiflibDecode(test::ReadFileBytes(gif));
        ASSERT_TRUE(decoded.Ok);
        ASSERT_EQ(decoded.Frames.size(), static_cast<std::size_t>(3 * fps));
        // The period as the tool reads it, in whole milliseconds.
        const double periodMs = std::nearbyint(1000.0 / fps);
        int start = 0;
        for (std::size_t k = 0; k < decoded.Frames.size(); ++k) {
            EXPECT_LE(std::abs(start - static_cast<double>(k) * periodMs / 10), 0.5) << k;
            start += decoded.Frames[k].Delay;
        }
        EXPECT_LE(std::abs(start - 300), 3) << "hundredths in all";
    }
}

// gif2video writes MP4 and WebM with the GIF's length, takes its quality and
// background, and refuses values outside them.
TEST(Cli, GifToVideoKeepsTheLengthAndChecksItsOptions) {
    const std::string clip = test::MakeClip("cli_video_src.avi", 32, 16, 5, "-c:v mjpeg", "25");
    const std::string gif = test::WorkPath("to_video.gif");
    std::string log;
    ASSERT_EQ(
        RunCli("avi2gif '" + clip + "' '" + gif + "' --delay 10 --width 33 --height 17 --quiet",
               &log),
        0)
        << log;
    struct TCase {
        std::string Args;
        int Status;
        std::string Says;
    } cases[] = {
        {"gif2video '" + gif + "' '" + test::WorkPath("v.mp4") + "' --quality 90 --json", 0,
         "\"raised_delays\": 5"},
        {"gif2avi '" + gif + "' '" + test::WorkPath("v.webm") + "' --background '#ff8000'", 0,
         "note: 5 frames with delay 0 or 1 show for 10 hundredths"},
        {"gif2video '" + gif + "' x.mp4 --quality 0", 2, "--quality must be between 1 and 100"},
        {"gif2video '" + gif + "' x.mp4 --background red", 2,
         "--background takes six hex digits such as ff8000, not 'red'"},
        {"gif2video '" + gif + "'", 2, "gif2video takes INPUT.gif and OUTPUT.avi"},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(RunCli(c.Args + " 2>&1", &log), c.Status) << c.Args << "\n" << log;
        EXPECT_NE(log.find(c.Says), std::string::npos) << log;
    }
    for (const char* name : {"v.mp4", "v.webm"}) {
        std::string probe;
        ASSERT_EQ(test::RunCommand("ffprobe -v error -show_entries format=duration:stream=width "
                                   "-of csv=p=0 '" +
                                       test::WorkPath(name) + "'",
                                   &probe),
                  0);
        EXPECT_EQ(probe, "34\n0.500000\n") << name; // padded to an even width
    }
}

TEST(Cli, BadInputGivesAMessageAndNoOutput) {
    const std::string out = test::WorkPath("bad_out.gif");
    std::remove(out.c_str());
    std::string log;
    EXPECT_EQ(RunCli("avi2gif '" + test::WorkPath("nope.avi") + "' '" + out + "'", &log), 1);
    EXPECT_NE(log.find("Failed to open AVI file"), std::string::npos) << log;
    EXPECT_FALSE(Exists(out));

    const std::string text = test::WorkPath("text.avi");
    std::ofstream(text) << "plain text, not a clip\n";
    EXPECT_EQ(RunCli("avi2gif '" + text + "' '" + out + "'", &log), 1);
    EXPECT_FALSE(Exists(out));

    // A clip cut in half: either fewer frames decode or the job fails; never a crash,
    // and a failure leaves no GIF behind.
    const std::string clip = test::MakeClip("cli_cut_src.avi", 48, 32, 20, "-c:v mjpeg", "25");
    auto bytes = test::ReadFileBytes(clip);
    bytes.resize(bytes.size() / 2);
    const std::string cut = test::WorkPath("cut.avi");
    std::ofstream(cut, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    const int status = RunCli("avi2gif '" + cut + "' '" + out + "'", &log);
    EXPECT_TRUE(status == 0 || status == 1) << log;
    EXPECT_EQ(Exists(out), status == 0) << log;
    std::remove(out.c_str());

    const std::string badGif = test::WorkPath("bad.gif");
    std::ofstream(badGif) << "GIF89a-broken";
    EXPECT_EQ(RunCli("gif2avi '" + badGif + "' '" + test::WorkPath("bad.avi") + "'", &log), 1);
    EXPECT_FALSE(Exists(test::WorkPath("bad.avi")));

    const std::string good = test::MakeClip("cli_unwritable.avi", 16, 16, 2, "-c:v mjpeg", "25");
    EXPECT_EQ(RunCli("avi2gif '" + good + "' '" + test::WorkPath("no/such/dir/x.gif") + "'", &log),
              1);
    EXPECT_NE(log.find("no/such/dir"), std::string::npos) << log;

    EXPECT_EQ(RunCli("avi2gif", &log), 2);
    EXPECT_EQ(RunCli("avi2gif a b --step 0", &log), 2);
    EXPECT_EQ(RunCli("avi2gif a b --step 00", &log), 2);
    EXPECT_EQ(RunCli("avi2gif a b --reduction purple", &log), 2);
    EXPECT_EQ(RunCli("avi2gif a b --width -3", &log), 2);
    EXPECT_EQ(RunCli("frobnicate", &log), 2);
}

TEST(Cli, InfoDescribesGifsAndVideos) {
    const std::string clip =
        test::MakeClip("cli_info.avi", 24, 16, 3, "-c:v rawvideo -pix_fmt bgr24", "25");
    std::string json;
    ASSERT_EQ(test::RunCommand(std::string(FRAMOLO_CLI_PATH) + " info --json --frame-hashes '" +
                                   clip + "'",
                               &json),
              0);
    EXPECT_NE(json.find("\"format\": \"video\""), std::string::npos) << json;
    EXPECT_NE(
        json.find("\"type\": \"vids\", \"scale\": 1, \"rate\": 25, \"start\": 0, \"length\": 3"),
        std::string::npos)
        << json;
    EXPECT_NE(json.find("\"frame\": [0, 0, 24, 16]"), std::string::npos) << json;
    EXPECT_NE(json.find("\"bit_count\": 24"), std::string::npos) << json;
    // Frame hashes are FNV-1a over ffmpeg's own decode of each frame.
    const auto frames = test::DecodeWithFfmpeg(clip, 24, 16);
    ASSERT_EQ(frames.size(), 3u);
    for (const auto& f : frames) {
        TFnv1a64 h;
        h.Add(f.data(), f.size());
        // Appended: GCC 12 at -O3 warns falsely (-Wrestrict) on "\"" + h.Hex().
        std::string quoted = "\"";
        quoted += h.Hex();
        quoted += '"';
        EXPECT_NE(json.find(quoted), std::string::npos) << json;
    }

    const std::string gif = test::WorkPath("info.gif");
    std::string log;
    ASSERT_EQ(RunCli("avi2gif '" + clip + "' '" + gif +
                         "' --delay 30 --loop 2 --quiet --reduction quantize",
                     &log),
              0)
        << log;
    ASSERT_EQ(test::RunCommand(std::string(FRAMOLO_CLI_PATH) + " info --json '" + gif + "'", &json),
              0);
    EXPECT_NE(json.find("\"format\": \"gif\", \"width\": 24, \"height\": 16"), std::string::npos)
        << json;
    EXPECT_NE(json.find("\"loop_count\": 2"), std::string::npos) << json;
    EXPECT_NE(json.find("\"delay\": 3, \"disposal\": 0, \"transparent_index\": null"),
              std::string::npos)
        << json;
    TGIFDocument doc;
    doc.LoadFromFile(gif);
    TFnv1a64 h;
    h.Add(doc.Frames()[1]->Pixels(), doc.Frames()[1]->PixelCount());
    EXPECT_NE(json.find("\"pixels_fnv1a64\": \"" + h.Hex() + "\""), std::string::npos) << json;

    // Known vector: FNV-1a 64 of "a".
    TFnv1a64 a;
    const std::uint8_t byte = 'a';
    a.Add(&byte, 1);
    EXPECT_EQ(a.Hex(), "af63dc4c8601ec8c");
}

TEST(Cli, InfoRefusesAGifPastThePixelBudget) {
    // Thirteen 2048 x 2048 frames in 215 bytes: each codes one pixel and
    // leaves the rest to the fill.
    std::vector<std::uint8_t> bytes = {'G',  'I', 'F', '8', '9', 'a', 0,   8,   0,  8,
                                       0x80, 0,   0,   0,   0,   0,   255, 255, 255};
    for (int i = 0; i < 13; ++i)
        bytes.insert(bytes.end(), {0x2C, 0, 0, 0, 0, 0, 8, 0, 8, 0, 2, 2, 0x44, 0x01, 0});
    bytes.push_back(0x3B);
    const std::string path = test::WorkPath("info_budget.gif");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));

    const std::int64_t saved = DefaultPixelBudget;
    DefaultPixelBudget = 10000000;
    std::ostringstream out;
    std::ostringstream err;
    const int status = DescribeFile(path, false, false, out, err);
    DefaultPixelBudget = saved;
    EXPECT_EQ(status, 1);
    EXPECT_EQ(err.str(), "framolo-cli: The GIF image holds more pixels than can be decoded (13 "
                         "million; the limit is 10 million)\n");
    EXPECT_EQ(out.str(), "");
}

TEST(Cli, SampleClipConverts) {
    const std::string out = test::WorkPath("sample.gif");
    std::string log;
    ASSERT_EQ(RunCli(std::string("avi2gif '") + FRAMOLO_SAMPLE_CLIP + "' '" + out +
                         "' --end 9 --width 160 --height 120",
                     &log),
              0)
        << log;
    const auto decoded = test::GiflibDecode(test::ReadFileBytes(out));
    ASSERT_TRUE(decoded.Ok);
    EXPECT_EQ(decoded.Frames.size(), 10u);
    EXPECT_EQ(decoded.Width, 160);
    EXPECT_EQ(decoded.Frames[0].Delay, 4);
}

} // namespace
} // namespace framolo
