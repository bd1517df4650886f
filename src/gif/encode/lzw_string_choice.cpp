#include "gif/encode/lzw_string_choice.h"

#include "color/exact_color_lookup.h"
#include "gif/gif_color_map.h"

#include <algorithm>
#include <array>

namespace framolo {

namespace {

// The coder's string table as a tree: every code but the roots extends its
// prefix by one pixel. Children of a code form a list, newest first; a small
// open-addressed table of (code, pixel) pairs finds a child at once, and
// entries from before the last reset are told apart by a generation number.
class TStringTree {
public:
    explicit TStringTree(int tableSize) : slots_(kSlots, 0) {
        const int bits = std::max(2, BitsForColors(tableSize));
        firstFree_ = (1 << bits) + 2;
        Reset();
    }
    void Reset() {
        std::fill(firstChild_.begin(), firstChild_.end(), kNone);
        next_ = firstFree_;
        if (++generation_ == 0) {
            std::fill(slots_.begin(), slots_.end(), 0);
            generation_ = 1;
        }
    }
    int FirstChild(int code) const { return firstChild_[static_cast<std::size_t>(code)]; }
    int Sibling(int code) const { return sibling_[static_cast<std::size_t>(code)]; }
    int Pixel(int code) const { return pixel_[static_cast<std::size_t>(code)]; }
    int Child(int code, int pixel) const {
        const std::uint64_t key = Key(code, pixel);
        for (std::size_t at = Home(key);; at = (at + 1) & (kSlots - 1)) {
            const std::uint64_t v = slots_[at];
            if (v >> 32 != generation_)
                return kNone;
            if ((v >> 12 & 0xFFFFF) == key)
                return static_cast<int>(v & 0xFFF);
        }
    }
    // What the coder does when the string ends: the string and the pixel
    // become a new code, and the table starts over once it is full.
    void Add(int code, int pixel) {
        // Codes 0..4094 are assigned, never 4095: the coder clears there.
        if (next_ >= 4095) {
            Reset();
            return;
        }
        const auto at = static_cast<std::size_t>(next_);
        pixel_[at] = static_cast<std::int16_t>(pixel);
        sibling_[at] = firstChild_[static_cast<std::size_t>(code)];
        firstChild_[static_cast<std::size_t>(code)] = static_cast<std::int16_t>(next_);
        const std::uint64_t key = Key(code, pixel);
        std::size_t slot = Home(key);
        while (slots_[slot] >> 32 == generation_)
            slot = (slot + 1) & (kSlots - 1);
        slots_[slot] =
            std::uint64_t{generation_} << 32 | key << 12 | static_cast<std::uint64_t>(next_);
        ++next_;
    }

    static constexpr int kNone = -1;

private:
    // At most 4095 codes live at once: the table stays under half full.
    static constexpr std::size_t kSlots = 8192;
    static std::uint64_t Key(int code, int pixel) {
        return static_cast<std::uint64_t>(code) << 8 | static_cast<std::uint64_t>(pixel & 0xFF);
    }
    static std::size_t Home(std::uint64_t key) {
        return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 51);
    }
    int firstFree_ = 0;
    int next_ = 0;
    std::uint32_t generation_ = 0;
    std::vector<std::uint64_t> slots_;
    std::array<std::int16_t, 4096> firstChild_{};
    std::array<std::int16_t, 4096> sibling_{};
    std::array<std::int16_t, 4096> pixel_{};
};

} // namespace

void ExtendLzwStrings(const TLzwChoiceBlock& block, const std::vector<TPaletteEntry>& palette,
                      int bound) {
    if (bound <= 0 || palette.empty() || palette.size() > 256 || block.RectWidth <= 0 ||
        block.RectHeight <= 0)
        return;
    const int colors = static_cast<int>(palette.size());
    // A layer's pixels left undrawn are holes; it needs room for one.
    const bool layer = block.Shown == nullptr && block.Drawn != nullptr;
    if (layer && colors >= 256)
        return;
    // Kept pixels are coded as holes when the table has room for one more entry.
    const int hole = (block.Shown != nullptr || layer) && colors < 256 ? colors : -1;
    const int slack = bound * bound;
    TStringTree tree(hole >= 0 ? colors + 1 : colors);
    int current = TStringTree::kNone;
    for (int y = block.Top; y < block.Top + block.RectHeight; ++y) {
        const std::size_t row = static_cast<std::size_t>(y) * static_cast<std::size_t>(block.Width);
        std::uint8_t* indices = block.Indices + row;
        const std::uint8_t* shown = block.Shown != nullptr ? block.Shown + row : nullptr;
        std::uint8_t* drawn = layer ? block.Drawn + row : nullptr;
        const std::uint8_t* screen = layer ? block.ScreenRgb + 3 * row : nullptr;
        const std::uint8_t* bgr = block.Bgr + block.Stride * y;
        for (int x = block.Left; x < block.Left + block.RectWidth; ++x) {
            const auto ux = static_cast<std::size_t>(x);
            const bool kept = layer ? drawn[ux] == 0 : shown != nullptr && indices[ux] == shown[ux];
            int pixel = kept && hole >= 0 ? hole : indices[ux];
            if (current == TStringTree::kNone) {
                current = pixel;
                continue;
            }
            int next = tree.Child(current, pixel);
            if (next == TStringTree::kNone && !kept) {
                const std::uint8_t* source = bgr + 3 * ux;
                int best = TExactColorLookup::Distance(palette[indices[ux]], source) + slack + 1;
                for (int c = tree.FirstChild(current); c != TStringTree::kNone;
                     c = tree.Sibling(c)) {
                    const int candidate = tree.Pixel(c);
                    int d = 0;
                    if (candidate == hole && layer) {
                        // A hole shows what the screen shows.
                        d = TExactColorLookup::ScreenDistance(source, screen + 3 * ux);
                    } else {
                        const int entry =
                            candidate == hole ? (shown != nullptr ? shown[ux] : -1) : candidate;
                        if (entry < 0 || entry >= colors)
                            continue;
                        d = TExactColorLookup::Distance(palette[static_cast<std::size_t>(entry)],
                                                        source);
                    }
                    if (d < best) {
                        best = d;
                        next = c;
                        pixel = candidate;
                    }
                }
                if (next != TStringTree::kNone && layer && pixel == hole)
                    drawn[ux] = 0;
                else if (next != TStringTree::kNone)
                    indices[ux] = static_cast<std::uint8_t>(pixel == hole ? shown[ux] : pixel);
            }
            if (next != TStringTree::kNone) {
                current = next;
                continue;
            }
            tree.Add(current, pixel);
            current = pixel;
        }
    }
}

} // namespace framolo
