#include "gif/lzw_string_choice.h"

#include "gif/gif_color_map.h"

#include <algorithm>
#include <array>

namespace framolo {

namespace {

// The coder's string table as a tree: every code but the roots extends its
// prefix by one pixel. Children of a code form a list, newest first.
class TStringTree {
public:
    explicit TStringTree(int tableSize) {
        const int bits = std::max(2, BitsForColors(tableSize));
        firstFree_ = (1 << bits) + 2;
        Reset();
    }
    void Reset() {
        std::fill(firstChild_.begin(), firstChild_.end(), kNone);
        next_ = firstFree_;
    }
    int FirstChild(int code) const { return firstChild_[static_cast<std::size_t>(code)]; }
    int Sibling(int code) const { return sibling_[static_cast<std::size_t>(code)]; }
    int Pixel(int code) const { return pixel_[static_cast<std::size_t>(code)]; }
    int Child(int code, int pixel) const {
        for (int c = FirstChild(code); c != kNone; c = Sibling(c))
            if (Pixel(c) == pixel)
                return c;
        return kNone;
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
        ++next_;
    }

    static constexpr int kNone = -1;

private:
    int firstFree_ = 0;
    int next_ = 0;
    std::array<std::int16_t, 4096> firstChild_{};
    std::array<std::int16_t, 4096> sibling_{};
    std::array<std::int16_t, 4096> pixel_{};
};

int Distance(const std::uint8_t* bgr, const TPaletteEntry& e) {
    const int db = bgr[0] - e.peBlue, dg = bgr[1] - e.peGreen, dr = bgr[2] - e.peRed;
    return db * db + dg * dg + dr * dr;
}

} // namespace

void ExtendLzwStrings(const TLzwChoiceBlock& block, const std::vector<TPaletteEntry>& palette,
                      int bound) {
    if (bound <= 0 || palette.empty() || palette.size() > 256 || block.RectWidth <= 0 ||
        block.RectHeight <= 0)
        return;
    const int colors = static_cast<int>(palette.size());
    // Kept pixels are coded as holes when the table has room for one more entry.
    const int hole = block.Shown != nullptr && colors < 256 ? colors : -1;
    const int slack = bound * bound;
    TStringTree tree(hole >= 0 ? colors + 1 : colors);
    int current = TStringTree::kNone;
    for (int y = block.Top; y < block.Top + block.RectHeight; ++y) {
        const std::size_t row = static_cast<std::size_t>(y) * static_cast<std::size_t>(block.Width);
        std::uint8_t* indices = block.Indices + row;
        const std::uint8_t* shown = block.Shown != nullptr ? block.Shown + row : nullptr;
        const std::uint8_t* bgr = block.Bgr + block.Stride * y;
        for (int x = block.Left; x < block.Left + block.RectWidth; ++x) {
            const auto ux = static_cast<std::size_t>(x);
            const bool kept = shown != nullptr && indices[ux] == shown[ux];
            int pixel = kept && hole >= 0 ? hole : indices[ux];
            if (current == TStringTree::kNone) {
                current = pixel;
                continue;
            }
            int next = tree.Child(current, pixel);
            if (next == TStringTree::kNone && !kept) {
                const std::uint8_t* source = bgr + 3 * ux;
                int best = Distance(source, palette[indices[ux]]) + slack + 1;
                for (int c = tree.FirstChild(current); c != TStringTree::kNone;
                     c = tree.Sibling(c)) {
                    const int candidate = tree.Pixel(c);
                    const int entry =
                        candidate == hole ? (shown != nullptr ? shown[ux] : -1) : candidate;
                    if (entry < 0 || entry >= colors)
                        continue;
                    const int d = Distance(source, palette[static_cast<std::size_t>(entry)]);
                    if (d < best) {
                        best = d;
                        next = c;
                        pixel = candidate;
                    }
                }
                if (next != TStringTree::kNone)
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
