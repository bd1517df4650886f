// Fuzz target: every frame of a small document that loads is rendered, first
// with its own colours and then through the web palette, and drawn masked onto
// a true-colour canvas of the logical screen; the whole document is drawn too.
// Rendering either works or raises one of the documented errors.
#include "gif/frame_render.h"
#include "gif/gif_document.h"
#include "gif/gif_reader.h"
#include "gif_fuzz_limits.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/gif_exception.h"

#include <algorithm>
#include <cstdint>

using namespace framolo;

namespace {

void RenderAll(TGIFDocument& document, TBitmap& screen) {
    TBitmapCanvas canvas(screen);
    const TRect whole{0, 0, screen.Width(), screen.Height()};
    for (int i = 0; i < document.Frames().Count(); ++i) {
        TGIFSubImage& frame = *document.Frames()[i];
        try {
            TBitmap* rendered = frame.RenderBitmap();
            if (rendered != nullptr &&
                (rendered->Width() != frame.Width() || rendered->Height() != frame.Height()))
                __builtin_trap();
            DrawFrameScaled(frame, canvas, whole, true);
        } catch (const GIFException&) {
            // A frame without any colour table has nothing to render with.
        }
    }
    try {
        document.Draw(canvas, whole);
    } catch (const GIFException&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    [[maybe_unused]] static const bool limited = LowerGIFReadLimits(18);

    TGIFDocument document;
    document.WarningHandler = [](TPersistent*, int, const std::string&) {};
    TReadOnlyMemoryStream in(data, size);
    try {
        document.LoadFromStream(in);
    } catch (const GIFException&) {
        return 0;
    }
    // The screen is drawn once per frame and method: keep it small.
    const int width = std::clamp(document.Width(), 1, 512);
    const int height = std::clamp(document.Height(), 1, 512);
    TBitmap screen(width, height, TPixelFormat::pf24bit);

    for (const bool web : {false, true}) {
        TGIFDrawOptions options = document.PaintOptions() | poMasked;
        options = web ? static_cast<TGIFDrawOptions>((options | RenderWebPalette) &
                                                     ~WebPaletteOnPaletteDisplayOnly)
                      : static_cast<TGIFDrawOptions>(options & ~RenderWebPalette);
        document.SetPaintOptions(options);
        RenderAll(document, screen);
    }
    return 0;
}
