#pragma once

// The GIF document: a logical screen (header and global colour table), its
// frames with their extensions, and the settings it draws with. The model is
// defined in gif_document.cpp, gif_color_map.cpp and gif_extensions.cpp;
// reading in gif_reader.cpp, writing in gif_writer.cpp, copies in gif_copy.cpp,
// rendering in frame_render.cpp, drawing in gif_draw.cpp and the clipboard in
// gif_clipboard.cpp. Animation is a library of its own (gif/animation/), which
// the document reaches through the painter registry factory installed here.

#include "color/color_types.h"
#include "gif/gif_color_map.h"
#include "gif/gif_extensions.h"
#include "gif/gif_items.h"
#include "gif/gif_messages.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/gif_exception.h"
#include "platform/graphics/graphics.h"
#include "platform/streams/stream.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace framolo {

// ---- Enumerations and settings ----

using TGIFDrawOptions = std::uint16_t;
enum : TGIFDrawOptions {
    poThreaded = 0x0001,
    poMasked = 0x0002,
    poAllFrames = 0x0004,
    poRepeat = 0x0008,
    poEndless = 0x0010,
    poCheckDC = 0x0020,
    poOnTarget = 0x0040,
    poClearPerPass = 0x0080,
    poTiled = 0x0100,
    RenderWebPalette = 0x0200,
    WebPaletteOnPaletteDisplayOnly = 0x0400,
};

// Defaults that new documents copy. The main window adds poOnTarget at start-up.
extern TGIFDrawOptions DefaultPaintOptions;
extern TColorReduction DefaultColorReduction;
extern std::int32_t DefaultQuantizeBits;
extern TDitherMode DefaultDitherMode;
extern std::uint8_t DefaultDataCoding;
extern std::uint8_t DefaultPainterPriority;
extern std::int32_t DefaultSpeedPercent;
// How many pixels a document's reader may decode in all frames together
// (PixelBudget). Checked before each frame's pixels are made: a small file
// can claim thousands of frames of up to 65535 x 65535. The default, 1000
// million, holds minutes of full-HD animation.
extern std::int64_t DefaultPixelBudget;
// True when the screen shows 8 bits per pixel or fewer. Screens are true colour here.
extern bool PaletteDisplay;

// Receives the document's warnings. Every warning has severity 1.
using TGIFWarning =
    std::function<void(TPersistent* sender, int severity, const std::string& message)>;
// Told about one frame of a document.
using TGIFFrameEvent = std::function<void(TGIFSubImage& frame)>;

// ---- Painters ----

// What a document asks of the painters that animate it. The animation library
// implements it and installs a factory; a document makes its registry through
// that factory the first time it animates. Without a factory a document draws
// its first frame, and there are no painters to stop.
class TGIFPainterRegistry {
public:
    // Stops every painter and cuts the threaded ones loose from the document.
    virtual ~TGIFPainterRegistry() = default;
    // Draws an animated document: a running painter on the same canvas and
    // rectangle goes on, any other is replaced.
    virtual void Draw(TCanvas& canvas, const TRect& rect) = 0;
    // Asks the painter Draw started to end, without waiting for it.
    virtual void HaltCurrentPainter() = 0;
    virtual void StopCurrentPainter() = 0;
    virtual void StopAllPainters() = 0;
    virtual void KillPainterThreads() = 0;
};

using TGIFPainterRegistryFactory = std::unique_ptr<TGIFPainterRegistry> (*)(TGIFDocument& document);

// The installed factory, or null.
void SetGIFPainterRegistryFactory(TGIFPainterRegistryFactory factory);
TGIFPainterRegistryFactory GIFPainterRegistryFactory();

// The system clipboard as the document uses it. The preview layer installs one;
// without it, storing fails and nothing can be read.
class TGIFClipboard {
public:
    virtual ~TGIFClipboard() = default;
    // Replaces the clipboard's content with the picture and the GIF file's
    // bytes; false when the clipboard refuses them.
    virtual bool Store(const TBitmap& bitmap, const std::vector<std::uint8_t>& gifBytes) = 0;
    // The GIF file bytes on the clipboard; false when there are none.
    virtual bool GifData(std::vector<std::uint8_t>& bytes) = 0;
    // The picture on the clipboard as a 24-bit bitmap; null when there is none.
    virtual std::unique_ptr<TBitmap> Picture() = 0;
};

// The installed clipboard, or null.
void SetGIFClipboard(TGIFClipboard* clipboard);
TGIFClipboard* GIFClipboard();

// ---- Header ----

struct TLogicalScreenDescriptor {
    std::uint16_t ScreenWidth = 0;
    std::uint16_t ScreenHeight = 0;
    std::uint8_t PackedFields = 0;
    std::uint8_t BackgroundColorIndex = 0;
    std::uint8_t AspectRatio = 0;
};

class TGIFHeader : public TGIFItem {
public:
    explicit TGIFHeader(TGIFDocument* document);

    void Assign(const TPersistent* source) override;
    void SaveToStream(TStream& stream) override;
    void LoadFromStream(TStream& stream) override;
    void Clear();
    // Recomputes the packed byte from the colour tables.
    void Prepare();

    int Width() const { return descriptor_.ScreenWidth; }
    int Height() const { return descriptor_.ScreenHeight; }
    void SetWidth(int value) { descriptor_.ScreenWidth = static_cast<std::uint16_t>(value); }
    void SetHeight(int value) { descriptor_.ScreenHeight = static_cast<std::uint16_t>(value); }
    std::uint8_t BackgroundColorIndex() const { return descriptor_.BackgroundColorIndex; }
    void SetBackgroundColorIndex(std::uint8_t value) { descriptor_.BackgroundColorIndex = value; }
    std::uint8_t AspectRatio() const { return descriptor_.AspectRatio; }
    void SetAspectRatio(std::uint8_t value) { descriptor_.AspectRatio = value; }
    std::uint8_t PackedFields() const { return descriptor_.PackedFields; }
    int BitsPerPixel() const { return colorMap_.BitsPerPixel(); }

    TGIFGlobalColorMap& ColorMap() { return colorMap_; }
    const TGIFGlobalColorMap& ColorMap() const { return colorMap_; }
    TLogicalScreenDescriptor& Descriptor() { return descriptor_; }
    const TLogicalScreenDescriptor& Descriptor() const { return descriptor_; }

private:
    TLogicalScreenDescriptor descriptor_;
    TGIFGlobalColorMap colorMap_;
};

class TGIFTrailer : public TGIFItem {
public:
    using TGIFItem::TGIFItem;
    void SaveToStream(TStream& stream) override;
    void LoadFromStream(TStream& stream) override;
};

// ---- Frames ----

struct TImageDescriptor {
    std::uint8_t Separator = 0x2C;
    std::uint16_t Left = 0;
    std::uint16_t Top = 0;
    std::uint16_t Width = 0;
    std::uint16_t Height = 0;
    std::uint8_t PackedFields = 0;
};

class TGIFSubImage : public TGIFItem {
public:
    explicit TGIFSubImage(TGIFDocument* document);
    ~TGIFSubImage() override;

    void Assign(const TPersistent* source) override;
    int Version() const override;
    void SaveToStream(TStream& stream) override;
    void LoadFromStream(TStream& stream) override;
    void Clear();

    int Left() const { return descriptor_.Left; }
    int Top() const { return descriptor_.Top; }
    int Width() const { return descriptor_.Width; }
    int Height() const { return descriptor_.Height; }
    void SetLeft(int value);
    void SetTop(int value);
    void SetWidth(int value);
    void SetHeight(int value);
    void SetBounds(int left, int top, int width, int height);
    bool Interlaced() const { return (descriptor_.PackedFields & 0x40) != 0; }
    void SetInterlaced(bool value);
    bool Empty() const;

    // Row y of the pixels (top = 0); allocates them when missing.
    std::uint8_t* Scanline(int row);
    std::uint8_t Pixel(int x, int y);
    std::uint8_t* Pixels() { return pixels_.empty() ? nullptr : pixels_.data(); }
    const std::uint8_t* Pixels() const { return pixels_.empty() ? nullptr : pixels_.data(); }
    std::size_t PixelCount() const { return pixels_.size(); }

    TGIFLocalColorMap& ColorMap() { return colorMap_; }
    const TGIFLocalColorMap& ColorMap() const { return colorMap_; }
    // The local table if it has entries, else the global one if it has, else the local.
    TGIFColorMap& ActiveColorMap();
    int BitsPerPixel() const { return colorMap_.BitsPerPixel(); }
    int ColorResolution() const { return colorMap_.ColorResolution(); }

    TImageDescriptor& Descriptor() { return descriptor_; }
    const TImageDescriptor& Descriptor() const { return descriptor_; }
    TGIFExtensionList& Extensions() { return extensions_; }
    const TGIFExtensionList& Extensions() const { return extensions_; }

    bool Transparent() const { return transparent_; }
    void SetTransparent(bool value) { transparent_ = value; }
    TGIFGraphicControlExtension* GraphicControl() const { return graphicControl_; }
    void SetGraphicControl(TGIFGraphicControlExtension* value) { graphicControl_ = value; }

    // Render caches.
    TBitmap* Bitmap() const { return bitmap_.get(); }
    void SetBitmap(std::unique_ptr<TBitmap> bitmap) { bitmap_ = std::move(bitmap); }
    TBitmap* Mask() const { return mask_.get(); }
    void SetMask(std::unique_ptr<TBitmap> mask) { mask_ = std::move(mask); }
    bool MaskPending() const { return maskPending_; }
    void SetMaskPending(bool value) { maskPending_ = value; }
    HPALETTE PaletteHandle() const { return paletteHandle_; }
    // Drops the cached bitmap when its palette is another one.
    void SetPaletteHandle(HPALETTE palette);
    void FreeBitmap();
    void FreeMask();
    // The palette the frame renders with: its bitmap's, else the cached one,
    // else the web palette or one made from the local table (both cached),
    // else the document's. Raises "No global or local color table defined"
    // when neither table has entries.
    HPALETTE GetPalette();
    // The frame as an 8-bit bitmap with its palette, cached in Bitmap(); null
    // for an empty frame or when a progress handler aborts with EAbort.
    TBitmap* RenderBitmap();

    // The frame's place on the logical screen mapped into rect.
    TRect ScaleToRect(const TRect& rect) const;
    // Draws the rendered frame at its place within rect (at every screen-sized
    // cell from rect's top-left corner when tiled); masked, transparent pixels
    // leave the canvas unchanged.
    void DrawScaled(TCanvas& canvas, const TRect& rect, bool tiled, bool masked);

    // Hands the pixel buffer over (size must be Width*Height); used by importers.
    void SetPixels(std::vector<std::uint8_t> pixels);
    // Drops the pixels and what was rendered from them; the frame keeps its
    // bounds, colours and extensions, and reads as Empty().
    void FreePixels();

    // Writes the image descriptor, local table and image data with the given coder.
    void SaveImageData(TStream& stream);

private:
    void ReplacePixels();

    std::unique_ptr<TBitmap> bitmap_;
    std::unique_ptr<TBitmap> mask_;
    bool maskPending_ = true;
    HPALETTE paletteHandle_;
    std::vector<std::uint8_t> pixels_;
    TGIFLocalColorMap colorMap_;
    TImageDescriptor descriptor_;
    TGIFExtensionList extensions_;
    bool transparent_ = false;
    TGIFGraphicControlExtension* graphicControl_ = nullptr;
};

// ---- The document ----

class TGIFDocument : public TGraphic {
public:
    TGIFDocument();
    ~TGIFDocument() override;

    // Appends a frame made from a graphic, or the given frame itself. Returns its index.
    int Add(std::unique_ptr<TGIFSubImage> frame);
    // A graphic becomes a new frame; any other object raises.
    int Add(TPersistent& source);

    TGIFImageList& Frames() { return frames_; }
    const TGIFImageList& Frames() const { return frames_; }
    TGIFHeader& Header() { return header_; }
    const TGIFHeader& Header() const { return header_; }
    TGIFColorMap& GlobalColorMap() { return header_.ColorMap(); }

    int Width() const override { return header_.Width(); }
    int Height() const override { return header_.Height(); }
    void SetWidth(int value) override;
    void SetHeight(int value) override;

    void Clear();
    void Assign(const TPersistent* source) override;
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) override;
    // Draws the first frame, or hands an animation to the painter registry: a
    // running painter on the same canvas and rectangle goes on, any other is
    // replaced. Without a registry factory an animation shows its first frame.
    void Draw(TCanvas& canvas, const TRect& rect) override;
    // Stretches bitmap into rect, or repeats it at screen size across rect with poTiled.
    void StretchOrTile(TCanvas& canvas, const TRect& rect, const TBitmap& bitmap);
    // Puts the whole-document bitmap and the GIF file on the installed clipboard.
    void SaveToClipboardFormat();
    // Reads a GIF file from the clipboard, or else makes a one-frame document
    // of the picture there.
    void LoadFromClipboardFormat();
    // The GIF version the document needs (0 without frames).
    int Version() const;

    HPALETTE GetPalette() const override;
    void SetPalette(HPALETTE palette) override;
    HPALETTE PaletteHandle() const { return paletteHandle_; }
    // Frame 0 as the whole logical screen, cached in RenderedBitmap(); null
    // without frames or when rendering is aborted.
    TBitmap* WholeDocumentBitmap() const;

    virtual void ReportWarning(TPersistent* sender, int severity, const std::string& message);
    TGIFWarning WarningHandler;

    // Fires the document's progress event.
    void Progress(TPersistent* sender, TProgressStage stage, std::uint8_t percentDone,
                  bool redrawNow, const TRect& rect, const std::string& msg) {
        TGraphic::Progress(sender, stage, percentDone, redrawNow, rect, msg);
    }
    void Changed(TPersistent* sender) override { TGraphic::Changed(sender); }

    TGIFDrawOptions PaintOptions() const { return paintOptions_; }
    void SetPaintOptions(TGIFDrawOptions value);
    TColorReduction ColorReduction() const { return colorReduction_; }
    void SetColorReduction(TColorReduction value) { colorReduction_ = value; }
    std::int32_t QuantizeBits() const { return quantizeBits_; }
    void SetQuantizeBits(std::int32_t value) { quantizeBits_ = value; }
    TDitherMode DitherMode() const { return ditherMode_; }
    void SetDitherMode(TDitherMode value) { ditherMode_ = value; }
    std::uint8_t DataCoding() const { return dataCoding_; }
    void SetDataCoding(std::uint8_t value) { dataCoding_ = value; }
    std::uint8_t PainterPriority() const { return painterPriority_; }
    void SetPainterPriority(std::uint8_t value) { painterPriority_ = value; }
    std::int32_t SpeedPercent() const { return speedPercent_; }
    void SetSpeedPercent(std::int32_t value) { speedPercent_ = value; }
    TColor PaintBackground() const { return paintBackground_; }
    void SetPaintBackground(TColor value) { paintBackground_ = value; }
    // Pixels the reader may decode in all frames together, starting from
    // DefaultPixelBudget; a negative value counts as 0. Passing it raises
    // gifmsg::PixelBudgetExceeded before the frame's pixels are made, and the
    // frames read before stay.
    std::int64_t PixelBudget() const { return pixelBudget_; }
    void SetPixelBudget(std::int64_t value) { pixelBudget_ = value < 0 ? 0 : value; }
    // True when frames are rendered through the 216-colour web palette.
    bool DoesRenderWebPalette() const;
    // False: a painter drops a frame's rendered bitmap and mask once it has
    // painted the frame, so that a long animation holds its indexes and
    // tables only, and renders each frame again on the next pass. Not copied.
    bool KeepFrameBitmaps() const { return keepFrameBitmaps_; }
    void SetKeepFrameBitmaps(bool value) { keepFrameBitmaps_ = value; }
    // Frames without a local table are coded for the global table's depth, as
    // the streaming writer codes them, instead of the deepest table's (the
    // default). Documents of the best-quality roads use it, so that the window
    // and the command line write the same bytes.
    bool CodesAtGlobalDepth() const { return codesAtGlobalDepth_; }
    void SetCodesAtGlobalDepth(bool value) { codesAtGlobalDepth_ = value; }

    // Render caches.
    TBitmap* RenderedBitmap() const { return renderedBitmap_.get(); }
    void SetRenderedBitmap(std::unique_ptr<TBitmap> bitmap) { renderedBitmap_ = std::move(bitmap); }
    // Drops the whole-document bitmap and halts the current painter.
    void FreeRenderedBitmap();
    // Drops every rendered bitmap and palette; a lone frame's local table moves
    // into the empty global table.
    void ResetRenderCaches();

    bool Drawing = false;
    // Render caches and their guard change inside const palette queries.
    mutable bool ResolvingPalette = false;

    // The registry of the painters animating this document, made by the
    // installed factory when first asked for; null without a factory.
    TGIFPainterRegistry* PainterRegistry();
    // Halts the painter started by Draw and waits for a threaded one to end.
    void StopCurrentPainter();
    // Halts every painter and waits for the threaded ones to end.
    void StopAllPainters();
    // Cuts every threaded painter loose from the document without waiting.
    // Threads are never ended forcibly: a cut painter stops touching the
    // document at once and its thread ends on its own.
    void KillPainterThreads();

    TNotifyEvent OnAnimBegin;
    TNotifyEvent OnFrameBefore;
    TNotifyEvent OnFrameAfter;
    TNotifyEvent OnPassRepeat;
    TNotifyEvent OnAnimEnd;
    // Fired by LoadFromStream for each frame once it is read and added. A
    // handler that only looks at each frame once may FreePixels(): the pixel
    // budget still counts what was decoded.
    TGIFFrameEvent OnFrameLoaded;

    // Limits a reader enforces before allocating, in pixels.
    static constexpr std::int64_t kMaxFramePixels = std::int64_t{16384} * 16384;
    static constexpr std::int64_t kMaxDocumentPixels = std::int64_t{6} * 1024 * 1024 * 1024;

protected:
    bool GetEmpty() const override { return frames_.Count() == 0; }
    // A bitmap receives the whole-document bitmap.
    void AssignTo(TPersistent* dest) const override;

private:
    // Gives the logical screen this size; a change drops the rendered bitmap.
    void ResizeScreen(int width, int height);

    TGIFImageList frames_;
    TGIFHeader header_;
    mutable HPALETTE paletteHandle_;
    TGIFDrawOptions paintOptions_;
    TColorReduction colorReduction_;
    std::int32_t quantizeBits_;
    TDitherMode ditherMode_;
    std::uint8_t dataCoding_;
    std::uint8_t painterPriority_;
    std::int32_t speedPercent_;
    TColor paintBackground_ = clNone;
    std::int64_t pixelBudget_;
    bool keepFrameBitmaps_ = true;
    bool codesAtGlobalDepth_ = false;
    mutable std::unique_ptr<TBitmap> renderedBitmap_;
    std::unique_ptr<TGIFPainterRegistry> painters_;
};

} // namespace framolo