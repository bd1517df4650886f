// LZW encoding speed in MB of indexes per second, ours against giflib's
// EGifPutLine on the same pixels.

#include "gif/lzw_encoder.h"

#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int kWidth = 768;
constexpr int kHeight = 576;

// A smooth, photo-like field of 256 levels with error-diffusion-like noise:
// what a dithered video frame looks like to the coder.
std::vector<std::uint8_t> DitheredFrame() {
    std::vector<std::uint8_t> p(static_cast<std::size_t>(kWidth) * kHeight);
    std::mt19937 rng(1234);
    std::uniform_real_distribution<double> noise(-6.0, 6.0);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const double v = 128 + 60 * std::sin(x * 0.013 + y * 0.007) + 40 * std::cos(y * 0.021) +
                             20 * std::sin((x + y) * 0.05) + noise(rng);
            p[static_cast<std::size_t>(y) * kWidth + static_cast<std::size_t>(x)] =
                static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
        }
    return p;
}

std::vector<std::uint8_t> FlatFrame() {
    return std::vector<std::uint8_t>(static_cast<std::size_t>(kWidth) * kHeight, 17);
}

const std::vector<std::uint8_t>& Pixels(int kind) {
    static const std::vector<std::uint8_t> dithered = DitheredFrame();
    static const std::vector<std::uint8_t> flat = FlatFrame();
    return kind == 0 ? dithered : flat;
}

// Counts bytes without keeping them, so that only the coder is measured.
class TNullStream : public framolo::TStream {
public:
    std::size_t Read(void*, std::size_t) override { return 0; }
    std::size_t Write(const void*, std::size_t count) override {
        written += count;
        return count;
    }
    std::int64_t Seek(std::int64_t, framolo::TSeekOrigin) override {
        return static_cast<std::int64_t>(written);
    }
    std::size_t written = 0;
};

void BM_FramoloLzw(benchmark::State& state) {
    const auto& pixels = Pixels(static_cast<int>(state.range(0)));
    std::size_t out = 0;
    for (auto _ : state) {
        TNullStream s;
        framolo::CompressImageData(s, 0, 8, kWidth, kHeight, false, pixels.data(), 256, {});
        out = s.written;
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(pixels.size()));
    state.counters["out_bytes"] = static_cast<double>(out);
}

int DiscardOutput(GifFileType* gif, const GifByteType*, int count) {
    *static_cast<std::size_t*>(gif->UserData) += static_cast<std::size_t>(count);
    return count;
}

void BM_GiflibEGifPutLine(benchmark::State& state) {
    const auto& pixels = Pixels(static_cast<int>(state.range(0)));
    std::vector<GifColorType> colors(256);
    for (int i = 0; i < 256; ++i)
        colors[static_cast<std::size_t>(i)] = GifColorType{
            static_cast<GifByteType>(i), static_cast<GifByteType>(i), static_cast<GifByteType>(i)};
    std::size_t out = 0;
    std::vector<GifPixelType> row(kWidth);
    for (auto _ : state) {
        std::size_t written = 0;
        int error = 0;
        GifFileType* gif = EGifOpen(&written, DiscardOutput, &error);
        ColorMapObject* map = GifMakeMapObject(256, colors.data());
        EGifPutScreenDesc(gif, kWidth, kHeight, 8, 0, map);
        EGifPutImageDesc(gif, 0, 0, kWidth, kHeight, false, nullptr);
        for (int y = 0; y < kHeight; ++y) {
            std::memcpy(row.data(), pixels.data() + static_cast<std::size_t>(y) * kWidth, kWidth);
            EGifPutLine(gif, row.data(), kWidth);
        }
        EGifCloseFile(gif, &error);
        GifFreeMapObject(map);
        out = written;
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(pixels.size()));
    state.counters["out_bytes"] = static_cast<double>(out);
}

BENCHMARK(BM_FramoloLzw)->Arg(0)->Arg(1)->ArgName("flat")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GiflibEGifPutLine)->Arg(0)->Arg(1)->ArgName("flat")->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
