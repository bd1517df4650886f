// libFuzzer target for our own AVI header and index parse. The invariants
// checked here are the ones the reader builds on.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "platform/avifile/riff_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    framolo::TMemoryByteSource source(std::span<const std::uint8_t>(data, size));
    const auto layout = framolo::ParseAviLayout(source);
    if (!layout) {
        return 0;
    }
    if (layout->Streams.empty() || layout->Streams.size() > framolo::kAviMaxStreams) {
        std::abort();
    }
    std::size_t chunks = 0;
    for (const auto& st : layout->Streams) {
        if (st.Format.size() > size || st.Format.size() > framolo::kAviMaxFormatSize ||
            st.EmptyChunks > st.Chunks.size() || st.Name.size() >= 64) {
            std::abort();
        }
        chunks += st.Chunks.size();
    }
    // Every chunk or index entry takes at least 8 bytes of input.
    if (chunks > size / 8 + 1 || chunks > framolo::kAviMaxChunks) {
        std::abort();
    }
    return 0;
}
