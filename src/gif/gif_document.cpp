// The document model: items and lists, the header, frames and the document's
// own state. Colour tables are in gif_color_map.cpp, extensions in
// gif_extensions.cpp.
#include "gif/gif_document.h"

#include <algorithm>

namespace framolo {

TGIFDrawOptions DefaultPaintOptions = 0x060F;
TColorReduction DefaultColorReduction = TColorReduction::Netscape;
std::int32_t DefaultQuantizeBits = 8;
TDitherMode DefaultDitherMode = TDitherMode::Nearest;
std::uint8_t DefaultDataCoding = 0;
std::uint8_t DefaultPainterPriority = 3;
std::int32_t DefaultSpeedPercent = 100;
std::int64_t DefaultPixelBudget = 1000000000;
bool PaletteDisplay = false;

namespace {
// Stores palette in slot. True when that changed it and the cached bitmap, if
// there is one, was rendered with other colours, so that it has to be
// rendered again.
bool ReplacePalette(HPALETTE& slot, HPALETTE palette, const TBitmap* rendered) {
    if (palette == slot)
        return false;
    slot = std::move(palette);
    if (rendered == nullptr)
        return false;
    const HPALETTE current = rendered->GetPalette();
    return !current || !slot || current->Entries != slot->Entries;
}

// Refuses a side of the logical screen that a frame reaches past, reach(frame)
// being how far the frame extends along it, or that 16 bits cannot hold.
template <class TReach>
void CheckScreenSide(const TGIFImageList& frames, int value, TReach reach, const char* tooSmall) {
    for (int i = 0; i < frames.Count(); ++i)
        if (reach(*frames[i]) > value)
            throw GIFException(tooSmall);
    if (value < 0 || value > 0xFFFF)
        throw GIFException(gifmsg::InvalidPixelCoordinates);
}
} // namespace

// ---- TGIFItem ----

void TGIFItem::ReportWarning(TPersistent* sender, int severity, const std::string& message) {
    if (document_ != nullptr)
        document_->ReportWarning(sender, severity, message);
}

void TGIFItem::SaveToFile(const std::string& fileName) {
    TFileStream stream(fileName, fmCreate);
    SaveToStream(stream);
    stream.Flush();
}

void TGIFItem::LoadFromFile(const std::string& fileName) {
    TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(stream);
}

// ---- TGIFList ----

TGIFList::~TGIFList() {
    Clear();
}

int TGIFList::Add(std::unique_ptr<TGIFItem> item) {
    items_.push_back(std::move(item));
    return static_cast<int>(items_.size()) - 1;
}

TGIFItem* TGIFList::Item(int index) const {
    if (index < 0 || index >= Count())
        throw std::out_of_range("List index out of bounds");
    return items_[static_cast<std::size_t>(index)].get();
}

void TGIFList::Delete(int index) {
    if (index < 0 || index >= Count())
        throw std::out_of_range("List index out of bounds");
    // Take it out first: its destructor may look at the list.
    std::unique_ptr<TGIFItem> item = std::move(items_[static_cast<std::size_t>(index)]);
    items_.erase(items_.begin() + index);
    item.reset();
}

std::unique_ptr<TGIFItem> TGIFList::Remove(TGIFItem* item) {
    const int i = IndexOf(item);
    if (i < 0)
        return nullptr;
    std::unique_ptr<TGIFItem> owned = std::move(items_[static_cast<std::size_t>(i)]);
    items_.erase(items_.begin() + i);
    return owned;
}

int TGIFList::IndexOf(const TGIFItem* item) const {
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (items_[i].get() == item)
            return static_cast<int>(i);
    return -1;
}

void TGIFList::Clear() {
    // First to last, each item out of the list before it goes, as with
    // Delete(0); but the list is emptied once instead of being shifted down
    // after every item, which made freeing a long list quadratic.
    std::vector<std::unique_ptr<TGIFItem>> items = std::move(items_);
    items_.clear();
    for (std::unique_ptr<TGIFItem>& item : items)
        item.reset();
}

void TGIFList::ReportWarning(TPersistent* sender, int severity, const std::string& message) {
    if (document_ != nullptr)
        document_->ReportWarning(sender, severity, message);
}

void TGIFList::SaveToStream(TStream& stream) {
    for (auto& item : items_)
        item->SaveToStream(stream);
}

TGIFSubImage* TGIFImageList::operator[](int index) const {
    return static_cast<TGIFSubImage*>(Item(index));
}

TGIFExtension* TGIFExtensionList::operator[](int index) const {
    return static_cast<TGIFExtension*>(Item(index));
}

// ---- Header ----

TGIFHeader::TGIFHeader(TGIFDocument* document) : TGIFItem(document), colorMap_(this) {}

void TGIFHeader::Clear() {
    colorMap_.Clear();
    descriptor_.ScreenWidth = 0;
    descriptor_.ScreenHeight = 0;
    Prepare();
}

void TGIFHeader::Prepare() {
    int m = colorMap_.BitsPerPixel();
    if (document_ != nullptr) {
        const TGIFImageList& frames = document_->Frames();
        for (int i = 0; i < frames.Count(); ++i)
            m = std::max(m, frames[i]->ColorMap().BitsPerPixel());
    }
    std::uint8_t packed = 0;
    const bool global = colorMap_.Count() > 0;
    if (global) {
        packed |= 0x80;
        if (colorMap_.Sorted())
            packed |= 0x08;
    }
    packed = static_cast<std::uint8_t>(packed | (((m - 1) & 7) << 4));
    if (global)
        packed = static_cast<std::uint8_t>(packed | ((colorMap_.BitsPerPixel() - 1) & 7));
    else
        packed = static_cast<std::uint8_t>(packed | ((m - 1) & 7));
    descriptor_.PackedFields = packed;
}

// ---- Frames ----

TGIFSubImage::TGIFSubImage(TGIFDocument* document)
    : TGIFItem(document), colorMap_(this), extensions_(document) {}

TGIFSubImage::~TGIFSubImage() {
    // Extensions look at their frame while they go, so they go first.
    extensions_.Clear();
    graphicControl_ = nullptr;
}

int TGIFSubImage::Version() const {
    if (colorMap_.Sorted() || extensions_.Count() > 0)
        return 2;
    return 1;
}

void TGIFSubImage::Clear() {
    extensions_.Clear();
    colorMap_.Clear();
    pixels_.clear();
    pixels_.shrink_to_fit();
    descriptor_.Height = 0;
    descriptor_.Width = 0;
    transparent_ = false;
    graphicControl_ = nullptr;
    FreeBitmap();
    FreeMask();
}

bool TGIFSubImage::Empty() const {
    return pixels_.empty() || Width() <= 0 || Height() <= 0;
}

void TGIFSubImage::ReplacePixels() {
    const std::int64_t count = static_cast<std::int64_t>(descriptor_.Width) * descriptor_.Height;
    if (count > TGIFDocument::kMaxFramePixels)
        throw GIFException(gifmsg::FrameTooLarge);
    std::vector<std::uint8_t>().swap(pixels_);
    if (count > 0)
        pixels_.assign(static_cast<std::size_t>(count), 0);
}

void TGIFSubImage::SetBounds(int left, int top, int width, int height) {
    auto check = [](int v) {
        if (v < 0 || v > 0xFFFF)
            throw GIFException(gifmsg::InvalidPixelCoordinates);
    };
    check(left);
    check(top);
    check(width);
    check(height);
    if (width != descriptor_.Width || height != descriptor_.Height) {
        if (static_cast<std::int64_t>(width) * height > TGIFDocument::kMaxFramePixels)
            throw GIFException(gifmsg::FrameTooLarge);
        FreeBitmap();
        FreeMask();
        descriptor_.Width = static_cast<std::uint16_t>(width);
        descriptor_.Height = static_cast<std::uint16_t>(height);
        ReplacePixels();
    }
    descriptor_.Left = static_cast<std::uint16_t>(left);
    descriptor_.Top = static_cast<std::uint16_t>(top);
    descriptor_.Width = static_cast<std::uint16_t>(width);
    descriptor_.Height = static_cast<std::uint16_t>(height);

    if (document_ == nullptr)
        return;
    // The logical screen grows to hold every frame. Its fields are 16 bits wide,
    // so a frame reaching past 65535 is clipped there rather than wrapping.
    // Growing a side that had a size already is warned of.
    TGIFHeader& header = document_->Header();
    const auto grow = [this](int side, int reach, const char* tooSmall, const auto& setSide) {
        if (side >= reach)
            return;
        const bool warn = side > 0;
        if (warn)
            ReportWarning(this, 1, tooSmall);
        setSide(reach);
        if (warn)
            ReportWarning(this, 1, gifmsg::ImageExceedsScreen);
    };
    grow(header.Width(), std::min(left + width, 0xFFFF), gifmsg::ImageWidthTooSmall,
         [&header](int value) { header.SetWidth(value); });
    grow(header.Height(), std::min(top + height, 0xFFFF), gifmsg::ImageHeightTooSmall,
         [&header](int value) { header.SetHeight(value); });
}

void TGIFSubImage::SetLeft(int value) {
    SetBounds(value, Top(), Width(), Height());
}
void TGIFSubImage::SetTop(int value) {
    SetBounds(Left(), value, Width(), Height());
}
void TGIFSubImage::SetWidth(int value) {
    SetBounds(Left(), Top(), value, Height());
}
void TGIFSubImage::SetHeight(int value) {
    SetBounds(Left(), Top(), Width(), value);
}

void TGIFSubImage::SetInterlaced(bool value) {
    descriptor_.PackedFields = static_cast<std::uint8_t>(value ? descriptor_.PackedFields | 0x40
                                                               : descriptor_.PackedFields & ~0x40);
}

std::uint8_t* TGIFSubImage::Scanline(int row) {
    if (row < 0 || row >= Height())
        throw GIFException(gifmsg::InvalidPixelCoordinates);
    if (pixels_.empty())
        ReplacePixels();
    if (pixels_.empty())
        throw GIFException(gifmsg::ImageEmpty);
    return pixels_.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(Width());
}

std::uint8_t TGIFSubImage::Pixel(int x, int y) {
    if (x < 0 || x >= Width())
        throw GIFException(gifmsg::InvalidPixelCoordinates);
    return Scanline(y)[x];
}

TGIFColorMap& TGIFSubImage::ActiveColorMap() {
    if (colorMap_.Count() > 0 || document_ == nullptr)
        return colorMap_;
    if (document_->GlobalColorMap().Count() > 0)
        return document_->GlobalColorMap();
    return colorMap_;
}

void TGIFSubImage::SetPaletteHandle(HPALETTE palette) {
    if (!ReplacePalette(paletteHandle_, std::move(palette), bitmap_.get()))
        return;
    FreeBitmap();
    if (document_ != nullptr) {
        document_->SetPaletteModified(true);
        document_->Changed(this);
    }
}

void TGIFSubImage::FreeBitmap() {
    bitmap_.reset();
}

void TGIFSubImage::FreeMask() {
    mask_.reset();
    maskPending_ = true;
}

void TGIFSubImage::SetPixels(std::vector<std::uint8_t> pixels) {
    if (pixels.size() != static_cast<std::size_t>(Width()) * static_cast<std::size_t>(Height()))
        throw GIFException(gifmsg::InvalidPixelCoordinates);
    pixels_ = std::move(pixels);
    FreeBitmap();
    FreeMask();
}

void TGIFSubImage::FreePixels() {
    std::vector<std::uint8_t>().swap(pixels_);
    FreeBitmap();
    FreeMask();
}

// ---- Document ----

TGIFDocument::TGIFDocument()
    : frames_(this), header_(this), paintOptions_(DefaultPaintOptions),
      colorReduction_(DefaultColorReduction), quantizeBits_(DefaultQuantizeBits),
      ditherMode_(DefaultDitherMode), dataCoding_(DefaultDataCoding),
      painterPriority_(DefaultPainterPriority), speedPercent_(DefaultSpeedPercent),
      pixelBudget_(std::max<std::int64_t>(DefaultPixelBudget, 0)) {
    Clear();
}

TGIFDocument::~TGIFDocument() {
    // The registry stops the painters and cuts the rest loose before anything
    // they could look at goes.
    painters_.reset();
    // Frames go before the header: their colour maps may report to it.
    frames_.Clear();
}

int TGIFDocument::Add(std::unique_ptr<TGIFSubImage> frame) {
    if (!frame)
        throw GIFException(gifmsg::UnsupportedObject);
    const int index = frames_.Add(std::move(frame));
    FreeRenderedBitmap();
    Changed(this);
    return index;
}

int TGIFDocument::Add(TPersistent& source) {
    if (dynamic_cast<TGraphic*>(&source) == nullptr)
        throw GIFException(gifmsg::UnsupportedObject);
    auto frame = std::make_unique<TGIFSubImage>(this);
    // A failed import frees the new frame; the document stays as it was,
    // including the logical screen that the frame's size may have grown.
    const int screenWidth = header_.Width();
    const int screenHeight = header_.Height();
    try {
        frame->Assign(&source);
    } catch (...) {
        frame.reset();
        header_.SetWidth(screenWidth);
        header_.SetHeight(screenHeight);
        throw;
    }
    return Add(std::move(frame));
}

void TGIFDocument::SetWidth(int value) {
    CheckScreenSide(
        frames_, value, [](const TGIFSubImage& f) { return f.Left() + f.Width(); },
        gifmsg::ImageWidthTooSmall);
    ResizeScreen(value, header_.Height());
}

void TGIFDocument::SetHeight(int value) {
    CheckScreenSide(
        frames_, value, [](const TGIFSubImage& f) { return f.Top() + f.Height(); },
        gifmsg::ImageHeightTooSmall);
    ResizeScreen(header_.Width(), value);
}

void TGIFDocument::ResizeScreen(int width, int height) {
    if (width == header_.Width() && height == header_.Height())
        return;
    header_.SetWidth(width);
    header_.SetHeight(height);
    FreeRenderedBitmap();
    Changed(this);
}

void TGIFDocument::Clear() {
    StopAllPainters();
    FreeRenderedBitmap();
    frames_.Clear();
    header_.Clear();
    SetPalette(nullptr);
}

int TGIFDocument::Version() const {
    int version = 0;
    for (int i = 0; i < frames_.Count(); ++i) {
        version = std::max(version, frames_[i]->Version());
        if (version >= 2)
            break;
    }
    return version;
}

void TGIFDocument::SetPalette(HPALETTE palette) {
    if (!ReplacePalette(paletteHandle_, std::move(palette), renderedBitmap_.get()))
        return;
    FreeRenderedBitmap();
    SetPaletteModified(true);
    Changed(this);
}

void TGIFDocument::ReportWarning(TPersistent* sender, int severity, const std::string& message) {
    if (WarningHandler)
        WarningHandler(sender, severity, message);
}

void TGIFDocument::SetPaintOptions(TGIFDrawOptions value) {
    if (value == paintOptions_)
        return;
    if (painters_)
        painters_->HaltCurrentPainter();
    paintOptions_ = value;
    ResetRenderCaches();
    Changed(this);
}

bool TGIFDocument::DoesRenderWebPalette() const {
    return (paintOptions_ & RenderWebPalette) != 0 &&
           ((paintOptions_ & WebPaletteOnPaletteDisplayOnly) == 0 || PaletteDisplay);
}

void TGIFDocument::FreeRenderedBitmap() {
    if (painters_)
        painters_->HaltCurrentPainter();
    renderedBitmap_.reset();
}

void TGIFDocument::ResetRenderCaches() {
    FreeRenderedBitmap();
    paletteHandle_.reset();
    for (int i = 0; i < frames_.Count(); ++i) {
        TGIFSubImage* frame = frames_[i];
        frame->FreeBitmap();
        frame->SetPaletteHandle(nullptr);
    }
    if (header_.ColorMap().Count() == 0 && frames_.Count() == 1) {
        TGIFSubImage* frame = frames_[0];
        header_.ColorMap().Assign(&frame->ColorMap());
        frame->ColorMap().Clear();
    }
}

} // namespace framolo
