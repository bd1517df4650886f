// Decoding throughput, in bytes of output indexes per second, of our reader
// and of giflib's DGifSlurp on the same bytes in memory: the real-world test
// files and a large dithered 768 x 576 animation. Before the benchmarks, the
// peak memory of reading a file is set against the size of its pixels.
#include "gif/gif_document.h"

#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <new>
#include <string>
#include <vector>

using namespace framolo;

// Heap accounting for the memory report: every allocation through the global
// operator new carries its size in a 16-byte header. GCC, seeing these inlined
// into library code, takes the free() of a block that malloc() made for one
// that operator new made.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
static std::atomic<std::size_t> gHeapInUse{0};
static std::atomic<std::size_t> gHeapPeak{0};

void* operator new(std::size_t n) {
    void* block = std::malloc(n + 16);
    if (block == nullptr)
        throw std::bad_alloc();
    *static_cast<std::size_t*>(block) = n;
    const std::size_t now = gHeapInUse.fetch_add(n) + n;
    std::size_t peak = gHeapPeak.load();
    while (now > peak && !gHeapPeak.compare_exchange_weak(peak, now)) {
    }
    return static_cast<char*>(block) + 16;
}

void operator delete(void* p) noexcept {
    if (p == nullptr)
        return;
    char* block = static_cast<char*>(p) - 16;
    gHeapInUse.fetch_sub(*reinterpret_cast<std::size_t*>(block));
    std::free(block);
}

void operator delete(void* p, std::size_t) noexcept {
    operator delete(p);
}

namespace {

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
}

std::string DataPath(const std::string& name) {
    return std::string(FRAMOLO_SOURCE_DIR) + "/tests/data/gif/wuffs/" + name;
}

// A 20-frame 768 x 576 animation, ordered-dithered from a moving gradient over
// 256 colours: poorly compressible, like dithered video.
const std::vector<std::uint8_t>& DitheredAnimation() {
    static const std::vector<std::uint8_t> bytes = [] {
        static const int bayer[4][4] = {
            {0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
        TGIFDocument doc;
        for (int f = 0; f < 20; ++f) {
            auto frame = std::make_unique<TGIFSubImage>(&doc);
            frame->SetBounds(0, 0, 768, 576);
            for (int i = 0; i < 256; ++i)
                frame->ColorMap().Add(RGB(static_cast<std::uint8_t>(i),
                                          static_cast<std::uint8_t>(255 - i),
                                          static_cast<std::uint8_t>(i * 7)));
            std::vector<std::uint8_t> pixels(768 * 576);
            for (int y = 0; y < 576; ++y)
                for (int x = 0; x < 768; ++x) {
                    const int v =
                        ((x + 3 * f) * 255 / 768 * 3 + (y * 255 / 576) + bayer[y & 3][x & 3] * 6) %
                        256;
                    pixels[static_cast<std::size_t>(y * 768 + x)] = static_cast<std::uint8_t>(v);
                }
            frame->SetPixels(std::move(pixels));
            doc.Add(std::move(frame));
        }
        TMemoryStream out;
        doc.SaveToStream(out);
        return out.Data();
    }();
    return bytes;
}

std::int64_t DecodedBytes(const std::vector<std::uint8_t>& bytes) {
    TGIFDocument doc;
    TReadOnlyMemoryStream s(bytes.data(), bytes.size());
    doc.LoadFromStream(s);
    std::int64_t n = 0;
    for (int i = 0; i < doc.Frames().Count(); ++i)
        n += static_cast<std::int64_t>(doc.Frames()[i]->PixelCount());
    return n;
}

void RunFramolo(benchmark::State& state, const std::vector<std::uint8_t>& bytes) {
    const std::int64_t out = DecodedBytes(bytes);
    for (auto _ : state) {
        TGIFDocument doc;
        TReadOnlyMemoryStream s(bytes.data(), bytes.size());
        doc.LoadFromStream(s);
        benchmark::DoNotOptimize(doc.Frames().Count());
    }
    state.SetBytesProcessed(state.iterations() * out);
}

struct MemoryReader {
    const std::vector<std::uint8_t>* bytes;
    std::size_t pos;
};

int ReadMemory(GifFileType* gif, GifByteType* dst, int count) {
    auto* r = static_cast<MemoryReader*>(gif->UserData);
    const std::size_t n = std::min(static_cast<std::size_t>(count), r->bytes->size() - r->pos);
    std::memcpy(dst, r->bytes->data() + r->pos, n);
    r->pos += n;
    return static_cast<int>(n);
}

void RunGiflib(benchmark::State& state, const std::vector<std::uint8_t>& bytes) {
    const std::int64_t out = DecodedBytes(bytes);
    for (auto _ : state) {
        MemoryReader reader{&bytes, 0};
        int error = 0;
        GifFileType* gif = DGifOpen(&reader, ReadMemory, &error);
        if (gif == nullptr || DGifSlurp(gif) != GIF_OK) {
            state.SkipWithError("giflib failed");
            if (gif != nullptr)
                DGifCloseFile(gif, &error);
            return;
        }
        benchmark::DoNotOptimize(gif->ImageCount);
        DGifCloseFile(gif, &error);
    }
    state.SetBytesProcessed(state.iterations() * out);
}

const char* const kRealWorld[] = {"harvesters.gif",
                                  "gifplayer-muybridge.gif",
                                  "hibiscus.regular.gif",
                                  "hibiscus.primitive.gif",
                                  "bricks-dither.gif",
                                  "bricks-nodither.gif",
                                  "hat.gif",
                                  "muybridge.gif"};

void RegisterAll() {
    for (const char* name : kRealWorld) {
        auto bytes = std::make_shared<std::vector<std::uint8_t>>(ReadFile(DataPath(name)));
        benchmark::RegisterBenchmark((std::string("Framolo/") + name).c_str(),
                                     [bytes](benchmark::State& st) { RunFramolo(st, *bytes); });
        benchmark::RegisterBenchmark((std::string("Giflib/") + name).c_str(),
                                     [bytes](benchmark::State& st) { RunGiflib(st, *bytes); });
    }
    benchmark::RegisterBenchmark("Framolo/dithered-768x576x20",
                                 [](benchmark::State& st) { RunFramolo(st, DitheredAnimation()); });
    benchmark::RegisterBenchmark("Giflib/dithered-768x576x20",
                                 [](benchmark::State& st) { RunGiflib(st, DitheredAnimation()); });
}

// Reads a file through a file stream and prints the peak of heap bytes in use
// above what was in use before, next to the size of the decoded pixels.
void ReportPeakMemory(const std::string& path) {
    const std::size_t before = gHeapInUse.load();
    gHeapPeak.store(before);
    std::int64_t pixels = 0;
    {
        TGIFDocument doc;
        TFileStream file(path, fmOpenRead | fmShareDenyWrite);
        doc.LoadFromStream(file);
        for (int i = 0; i < doc.Frames().Count(); ++i)
            pixels += static_cast<std::int64_t>(doc.Frames()[i]->PixelCount());
    }
    std::printf("peak heap while reading %s: %zu KiB above the start, for %lld KiB of pixels\n",
                path.substr(path.find_last_of('/') + 1).c_str(), (gHeapPeak.load() - before) / 1024,
                static_cast<long long>(pixels / 1024));
}

} // namespace

int main(int argc, char** argv) {
    {
        const std::string anim = std::string(FRAMOLO_BENCH_WORK_DIR) + "/dithered-768x576x20.gif";
        std::ofstream(anim, std::ios::binary)
            .write(reinterpret_cast<const char*>(DitheredAnimation().data()),
                   static_cast<std::streamsize>(DitheredAnimation().size()));
        ReportPeakMemory(DataPath("harvesters.gif"));
        ReportPeakMemory(DataPath("gifplayer-muybridge.gif"));
        ReportPeakMemory(anim);
    }
    RegisterAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
