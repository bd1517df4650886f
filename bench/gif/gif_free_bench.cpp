// Loading and freeing documents with very long lists: many 1 x 1 frames, and
// one frame behind a great many empty comment blocks. Both lists are read from
// bytes made here; the load and the free are timed apart, once each, since
// the point is how they grow with the list's length.
//
//   bench_gif_free_bench --benchmark_filter=Free
#include "gif/gif_document.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

using namespace framolo;

namespace {

void Append(std::vector<std::uint8_t>& b, std::initializer_list<int> bytes) {
    for (int v : bytes)
        b.push_back(static_cast<std::uint8_t>(v));
}

// A 1 x 1 screen with a two-colour global table.
std::vector<std::uint8_t> Header() {
    std::vector<std::uint8_t> b = {'G', 'I', 'F', '8', '9', 'a'};
    Append(b, {1, 0, 1, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255});
    return b;
}

// A 1 x 1 frame: its descriptor, then clear, index 0 and end as 3-bit codes.
void AppendTinyFrame(std::vector<std::uint8_t>& b) {
    Append(b, {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 0x01, 0});
}

std::vector<std::uint8_t> TinyFrames(std::int64_t frames) {
    std::vector<std::uint8_t> b = Header();
    for (std::int64_t i = 0; i < frames; ++i)
        AppendTinyFrame(b);
    b.push_back(0x3B);
    return b;
}

std::vector<std::uint8_t> EmptyComments(std::int64_t comments) {
    std::vector<std::uint8_t> b = Header();
    for (std::int64_t i = 0; i < comments; ++i)
        Append(b, {0x21, 0xFE, 0});
    AppendTinyFrame(b);
    b.push_back(0x3B);
    return b;
}

std::unique_ptr<TGIFDocument> Load(const std::vector<std::uint8_t>& bytes) {
    auto doc = std::make_unique<TGIFDocument>();
    TReadOnlyMemoryStream s(bytes.data(), bytes.size());
    doc->LoadFromStream(s);
    return doc;
}

void Run(benchmark::State& state, std::vector<std::uint8_t> (*make)(std::int64_t), bool free) {
    const std::vector<std::uint8_t> bytes = make(state.range(0));
    for (auto _ : state) {
        if (free)
            state.PauseTiming();
        std::unique_ptr<TGIFDocument> doc = Load(bytes);
        if (free)
            state.ResumeTiming();
        else
            state.PauseTiming();
        doc.reset();
        if (!free)
            state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void LoadFrames(benchmark::State& state) {
    Run(state, TinyFrames, false);
}
void FreeFrames(benchmark::State& state) {
    Run(state, TinyFrames, true);
}
void LoadComments(benchmark::State& state) {
    Run(state, EmptyComments, false);
}
void FreeComments(benchmark::State& state) {
    Run(state, EmptyComments, true);
}

} // namespace

BENCHMARK(LoadFrames)->Arg(100000)->Arg(400000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(FreeFrames)->Arg(100000)->Arg(400000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(LoadComments)->Arg(500000)->Arg(2000000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(FreeComments)->Arg(500000)->Arg(2000000)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
