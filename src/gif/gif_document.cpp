#include "gif/gif_document.h"

#include "gif/gif_painter.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace framolo {

TGIFDrawOptions DefaultPaintOptions = 0x060F;
TColorReduction DefaultColorReduction = TColorReduction::Netscape;
std::int32_t DefaultQuantizeBits = 8;
TDitherMode DefaultDitherMode = TDitherMode::Nearest;
std::uint8_t DefaultDataCoding = 0;
std::uint8_t DefaultPainterPriority = 3;
std::int32_t DefaultSpeedPercent = 100;
bool PaletteDisplay = false;
std::function<void()> PumpPainterCalls = [] { TMainThreadCalls::Instance().WaitAndPump(1); };

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
    while (!items_.empty())
        Delete(0);
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

// ---- Colour maps ----

int BitsForColors(int count) {
    if (count <= 0)
        return 0;
    int n = 1;
    while ((1 << n) < count)
        ++n;
    return n;
}

void TGIFColorMap::GrowFor(int needed) {
    if (needed < capacity_)
        return;
    int cap = needed <= 16 ? 16 : (needed + 31) / 32 * 32;
    cap = std::min(cap, 256);
    entries_.resize(static_cast<std::size_t>(cap));
    capacity_ = cap;
}

int TGIFColorMap::Add(TColor color) {
    if (count_ >= 256)
        throw GIFException(gifmsg::ColorTableOverflow);
    GrowFor(count_ + 1);
    entries_[static_cast<std::size_t>(count_)] =
        TGIFColor{GetRValue(color), GetGValue(color), GetBValue(color)};
    ++count_;
    sorted_ = false;
    Changed();
    return count_ - 1;
}

int TGIFColorMap::AddUnique(TColor color) {
    const int i = IndexOf(color);
    return i >= 0 ? i : Add(color);
}

int TGIFColorMap::IndexOf(TColor color) const {
    const TGIFColor c{GetRValue(color), GetGValue(color), GetBValue(color)};
    if (sorted_) {
        for (int i = 0; i < count_; ++i)
            if (entries_[static_cast<std::size_t>(i)] == c)
                return i;
        return -1;
    }
    for (int i = count_ - 1; i >= 0; --i)
        if (entries_[static_cast<std::size_t>(i)] == c)
            return i;
    return -1;
}

void TGIFColorMap::Delete(int index) {
    if (index < 0 || index >= count_)
        throw GIFException(gifmsg::InvalidColorIndex);
    std::copy(entries_.begin() + index + 1, entries_.begin() + count_, entries_.begin() + index);
    --count_;
    sorted_ = false;
    Changed();
}

TColor TGIFColorMap::Color(int index) {
    if (count_ == 0)
        throw GIFException(gifmsg::ColorTableEmpty);
    if (index < 0 || index >= count_) {
        ReportWarning(this, 1, gifmsg::InvalidColorIndex);
        index = 0;
    }
    const TGIFColor& c = entries_[static_cast<std::size_t>(index)];
    return RGB(c.Red, c.Green, c.Blue);
}

void TGIFColorMap::SetColor(int index, TColor color) {
    if (index < 0 || index >= count_)
        throw GIFException(gifmsg::InvalidColorIndex);
    entries_[static_cast<std::size_t>(index)] =
        TGIFColor{GetRValue(color), GetGValue(color), GetBValue(color)};
    Changed();
}

void TGIFColorMap::SetCount(int count) {
    if (count < 0 || count > 256)
        throw GIFException(gifmsg::ColorTableOverflow);
    GrowFor(count);
    count_ = count;
}

void TGIFColorMap::SetColors(const std::vector<TGIFColor>& colors) {
    SetCount(static_cast<int>(std::min<std::size_t>(colors.size(), 257)));
    std::copy(colors.begin(), colors.end(), entries_.begin());
}

void TGIFColorMap::LoadFromPalette(const HPALETTE& palette) {
    Clear();
    if (palette) {
        const int n = std::min(palette->Count(), 256);
        SetCount(n);
        for (int i = 0; i < n; ++i) {
            const TPaletteEntry& e = palette->Entries[static_cast<std::size_t>(i)];
            entries_[static_cast<std::size_t>(i)] = TGIFColor{e.peRed, e.peGreen, e.peBlue};
        }
    }
    Changed();
}

void TGIFColorMap::LoadFromColorTable(const TRGBQuad* table, int count) {
    Clear();
    const int n = std::clamp(count, 0, 256);
    SetCount(n);
    for (int i = 0; i < n; ++i)
        entries_[static_cast<std::size_t>(i)] =
            TGIFColor{table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue};
    Changed();
}

void TGIFColorMap::LoadFromDIBColors(const TBitmap& bitmap) {
    const auto& table = bitmap.ColorTable();
    LoadFromColorTable(table.data(), static_cast<int>(std::min<std::size_t>(table.size(), 256)));
}

HPALETTE TGIFColorMap::MakePalette() const {
    if (count_ == 0)
        return nullptr;
    std::vector<TPaletteEntry> entries(static_cast<std::size_t>(count_));
    for (int i = 0; i < count_; ++i) {
        const TGIFColor& c = entries_[static_cast<std::size_t>(i)];
        entries[static_cast<std::size_t>(i)] = TPaletteEntry{c.Red, c.Green, c.Blue, PC_NOCOLLAPSE};
    }
    return CreatePalette(std::move(entries));
}

void TGIFColorMap::Assign(const TPersistent* source) {
    if (source == this)
        return;
    if (const auto* m = dynamic_cast<const TGIFColorMap*>(source)) {
        entries_ = m->entries_;
        capacity_ = m->capacity_;
        count_ = m->count_;
        sorted_ = m->sorted_;
        Changed();
        return;
    }
    TPersistent::Assign(source);
}

void TGIFColorMap::Clear() {
    entries_.clear();
    entries_.shrink_to_fit();
    count_ = 0;
    capacity_ = 0;
    sorted_ = false;
}

void TGIFColorMap::ReportWarning(TPersistent*, int, const std::string&) {}

void TGIFGlobalColorMap::ReportWarning(TPersistent* sender, int severity,
                                       const std::string& message) {
    if (header_ != nullptr)
        header_->ReportWarning(sender, severity, message);
}

void TGIFGlobalColorMap::Changed() {
    if (header_ != nullptr && header_->Document() != nullptr)
        header_->Document()->SetPalette(nullptr);
}

void TGIFLocalColorMap::ReportWarning(TPersistent* sender, int severity,
                                      const std::string& message) {
    if (subImage_ != nullptr)
        subImage_->ReportWarning(sender, severity, message);
}

void TGIFLocalColorMap::Changed() {
    if (subImage_ != nullptr)
        subImage_->SetPaletteHandle(nullptr);
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
    bool warned = false;
    const int right = std::min(left + width, 0xFFFF);
    const int bottom = std::min(top + height, 0xFFFF);
    TGIFHeader& header = document_->Header();
    if (header.Width() < right) {
        if (header.Width() > 0) {
            ReportWarning(this, 1, gifmsg::ImageWidthTooSmall);
            warned = true;
        }
        header.SetWidth(right);
    }
    if (warned)
        ReportWarning(this, 1, gifmsg::ImageExceedsScreen);
    warned = false;
    if (header.Height() < bottom) {
        if (header.Height() > 0) {
            ReportWarning(this, 1, gifmsg::ImageHeightTooSmall);
            warned = true;
        }
        header.SetHeight(bottom);
    }
    if (warned)
        ReportWarning(this, 1, gifmsg::ImageExceedsScreen);
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
    if (palette == paletteHandle_)
        return;
    paletteHandle_ = std::move(palette);
    if (bitmap_) {
        const HPALETTE current = bitmap_->GetPalette();
        const bool same = current && paletteHandle_ && current->Entries == paletteHandle_->Entries;
        if (!same) {
            FreeBitmap();
            if (document_ != nullptr) {
                document_->SetPaletteModified(true);
                document_->Changed(this);
            }
        }
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

// ---- Extensions ----

TGIFExtension::TGIFExtension(TGIFSubImage* subImage)
    : TGIFItem(subImage != nullptr ? subImage->Document() : nullptr), subImage_(subImage) {}

void TGIFExtension::WriteIntroducer(TStream& stream) const {
    const std::uint8_t intro[2] = {0x21, ExtensionLabel()};
    stream.WriteBuffer(intro, 2);
}

namespace {
template <class T> std::unique_ptr<TGIFExtension> MakeExtension(TGIFSubImage* subImage) {
    return std::make_unique<T>(subImage);
}
const TGIFExtensionClass* SameClass(TStream&) {
    return nullptr;
}
} // namespace

TGIFGraphicControlExtension::TGIFGraphicControlExtension(TGIFSubImage* subImage)
    : TGIFExtension(subImage) {
    if (subImage != nullptr && subImage->GraphicControl() == nullptr)
        subImage->SetGraphicControl(this);
}

TGIFGraphicControlExtension::~TGIFGraphicControlExtension() {
    if (subImage_ == nullptr)
        return;
    if (Transparent())
        subImage_->SetTransparent(false);
    if (subImage_->GraphicControl() == this)
        subImage_->SetGraphicControl(nullptr);
}

const TGIFExtensionClass& TGIFGraphicControlExtension::ClassInfo() {
    static const TGIFExtensionClass cls{0xF9, &MakeExtension<TGIFGraphicControlExtension>,
                                        &SameClass};
    return cls;
}

void TGIFGraphicControlExtension::SetDisposal(int value) {
    rec_.PackedFields = static_cast<std::uint8_t>((rec_.PackedFields & ~0x1C) | ((value & 7) << 2));
}

void TGIFGraphicControlExtension::SetTransparent(bool value) {
    rec_.PackedFields =
        static_cast<std::uint8_t>(value ? rec_.PackedFields | 0x01 : rec_.PackedFields & ~0x01);
    if (subImage_ != nullptr)
        subImage_->SetTransparent(value);
}

void TGIFGraphicControlExtension::SetTransparentColorIndex(int value) {
    if (subImage_ != nullptr) {
        const int count = subImage_->ActiveColorMap().Count();
        if (count != 0 && (value < 0 || value >= count)) {
            ReportWarning(this, 1, gifmsg::InvalidColorIndex);
            value = 0;
        }
    }
    rec_.TransparentColorIndex = static_cast<std::uint8_t>(value);
}

TColor TGIFGraphicControlExtension::TransparentColor() {
    if (subImage_ == nullptr)
        return clNone;
    return subImage_->ActiveColorMap().Color(rec_.TransparentColorIndex);
}

TGIFTextExtension::TGIFTextExtension(TGIFSubImage* subImage) : TGIFExtension(subImage) {}

const TGIFExtensionClass& TGIFTextExtension::ClassInfo() {
    static const TGIFExtensionClass cls{0x01, &MakeExtension<TGIFTextExtension>, &SameClass};
    return cls;
}

TGIFCommentExtension::TGIFCommentExtension(TGIFSubImage* subImage) : TGIFExtension(subImage) {}

const TGIFExtensionClass& TGIFCommentExtension::ClassInfo() {
    static const TGIFExtensionClass cls{0xFE, &MakeExtension<TGIFCommentExtension>, &SameClass};
    return cls;
}

TGIFApplicationExtension::TGIFApplicationExtension(TGIFSubImage* subImage)
    : TGIFExtension(subImage) {}

const TGIFExtensionClass& TGIFApplicationExtension::ClassInfo() {
    // The base class is never made itself; SubClassFor picks the concrete one.
    static const TGIFExtensionClass cls{0xFF, &MakeExtension<TGIFUnknownAppExtension>,
                                        &TGIFApplicationExtension::SubClassFor};
    return cls;
}

TGIFAppExtNSLoop::TGIFAppExtNSLoop(TGIFSubImage* subImage) : TGIFApplicationExtension(subImage) {
    identifier_ = MakeAppIdentifier("NETSCAPE2.0");
}

const TGIFExtensionClass& TGIFAppExtNSLoop::ClassInfo() {
    static const TGIFExtensionClass cls{0xFF, &MakeExtension<TGIFAppExtNSLoop>, &SameClass};
    return cls;
}

TGIFUnknownAppExtension::TGIFUnknownAppExtension(TGIFSubImage* subImage)
    : TGIFApplicationExtension(subImage) {}

const TGIFExtensionClass& TGIFUnknownAppExtension::ClassInfo() {
    static const TGIFExtensionClass cls{0xFF, &MakeExtension<TGIFUnknownAppExtension>, &SameClass};
    return cls;
}

// ---- Registries ----

namespace {
struct TExtensionEntry {
    std::uint8_t Label;
    const TGIFExtensionClass* Class;
};
struct TAppExtensionEntry {
    TGIFApplicationRec Identifier;
    const TGIFExtensionClass* Class;
};

std::mutex& RegistryLock() {
    static std::mutex m;
    return m;
}

// Created on first use, with the built-in classes.
std::vector<TExtensionEntry>& ExtensionList() {
    static std::vector<TExtensionEntry> list{
        {0x01, &TGIFTextExtension::ClassInfo()},
        {0xF9, &TGIFGraphicControlExtension::ClassInfo()},
        {0xFE, &TGIFCommentExtension::ClassInfo()},
        {0xFF, &TGIFApplicationExtension::ClassInfo()},
    };
    return list;
}

std::vector<TAppExtensionEntry>& AppExtensionList() {
    static std::vector<TAppExtensionEntry> list{
        {MakeAppIdentifier("NETSCAPE2.0"), &TGIFAppExtNSLoop::ClassInfo()},
        {MakeAppIdentifier("ANIMEXTS1.0"), &TGIFAppExtNSLoop::ClassInfo()},
    };
    return list;
}
} // namespace

TGIFApplicationRec MakeAppIdentifier(const char* elevenChars) {
    TGIFApplicationRec r{};
    const std::size_t n = std::min<std::size_t>(std::strlen(elevenChars), r.size());
    std::memcpy(r.data(), elevenChars, n);
    return r;
}

void RegisterExtension(std::uint8_t label, const TGIFExtensionClass* cls) {
    std::lock_guard lock(RegistryLock());
    ExtensionList().push_back({label, cls});
}

const TGIFExtensionClass* FindExtension(std::uint8_t label) {
    std::lock_guard lock(RegistryLock());
    const auto& list = ExtensionList();
    for (auto it = list.rbegin(); it != list.rend(); ++it)
        if (it->Label == label)
            return it->Class;
    return nullptr;
}

void RegisterAppExtension(const TGIFApplicationRec& identifier, const TGIFExtensionClass* cls) {
    std::lock_guard lock(RegistryLock());
    AppExtensionList().push_back({identifier, cls});
}

const TGIFExtensionClass* FindAppExtension(const TGIFApplicationRec& identifier) {
    std::lock_guard lock(RegistryLock());
    const auto& list = AppExtensionList();
    for (auto it = list.rbegin(); it != list.rend(); ++it)
        if (it->Identifier == identifier)
            return it->Class;
    return nullptr;
}

// ---- Document ----

TGIFDocument::TGIFDocument()
    : frames_(this), header_(this), paintOptions_(DefaultPaintOptions),
      colorReduction_(DefaultColorReduction), quantizeBits_(DefaultQuantizeBits),
      ditherMode_(DefaultDitherMode), dataCoding_(DefaultDataCoding),
      painterPriority_(DefaultPainterPriority), speedPercent_(DefaultSpeedPercent) {
    Clear();
}

TGIFDocument::~TGIFDocument() {
    StopAllPainters();
    {
        std::lock_guard lock(painterLock_);
        for (TGIFPainterLink* p : PainterList)
            p->DocumentDestroyed();
        PainterList.clear();
        CurrentPainter = nullptr;
    }
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
    for (int i = 0; i < frames_.Count(); ++i)
        if (frames_[i]->Left() + frames_[i]->Width() > value)
            throw GIFException(gifmsg::ImageWidthTooSmall);
    if (value < 0 || value > 0xFFFF)
        throw GIFException(gifmsg::InvalidPixelCoordinates);
    if (value != header_.Width()) {
        header_.SetWidth(value);
        FreeRenderedBitmap();
        Changed(this);
    }
}

void TGIFDocument::SetHeight(int value) {
    for (int i = 0; i < frames_.Count(); ++i)
        if (frames_[i]->Top() + frames_[i]->Height() > value)
            throw GIFException(gifmsg::ImageHeightTooSmall);
    if (value < 0 || value > 0xFFFF)
        throw GIFException(gifmsg::InvalidPixelCoordinates);
    if (value != header_.Height()) {
        header_.SetHeight(value);
        FreeRenderedBitmap();
        Changed(this);
    }
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
    if (palette == paletteHandle_)
        return;
    paletteHandle_ = std::move(palette);
    if (renderedBitmap_) {
        const HPALETTE current = renderedBitmap_->GetPalette();
        const bool same = current && paletteHandle_ && current->Entries == paletteHandle_->Entries;
        if (!same) {
            FreeRenderedBitmap();
            SetPaletteModified(true);
            Changed(this);
        }
    }
}

void TGIFDocument::ReportWarning(TPersistent* sender, int severity, const std::string& message) {
    if (WarningHandler)
        WarningHandler(sender, severity, message);
}

void TGIFDocument::SetPaintOptions(TGIFDrawOptions value) {
    if (value == paintOptions_)
        return;
    {
        std::lock_guard lock(painterLock_);
        if (CurrentPainter != nullptr)
            CurrentPainter->Halt();
    }
    paintOptions_ = value;
    ResetRenderCaches();
    Changed(this);
}

bool TGIFDocument::DoesRenderWebPalette() const {
    return (paintOptions_ & RenderWebPalette) != 0 &&
           ((paintOptions_ & WebPaletteOnPaletteDisplayOnly) == 0 || PaletteDisplay);
}

void TGIFDocument::FreeRenderedBitmap() {
    {
        std::lock_guard lock(painterLock_);
        if (CurrentPainter != nullptr)
            CurrentPainter->Halt();
    }
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

void TGIFDocument::StopCurrentPainter() {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kPainterStopBoundMs);
    for (;;) {
        {
            std::lock_guard lock(painterLock_);
            if (CurrentPainter == nullptr)
                break;
            CurrentPainter->Halt();
            if (!CurrentPainter->Threaded())
                break;
            if (std::chrono::steady_clock::now() > deadline) {
                CurrentPainter->DocumentDestroyed();
                PainterList.erase(
                    std::remove(PainterList.begin(), PainterList.end(), CurrentPainter),
                    PainterList.end());
                CurrentPainter = nullptr;
                break;
            }
        }
        if (PumpPainterCalls)
            PumpPainterCalls();
        std::this_thread::yield();
    }
    {
        std::lock_guard lock(painterLock_);
        if (CurrentPainter != nullptr)
            CurrentPainter->Halt();
    }
    renderedBitmap_.reset();
}

void TGIFDocument::StopAllPainters() {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kPainterStopBoundMs);
    for (;;) {
        int threaded = 0;
        {
            std::lock_guard lock(painterLock_);
            for (auto it = PainterList.rbegin(); it != PainterList.rend(); ++it) {
                (*it)->Halt();
                if ((*it)->Threaded())
                    ++threaded;
            }
        }
        if (threaded == 0)
            break;
        // A halted painter's thread only has to wake and post its last step;
        // if that does not happen in time, the painters are cut loose.
        if (!PumpPainterCalls || std::chrono::steady_clock::now() > deadline) {
            KillPainterThreads();
            break;
        }
        PumpPainterCalls();
        std::this_thread::yield();
    }
    renderedBitmap_.reset();
}

} // namespace framolo
