// Speed of the two ends of a frame's life: a true-colour picture added to a
// document (the default Quantize + FloydSteinberg) and a frame rendered back
// to a bitmap, directly and through the web palette.
#include "gif/gif_document.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>

namespace framolo {
namespace {

constexpr int kWidth = 768;
constexpr int kHeight = 576;

// The test photograph scaled up bilinearly to 768 x 576 with a little noise,
// so that it has the smooth gradients and the grain of a video frame.
std::unique_ptr<TBitmap> PhotoFrame() {
    TBitmap photo;
    photo.LoadFromFile(std::string(FRAMOLO_SOURCE_DIR) + "/tests/data/photo/coffee_150x100.bmp");
    photo.SetPixelFormat(TPixelFormat::pf24bit);
    auto frame = std::make_unique<TBitmap>(kWidth, kHeight, TPixelFormat::pf24bit);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> noise(-3, 3);
    const int sw = photo.Width();
    const int sh = photo.Height();
    for (int y = 0; y < kHeight; ++y) {
        const double fy = (y + 0.5) * sh / kHeight - 0.5;
        const int y0 = std::clamp(static_cast<int>(fy), 0, sh - 1);
        const int y1 = std::min(y0 + 1, sh - 1);
        const double wy = std::clamp(fy - y0, 0.0, 1.0);
        std::uint8_t* out = frame->ScanLine(y);
        for (int x = 0; x < kWidth; ++x) {
            const double fx = (x + 0.5) * sw / kWidth - 0.5;
            const int x0 = std::clamp(static_cast<int>(fx), 0, sw - 1);
            const int x1 = std::min(x0 + 1, sw - 1);
            const double wx = std::clamp(fx - x0, 0.0, 1.0);
            for (int c = 0; c < 3; ++c) {
                auto at = [&](int px, int py) { return photo.ScanLine(py)[3 * px + c]; };
                const double top = at(x0, y0) * (1 - wx) + at(x1, y0) * wx;
                const double bottom = at(x0, y1) * (1 - wx) + at(x1, y1) * wx;
                const int v = static_cast<int>(top * (1 - wy) + bottom * wy + 0.5) + noise(rng);
                out[3 * x + c] = static_cast<std::uint8_t>(std::clamp(v, 0, 255));
            }
        }
    }
    return frame;
}

void BM_AddQuantizeFloydSteinberg(benchmark::State& state) {
    const std::unique_ptr<TBitmap> source = PhotoFrame();
    TGIFDocument doc;
    doc.SetColorReduction(TColorReduction::Quantize);
    doc.SetDitherMode(TDitherMode::FloydSteinberg);
    TBitmap copy;
    for (auto _ : state) {
        state.PauseTiming();
        copy.Assign(source.get());
        doc.Clear();
        state.ResumeTiming();
        benchmark::DoNotOptimize(doc.Add(copy));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AddQuantizeFloydSteinberg)->Unit(benchmark::kMillisecond);

void Render(benchmark::State& state, bool web) {
    const std::unique_ptr<TBitmap> source = PhotoFrame();
    TGIFDocument doc;
    doc.SetColorReduction(TColorReduction::Quantize);
    doc.SetDitherMode(TDitherMode::FloydSteinberg);
    doc.Add(*source);
    // Two frames keep the local table where it is when the options change.
    doc.Add(*source);
    if (web)
        doc.SetPaintOptions(static_cast<TGIFDrawOptions>(RenderWebPalette));
    TGIFSubImage& frame = *doc.Frames()[0];
    for (auto _ : state) {
        frame.FreeBitmap();
        benchmark::DoNotOptimize(frame.RenderBitmap());
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_RenderDirect(benchmark::State& state) {
    Render(state, false);
}
void BM_RenderWebPalette(benchmark::State& state) {
    Render(state, true);
}
BENCHMARK(BM_RenderDirect)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderWebPalette)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace framolo

BENCHMARK_MAIN();
