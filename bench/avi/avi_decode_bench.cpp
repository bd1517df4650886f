// Decoding every frame of a 768 x 576 MPEG-4 clip through AVIStreamGetFrame,
// against `ffmpeg -i clip -f null -` on the same clip in the same run.
//
// Counters: ffmpeg_s (ffmpeg's wall time for the clip), ratio (ours / ffmpeg;
// the goal is 1.2 or less), rss_growth_kb (resident memory gained between the
// first tenth of the clip and its end; flat memory keeps it near 0).

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/avifile/avifile.h"

namespace {

namespace fs = std::filesystem;

fs::path Clip(int frames) {
    const fs::path path =
        fs::path(FRAMOLO_AVI_BENCH_DIR) / ("mpeg4_768x576_" + std::to_string(frames) + ".avi");
    if (!fs::exists(path)) {
        fs::create_directories(path.parent_path());
        const std::string cmd =
            "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=768x576:rate=25 -frames:v " +
            std::to_string(frames) + " -c:v mpeg4 -bf 2 -g 50 -vtag XVID -q:v 3 '" + path.string() +
            "'";
        if (std::system(cmd.c_str()) != 0) {
            return {};
        }
    }
    return path;
}

long ResidentKb() {
#if defined(__linux__)
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * 4;
#else
    return 0;
#endif
}

double FfmpegSeconds(const fs::path& clip) {
    const auto t0 = std::chrono::steady_clock::now();
    const std::string cmd = "ffmpeg -nostdin -v error -i '" + clip.string() + "' -f null -";
    if (std::system(cmd.c_str()) != 0) {
        return -1;
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void BM_GetFrameAllFrames(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(0));
    const fs::path clip = Clip(frames);
    if (clip.empty()) {
        state.SkipWithError("ffmpeg could not make the clip");
        return;
    }
    framolo::AVIFileInit();
    double ours = 0;
    double theirs = 0;
    long growth = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        framolo::PAVIFile file = nullptr;
        framolo::PAVIStream video = nullptr;
        if (framolo::AVIFileOpen(file, clip.string(), framolo::OF_SHARE_DENY_WRITE) != 0 ||
            framolo::AVIFileGetStream(file, video, framolo::streamtypeVIDEO, 0) != 0) {
            state.SkipWithError("open failed");
            break;
        }
        framolo::PGetFrame gf = framolo::AVIStreamGetFrameOpen(video, nullptr);
        const int n = framolo::AVIStreamLength(video);
        long early = 0;
        for (int k = 0; k < n; ++k) {
            benchmark::DoNotOptimize(framolo::AVIStreamGetFrame(gf, k));
            if (k == n / 10) {
                early = ResidentKb();
            }
        }
        growth = ResidentKb() - early;
        framolo::AVIStreamGetFrameClose(gf);
        framolo::AVIStreamRelease(video);
        framolo::AVIFileRelease(file);
        const double t =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        state.SetIterationTime(t);
        ours += t;
        theirs += FfmpegSeconds(clip);
    }
    framolo::AVIFileExit();
    const double iterations = static_cast<double>(state.iterations());
    if (iterations > 0 && theirs > 0) {
        state.counters["ffmpeg_s"] = theirs / iterations;
        state.counters["ratio"] = ours / theirs;
    }
    state.counters["rss_growth_kb"] = static_cast<double>(growth);
    state.counters["frames"] = frames;
}
BENCHMARK(BM_GetFrameAllFrames)
    ->Arg(250)
    ->Arg(750)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace

BENCHMARK_MAIN();
