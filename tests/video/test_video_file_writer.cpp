#include "avi_test_support.h"
#include "platform/video/video_file_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <iterator>
#include <sstream>
#include <vector>

namespace framolo {
namespace {

using avitest::Run;
using avitest::WorkDir;

// A flat picture of one colour (red, green, blue), rows top-down.
std::vector<std::uint8_t> Flat(int width, int height, std::uint8_t r, std::uint8_t g,
                               std::uint8_t b) {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width * height) * 3);
    for (std::size_t i = 0; i < rgb.size(); i += 3) {
        rgb[i] = r;
        rgb[i + 1] = g;
        rgb[i + 2] = b;
    }
    return rgb;
}

std::string Probe(const std::string& entries, const std::filesystem::path& file) {
    std::string out;
    Run("ffprobe -v error -select_streams v:0 -count_frames -show_entries " + entries +
            " -of default=nw=1:nk=1 '" + file.string() + "'",
        &out);
    return out;
}

struct TCase {
    const char* Name;
    TVideoFileFormat Format;
    const char* Codec;
    int Width;
    int Height;
};

class VideoFileWriter : public ::testing::TestWithParam<TCase> {};

// Frames of 10, 20, 50 and 7 hundredths: the file lasts 0.87 s, holds four
// frames at the even size that holds the picture, and each frame keeps its
// colour (red, green, blue, white) through the codec.
TEST_P(VideoFileWriter, KeepsEachFramesDurationSizeAndColour) {
    const TCase& c = GetParam();
    const auto file = WorkDir() / (std::string("writer_") + c.Name +
                                   (c.Format == TVideoFileFormat::Mp4 ? ".mp4" : ".webm"));
    std::string error;
    TVideoFileSettings settings;
    settings.Format = c.Format;
    settings.Width = c.Width;
    settings.Height = c.Height;
    // White, so that a padding left black or copied from the picture shows.
    settings.Background = 0xFFFFFF;
    auto writer = TVideoFileWriter::Create(file.string(), settings, error);
    ASSERT_TRUE(writer) << error;
    const int delays[] = {10, 20, 50, 7};
    const std::uint8_t colours[4][3] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {255, 255, 255}};
    for (int i = 0; i < 4; ++i) {
        const auto rgb = Flat(c.Width, c.Height, colours[i][0], colours[i][1], colours[i][2]);
        ASSERT_TRUE(writer->AddFrame(rgb.data(), c.Width * 3, delays[i])) << writer->LastError();
    }
    ASSERT_TRUE(writer->Finish()) << writer->LastError();

    EXPECT_EQ(Probe("stream=codec_name", file), std::string(c.Codec) + "\n");
    EXPECT_EQ(Probe("stream=width,height", file), std::to_string(c.Width + c.Width % 2) + "\n" +
                                                      std::to_string(c.Height + c.Height % 2) +
                                                      "\n");
    EXPECT_EQ(Probe("stream=nb_read_frames", file), "4\n");
    EXPECT_NEAR(std::atof(Probe("format=duration", file).c_str()), 0.87, 0.011);

    // Each frame's time and colour as a player shows them.
    std::string out;
    ASSERT_EQ(avitest::Run("ffmpeg -v error -i '" + file.string() +
                               "' -vf 'format=rgb24,crop=1:1:4:4' -f rawvideo -pix_fmt rgb24 "
                               "-fps_mode passthrough - | "
                               "od -An -v -tu1",
                           &out),
              0);
    std::vector<int> bytes;
    for (std::size_t pos = 0; pos < out.size();) {
        char* end = nullptr;
        const long v = std::strtol(out.c_str() + pos, &end, 10);
        if (end == out.c_str() + pos)
            break;
        bytes.push_back(static_cast<int>(v));
        pos = static_cast<std::size_t>(end - out.c_str());
    }
    ASSERT_EQ(bytes.size(), 12u);
    for (int i = 0; i < 12; ++i)
        EXPECT_NEAR(bytes[static_cast<std::size_t>(i)], colours[i / 3][i % 3], 6) << "byte " << i;

    // The padding column and row are the background's: bright on every
    // frame, where blue, green and red pictures are all darker.
    if (c.Width % 2 == 0 || c.Height % 2 == 0)
        return;
    ASSERT_EQ(
        avitest::Run("ffmpeg -v error -i '" + file.string() + "' -vf 'format=gray,crop=1:1:" +
                         std::to_string(c.Width) + ":" + std::to_string(c.Height / 2) +
                         "' -f rawvideo -pix_fmt gray -fps_mode passthrough - | od -An -v -tu1",
                     &out),
        0);
    std::istringstream luma(out);
    std::vector<int> padding{std::istream_iterator<int>(luma), std::istream_iterator<int>()};
    ASSERT_EQ(padding.size(), 4u);
    for (int i = 0; i < 3; ++i)
        EXPECT_GT(padding[static_cast<std::size_t>(i)], 200) << "frame " << i;
}

INSTANTIATE_TEST_SUITE_P(Formats, VideoFileWriter,
                         ::testing::Values(TCase{"mp4_even", TVideoFileFormat::Mp4, "h264", 64, 48},
                                           TCase{"mp4_odd", TVideoFileFormat::Mp4, "h264", 33, 17},
                                           TCase{"webm_odd", TVideoFileFormat::WebM, "vp9", 35,
                                                 21}),
                         [](const ::testing::TestParamInfo<TCase>& p) {
                             return std::string(p.param.Name).substr(0, 8);
                         });

TEST(VideoFileWriterErrors, NamesTheReasonAndFormats) {
    TVideoFileFormat format{};
    EXPECT_TRUE(VideoFileFormatOf("a/b.MP4", format));
    EXPECT_EQ(format, TVideoFileFormat::Mp4);
    EXPECT_TRUE(VideoFileFormatOf("clip.webm", format));
    EXPECT_EQ(format, TVideoFileFormat::WebM);
    EXPECT_FALSE(VideoFileFormatOf("clip.avi", format));
    EXPECT_FALSE(VideoFileFormatOf("dir.mp4/clip", format));

    std::string error;
    TVideoFileSettings settings;
    settings.Width = 16;
    settings.Height = 16;
    EXPECT_FALSE(TVideoFileWriter::Create("/nonexistent-dir/x.mp4", settings, error));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
    settings.Width = 0;
    EXPECT_FALSE(TVideoFileWriter::Create((WorkDir() / "zero.mp4").string(), settings, error));
}

TEST(VideoFileWriterErrors, APicturePastTheEncodersBudgetIsRefusedWithItsSize) {
    const struct {
        TVideoFileFormat Format;
        int Width, Height;
        bool Taken;
    } cases[] = {
        {TVideoFileFormat::Mp4, 4096, 2160, true},
        {TVideoFileFormat::WebM, 2160, 4096, true},
        {TVideoFileFormat::WebM, 4096, 2161, false}, // coded as 4096 x 2162
        {TVideoFileFormat::Mp4, 8192, 8192, false},
    };
    for (const auto& c : cases) {
        TVideoFileSettings settings;
        settings.Format = c.Format;
        settings.Width = c.Width;
        settings.Height = c.Height;
        std::string error;
        const auto writer =
            TVideoFileWriter::Create((WorkDir() / "budget.mkv").string(), settings, error);
        EXPECT_EQ(writer != nullptr, c.Taken) << c.Width << "x" << c.Height << " " << error;
        if (!c.Taken) {
            EXPECT_NE(error.find("The picture of " + std::to_string(c.Width) + "x" +
                                 std::to_string(c.Height) + " is larger than"),
                      std::string::npos)
                << error;
        }
    }
}

} // namespace
} // namespace framolo
