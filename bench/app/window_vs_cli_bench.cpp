// The window's AVI to GIF run against the command line's on the same clip
// and settings: "Best quality, smaller file" with FloydSteinberg, which is
// `framolo-cli avi2gif --reduction best --optimize --dither floydsteinberg`
// at the default quality. Both write the same bytes; the window should take
// at most 1.2 times the command line's time. Run the two alternately on a
// busy machine and compare medians:
//   window_vs_cli_bench --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true
#include "app/form_main.h"
#include "controls/modal_seam.h"
#include "gif/encode/quality_table.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

namespace {

constexpr int kFrames = 150;

std::string MakeClip() {
    QDir().mkpath(FRAMOLO_APP_BENCH_DIR);
    const std::string path =
        std::string(FRAMOLO_APP_BENCH_DIR "/busy-") + std::to_string(kFrames) + ".avi";
    if (!QFileInfo::exists(QString::fromStdString(path))) {
        const std::string command =
            "ffmpeg -loglevel error -y -f lavfi -i testsrc2=size=480x360:rate=25 -frames:v " +
            std::to_string(kFrames) + " -c:v mjpeg -q:v 3 '" + path + "'";
        if (std::system(command.c_str()) != 0)
            return {};
    }
    return path;
}

void BM_Window(benchmark::State& state) {
    const std::string clip = MakeClip();
    if (clip.empty()) {
        state.SkipWithError("ffmpeg could not make the clip");
        return;
    }
    framolo::TScopedModalRunner answer(
        [](QDialog&) { return static_cast<int>(QDialog::Accepted); });
    for (auto _ : state) {
        state.PauseTiming();
        framolo::TFormmain form;
        form.show();
        form.OpenClip(clip);
        form.AVIPlayer1().Stop();
        form.findChild<QComboBox*>("ColorReductionBox")->setCurrentIndex(9);
        form.findChild<QComboBox*>("DitherModeBox")->setCurrentIndex(1);
        state.ResumeTiming();
        form.ConvertAviClick();
    }
    state.counters["frames"] = kFrames;
}

void BM_CommandLine(benchmark::State& state) {
    const std::string clip = MakeClip();
    if (clip.empty()) {
        state.SkipWithError("ffmpeg could not make the clip");
        return;
    }
    const std::string command = std::string(FRAMOLO_CLI_PATH) + " avi2gif '" + clip + "' '" +
                                FRAMOLO_APP_BENCH_DIR + "/cli.gif' --quiet --reduction best " +
                                "--optimize --dither floydsteinberg --quality " +
                                std::to_string(framolo::kDefaultQuality);
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("framolo-cli failed");
            return;
        }
    }
    state.counters["frames"] = kFrames;
}

BENCHMARK(BM_Window)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CommandLine)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

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
