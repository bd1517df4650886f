#include "reference.h"

#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace framolo::test {

// ---- Lookups

TRefFastLookup::TRefFastLookup(std::vector<TPaletteEntry> palette)
    : palette_(std::move(palette)), bins_(32768, -1) {
    if (palette_.size() > 256)
        palette_.resize(256);
    for (std::size_t i = 0; i < palette_.size(); ++i) {
        const TRgb c{palette_[i].peRed, palette_[i].peGreen, palette_[i].peBlue};
        if (bins_[static_cast<std::size_t>(Key(c))] == -1)
            bins_[static_cast<std::size_t>(Key(c))] = static_cast<int>(i);
    }
}

TMapped TRefFastLookup::Map(TRgb color) {
    int& bin = bins_[static_cast<std::size_t>(Key(color))];
    if (bin == -1) {
        int best = 0;
        int bestDistance = 196608;
        for (std::size_t i = 0; i < palette_.size(); ++i) {
            const int d = std::abs(palette_[i].peRed - color.Red) +
                          std::abs(palette_[i].peGreen - color.Green) +
                          std::abs(palette_[i].peBlue - color.Blue);
            if (d < bestDistance) {
                bestDistance = d;
                best = static_cast<int>(i);
            }
        }
        bin = best;
    }
    const TPaletteEntry& e = palette_[static_cast<std::size_t>(bin)];
    return TMapped{bin, TRgb{e.peRed, e.peGreen, e.peBlue}};
}

TMapped RefNetscape(TRgb c) {
    const int r = (c.Red + 3) / 51;
    const int g = (c.Green + 3) / 51;
    const int b = (c.Blue + 3) / 51;
    return TMapped{r * 36 + g * 6 + b, TRgb{r * 51, g * 51, b * 51}};
}

TMapped RefGrayScale(TRgb c) {
    const int gray = (77 * c.Red + 150 * c.Green + 29 * c.Blue) / 256;
    return TMapped{gray, TRgb{gray, gray, gray}};
}

TMapped RefMonochrome(TRgb c) {
    if (77 * c.Red + 150 * c.Green + 29 * c.Blue > 127 * 256)
        return TMapped{1, TRgb{255, 255, 255}};
    return TMapped{0, TRgb{0, 0, 0}};
}

// ---- Dithering

namespace {

struct TTap {
    int Row;    // rows below the current one
    int Offset; // in units of the scan direction
    int Weight;
};

struct TKernel {
    int Divisor;
    std::vector<TTap> Taps;
};

// One line per image row of the kernel: row 0 is the current row.
TKernel KernelOf(TDitherMode mode) {
    // clang-format off
    switch (mode) {
    case TDitherMode::Nearest:
        return {1, {}};
    case TDitherMode::FloydSteinberg:
        return {16, {{0, 1, 7},
                     {1, -1, 3}, {1, 0, 5}, {1, 1, 1}}};
    case TDitherMode::Stucki:
        return {42, {{0, 1, 8}, {0, 2, 4},
                     {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2},
                     {2, -2, 1}, {2, -1, 2}, {2, 0, 4}, {2, 1, 2}, {2, 2, 1}}};
    case TDitherMode::Sierra:
        return {32, {{0, 1, 5}, {0, 2, 3},
                     {1, -2, 2}, {1, -1, 4}, {1, 0, 5}, {1, 1, 4}, {1, 2, 2},
                     {2, -1, 2}, {2, 0, 3}, {2, 1, 2}}};
    case TDitherMode::JaJuNI:
        return {48, {{0, 1, 7}, {0, 2, 5},
                     {1, -2, 3}, {1, -1, 5}, {1, 0, 7}, {1, 1, 5}, {1, 2, 3},
                     {2, -2, 1}, {2, -1, 3}, {2, 0, 5}, {2, 1, 3}, {2, 2, 1}}};
    case TDitherMode::SteveArche:
        return {200, {{0, 2, 32},
                      {1, -3, 12}, {1, -1, 26}, {1, 1, 30}, {1, 3, 16},
                      {2, -2, 12}, {2, 0, 26}, {2, 2, 12},
                      {3, -3, 5}, {3, -1, 12}, {3, 1, 12}, {3, 3, 5}}};
    case TDitherMode::Burkes:
        return {32, {{0, 1, 8}, {0, 2, 4},
                     {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2}}};
    }
    // clang-format on
    throw std::invalid_argument("dither mode");
}

// Division that drops the fraction, toward zero for negative numbers too.
int DivideTruncating(int n, int d) {
    const int q = std::abs(n) / d;
    return n < 0 ? -q : q;
}

int Clamp(int v) {
    if (v < 0)
        return 0;
    if (v > 255)
        return 255;
    return v;
}

} // namespace

std::vector<std::uint8_t> RefDither(TDitherMode mode, const TRgbImage& image,
                                    const TRefLookup& lookup) {
    const TKernel kernel = KernelOf(mode);
    const int w = image.Width;
    const int h = image.Height;
    std::vector<int> errors(3 * static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0);
    auto errorAt = [&](int x, int y, int c) -> int& {
        return errors[3 * (static_cast<std::size_t>(y) * static_cast<std::size_t>(w) +
                           static_cast<std::size_t>(x)) +
                      static_cast<std::size_t>(c)];
    };
    std::vector<std::uint8_t> indices(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y) {
        const int direction = y % 2 == 0 ? 1 : -1;
        for (int i = 0; i < w; ++i) {
            const int x = direction > 0 ? i : w - 1 - i;
            const std::uint8_t* p = image.Pixel(x, y);
            int adjusted[3];
            for (int c = 0; c < 3; ++c)
                adjusted[c] = Clamp(
                    p[c] + DivideTruncating(errorAt(x, y, c) + kernel.Divisor / 2, kernel.Divisor));
            const TMapped m = lookup(TRgb{adjusted[0], adjusted[1], adjusted[2]});
            indices[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) +
                    static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(m.Index);
            const int chosen[3] = {m.Chosen.Red, m.Chosen.Green, m.Chosen.Blue};
            for (const TTap& tap : kernel.Taps) {
                const int tx = x + tap.Offset * direction;
                const int ty = y + tap.Row;
                if (tx < 0 || tx >= w || ty >= h)
                    continue;
                for (int c = 0; c < 3; ++c)
                    errorAt(tx, ty, c) += tap.Weight * (adjusted[c] - chosen[c]);
            }
        }
    }
    return indices;
}

// ---- Octree

namespace {

struct TRefNode {
    bool Leaf = false;
    long long Count = 0;
    long long Red = 0, Green = 0, Blue = 0;
    TRefNode* NextReducible = nullptr;
    std::unique_ptr<TRefNode> Children[8];
};

class TRefOctree {
public:
    TRefOctree(int limit, int depth) : limit_(limit), depth_(depth) {}

    void Add(TRgb c) {
        Insert(root_, c, 0);
        while (leaves_ > limit_)
            Merge();
    }

    std::vector<TRgb> Colors() const {
        std::vector<TRgb> out;
        if (root_)
            Collect(*root_, out);
        return out;
    }

private:
    void Insert(std::unique_ptr<TRefNode>& slot, TRgb c, int level) {
        if (!slot) {
            slot = std::make_unique<TRefNode>();
            if (level == depth_) {
                slot->Leaf = true;
                ++leaves_;
            } else {
                slot->NextReducible = reducible_[level];
                reducible_[level] = slot.get();
            }
        }
        if (slot->Leaf) {
            slot->Count += 1;
            slot->Red += c.Red;
            slot->Green += c.Green;
            slot->Blue += c.Blue;
            return;
        }
        const int mask = 0x80 >> level;
        const int shift = 7 - level;
        const int child = ((c.Red & mask) >> shift) << 2 | ((c.Green & mask) >> shift) << 1 |
                          ((c.Blue & mask) >> shift);
        Insert(slot->Children[child], c, level + 1);
    }

    void Merge() {
        int level = depth_ - 1;
        while (level > 0 && reducible_[level] == nullptr)
            --level;
        TRefNode* node = reducible_[level];
        reducible_[level] = node->NextReducible;
        long long r = 0, g = 0, b = 0;
        int n = 0;
        for (auto& child : node->Children) {
            if (!child)
                continue;
            r += child->Red;
            g += child->Green;
            b += child->Blue;
            node->Count += child->Count;
            child.reset();
            ++n;
        }
        node->Leaf = true;
        node->Red = r;
        node->Green = g;
        node->Blue = b;
        leaves_ -= n - 1;
    }

    static void Collect(const TRefNode& node, std::vector<TRgb>& out) {
        if (node.Leaf) {
            if (node.Count == 0)
                out.push_back(TRgb{});
            else
                out.push_back(TRgb{static_cast<int>(node.Red / node.Count),
                                   static_cast<int>(node.Green / node.Count),
                                   static_cast<int>(node.Blue / node.Count)});
            return;
        }
        for (const auto& child : node.Children)
            if (child)
                Collect(*child, out);
    }

    std::unique_ptr<TRefNode> root_;
    TRefNode* reducible_[8] = {};
    int leaves_ = 0;
    int limit_;
    int depth_;
};

} // namespace

std::vector<TRgb> RefQuantize(const TRgbImage& image, int colorLimit, int depthBits) {
    TRefOctree tree(colorLimit, depthBits);
    for (int y = 0; y < image.Height; ++y)
        for (int x = 0; x < image.Width; ++x) {
            const std::uint8_t* p = image.Pixel(x, y);
            tree.Add(TRgb{p[0], p[1], p[2]});
        }
    return tree.Colors();
}

std::vector<std::uint8_t> RefReduce(const TRgbImage& image, TColorReduction method,
                                    TDitherMode mode, const std::vector<TPaletteEntry>& palette) {
    switch (method) {
    case TColorReduction::Monochrome:
        return RefDither(mode, image, RefMonochrome);
    case TColorReduction::GrayScale:
        return RefDither(mode, image, RefGrayScale);
    case TColorReduction::Netscape:
        return RefDither(mode, image, RefNetscape);
    default: {
        auto lookup = std::make_shared<TRefFastLookup>(palette);
        return RefDither(mode, image, [lookup](TRgb c) { return lookup->Map(c); });
    }
    }
}

} // namespace framolo::test
