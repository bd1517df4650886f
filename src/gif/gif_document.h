#pragma once

#include "color/color_types.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/gif_exception.h"
#include "platform/graphics/graphics.h"
#include "platform/streams/stream.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace framolo {

class TGIFDocument;
class TGIFSubImage;
class TGIFExtension;
class TGIFGraphicControlExtension;

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
// True when the screen shows 8 bits per pixel or fewer. Screens are true colour here.
extern bool PaletteDisplay;

// Fixed texts of the codec's errors and warnings.
namespace gifmsg {
inline constexpr const char* UnsupportedObject = "Object type not supported for operation";
inline constexpr const char* InvalidColorIndex = "Invalid color index";
inline constexpr const char* ColorTableEmpty = "Color table is empty";
inline constexpr const char* ColorTableOverflow = "Color table overflow";
inline constexpr const char* InvalidPixelCoordinates = "Invalid pixel coordinates";
inline constexpr const char* ImageEmpty = "Image is empty";
inline constexpr const char* ImageWidthTooSmall = "Image width too small for contained frames";
inline constexpr const char* ImageHeightTooSmall = "Image height too small for contained frames";
inline constexpr const char* ImageExceedsScreen = "Image exceeds Logical Screen size";
inline constexpr const char* ClipboardStoreFailed = "Failed to store GIF on clipboard";
inline constexpr const char* UnsupportedClipboardFormat = "Unsupported clipboard format";
inline constexpr const char* UnsupportedVersion = "Unsupported GIF version";
inline constexpr const char* ColorNotInTable = "Color not in color table";
inline constexpr const char* InvalidStreamOperation = "Invalid stream operation";
inline constexpr const char* NoColorTable = "No global or local color table defined";
inline constexpr const char* FrameTooLarge = "Image is too large to hold in memory";
inline constexpr const char* Saving = "Saving...";
inline constexpr const char* Loading = "Loading...";
inline constexpr const char* Copying = "Copying...";
inline constexpr const char* Rendering = "Rendering...";
inline constexpr const char* Converting = "Converting...";
} // namespace gifmsg

// Receives the document's warnings. Every warning has severity 1.
using TGIFWarning =
    std::function<void(TPersistent* sender, int severity, const std::string& message)>;

// ---- Painters ----

// A painter that animates a document. The preview layer implements it; the
// document only stops painters and cuts their link to itself.
class TGIFPainterLink {
public:
    virtual ~TGIFPainterLink() = default;
    // Asks the painter to end as soon as it can.
    virtual void Halt() = 0;
    virtual bool Threaded() const = 0;
    // The document is going away: forget it and never touch it again. Called
    // under the painter-list lock.
    virtual void DocumentDestroyed() = 0;
};

class TGIFPainter;

// Runs pending cross-thread calls of painters while the GUI thread waits for them
// to stop. Starts as the main-thread call queue's pump; the preview layer may
// install its own.
extern std::function<void()> PumpPainterCalls;

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

// ---- Items and lists ----

class TGIFItem : public TPersistent {
public:
    explicit TGIFItem(TGIFDocument* document) : document_(document) {}

    // GIF version the item needs: 1 = 87a, 2 = 89a.
    virtual int Version() const { return 1; }
    virtual void ReportWarning(TPersistent* sender, int severity, const std::string& message);
    virtual void SaveToStream(TStream& stream) = 0;
    virtual void LoadFromStream(TStream& stream) = 0;
    virtual void SaveToFile(const std::string& fileName);
    virtual void LoadFromFile(const std::string& fileName);

    TGIFDocument* Document() const { return document_; }

protected:
    TGIFDocument* document_;
};

// An owning list of items. Deleting frees the item; Remove hands it back.
class TGIFList : public TPersistent {
public:
    explicit TGIFList(TGIFDocument* document) : document_(document) {}
    ~TGIFList() override;

    int Add(std::unique_ptr<TGIFItem> item);
    int Count() const { return static_cast<int>(items_.size()); }
    TGIFItem* Item(int index) const;
    void Delete(int index);
    std::unique_ptr<TGIFItem> Remove(TGIFItem* item);
    int IndexOf(const TGIFItem* item) const;
    void Clear();

    virtual void ReportWarning(TPersistent* sender, int severity, const std::string& message);
    virtual void SaveToStream(TStream& stream);
    virtual void LoadFromStream(TStream& stream, TPersistent* parent) = 0;
    TGIFDocument* Document() const { return document_; }

protected:
    TGIFDocument* document_;
    std::vector<std::unique_ptr<TGIFItem>> items_;
};

class TGIFImageList : public TGIFList {
public:
    using TGIFList::TGIFList;
    TGIFSubImage* operator[](int index) const;
    TGIFSubImage* Frame(int index) const { return (*this)[index]; }
    void SaveToStream(TStream& stream) override;
    void LoadFromStream(TStream& stream, TPersistent* parent) override;
};

class TGIFExtensionList : public TGIFList {
public:
    using TGIFList::TGIFList;
    TGIFExtension* operator[](int index) const;
    TGIFExtension* Extension(int index) const { return (*this)[index]; }
    void LoadFromStream(TStream& stream, TPersistent* parent) override;
};

// ---- Colour tables ----

struct TGIFColor {
    std::uint8_t Red = 0;
    std::uint8_t Green = 0;
    std::uint8_t Blue = 0;
    friend bool operator==(const TGIFColor&, const TGIFColor&) = default;
};

// 0 for no colours, else the least n >= 1 with 2^n >= count.
int BitsForColors(int count);

class TGIFColorMap : public TPersistent {
public:
    TGIFColorMap() = default;

    int Count() const { return count_; }
    int Capacity() const { return capacity_; }
    bool Sorted() const { return sorted_; }
    void SetSorted(bool value) { sorted_ = value; }
    const TGIFColor* Data() const { return entries_.data(); }
    TGIFColor Entry(int index) const { return entries_[static_cast<std::size_t>(index)]; }
    int BitsPerPixel() const { return BitsForColors(count_); }
    int ColorResolution() const { return BitsPerPixel() - 1; }

    int Add(TColor color);
    int AddUnique(TColor color);
    int IndexOf(TColor color) const;
    void Delete(int index);
    // Entry index as a colour; out of range warns and gives entry 0.
    TColor Color(int index);
    void SetColor(int index, TColor color);

    void LoadFromPalette(const HPALETTE& palette);
    void LoadFromColorTable(const TRGBQuad* table, int count);
    // Takes the colour table of a bitmap of 8 bits or fewer.
    void LoadFromDIBColors(const TBitmap& bitmap);
    HPALETTE MakePalette() const;

    void Assign(const TPersistent* source) override;
    void Clear();

    // Writes the table with black filler up to 2^BitsPerPixel entries.
    void SaveToStream(TStream& stream) const;
    // Reads count triples.
    void LoadFromStream(TStream& stream, int count);

    virtual void ReportWarning(TPersistent* sender, int severity, const std::string& message);
    // Slots kept for table optimisation across a document.
    virtual void Optimize() {}
    virtual void OptimizeReplace(int, int) {}
    virtual void OptimizeRemap() {}
    virtual void Changed() {}

    // Raw access for importers: grows to count entries (count <= 256).
    void SetCount(int count);
    TGIFColor* MutableData() { return entries_.data(); }
    // The table becomes exactly these colours (at most 256).
    void SetColors(const std::vector<TGIFColor>& colors);

protected:
    void GrowFor(int needed);
    std::vector<TGIFColor> entries_;
    int count_ = 0;
    int capacity_ = 0;
    bool sorted_ = false;
};

class TGIFHeader;

class TGIFGlobalColorMap : public TGIFColorMap {
public:
    explicit TGIFGlobalColorMap(TGIFHeader* header) : header_(header) {}
    void ReportWarning(TPersistent* sender, int severity, const std::string& message) override;
    void Changed() override;
    TGIFHeader* Header() const { return header_; }

private:
    TGIFHeader* header_;
};

class TGIFLocalColorMap : public TGIFColorMap {
public:
    explicit TGIFLocalColorMap(TGIFSubImage* subImage) : subImage_(subImage) {}
    void ReportWarning(TPersistent* sender, int severity, const std::string& message) override;
    void Changed() override;
    TGIFSubImage* SubImage() const { return subImage_; }

private:
    TGIFSubImage* subImage_;
};

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

// ---- Extensions ----

class TGIFExtension;

// What a class of extension is: how to make one for a frame, and how to pick a
// more specific class by peeking at the stream.
struct TGIFExtensionClass {
    std::uint8_t Label;
    std::unique_ptr<TGIFExtension> (*CreateFor)(TGIFSubImage* subImage);
    // Peeks at the stream (positioned after the label) and answers the class to
    // use; the stream position is left unchanged.
    const TGIFExtensionClass* (*SubClassFor)(TStream& stream);
};

class TGIFExtension : public TGIFItem {
public:
    explicit TGIFExtension(TGIFSubImage* subImage);
    int Version() const override { return 2; }
    virtual std::uint8_t ExtensionLabel() const = 0;
    TGIFSubImage* SubImage() const { return subImage_; }

protected:
    // Writes the introducer 0x21 and the label.
    void WriteIntroducer(TStream& stream) const;
    TGIFSubImage* subImage_;
};

struct TGIFGCERec {
    std::uint8_t BlockSize = 4;
    std::uint8_t PackedFields = 0;
    std::uint16_t Delay = 0;
    std::uint8_t TransparentColorIndex = 0;
    std::uint8_t Terminator = 0;
};

class TGIFGraphicControlExtension : public TGIFExtension {
public:
    explicit TGIFGraphicControlExtension(TGIFSubImage* subImage);
    ~TGIFGraphicControlExtension() override;
    static const TGIFExtensionClass& ClassInfo();

    std::uint8_t ExtensionLabel() const override { return 0xF9; }
    void SaveToStream(TStream& stream) override;
    void LoadFromStream(TStream& stream) override;

    int Delay() const { return rec_.Delay; }
    void SetDelay(int value) { rec_.Delay = static_cast<std::uint16_t>(value); }
    int Disposal() const { return (rec_.PackedFields >> 2) & 7; }
    void SetDisposal(int value);
    bool UserInput() const { return (rec_.PackedFields & 0x02) != 0; }
    bool Transparent() const { return (rec_.PackedFields & 0x01) != 0; }
    void SetTransparent(bool value);
    int TransparentColorIndex() const { return rec_.TransparentColorIndex; }
    void SetTransparentColorIndex(int value);
    TColor TransparentColor();
    const TGIFGCERec& Record() const { return rec_; }

private:
    TGIFGCERec rec_;
};

// Disposal methods of a graphic control extension.
enum : int { dmNone = 0, dmNoDisposal = 1, dmBackground = 2, dmPrevious = 3 };

struct TGIFPlainTextRec {
    std::uint8_t BlockSize = 12;
    std::uint16_t Left = 0;
    std::uint16_t Top = 0;
    std::uint16_t Width = 0;
    std::uint16_t Height = 0;
    std::uint8_t CellWidth = 0;
    std::uint8_t CellHeight = 0;
    std::uint8_t TextFGColorIndex = 0;
    std::uint8_t TextBGColorIndex = 0;
};

class TGIFTextExtension : public TGIFExtension {
public:
    explicit TGIFTextExtension(TGIFSubImage* subImage);
    static const TGIFExtensionClass& ClassInfo();
    std::uint8_t ExtensionLabel() const override { return 0x01; }
    void SaveToStream(TStream& stream) override;
    void LoadFromStream(TStream& stream) override;

    TGIFPlainTextRec& Record() { return rec_; }
    std::vector<std::string> Lines;

private:
    TGIFPlainTextRec rec_;
};

class TGIFCommentExtension : public TGIFExtension {
public:
    explicit TGIFCommentExtension(TGIFSubImage* subImage);
    static const TGIFExtensionClass& ClassInfo();
    std::uint8_t ExtensionLabel() const override { return 0xFE; }
    void SaveToStream(TStream& stream) override;
    void LoadFromStream(TStream& stream) override;

    std::vector<std::string> Lines;
};

using TGIFApplicationRec = std::array<std::uint8_t, 11>;

class TGIFApplicationExtension : public TGIFExtension {
public:
    explicit TGIFApplicationExtension(TGIFSubImage* subImage);
    static const TGIFExtensionClass& ClassInfo();
    std::uint8_t ExtensionLabel() const override { return 0xFF; }
    void SaveToStream(TStream& stream) override;
    void LoadFromStream(TStream& stream) override;
    virtual void WriteSubBlocks(TStream& stream) = 0;
    virtual void ReadSubBlocks(TStream& stream) = 0;
    // Peeks at the application identifier and answers the registered class, or
    // the class that keeps unknown blocks raw.
    static const TGIFExtensionClass* SubClassFor(TStream& stream);

    const TGIFApplicationRec& Identifier() const { return identifier_; }
    void SetIdentifier(const TGIFApplicationRec& value) { identifier_ = value; }
    std::string IdentifierText() const {
        return std::string(identifier_.begin(), identifier_.end());
    }

protected:
    TGIFApplicationRec identifier_{};
};

class TGIFAppExtNSLoop : public TGIFApplicationExtension {
public:
    explicit TGIFAppExtNSLoop(TGIFSubImage* subImage);
    static const TGIFExtensionClass& ClassInfo();
    void WriteSubBlocks(TStream& stream) override;
    void ReadSubBlocks(TStream& stream) override;

    int LoopCount() const { return loopCount_; }
    void SetLoopCount(int value) { loopCount_ = static_cast<std::uint16_t>(value); }
    std::uint32_t StreamBufferSize() const { return bufferSize_; }
    void SetStreamBufferSize(std::uint32_t value) { bufferSize_ = value; }

private:
    std::uint16_t loopCount_ = 0;
    std::uint32_t bufferSize_ = 0;
};

// One raw data sub-block.
struct TGIFBlock {
    std::vector<std::uint8_t> Data;
    std::uint8_t Size() const { return static_cast<std::uint8_t>(Data.size()); }
};

class TGIFUnknownAppExtension : public TGIFApplicationExtension {
public:
    explicit TGIFUnknownAppExtension(TGIFSubImage* subImage);
    static const TGIFExtensionClass& ClassInfo();
    void WriteSubBlocks(TStream& stream) override;
    void ReadSubBlocks(TStream& stream) override;

    std::vector<TGIFBlock> Blocks;
};

// Writes the lines as data sub-blocks of at most 255 bytes and a 0 terminator.
void WriteTextBlocks(TStream& stream, const std::vector<std::string>& lines);

// ---- Registries ----

// Label to class, searched from the last registration backwards.
void RegisterExtension(std::uint8_t label, const TGIFExtensionClass* cls);
const TGIFExtensionClass* FindExtension(std::uint8_t label);
// Application identifier (11 bytes) to class, searched from the last backwards.
void RegisterAppExtension(const TGIFApplicationRec& identifier, const TGIFExtensionClass* cls);
const TGIFExtensionClass* FindAppExtension(const TGIFApplicationRec& identifier);
TGIFApplicationRec MakeAppIdentifier(const char* elevenChars);

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
    // Draws the first frame, or hands an animation to a painter: a running
    // painter on the same canvas and rectangle goes on, any other is replaced.
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
    // True when frames are rendered through the 216-colour web palette.
    bool DoesRenderWebPalette() const;

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

    // Painters. The lock guards PainterList and CurrentPainter.
    std::recursive_mutex& PainterLock() const { return painterLock_; }
    std::vector<TGIFPainterLink*> PainterList;
    TGIFPainterLink* CurrentPainter = nullptr;
    // Creates a painter for the canvas (stored in *slot). A threaded painter is
    // returned suspended; one that is not threaded runs to its end here and
    // null is returned. Null also for an empty document or rectangle.
    TGIFPainter* StartPainter(TGIFPainterLink** slot, TCanvas& canvas, TGIFDrawOptions options,
                              const TRect& rect);
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

    // Limits a reader enforces before allocating, in pixels.
    static constexpr std::int64_t kMaxFramePixels = std::int64_t{16384} * 16384;
    static constexpr std::int64_t kMaxDocumentPixels = std::int64_t{6} * 1024 * 1024 * 1024;

protected:
    bool GetEmpty() const override { return frames_.Count() == 0; }
    // A bitmap receives the whole-document bitmap.
    void AssignTo(TPersistent* dest) const override;

private:
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
    mutable std::unique_ptr<TBitmap> renderedBitmap_;
    // Where a painter without poOnTarget draws: a canvas over renderedBitmap_.
    std::unique_ptr<TCanvas> renderedCanvas_;
    mutable std::recursive_mutex painterLock_;
};

} // namespace framolo
