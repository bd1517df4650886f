// The colour tables: the global table of the logical screen and the local
// tables of frames. Reading and writing them is in gif_reader.cpp and
// gif_writer.cpp.
#include "gif/gif_document.h"

#include <algorithm>

namespace framolo {

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

template <class TOwner>
void TGIFItemColorMap<TOwner>::ReportWarning(TPersistent* sender, int severity,
                                             const std::string& message) {
    if (owner_ != nullptr)
        owner_->ReportWarning(sender, severity, message);
}

template class TGIFItemColorMap<TGIFHeader>;
template class TGIFItemColorMap<TGIFSubImage>;

void TGIFGlobalColorMap::Changed() {
    if (owner_ != nullptr && owner_->Document() != nullptr)
        owner_->Document()->SetPalette(nullptr);
}

void TGIFLocalColorMap::Changed() {
    if (owner_ != nullptr)
        owner_->SetPaletteHandle(nullptr);
}

} // namespace framolo
