// Palettes of documents and frames, frames rendered to bitmaps (directly or
// through the web palette) with their transparency masks, and the
// whole-document bitmap.
#include "gif/frame_render.h"

#include "color/color_lookup.h"
#include "color/dib_access.h"
#include "color/dither_engine.h"
#include "color/palettes.h"
#include "gif/gif_document.h"
#include "platform/graphics/abort.h"
#include "platform/graphics/mul_div.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace framolo {

// ---- Palettes ----

HPALETTE TGIFDocument::GetPalette() const {
    // A frame without a local table asks the document, which asks frame 0
    // when it has no global table; coming back here means neither exists.
    if (ResolvingPalette)
        throw GIFException(gifmsg::NoColorTable);
    ResolvingPalette = true;
    struct TGuard {
        const TGIFDocument* self;
        ~TGuard() { self->ResolvingPalette = false; }
    } guard{this};

    if (renderedBitmap_) {
        if (HPALETTE p = renderedBitmap_->GetPalette())
            return p;
    }
    if (paletteHandle_)
        return paletteHandle_;
    HPALETTE palette;
    if (DoesRenderWebPalette())
        palette = NetscapePalette();
    else if (header_.ColorMap().Count() > 0)
        palette = header_.ColorMap().MakePalette();
    else
        return frames_.Count() > 0 ? frames_[0]->GetPalette() : nullptr;
    paletteHandle_ = palette;
    return palette;
}

HPALETTE TGIFSubImage::GetPalette() {
    if (bitmap_) {
        if (HPALETTE p = bitmap_->GetPalette()) {
            // Keep one handle while the bitmap's colours stay the same.
            if (paletteHandle_ && paletteHandle_->Entries == p->Entries)
                return paletteHandle_;
            paletteHandle_ = p;
            return p;
        }
    }
    if (paletteHandle_)
        return paletteHandle_;
    HPALETTE palette;
    if (document_ != nullptr && document_->DoesRenderWebPalette())
        palette = NetscapePalette();
    else if (colorMap_.Count() == 0) {
        if (document_ == nullptr)
            throw GIFException(gifmsg::NoColorTable);
        return document_->GetPalette();
    } else
        palette = colorMap_.MakePalette();
    // Stored directly: a cached true-colour bitmap has no palette of its own
    // and stays valid.
    paletteHandle_ = palette;
    return palette;
}

// ---- Rendering ----

std::uint8_t WebPaletteTransparentByte(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    const int value = (36 * red + 25) / 51 + (6 * green + 25) / 51 + blue / 51 + 1;
    return static_cast<std::uint8_t>(value % 256);
}

std::size_t MaskRowBytes(int width) {
    return static_cast<std::size_t>((std::max(width, 0) + 15) / 16) * 2;
}

namespace {

// Reports "Rendering..." progress of one frame to its document.
void RenderProgress(TGIFSubImage& frame, TProgressStage stage, std::uint8_t percent) {
    TGIFDocument* document = frame.Document();
    if (document == nullptr)
        return;
    document->Progress(&frame, stage, percent,
                       stage == TProgressStage::psEnding && document->PaletteModified(), TRect{},
                       gifmsg::Rendering);
}

void EndRenderProgress(TGIFSubImage& frame, std::uint8_t percent) {
    RenderProgress(frame, TProgressStage::psEnding, percent);
    TGIFDocument* document = frame.Document();
    if (document != nullptr && document->PaletteModified())
        document->Changed(&frame);
}

// The transparency mask while it is built: rows of whole 16-bit words, the
// most significant bit of each byte leftmost.
class TMaskBuilder {
public:
    TMaskBuilder(int width, int height)
        : width_(width), height_(height), rowBytes_(MaskRowBytes(width)),
          bits_(rowBytes_ * static_cast<std::size_t>(height), 0) {}

    void Set(int x, int y) {
        bits_[static_cast<std::size_t>(y) * rowBytes_ + static_cast<std::size_t>(x) / 8] |=
            static_cast<std::uint8_t>(0x80u >> (x % 8));
        any_ = true;
    }
    bool Any() const { return any_; }

    // The platform mask: 1 bit per pixel, white (1) where transparent.
    std::unique_ptr<TBitmap> MakeBitmap() const {
        auto mask = std::make_unique<TBitmap>(width_, height_, TPixelFormat::pf1bit);
        mask->SetColorTable({TRGBQuad{0, 0, 0, 0}, TRGBQuad{255, 255, 255, 0}});
        const std::size_t copy = std::min(rowBytes_, mask->RowBytes());
        for (int y = 0; y < height_; ++y)
            std::memcpy(mask->ScanLine(y), bits_.data() + static_cast<std::size_t>(y) * rowBytes_,
                        copy);
        return mask;
    }

private:
    int width_;
    int height_;
    std::size_t rowBytes_;
    std::vector<std::uint8_t> bits_;
    bool any_ = false;
};

// The RGB of every index through the active table. Indices past its end
// take entry 0, as a colour query would, with one warning per rendering.
struct TIndexColors {
    std::array<TGIFColor, 256> Colors{};
    int Count = 0;
};

TIndexColors ActiveColors(TGIFSubImage& frame) {
    TGIFColorMap& map = frame.ActiveColorMap();
    if (map.Count() == 0)
        throw GIFException(gifmsg::ColorTableEmpty);
    TIndexColors result;
    result.Count = map.Count();
    for (int i = 0; i < 256; ++i)
        result.Colors[static_cast<std::size_t>(i)] = map.Entry(i < map.Count() ? i : 0);
    return result;
}

std::unique_ptr<TBitmap> BuildRendering(TGIFSubImage& frame) {
    const int width = frame.Width();
    const int height = frame.Height();
    TGIFDocument* document = frame.Document();
    const bool web = document != nullptr && document->DoesRenderWebPalette();

    auto bitmap = std::make_unique<TBitmap>();
    if (static_cast<std::int64_t>(width) * height > kLargeRenderPixels)
        bitmap->SetPixelFormat(TPixelFormat::pf1bit);

    // The palette is cached in the frame either way, so that a later change
    // of its colours drops the rendering.
    HPALETTE palette;
    if (web) {
        palette = NetscapePalette();
        frame.SetPaletteHandle(palette);
    } else {
        palette = frame.GetPalette();
    }
    TDIBWriter writer(*bitmap, TPixelFormat::pf8bit, width, height, palette);

    TGIFGraphicControlExtension* control = frame.GraphicControl();
    const bool buildMask =
        frame.MaskPending() && frame.Transparent() && frame.Mask() == nullptr && control != nullptr;
    const int transparentIndex = buildMask ? control->TransparentColorIndex() : -1;
    std::unique_ptr<TMaskBuilder> mask;
    if (buildMask)
        mask = std::make_unique<TMaskBuilder>(width, height);

    const std::uint8_t* pixels = frame.Pixels();
    const auto rowLength = static_cast<std::size_t>(width);
    auto reportRow = [&](int y) {
        if (y % 32 == 0)
            RenderProgress(frame, TProgressStage::psRunning,
                           static_cast<std::uint8_t>(static_cast<std::int64_t>(y) * 100 / height));
    };

    if (!web) {
        for (int y = 0; y < height; ++y) {
            reportRow(y);
            const std::uint8_t* source = pixels + static_cast<std::size_t>(y) * rowLength;
            std::memcpy(writer.RowPointer(y), source, rowLength);
            if (mask)
                for (int x = 0; x < width; ++x)
                    if (source[x] == transparentIndex)
                        mask->Set(x, y);
        }
    } else {
        const TIndexColors colors = ActiveColors(frame);
        TNetscapeColorLookup lookup(palette);
        TFloydSteinbergDitherer engine(width, lookup);
        std::uint8_t fill = 0;
        if (mask) {
            const TGIFColor& c = colors.Colors[static_cast<std::size_t>(transparentIndex)];
            fill = WebPaletteTransparentByte(c.Red, c.Green, c.Blue);
        }
        std::vector<std::uint8_t> bgr(rowLength * 3);
        bool outOfRange = false;
        for (int y = 0; y < height; ++y) {
            reportRow(y);
            const std::uint8_t* source = pixels + static_cast<std::size_t>(y) * rowLength;
            std::uint8_t* target = writer.RowPointer(y);
            for (int x = 0; x < width; ++x)
                outOfRange = outOfRange || source[x] >= colors.Count;
            if (!mask) {
                for (std::size_t x = 0; x < rowLength; ++x) {
                    const TGIFColor& c = colors.Colors[source[x]];
                    bgr[3 * x] = c.Blue;
                    bgr[3 * x + 1] = c.Green;
                    bgr[3 * x + 2] = c.Red;
                }
                engine.DitherRow(bgr.data(), target);
            } else {
                // Transparent pixels are skipped by the error diffusion and
                // keep the fill byte; the engine walks the row serpentine.
                std::memset(target, fill, rowLength);
                std::uint8_t r = 0;
                std::uint8_t g = 0;
                std::uint8_t b = 0;
                for (int x = engine.Column(); x >= 0 && x < width; x = engine.Column()) {
                    const std::uint8_t index = source[x];
                    if (index == transparentIndex) {
                        mask->Set(x, y);
                        engine.AdvanceColumn();
                        continue;
                    }
                    const TGIFColor& c = colors.Colors[index];
                    target[x] = engine.DitherPixel(c.Red, c.Green, c.Blue, r, g, b);
                }
            }
            engine.NextRow();
        }
        if (outOfRange)
            frame.ReportWarning(&frame, 1, gifmsg::InvalidColorIndex);
    }

    writer.Release();
    if (buildMask) {
        if (mask->Any())
            frame.SetMask(mask->MakeBitmap());
        frame.SetMaskPending(false);
    }
    return bitmap;
}

} // namespace

TBitmap* TGIFSubImage::RenderBitmap() {
    if (bitmap_)
        return bitmap_.get();
    if (Empty())
        return nullptr;
    try {
        std::unique_ptr<TBitmap> rendered;
        try {
            RenderProgress(*this, TProgressStage::psStarting, 0);
            rendered = BuildRendering(*this);
        } catch (...) {
            EndRenderProgress(*this, 0);
            throw;
        }
        bitmap_ = std::move(rendered);
        EndRenderProgress(*this, 100);
    } catch (const EAbort&) {
        // Cancelled from a progress handler: quietly no bitmap.
        bitmap_.reset();
        return nullptr;
    }
    return bitmap_.get();
}

// ---- Drawing and the whole-document bitmap ----

TRect ScaleFrameToRect(const TGIFSubImage& frame, const TRect& rect) {
    const TGIFDocument* document = frame.Document();
    const int screenWidth = document != nullptr ? document->Width() : 0;
    const int screenHeight = document != nullptr ? document->Height() : 0;
    if (screenWidth <= 0 || screenHeight <= 0)
        return rect;
    return TRect{rect.Left + MulDiv(frame.Left(), rect.Width(), screenWidth),
                 rect.Top + MulDiv(frame.Top(), rect.Height(), screenHeight),
                 rect.Left + MulDiv(frame.Left() + frame.Width(), rect.Width(), screenWidth),
                 rect.Top + MulDiv(frame.Top() + frame.Height(), rect.Height(), screenHeight)};
}

void DrawFrameScaled(TGIFSubImage& frame, TCanvas& canvas, const TRect& rect, bool masked) {
    TBitmap* bitmap = frame.RenderBitmap();
    if (bitmap == nullptr)
        return;
    const TRect dest = ScaleFrameToRect(frame, rect);
    if (masked && frame.Transparent() && frame.Mask() != nullptr)
        canvas.StretchDrawMasked(dest, *bitmap, *frame.Mask());
    else
        canvas.StretchDrawBitmap(dest, *bitmap);
}

TColor DocumentBackgroundColor(const TGIFDocument& document) {
    if (document.PaintBackground() != clNone)
        return document.PaintBackground();
    const TGIFColorMap& global = document.Header().ColorMap();
    if (global.Count() == 0)
        return clWhite;
    // An index past the table's end means entry 0, as a colour query gives.
    int index = document.Header().BackgroundColorIndex();
    if (index >= global.Count())
        index = 0;
    const TGIFColor c = global.Entry(index);
    return RGB(c.Red, c.Green, c.Blue);
}

TBitmap* TGIFDocument::WholeDocumentBitmap() const {
    if (renderedBitmap_)
        return renderedBitmap_.get();
    if (frames_.Count() == 0)
        return nullptr;
    TGIFSubImage* first = frames_[0];
    std::unique_ptr<TBitmap> whole;
    if (first->Left() == 0 && first->Top() == 0 && first->Width() == Width() &&
        first->Height() == Height()) {
        TBitmap* rendered = first->RenderBitmap();
        if (rendered == nullptr)
            return nullptr;
        whole = std::make_unique<TBitmap>();
        whole->Assign(rendered);
    } else {
        // Other frames may leave parts of the screen uncovered; those show the
        // background, and frame 0 is drawn at its place over it. The software
        // canvas paints true colour, so the colours are exact.
        whole = std::make_unique<TBitmap>(Width(), Height(), TPixelFormat::pf24bit);
        TBitmapCanvas canvas(*whole);
        const TRect screen{0, 0, Width(), Height()};
        canvas.FillRect(screen, DocumentBackgroundColor(*this));
        DrawFrameScaled(*first, canvas, screen, (paintOptions_ & poMasked) != 0);
    }
    renderedBitmap_ = std::move(whole);
    return renderedBitmap_.get();
}

void TGIFDocument::AssignTo(TPersistent* dest) const {
    if (auto* bitmap = dynamic_cast<TBitmap*>(dest)) {
        if (const TBitmap* whole = WholeDocumentBitmap())
            bitmap->Assign(whole);
        else {
            TBitmap empty;
            bitmap->Assign(&empty);
        }
        return;
    }
    TGraphic::AssignTo(dest);
}

} // namespace framolo
