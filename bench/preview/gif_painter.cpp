// The painter in real time: a 768 x 576 animation of 100 frames at delay 4
// (48 ms a frame) plays on a threaded painter while this thread does the GUI
// thread's part. For each target it prints the CPU time the whole process
// spends per second of animation, and how far frame starts drift from the
// times their delays promise (start of frame 0 plus 48 ms per frame).
//
//   bench_gif_painter [seconds]      (default 30)
#include "gif/animation/painter_registry.h"
#include "gif/animation/painter_support.h"
#include "gif/gif_document.h"
#include "platform/graphics/canvas.h"
#include "preview/qt_canvas.h"

#include <QGuiApplication>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace framolo;

namespace {

constexpr int kWidth = 768;
constexpr int kHeight = 576;
constexpr int kFrames = 100;
constexpr int kDelay = 4;
constexpr double kPeriodMs = kDelay * 12.0;

// Full-screen frames with their own 256-colour tables, as a conversion makes
// them; disposal 2 makes the painter compose through its buffers.
std::unique_ptr<TGIFDocument> MakeAnimation(int disposal) {
    auto doc = std::make_unique<TGIFDocument>();
    for (int f = 0; f < kFrames; ++f) {
        auto frame = std::make_unique<TGIFSubImage>(doc.get());
        frame->SetBounds(0, 0, kWidth, kHeight);
        for (int c = 0; c < 256; ++c)
            frame->ColorMap().Add(RGB(static_cast<std::uint8_t>(c),
                                      static_cast<std::uint8_t>((c + f) % 256),
                                      static_cast<std::uint8_t>(255 - c)));
        std::vector<std::uint8_t> pixels(static_cast<std::size_t>(kWidth) * kHeight);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                pixels[static_cast<std::size_t>(y) * kWidth + static_cast<std::size_t>(x)] =
                    static_cast<std::uint8_t>((x / 8 + y / 8 + f * 3) % 256);
        frame->SetPixels(std::move(pixels));
        auto gce = std::make_unique<TGIFGraphicControlExtension>(frame.get());
        gce->SetDelay(kDelay);
        gce->SetDisposal(disposal);
        frame->Extensions().Add(std::move(gce));
        if (f == 0)
            frame->Extensions().Add(std::make_unique<TGIFAppExtNSLoop>(frame.get()));
        doc->Add(std::move(frame));
    }
    doc->SetPaintOptions(poThreaded | poMasked | poAllFrames | poRepeat | poOnTarget);
    return doc;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void Run(const char* label, TCanvas& canvas, const TRect& rect, int disposal, double seconds) {
    auto doc = MakeAnimation(disposal);
    // One pass first, so that every frame's bitmap is rendered and cached as
    // it is after the first loop of a preview.
    std::vector<double> starts;
    const auto origin = std::chrono::steady_clock::now();
    doc->OnFrameBefore = [&](TPersistent*) {
        starts.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - origin)
                .count());
    };
    doc->Draw(canvas, rect);
    auto& calls = TMainThreadCalls::Instance();
    while (starts.size() < kFrames)
        calls.WaitAndPump(50);
    starts.clear();
    const double cpu0 = CpuSeconds();
    const auto wall0 = std::chrono::steady_clock::now();
    const auto end = wall0 + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end)
        calls.WaitAndPump(50);
    const double cpu = CpuSeconds() - cpu0;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    doc->StopAllPainters();

    double worst = 0;
    double last = 0;
    for (std::size_t k = 0; k < starts.size(); ++k) {
        last = starts[k] - (starts[0] + static_cast<double>(k) * kPeriodMs);
        worst = std::max(worst, std::fabs(last));
    }
    std::printf("%-34s frames %5zu  cpu %6.1f ms per s of animation  drift: final %+8.1f ms,"
                " worst %7.1f ms (one frame = %.0f ms)\n",
                label, starts.size(), cpu * 1000.0 / wall, last, worst, kPeriodMs);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 30.0;
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    InstallGIFAnimation();

    {
        TBitmap bitmap(kWidth, kHeight, TPixelFormat::pf24bit);
        TBitmapCanvas canvas(bitmap);
        Run("software canvas, 768x576, leave", canvas, TRect{0, 0, kWidth, kHeight}, 1, seconds);
    }
    {
        TQtCanvas canvas;
        canvas.SetSize(QSize(kWidth, kHeight), Qt::white);
        Run("Qt canvas, 768x576, leave", canvas, TRect{0, 0, kWidth, kHeight}, 1, seconds);
        Run("Qt canvas, 768x576, restore bg", canvas, TRect{0, 0, kWidth, kHeight}, 2, seconds);
    }
    {
        TQtCanvas canvas;
        canvas.SetSize(QSize(268, 201), Qt::white);
        Run("Qt canvas, stretched to 268x201", canvas, TRect{0, 0, 268, 201}, 1, seconds);
    }
    return 0;
}
