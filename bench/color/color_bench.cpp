// Colour reduction speed on one 768 x 576 video-sized frame, in megapixels per
// second, and milliseconds per frame for the whole reduction.
//
// The frame is a real photograph: astronaut.png from Debian's python3-skimage,
// scaled to 768 x 576 with ImageMagick's convert when the program starts. Set
// FRAMOLO_BENCH_PHOTO to use another picture. Without the photograph or the
// tool a synthetic frame stands in, and the program says so.

#include "color/color_lookup.h"
#include "color/dib_access.h"
#include "color/dither_engine.h"
#include "color/octree_quantizer.h"
#include "color/palettes.h"
#include "color/reduce_colors.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace framolo;

constexpr int kWidth = 768;
constexpr int kHeight = 576;
constexpr double kPixels = static_cast<double>(kWidth) * kHeight;

std::string RunAndRead(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        std::array<char, 512> buffer{};
        while (fgets(buffer.data(), static_cast<int>(buffer.size()), pipe) != nullptr)
            out += buffer.data();
        pclose(pipe);
    }
    return out;
}

std::string FindPhoto() {
    if (const char* path = std::getenv("FRAMOLO_BENCH_PHOTO"))
        return path;
    const std::string listing =
        RunAndRead("dpkg-query -L python3-skimage 2>/dev/null | grep '/astronaut.png$'");
    return listing.substr(0, listing.find('\n'));
}

std::unique_ptr<TBitmap> SyntheticFrame() {
    auto frame = std::make_unique<TBitmap>(kWidth, kHeight, TPixelFormat::pf24bit);
    for (int y = 0; y < kHeight; ++y) {
        std::uint8_t* row = frame->ScanLine(y);
        for (int x = 0; x < kWidth; ++x) {
            row[3 * x] = static_cast<std::uint8_t>(128 + 100 * std::sin(x * 0.011 + y * 0.004));
            row[3 * x + 1] = static_cast<std::uint8_t>(128 + 90 * std::cos(y * 0.017 - x * 0.003));
            row[3 * x + 2] = static_cast<std::uint8_t>((x ^ y) & 0xFF);
        }
    }
    return frame;
}

std::unique_ptr<TBitmap> LoadFrame() {
    const std::string photo = FindPhoto();
    const std::string bmp = std::string(FRAMOLO_BENCH_WORK_DIR) + "/color_bench_frame.bmp";
    if (!photo.empty()) {
        const std::string command = "convert '" + photo +
                                    "' -resize '768x576!' -type TrueColor 'BMP3:" + bmp +
                                    "' 2>/dev/null";
        if (std::system(command.c_str()) == 0) {
            try {
                auto frame = std::make_unique<TBitmap>();
                frame->LoadFromFile(bmp);
                frame->SetPixelFormat(TPixelFormat::pf24bit);
                if (frame->Width() == kWidth && frame->Height() == kHeight) {
                    std::fprintf(stderr, "frame: %s scaled to %dx%d\n", photo.c_str(), kWidth,
                                 kHeight);
                    return frame;
                }
            } catch (const std::exception& e) {
                std::fprintf(stderr, "could not load %s: %s\n", bmp.c_str(), e.what());
            }
        }
    }
    std::fprintf(stderr, "frame: SYNTHETIC (photograph or ImageMagick missing)\n");
    return SyntheticFrame();
}

TBitmap& Frame() {
    static const std::unique_ptr<TBitmap> frame = LoadFrame();
    return *frame;
}

// 256 colours of the octree quantizer for the frame.
const HPALETTE& QuantizedPalette() {
    static const HPALETTE palette = [] {
        TDIBReader reader(Frame(), TPixelFormat::pf24bit);
        return BuildQuantizedPalette(reader, 256, 8, false);
    }();
    return palette;
}

void Report(benchmark::State& state) {
    state.counters["Mpixel/s"] = benchmark::Counter(
        kPixels * 1e-6 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["ms/frame"] =
        benchmark::Counter(1e-3 * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// ---- Lookups: every pixel of the frame, with a new lookup per frame as a
// reduction makes one.

enum class TLookupKind { FastQuantized, FastWindows20, Netscape, GrayScale, Monochrome };

void BM_Lookup(benchmark::State& state, TLookupKind kind) {
    TBitmap& frame = Frame();
    const HPALETTE palette =
        kind == TLookupKind::FastWindows20 ? DefaultPalette() : QuantizedPalette();
    const TColorReduction method = kind == TLookupKind::Netscape     ? TColorReduction::Netscape
                                   : kind == TLookupKind::GrayScale  ? TColorReduction::GrayScale
                                   : kind == TLookupKind::Monochrome ? TColorReduction::Monochrome
                                                                     : TColorReduction::Quantize;
    for (auto _ : state) {
        auto lookup = CreateColorLookup(method, palette);
        // The Nearest engine is the plain mapping loop over a lookup.
        TDitherEngine engine(kWidth, *lookup);
        std::array<std::uint8_t, kWidth> indices{};
        for (int y = 0; y < kHeight; ++y) {
            engine.DitherRow(frame.ScanLine(y), indices.data());
            engine.NextRow();
        }
        benchmark::DoNotOptimize(indices);
    }
    Report(state);
}

// ---- Engines over the fast lookup with the quantized palette.

void BM_Dither(benchmark::State& state, TDitherMode mode) {
    TBitmap& frame = Frame();
    const HPALETTE& palette = QuantizedPalette();
    std::vector<std::uint8_t> indices(static_cast<std::size_t>(kWidth) * kHeight);
    for (auto _ : state) {
        TFastColorLookup lookup(palette);
        auto engine = CreateDitherEngine(mode, kWidth, lookup);
        for (int y = 0; y < kHeight; ++y) {
            engine->DitherRow(frame.ScanLine(y),
                              indices.data() + static_cast<std::size_t>(y) * kWidth);
            engine->NextRow();
        }
        benchmark::DoNotOptimize(indices.data());
    }
    Report(state);
}

// ---- The quantizer alone: scan and table.

void BM_Quantize(benchmark::State& state, int colors) {
    TBitmap& frame = Frame();
    for (auto _ : state) {
        TDIBReader reader(frame, TPixelFormat::pf24bit);
        TColorQuantizer quantizer(colors, 8);
        quantizer.ScanBitmap(reader);
        std::array<TRGBQuad, 256> table{};
        benchmark::DoNotOptimize(quantizer.FillColorTable(table));
    }
    Report(state);
}

// ---- Whole reductions: palette, lookup, engine, writer, result bitmap.

void BM_Reduce(benchmark::State& state, TColorReduction method, TDitherMode mode) {
    TBitmap& frame = Frame();
    for (auto _ : state) {
        auto result = ReduceBitmapColors(frame, method, mode, 8, nullptr);
        benchmark::DoNotOptimize(result.get());
    }
    Report(state);
}
const char* const kModeNames[] = {"Nearest", "FloydSteinberg", "Stucki", "Sierra",
                                  "JaJuNI",  "SteveArche",     "Burkes"};
const char* const kMethodNames[] = {"NoReduction", "Windows20",  "Windows256",
                                    "WindowsGray", "Monochrome", "GrayScale",
                                    "Netscape",    "Quantize",   "QuantizeWindows"};

template <class... Args> void Register(const std::string& name, Args&&... args) {
    benchmark::RegisterBenchmark(name.c_str(), std::forward<Args>(args)...)
        ->Unit(benchmark::kMillisecond);
}

void RegisterAll() {
    const std::pair<const char*, TLookupKind> lookups[] = {
        {"FastQuantized256", TLookupKind::FastQuantized},
        {"FastWindows20", TLookupKind::FastWindows20},
        {"Netscape", TLookupKind::Netscape},
        {"GrayScale", TLookupKind::GrayScale},
        {"Monochrome", TLookupKind::Monochrome}};
    for (const auto& [name, kind] : lookups)
        Register(std::string("Lookup/") + name, BM_Lookup, kind);
    for (int mode = 0; mode <= 6; ++mode)
        Register(std::string("Dither/") + kModeNames[mode], BM_Dither,
                 static_cast<TDitherMode>(mode));
    for (int colors : {256, 236, 16})
        Register("Quantize/" + std::to_string(colors), BM_Quantize, colors);
    for (int method = 1; method <= 8; ++method)
        Register(std::string("Reduce/") + kMethodNames[method] + "+FloydSteinberg", BM_Reduce,
                 static_cast<TColorReduction>(method), TDitherMode::FloydSteinberg);
    for (int mode : {0, 2, 3, 4, 5, 6})
        Register(std::string("Reduce/Quantize+") + kModeNames[mode], BM_Reduce,
                 TColorReduction::Quantize, static_cast<TDitherMode>(mode));
    for (int mode : {0, 1, 5})
        Register(std::string("Reduce/BestQuality+") + kModeNames[mode], BM_Reduce,
                 TColorReduction::BestQuality, static_cast<TDitherMode>(mode));
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RegisterAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
