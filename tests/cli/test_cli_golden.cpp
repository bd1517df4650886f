// The bytes of the quality road, pinned: clips of each kind the road treats
// differently, at the qualities where it takes another course, on one thread
// and on two. Any change to the palettes, the layers, the trial between them,
// the rich first frame or the LZW string choice shows here as a new hash.

#include "cli_test_util.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <sstream>

namespace framolo {
namespace {

using test::Quote;
using test::RunCli;

std::uint64_t Fnv1a64(const std::vector<std::uint8_t>& bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const std::uint8_t b : bytes)
        hash = (hash ^ b) * 1099511628211ull;
    return hash;
}

// A clip from an ffmpeg filter graph, stored without loss.
std::string MakeGraphClip(const std::string& name, const std::string& graph, int frames) {
    const std::string clip = test::WorkPath("golden_" + name + ".avi");
    std::string log;
    if (test::RunCommand("ffmpeg -hide_banner -loglevel error -y -f lavfi -i \"" + graph +
                             "\" -frames:v " + std::to_string(frames) +
                             " -c:v rawvideo -pix_fmt bgr24 " + Quote(clip) + " 2>&1",
                         &log) != 0)
        throw std::runtime_error("ffmpeg could not make " + name + ": " + log);
    return clip;
}

struct TGoldenClip {
    const char* Name;
    const char* Graph;
    int Frames;
    // Under the file of the default quality, over the smallest.
    const char* Limit;
};

// 320 x 240 frames code past the 4095-code table.
const TGoldenClip kClips[] = {
    // The whole picture moves every frame.
    {"zoom", "mandelbrot=s=320x240:rate=25", 12, "120K"},
    // A still photograph-like picture under a small moving pattern.
    {"still",
     "mandelbrot=s=320x240:rate=25,trim=end_frame=1,loop=loop=-1:size=1[bg];"
     "testsrc2=s=64x48:rate=25[fg];[bg][fg]overlay=x='20+t*150':y=90:shortest=1",
     12, "30K"},
    // A drawn picture of few colours, as a screen recording shows.
    {"drawn", "testsrc=s=320x240:rate=25", 12, "30K"},
};

// The qualities where the road changes course: the wide layers at the very
// bottom, the low end with its trial and rich first frame, the steep knee at
// 50, the shared palette's middle, the default, the trial of full layers
// above 80, and the top.
const int kQualities[] = {1, 8, 30, 38, 49, 60, 78, 85, 90, 100};

std::string Key(const std::string& clip, const std::string& args) {
    return clip + args;
}

// The hash of each run, the same on one thread and on two.
const std::map<std::string, std::uint64_t>& Expected() {
    static const std::map<std::string, std::uint64_t> hashes = {
        {"zoom --quality 1", 0x4f8a6f45cdeb933dull},
        {"zoom --quality 8", 0x90c95a694ab6f157ull},
        {"zoom --quality 30", 0x1fb0239d94dd6a87ull},
        {"zoom --quality 38", 0x4722d90090fa1986ull},
        {"zoom --quality 49", 0x3b82003f380d817eull},
        {"zoom --quality 60", 0xe129c57dc51aecd9ull},
        {"zoom --quality 78", 0x8e04e84c93911a7full},
        {"zoom --quality 85", 0x15455446fe5f47e1ull},
        {"zoom --quality 90", 0x937cd550314df27dull},
        {"zoom --quality 100", 0xea526339243cb3f7ull},
        {"zoom --quality 90 --dither floydsteinberg", 0x94822057e1cfafc6ull},
        {"zoom --max-size 120K --threads 2", 0xd7c79a25da094f8ull},
        {"still --quality 1", 0x69c3eca0fffa043dull},
        {"still --quality 8", 0x3828562dbfc2f8b5ull},
        {"still --quality 30", 0x124dc7bd73b7b19cull},
        {"still --quality 38", 0x5f391ba4281ec6abull},
        {"still --quality 49", 0x33a63eb41d16e75dull},
        {"still --quality 60", 0xa95b7046905e6f9bull},
        {"still --quality 78", 0x230d1911cc04d9d3ull},
        {"still --quality 85", 0x4d8e0f3826fbf15cull},
        {"still --quality 90", 0x2407e16631dbec2cull},
        {"still --quality 100", 0xae29caf43e1dc6a3ull},
        {"still --quality 90 --dither floydsteinberg", 0x6665c636299b6086ull},
        {"still --max-size 30K --threads 2", 0x62bdbb4191d94398ull},
        {"drawn --quality 1", 0xac3e4fbd0037d11bull},
        {"drawn --quality 8", 0xb1a9359fcd5abf34ull},
        {"drawn --quality 30", 0x70b8778753befc4cull},
        {"drawn --quality 38", 0x668f39c2eba7112bull},
        {"drawn --quality 49", 0x8c1ea2a856286848ull},
        {"drawn --quality 60", 0x1c80bee70cfbc8c3ull},
        {"drawn --quality 78", 0x92da64428a2a3d53ull},
        {"drawn --quality 85", 0x943167f4ba0a2744ull},
        {"drawn --quality 90", 0xa7ddfb7ae8fe90daull},
        {"drawn --quality 100", 0x2a0bd3e060b3ed7aull},
        {"drawn --quality 90 --dither floydsteinberg", 0xad40a412d8b01de6ull},
        {"drawn --max-size 30K --threads 2", 0x2ea64bcf8c3313c0ull},
        {"sample --quality 60", 0xaf1bf62d5dc8d8f1ull},
        {"sample", 0xf38dece9ba65cfdbull},
    };
    return hashes;
}

TEST(CliGolden, TheQualityRoadKeepsItsBytesOnEveryCourse) {
    std::ostringstream actual;
    int mismatches = 0;
    const std::string out = test::WorkPath("golden_out.gif");
    auto check = [&](const std::string& clipName, const std::string& clip, const std::string& args,
                     const std::string& threads = "") {
        std::string log;
        ASSERT_EQ(
            RunCli("avi2gif " + Quote(clip) + " " + Quote(out) + " --quiet" + args + threads, &log),
            0)
            << clipName << args << threads << ": " << log;
        const std::uint64_t hash = Fnv1a64(test::ReadFileBytes(out));
        if (threads != " --threads 2")
            actual << "    {\"" << Key(clipName, args) << "\", 0x" << std::hex << hash << std::dec
                   << "ull},\n";
        const auto it = Expected().find(Key(clipName, args));
        if (it == Expected().end() || it->second != hash) {
            ++mismatches;
            ADD_FAILURE() << clipName << args << threads << " wrote " << std::hex << hash;
        }
    };
    for (const TGoldenClip& c : kClips) {
        const std::string clip = MakeGraphClip(c.Name, c.Graph, c.Frames);
        for (const int q : kQualities)
            for (const char* threads : {" --threads 1", " --threads 2"})
                check(c.Name, clip, " --quality " + std::to_string(q), threads);
        // A dithering that was asked for keeps the shared palette's rectangles.
        check(c.Name, clip, " --quality 90 --dither floydsteinberg");
        // A size limit searches the qualities; its result is one of them.
        check(c.Name, clip, std::string(" --max-size ") + c.Limit + " --threads 2");
    }
    check("sample", FRAMOLO_SAMPLE_CLIP, " --quality 60");
    check("sample", FRAMOLO_SAMPLE_CLIP, "");
    if (mismatches > 0)
        std::cout << "The hashes written:\n" << actual.str();
}

TEST(CliGolden, TheEstimateKeepsItsFigures) {
    // More frames than an estimate codes whole.
    const std::string clip = MakeGraphClip("estimate", "mandelbrot=s=240x180:rate=25", 100);
    std::string figures;
    for (const char* args : {"", " --quality 30", " --quality 90", " --step 2 --width 160"}) {
        std::string log;
        ASSERT_EQ(RunCli("avi2gif " + Quote(clip) + " " + Quote(test::WorkPath("golden_e.gif")) +
                             " --estimate --json" + args,
                         &log),
                  0)
            << log;
        const std::string key = "\"estimate_bytes\": ";
        const auto at = log.find(key);
        ASSERT_NE(at, std::string::npos) << log;
        figures += log.substr(at + key.size(), log.find(',', at) - at - key.size()) + " ";
    }
    EXPECT_EQ(figures, "1757924 1047102 1810109 550142 ");
}

} // namespace
} // namespace framolo
