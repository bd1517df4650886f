// While the window converts a 768 x 576 clip, a timer asks to run every 10 ms;
// the longest wait between two of its runs is how long Stop and every other
// control could go unanswered. The goal is under 100 ms.
#include "app/form_main.h"
#include "controls/modal_seam.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

std::string MakeClip(const char* codec, int frames) {
    QDir().mkpath(FRAMOLO_APP_BENCH_DIR);
    const std::string path =
        std::string(FRAMOLO_APP_BENCH_DIR "/") + codec + "-" + std::to_string(frames) + ".avi";
    if (!QFileInfo::exists(QString::fromStdString(path))) {
        const std::string command =
            "ffmpeg -loglevel error -y -f lavfi -i testsrc2=size=768x576:rate=25 -frames:v " +
            std::to_string(frames) + " -c:v " + codec + " -q:v 3 '" + path + "'";
        if (std::system(command.c_str()) != 0)
            return {};
    }
    return path;
}

void BM_WindowConvert(benchmark::State& state, const char* codec) {
    const int frames = static_cast<int>(state.range(0));
    const std::string clip = MakeClip(codec, frames);
    if (clip.empty()) {
        state.SkipWithError("ffmpeg could not make the clip");
        return;
    }
    // Boxes are closed at once: the success box must not count as a gap.
    framolo::TScopedModalRunner answer(
        [](QDialog&) { return static_cast<int>(QDialog::Accepted); });
    double worst = 0;
    double total = 0;
    std::int64_t ticks = 0;
    for (auto _ : state) {
        state.PauseTiming();
        framolo::TFormmain form;
        form.show();
        form.OpenClip(clip);
        form.AVIPlayer1().Stop();
        QTimer timer;
        timer.setTimerType(Qt::PreciseTimer);
        Clock::time_point last = Clock::now();
        QObject::connect(&timer, &QTimer::timeout, [&] {
            const Clock::time_point now = Clock::now();
            const double gap = std::chrono::duration<double, std::milli>(now - last).count();
            worst = std::max(worst, gap);
            total += gap;
            ++ticks;
            last = now;
        });
        state.ResumeTiming();
        timer.start(10);
        last = Clock::now();
        form.ConvertAviClick();
        timer.stop();
    }
    state.counters["frames"] = frames;
    state.counters["longest_gap_ms"] = worst;
    state.counters["mean_gap_ms"] = ticks > 0 ? total / static_cast<double>(ticks) : 0;
}

BENCHMARK_CAPTURE(BM_WindowConvert, mjpeg, "mjpeg")
    ->Arg(50)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WindowConvert, mpeg4, "mpeg4")
    ->Arg(50)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
