// Fuzz target: any bytes given to TBitmap::LoadFromStream either load a bitmap
// or raise one of the graphic or stream errors; a bitmap that loads converts to
// 24 bits and saves again.
#include "platform/graphics/bitmap.h"
#include "platform/streams/stream.h"

#include <cstdint>

using namespace framolo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TReadOnlyMemoryStream in(data, size);
    TBitmap bitmap;
    try {
        bitmap.LoadFromStream(in);
    } catch (const EInvalidGraphicOperation&) {
        return 0;
    } catch (const EOutOfResources&) {
        return 0;
    } catch (const EStreamError&) {
        return 0;
    }
    // Keep the work per input small: the loader already bounds the size.
    if (static_cast<std::int64_t>(bitmap.Width()) * bitmap.Height() > (1 << 22))
        return 0;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    TMemoryStream out;
    bitmap.SaveToStream(out);
    out.SetPosition(0);
    TBitmap again;
    again.LoadFromStream(out);
    if (again.Width() != bitmap.Width() || again.Height() != bitmap.Height())
        __builtin_trap();
    return 0;
}
