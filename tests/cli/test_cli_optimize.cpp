#include "clip_tools.h"
#include "giflib_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

namespace framolo {
namespace {

constexpr int kWidth = 96;
constexpr int kHeight = 64;
constexpr int kFrames = 10;

int RunCli(const std::string& args, std::string* out = nullptr) {
    return test::RunCommand(std::string(FRAMOLO_CLI_PATH) + " " + args + " 2>&1", out);
}

// A still picture under a small moving test pattern, stored without loss,
// and its frames as raw red, green, blue bytes.
struct TStaticScene {
    std::string Clip;
    std::vector<std::uint8_t> Rgb;
};

// Each test makes its own copy: CTest may run them in parallel processes.
TStaticScene MakeStaticScene(const std::string& name) {
    const std::string graph =
        "mandelbrot=s=" + std::to_string(kWidth) + "x" + std::to_string(kHeight) +
        ":rate=25,trim=end_frame=1,loop=loop=-1:size=1[bg];testsrc2=s=24x16:rate=25[fg];"
        "[bg][fg]overlay=x='4+t*100':y=20:shortest=1";
    TStaticScene scene;
    scene.Clip = test::WorkPath(name + ".avi");
    const std::string raw = test::WorkPath(name + ".rgb");
    const std::string common = "ffmpeg -hide_banner -loglevel error -y -f lavfi -i \"" + graph +
                               "\" -frames:v " + std::to_string(kFrames) + " ";
    std::string log;
    if (test::RunCommand(common + "-c:v rawvideo -pix_fmt bgr24 '" + scene.Clip + "' 2>&1", &log) !=
            0 ||
        test::RunCommand(common + "-f rawvideo -pix_fmt rgb24 '" + raw + "' 2>&1", &log) != 0)
        throw std::runtime_error("ffmpeg could not make the scene: " + log);
    scene.Rgb = test::ReadFileBytes(raw);
    return scene;
}

double Psnr(const std::vector<std::vector<std::uint8_t>>& shown,
            const std::vector<std::uint8_t>& rgb) {
    double sum = 0;
    std::size_t n = 0;
    for (std::size_t k = 0; k < shown.size(); ++k)
        for (std::size_t i = 0; i < shown[k].size(); ++i, ++n) {
            const double d = shown[k][i] - rgb[k * shown[k].size() + i];
            sum += d * d;
        }
    return 10 * std::log10(255.0 * 255.0 / (sum / static_cast<double>(n)));
}

TEST(CliOptimize, ShowsTheFramesOfABestQualityRunInAFractionOfTheBytes) {
    const TStaticScene scene = MakeStaticScene("optimize_static");
    ASSERT_EQ(scene.Rgb.size(), std::size_t{kWidth} * kHeight * 3 * kFrames);
    const std::string best = test::WorkPath("optimize_best.gif");
    const std::string optimized = test::WorkPath("optimize_small.gif");
    std::string log;
    ASSERT_EQ(RunCli("avi2gif '" + scene.Clip + "' '" + best + "' --reduction best --quiet", &log),
              0)
        << log;
    ASSERT_EQ(RunCli("avi2gif '" + scene.Clip + "' '" + optimized +
                         "' --reduction best --optimize --delay 70 --loop 2 --quiet",
                     &log),
              0)
        << log;

    const auto full = test::GiflibDecode(test::ReadFileBytes(best));
    const auto small = test::GiflibDecode(test::ReadFileBytes(optimized));
    ASSERT_TRUE(full.Ok && small.Ok) << full.Error << small.Error;
    ASSERT_EQ(small.Frames.size(), std::size_t{kFrames});
    EXPECT_EQ(small.LoopCount, 2);
    EXPECT_EQ(small.Frames[0].Width * small.Frames[0].Height, kWidth * kHeight);
    for (const auto& f : small.Frames) {
        EXPECT_EQ(f.Delay, 7);
        EXPECT_EQ(f.Disposal, 1);
    }
    // Only the moving pattern's strip is stored after the first frame.
    for (std::size_t k = 1; k < small.Frames.size(); ++k)
        EXPECT_LE(small.Frames[k].Height, 16);

    // The shared palette costs little: every shown frame is close to the
    // source, nearly as close as frames with a palette each.
    const double fullPsnr = Psnr(test::GiflibComposite(full), scene.Rgb);
    const double smallPsnr = Psnr(test::GiflibComposite(small), scene.Rgb);
    EXPECT_GT(smallPsnr, 30.0);
    EXPECT_GT(smallPsnr, fullPsnr - 1.0) << fullPsnr;
    EXPECT_LT(test::ReadFileBytes(optimized).size(), test::ReadFileBytes(best).size() / 2);
}

TEST(CliOptimize, OtherReductionsAreRefused) {
    const TStaticScene scene = MakeStaticScene("optimize_refused");
    const std::string out = test::WorkPath("optimize_refused.gif");
    std::remove(out.c_str());
    std::string log;
    EXPECT_EQ(
        RunCli("avi2gif '" + scene.Clip + "' '" + out + "' --optimize --reduction quantize", &log),
        2);
    EXPECT_NE(log.find("--optimize works with --reduction best"), std::string::npos) << log;
    EXPECT_FALSE(std::ifstream(out).good());
    for (const auto& [args, message] : std::vector<std::pair<std::string, std::string>>{
             {" --tolerance 3", "--tolerance works with --optimize"},
             {" --optimize --tolerance 65", "--tolerance must be between 0 and 64, not 65"},
             {" --optimize --tolerance -1", "--tolerance takes a whole number, not '-1'"}}) {
        EXPECT_EQ(RunCli("avi2gif '" + scene.Clip + "' '" + out + "'" + args, &log), 2) << args;
        EXPECT_NE(log.find(message), std::string::npos) << log;
    }
    EXPECT_FALSE(std::ifstream(out).good());
    // Alone, --optimize picks the best palette itself.
    EXPECT_EQ(RunCli("avi2gif '" + scene.Clip + "' '" + out + "' --optimize --quiet", &log), 0)
        << log;
}

TEST(CliOptimize, QualityTakesOneToAHundredAndTradesBytesForFidelity) {
    const TStaticScene scene = MakeStaticScene("optimize_quality");
    const std::string out = test::WorkPath("optimize_quality.gif");
    std::remove(out.c_str());
    std::string log;
    for (const auto& [args, message] : std::vector<std::pair<std::string, std::string>>{
             {" --quality 0", "--quality must be between 1 and 100, not 0"},
             {" --quality 101", "--quality must be between 1 and 100, not 101"},
             {" --quality high", "--quality takes a whole number, not 'high'"},
             {" --quality", "--quality needs a value"},
             {" --quality 50 --reduction quantize", "--quality works with --reduction best"},
             {" --quality 50 --optimize --tolerance 2", "--tolerance and --quality do not go"}}) {
        EXPECT_EQ(RunCli("avi2gif '" + scene.Clip + "' '" + out + "'" + args, &log), 2) << args;
        EXPECT_NE(log.find(message), std::string::npos) << args << ": " << log;
        EXPECT_FALSE(std::ifstream(out).good()) << args;
    }

    // Each run's GIF, how close its shown frames are to the source, its bytes.
    struct TRun {
        double Psnr = 0;
        std::vector<std::uint8_t> Bytes;
    };
    const auto run = [&](const std::string& args) {
        EXPECT_EQ(RunCli("avi2gif '" + scene.Clip + "' '" + out + "' --quiet" + args, &log), 0)
            << args << ": " << log;
        TRun r;
        r.Bytes = test::ReadFileBytes(out);
        const auto decoded = test::GiflibDecode(r.Bytes);
        EXPECT_TRUE(decoded.Ok) << args << ": " << decoded.Error;
        if (decoded.Ok)
            r.Psnr = Psnr(test::GiflibComposite(decoded), scene.Rgb);
        return r;
    };
    const TRun lowest = run(" --quality 1");
    const TRun middle = run(" --quality 50");
    const TRun highest = run(" --quality 100");
    EXPECT_LT(lowest.Bytes.size(), middle.Bytes.size());
    EXPECT_LT(middle.Bytes.size(), highest.Bytes.size());
    EXPECT_LT(lowest.Psnr, middle.Psnr);
    EXPECT_LT(middle.Psnr, highest.Psnr);
    EXPECT_GT(lowest.Psnr, 25.0);
    // Below 50 the tuning takes another course (larger tolerances, a smaller
    // palette, no string choice at the bottom): files still grow with the
    // quality, step by step, and so does the fidelity.
    const std::vector<int> steps = {1, 12, 25, 37, 49, 50, 60};
    std::vector<TRun> runs;
    for (const int q : steps)
        runs.push_back(run(" --quality " + std::to_string(q)));
    for (std::size_t i = 1; i < runs.size(); ++i) {
        EXPECT_LE(runs[i - 1].Bytes.size(), runs[i].Bytes.size()) << "quality " << steps[i];
        EXPECT_LE(runs[i - 1].Psnr, runs[i].Psnr) << "quality " << steps[i];
    }
    // The quality road is the small-file road of the best palette, whichever
    // way it is asked for.
    EXPECT_EQ(run(" --reduction best --optimize --quality 50").Bytes, middle.Bytes);
}

std::uint64_t Fnv1a64(const std::vector<std::uint8_t>& bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const std::uint8_t b : bytes)
        hash = (hash ^ b) * 1099511628211ull;
    return hash;
}

// The bytes of fixed roads on a fixed clip: the window's road, which the
// command line took by default before, keeps them as they were; the default
// keeps the ones it has now until it is changed on purpose.
TEST(CliOptimize, TheWindowsRoadAndTheDefaultKeepTheirBytes) {
    const TStaticScene scene = MakeStaticScene("optimize_golden");
    const std::string out = test::WorkPath("optimize_golden.gif");
    for (const auto& [args, hash] : std::vector<std::pair<std::string, std::uint64_t>>{
             {" --reduction quantize --dither floydsteinberg", 0xae19b44722ea4f93ull},
             {" --reduction quantize", 0xae19b44722ea4f93ull},
             {"", 0xfc71dbc4067fb08cull},
             {" --quality 78 --dither nearest", 0xfc71dbc4067fb08cull}}) {
        std::string log;
        ASSERT_EQ(RunCli("avi2gif '" + scene.Clip + "' '" + out + "' --quiet" + args, &log), 0)
            << args << ": " << log;
        EXPECT_EQ(Fnv1a64(test::ReadFileBytes(out)), hash) << args;
    }
}

} // namespace
} // namespace framolo
