#pragma once

// Colour tables: the global one of the logical screen and a frame's local one.

#include "platform/graphics/graphics.h"
#include "platform/streams/stream.h"

#include <cstdint>
#include <string>
#include <vector>

namespace framolo {

class TBitmap;
class TGIFHeader;
class TGIFSubImage;

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

// A table that an item of a document holds; its warnings go to the item.
template <class TOwner> class TGIFItemColorMap : public TGIFColorMap {
public:
    explicit TGIFItemColorMap(TOwner* owner) : owner_(owner) {}
    void ReportWarning(TPersistent* sender, int severity, const std::string& message) override;

protected:
    TOwner* owner_;
};

extern template class TGIFItemColorMap<TGIFHeader>;
extern template class TGIFItemColorMap<TGIFSubImage>;

// The header's table: a change drops the document's palette.
class TGIFGlobalColorMap : public TGIFItemColorMap<TGIFHeader> {
public:
    using TGIFItemColorMap::TGIFItemColorMap;
    void Changed() override;
    TGIFHeader* Header() const { return owner_; }
};

// A frame's table: a change drops the frame's palette.
class TGIFLocalColorMap : public TGIFItemColorMap<TGIFSubImage> {
public:
    using TGIFItemColorMap::TGIFItemColorMap;
    void Changed() override;
    TGIFSubImage* SubImage() const { return owner_; }
};

} // namespace framolo
