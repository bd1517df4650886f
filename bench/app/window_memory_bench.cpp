// What a window conversion of a full-HD clip holds per frame: the resident
// memory the run adds over what the window held with the clip open, at its
// highest during the run and after the finished GIF has played through once
// in the preview, divided by the frames converted. Run one size per process
// (--benchmark_filter=.../N), as freed memory is not always returned.
#include "app/form_main.h"
#include "app/startup.h"
#include "controls/modal_seam.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

double ResidentMB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

std::string MakeClip(int frames) {
    QDir().mkpath(FRAMOLO_APP_BENCH_DIR);
    const std::string path =
        std::string(FRAMOLO_APP_BENCH_DIR "/hd-") + std::to_string(frames) + ".avi";
    if (!QFileInfo::exists(QString::fromStdString(path))) {
        const std::string command =
            "ffmpeg -loglevel error -y -f lavfi -i testsrc2=size=1920x1080:rate=25 -frames:v " +
            std::to_string(frames) + " -c:v mjpeg -q:v 3 '" + path + "'";
        if (std::system(command.c_str()) != 0)
            return {};
    }
    return path;
}

void BM_WindowConvertMemory(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(0));
    const std::string clip = MakeClip(frames);
    if (clip.empty()) {
        state.SkipWithError("ffmpeg could not make the clip");
        return;
    }
    framolo::TScopedModalRunner answer(
        [](QDialog&) { return static_cast<int>(QDialog::Accepted); });
    double base = 0;
    double peak = 0;
    double played = 0;
    double run = 0;
    for (auto _ : state) {
        framolo::TFormmain form;
        form.show();
        form.OpenClip(clip);
        form.AVIPlayer1().Stop();
        QApplication::processEvents();
        base = ResidentMB();
        peak = base;
        QTimer sampler;
        QObject::connect(&sampler, &QTimer::timeout, [&] { peak = std::max(peak, ResidentMB()); });
        sampler.start(5);
        form.ConvertAviClick();
        run = std::max(peak, ResidentMB());
        // The preview animates the GIF: 25 frames a second, once through.
        QElapsedTimer playing;
        playing.start();
        while (playing.elapsed() < frames * 40 + 1000)
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        sampler.stop();
        played = ResidentMB();
        peak = std::max(peak, played);
    }
    state.counters["frames"] = frames;
    state.counters["base_MB"] = base;
    state.counters["peak_MB"] = peak;
    state.counters["run_MB_per_frame"] = (run - base) / frames;
    state.counters["peak_MB_per_frame"] = (peak - base) / frames;
    state.counters["after_play_MB_per_frame"] = (played - base) / frames;
}

BENCHMARK(BM_WindowConvertMemory)->Arg(25)->Arg(100)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // FRAMOLO_BENCH_DEFAULT_MALLOC=1 measures without the program's allocator setting.
    if (std::getenv("FRAMOLO_BENCH_DEFAULT_MALLOC") == nullptr)
        framolo::KeepLargeBuffersApart();
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
