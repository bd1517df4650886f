// Fuzz target: any bytes given to TGIFDocument::LoadFromStream either load or
// raise GIFException. A document that loads is also copied, written and read
// back: what our writer produced from a copy must load again.
#include "gif/gif_document.h"
#include "gif/gif_reader.h"
#include "gif_fuzz_limits.h"

#include <cstdint>
#include <cstdlib>

using namespace framolo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    [[maybe_unused]] static const bool limited = LowerGIFReadLimits(20);

    TGIFDocument document;
    std::size_t warnings = 0;
    document.WarningHandler = [&warnings](TPersistent*, int, const std::string&) { ++warnings; };
    TReadOnlyMemoryStream in(data, size);
    try {
        document.LoadFromStream(in);
    } catch (const GIFException&) {
        return 0;
    }

    // Writing is the costly half; large documents only exercise the reader.
    std::int64_t pixels = 0;
    for (int i = 0; i < document.Frames().Count(); ++i)
        pixels += static_cast<std::int64_t>(document.Frames()[i]->PixelCount());
    if (pixels > (std::int64_t{1} << 18))
        return 0;

    TGIFDocument copy;
    try {
        copy.Assign(&document);
    } catch (const GIFException&) {
        // A copy reads the extensions back from their written form, where an
        // unknown extension whose identifier happens to be registered meets
        // that class's stricter reader.
        return 0;
    }
    TMemoryStream out;
    try {
        copy.SaveToStream(out);
    } catch (const GIFException&) {
        // Pixels outside their colour table, or no frame at all: not writable.
        return 0;
    }
    TGIFDocument again;
    out.SetPosition(0);
    try {
        again.LoadFromStream(out);
    } catch (const GIFException&) {
        // Our own output must always read back.
        std::abort();
    }
    return 0;
}
