// Pictures become frames: indexes, a local colour table and transparency.
#include "gif/bitmap_import.h"

#include "color/dib_access.h"
#include "color/reduce_colors.h"
#include "gif/gif_document.h"
#include "platform/graphics/abort.h"
#include "platform/graphics/canvas.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace framolo {

namespace {

bool IsIndexed(TPixelFormat format) {
    return format == TPixelFormat::pf1bit || format == TPixelFormat::pf4bit ||
           format == TPixelFormat::pf8bit;
}

void ImportProgress(TGIFSubImage& frame, TProgressStage stage, std::uint8_t percent) {
    TGIFDocument* document = frame.Document();
    if (document == nullptr)
        return;
    const bool redraw = stage == TProgressStage::psEnding && document->PaletteModified();
    document->Progress(&frame, stage, percent, redraw, TRect{}, gifmsg::Converting);
}

// row * 100 / height rounded to the nearest integer, halves to the even one.
std::uint8_t RoundedPercent(int row, int height) {
    const std::int64_t scaled = static_cast<std::int64_t>(row) * 100;
    std::int64_t q = scaled / height;
    const std::int64_t twice = (scaled % height) * 2;
    if (twice > height || (twice == height && q % 2 != 0))
        ++q;
    return static_cast<std::uint8_t>(q);
}

// The last eight colours met and their table indexes. Photographs repeat
// colours locally, so most pixels are found here without a table search.
class TRecentColors {
public:
    // The index of color, or -1. A hit becomes the starting slot of the next search.
    int Find(TColor color) {
        int slot = position_;
        for (int visited = 0; visited < kSlots; ++visited) {
            const TSlot& s = slots_[static_cast<std::size_t>(slot)];
            if (s.Color == kEmpty)
                return -1;
            if (s.Color == color) {
                position_ = slot;
                return s.Index;
            }
            slot = (slot + kSlots - 1) % kSlots;
        }
        return -1;
    }
    void Remember(TColor color, int index) {
        position_ = (position_ + 1) % kSlots;
        slots_[static_cast<std::size_t>(position_)] = TSlot{color, index};
    }

private:
    static constexpr int kSlots = 8;
    // No 24-bit colour has bits above bit 23.
    static constexpr TColor kEmpty = 0xFFFFFFFF;
    struct TSlot {
        TColor Color = kEmpty;
        int Index = 0;
    };
    std::array<TSlot, kSlots> slots_{};
    int position_ = 0;
};

// Fills the colour table and every pixel of the frame from its bitmap, read
// at depth format.
void ImportPixels(TGIFSubImage& frame, TDIBReader& reader, TPixelFormat format) {
    const int width = frame.Width();
    const int height = frame.Height();
    TBitmap& bitmap = reader.Bitmap();
    if (bitmap.Width() != width || bitmap.Height() != height)
        throw GIFException("Invalid image dimensions");
    TGIFColorMap& map = frame.ColorMap();
    if (format == TPixelFormat::pf8bit)
        map.LoadFromDIBColors(bitmap);
    else if (format != TPixelFormat::pf24bit)
        map.LoadFromPalette(bitmap.GetPalette());

    TRecentColors recent;
    const auto w = static_cast<std::size_t>(width);
    for (int y = 0; y < height; ++y) {
        if (y % 32 == 0)
            ImportProgress(frame, TProgressStage::psRunning, RoundedPercent(y, height));
        const std::uint8_t* source = reader.RowPointer(y);
        std::uint8_t* target = frame.Scanline(y);
        switch (format) {
        case TPixelFormat::pf8bit:
            std::memcpy(target, source, w);
            break;
        case TPixelFormat::pf4bit:
            for (std::size_t x = 0; x < w; ++x)
                target[x] = static_cast<std::uint8_t>(x % 2 == 0 ? source[x / 2] >> 4
                                                                 : source[x / 2] & 0x0F);
            break;
        case TPixelFormat::pf1bit:
            for (std::size_t x = 0; x < w; ++x)
                target[x] = static_cast<std::uint8_t>((source[x / 8] >> (7 - x % 8)) & 1);
            break;
        default:
            for (std::size_t x = 0; x < w; ++x) {
                const std::uint8_t* p = source + 3 * x;
                const TColor color = RGB(p[2], p[1], p[0]);
                int index = recent.Find(color);
                if (index < 0) {
                    // The 257th distinct colour raises "Color table overflow".
                    index = map.AddUnique(color);
                    recent.Remember(color, index);
                }
                target[x] = static_cast<std::uint8_t>(index);
            }
            break;
        }
    }
}

} // namespace

std::unique_ptr<TBitmap> MakeBitmapMask(const TBitmap& bitmap) {
    auto mask = std::make_unique<TBitmap>(bitmap.Width(), bitmap.Height(), TPixelFormat::pf8bit);
    mask->SetColorTable({TRGBQuad{0, 0, 0, 0}, TRGBQuad{255, 255, 255, 0}});
    if (bitmap.Empty())
        return mask;
    const TColor transparent = bitmap.TransparentColor() & 0xFFFFFF;
    for (int y = 0; y < bitmap.Height(); ++y) {
        std::uint8_t* row = mask->ScanLine(y);
        for (int x = 0; x < bitmap.Width(); ++x)
            row[x] = bitmap.PixelColor(x, y) == transparent ? 1 : 0;
    }
    return mask;
}

void SortColorUsage(std::vector<std::pair<std::int64_t, int>>& usage) {
    // Hoare partitioning around the middle count; the recursion takes the
    // left part and the loop the right one. The recursion depth is bounded by
    // the 256 entries of a table.
    auto sort = [&usage](auto& self, int low, int high) -> void {
        int i = 0;
        do {
            i = low;
            int j = high;
            const std::int64_t pivot = usage[static_cast<std::size_t>((low + high) / 2)].first;
            do {
                while (usage[static_cast<std::size_t>(i)].first > pivot)
                    ++i;
                while (usage[static_cast<std::size_t>(j)].first < pivot)
                    --j;
                if (i <= j) {
                    std::swap(usage[static_cast<std::size_t>(i)],
                              usage[static_cast<std::size_t>(j)]);
                    ++i;
                    --j;
                }
            } while (i <= j);
            if (low < j)
                self(self, low, j);
            low = i;
        } while (i < high);
    };
    if (usage.size() >= 2)
        sort(sort, 0, static_cast<int>(usage.size()) - 1);
}

void PackFrameColorMap(TGIFSubImage& frame) {
    TGIFColorMap& map = frame.ColorMap();
    const int count = map.Count();
    if (count < 2)
        return;
    map.SetSorted(true);

    std::vector<std::pair<std::int64_t, int>> usage(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        usage[static_cast<std::size_t>(i)] = {0, i};
    std::uint8_t* pixels = frame.Pixels();
    const std::size_t pixelCount = frame.PixelCount();
    for (std::size_t p = 0; p < pixelCount; ++p)
        if (pixels[p] < count)
            ++usage[pixels[p]].first;
    SortColorUsage(usage);

    bool moved = false;
    for (int i = 0; i < count; ++i)
        moved = moved || usage[static_cast<std::size_t>(i)].second != i;
    if (!moved)
        return;

    // Indexes past the table's end are left as they are; they had no colour
    // before either.
    std::array<std::uint8_t, 256> remap{};
    for (int i = 0; i < 256; ++i)
        remap[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    std::vector<TGIFColor> old(map.Data(), map.Data() + count);
    TGIFColor* entries = map.MutableData();
    int used = count;
    for (int position = 0; position < count; ++position) {
        const auto& [uses, entry] = usage[static_cast<std::size_t>(position)];
        entries[position] = old[static_cast<std::size_t>(entry)];
        remap[static_cast<std::size_t>(entry)] = static_cast<std::uint8_t>(position);
        if (uses == 0 && used == count)
            used = position;
    }
    for (std::size_t p = 0; p < pixelCount; ++p)
        pixels[p] = remap[pixels[p]];
    map.SetCount(used);
    if (frame.Transparent() && frame.GraphicControl() != nullptr) {
        TGIFGraphicControlExtension* control = frame.GraphicControl();
        control->SetTransparentColorIndex(
            remap[static_cast<std::size_t>(control->TransparentColorIndex())]);
    }
    // The cached bitmap shows the old numbering.
    frame.FreeBitmap();
    map.Changed();
}

void ImportFrameMask(TGIFSubImage& frame, TBitmap& mask) {
    PackFrameColorMap(frame);
    TGIFColorMap& map = frame.ColorMap();
    if (map.Count() == 0 || map.Count() >= 256)
        return;
    const int transparentIndex = map.Add(clBlack);

    TDIBReader reader(mask, TPixelFormat::pf8bit);
    const int rows = std::min(frame.Height(), mask.Height());
    const auto columns = static_cast<std::size_t>(std::min(frame.Width(), mask.Width()));
    bool any = false;
    for (int y = 0; y < rows; ++y) {
        const std::uint8_t* source = reader.RowPointer(y);
        std::uint8_t* target = frame.Scanline(y);
        for (std::size_t x = 0; x < columns; ++x)
            if (source[x] != 0) {
                target[x] = static_cast<std::uint8_t>(transparentIndex);
                any = true;
            }
    }
    if (!any) {
        map.Delete(transparentIndex);
        return;
    }
    auto control = std::make_unique<TGIFGraphicControlExtension>(&frame);
    control->SetTransparent(true);
    control->SetTransparentColorIndex(transparentIndex);
    frame.Extensions().Add(std::move(control));
    // The cached bitmap has no transparency; a fresh rendering builds the mask.
    frame.FreeBitmap();
    frame.FreeMask();
}

void ImportBitmapToFrame(TGIFSubImage& frame, TBitmap& source) {
    frame.Clear();
    if (source.Empty())
        return;
    frame.SetWidth(source.Width());
    frame.SetHeight(source.Height());

    if (IsIndexed(source.PixelFormat())) {
        // Indexed pictures keep their own palette whatever reduction is set.
        auto copy = std::make_unique<TBitmap>();
        copy->Assign(&source);
        frame.SetBitmap(std::move(copy));
    } else {
        const TGIFDocument* document = frame.Document();
        const TColorReduction reduction =
            document != nullptr ? document->ColorReduction() : DefaultColorReduction;
        const TDitherMode dither = document != nullptr ? document->DitherMode() : DefaultDitherMode;
        const int bits = document != nullptr ? document->QuantizeBits() : DefaultQuantizeBits;
        frame.SetBitmap(ReduceBitmapColors(source, reduction, dither, bits, nullptr));
    }
    TBitmap& bitmap = *frame.Bitmap();
    const TPixelFormat format =
        IsIndexed(bitmap.PixelFormat()) ? bitmap.PixelFormat() : TPixelFormat::pf24bit;

    ImportProgress(frame, TProgressStage::psStarting, 0);
    try {
        {
            TDIBReader reader(bitmap, format);
            ImportPixels(frame, reader, format);
        }
        if (source.Transparent()) {
            const std::unique_ptr<TBitmap> mask = MakeBitmapMask(source);
            ImportFrameMask(frame, *mask);
        }
    } catch (...) {
        ImportProgress(frame, TProgressStage::psEnding, 0);
        throw;
    }
    ImportProgress(frame, TProgressStage::psEnding, 100);
}

bool AssignGraphicToFrame(TGIFSubImage& frame, const TPersistent* source) {
    if (source == nullptr) {
        frame.Clear();
        return true;
    }
    // The persistence interface hands sources over as const, but the import
    // converts a true-colour bitmap in place and drawing a graphic may update
    // its caches; Add and Assign receive objects their callers own.
    if (const auto* bitmap = dynamic_cast<const TBitmap*>(source)) {
        ImportBitmapToFrame(frame, const_cast<TBitmap&>(*bitmap));
        return true;
    }
    const auto* graphic = dynamic_cast<const TGraphic*>(source);
    if (graphic == nullptr)
        return false;
    auto picture = std::make_unique<TBitmap>();
    try {
        picture->Assign(graphic);
    } catch (const EAbort&) {
        throw;
    } catch (const std::exception&) {
        // The graphic cannot give itself as a bitmap: draw it on white.
        picture =
            std::make_unique<TBitmap>(graphic->Width(), graphic->Height(), TPixelFormat::pf24bit);
        if (!picture->Empty()) {
            TBitmapCanvas canvas(*picture);
            const TRect all{0, 0, picture->Width(), picture->Height()};
            canvas.FillRect(all, clWhite);
            const_cast<TGraphic*>(graphic)->Draw(canvas, all);
        }
    }
    ImportBitmapToFrame(frame, *picture);
    return true;
}

} // namespace framolo
