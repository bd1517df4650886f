// player_bench CLIP [SECONDS]
//
// Opens CLIP in a TAVIPlayer shown at the frame's size, plays it from its
// first frame for SECONDS (20 by default) and prints one line: frames the
// clock made due after Play returned, frames painted, how far painting is behind, and the CPU
// time of the whole process per second of play.

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/resource.h>

#include "preview/avi_player.h"

namespace {

struct TCounter : framolo::TAVIPlayerObserver {
    long Painted = 0;
    int Delay = 0;
    void ReportFrameDelay(int milliseconds) override { Delay = milliseconds; }
    void ReportPosition(int) override { ++Painted; }
    bool TrackDragging() const override { return false; }
};

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: player_bench CLIP [SECONDS]\n");
        return 2;
    }
    const std::string clip = argv[1];
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 20;

    TCounter counter;
    framolo::TAVIPlayer player;
    player.SetTransparent(false);
    player.SetObserver(&counter);
    player.SetFileName(clip);
    if (player.FrameCount() == 0) {
        std::fprintf(stderr, "player_bench: cannot open %s\n", clip.c_str());
        return 1;
    }
    player.show();
    // Let the window map and take its first paints before the clock starts.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 1000) {
        app.processEvents(QEventLoop::AllEvents, 50);
    }

    counter.Painted = 0;
    const double cpu0 = CpuSeconds();
    QElapsedTimer clock;
    clock.start();
    player.Play(0, static_cast<std::uint16_t>(std::min(player.FrameCount() - 1, 65535)), 1);
    const double playCall = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    const bool sound = player.Audio().DeviceOpen();
    QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, &app, [&] {
        const double elapsed = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        const double cpu = CpuSeconds() - cpu0;
        const long painted = counter.Painted;
        const int position = player.Position();
        player.Stop();
        // Play opens the sound device before it starts the frame clock; frames
        // are due from then on.
        const long due =
            counter.Delay > 0 ? static_cast<long>((elapsed * 1000 - playCall) / counter.Delay) : 0;
        std::printf("%s: %dx%d, %d ms a frame, sound %s: %.2f s played, %ld frames due since Play "
                    "returned, "
                    "%ld painted, %ld behind (position %d); CPU %.3f s, %.3f s per second of "
                    "play; Play itself took %.1f ms\n",
                    clip.c_str(), player.FrameWidth(), player.FrameHeight(), counter.Delay,
                    sound ? "on" : "off", elapsed, due, painted, due - painted, position, cpu,
                    cpu / elapsed, playCall);
        app.quit();
    });
    return app.exec();
}
