#include "color/octree_quantizer.h"

#include "color/dib_access.h"
#include "platform/graphics/gif_exception.h"

#include <algorithm>

namespace framolo {

TColorQuantizer::TColorQuantizer(int colorLimit, int depthBits)
    : colorLimit_(std::max(colorLimit, 1)), depthBits_(std::clamp(depthBits, 0, 8)) {
    nodes_.reserve(1024);
    nodes_.emplace_back(); // index 0 stands for "no node"
    leafCache_.resize(std::size_t{1} << kLeafCacheBits);
}

namespace {

std::uint32_t PackColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return static_cast<std::uint32_t>(red) << 16 | static_cast<std::uint32_t>(green) << 8 | blue;
}

std::size_t LeafCacheKey(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return static_cast<std::size_t>((red >> 4) << 8 | (green >> 4) << 4 | (blue >> 4));
}

} // namespace

bool TColorQuantizer::FindCachedLeaf(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                                     std::uint32_t& leaf) const {
    const TLeafCacheEntry& e = leafCache_[LeafCacheKey(red, green, blue)];
    if (e.Serial == 0 || nodes_[e.Leaf].Serial != e.Serial ||
        ((PackColor(red, green, blue) ^ e.Color) & e.Mask) != 0)
        return false;
    leaf = e.Leaf;
    return true;
}

void TColorQuantizer::RememberLeaf(std::uint32_t leaf, int depth, std::uint8_t red,
                                   std::uint8_t green, std::uint8_t blue) {
    const std::uint32_t bits = 0xFF00u >> depth & 0xFFu;
    TLeafCacheEntry& e = leafCache_[LeafCacheKey(red, green, blue)];
    e.Leaf = leaf;
    e.Serial = nodes_[leaf].Serial;
    e.Color = PackColor(red, green, blue);
    e.Mask = bits << 16 | bits << 8 | bits;
}

std::uint32_t TColorQuantizer::NewNode() {
    // Folded nodes are recycled, so after the first frames of an image the
    // pool stops growing and no pixel allocates.
    if (freeList_ != 0) {
        const std::uint32_t index = freeList_;
        freeList_ = nodes_[index].NextReducible;
        nodes_[index] = TOctreeNode{};
        nodes_[index].Serial = NextSerial();
        return index;
    }
    nodes_.emplace_back();
    nodes_.back().Serial = NextSerial();
    return static_cast<std::uint32_t>(nodes_.size() - 1);
}

std::uint32_t TColorQuantizer::NextSerial() {
    // After a wrap an old serial could name a new node; forgetting every
    // remembered leaf makes that harmless.
    if (++serial_ == 0) {
        std::fill(leafCache_.begin(), leafCache_.end(), TLeafCacheEntry{});
        serial_ = 1;
    }
    return serial_;
}

void TColorQuantizer::DestroySubtree(std::uint32_t& slot) {
    const std::uint32_t index = slot;
    if (index == 0)
        return;
    for (int i = 7; i >= 0; --i)
        DestroySubtree(nodes_[index].Children[static_cast<std::size_t>(i)]);
    nodes_[index].NextReducible = freeList_;
    nodes_[index].Serial = 0;
    freeList_ = index;
    slot = 0;
}

void TColorQuantizer::InsertColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    // The slot is named by its parent and child number rather than by address,
    // because creating a node may move the pool.
    std::uint32_t parent = 0;
    unsigned child = 0;
    bool grew = false;
    for (int depth = 0;; ++depth) {
        std::uint32_t index = parent == 0 ? root_ : nodes_[parent].Children[child];
        if (index == 0) {
            index = NewNode();
            TOctreeNode& created = nodes_[index];
            if (depth == depthBits_) {
                created.Leaf = true;
                ++leafTotal_;
            } else {
                created.NextReducible = reducibleLists_[static_cast<std::size_t>(depth)];
                reducibleLists_[static_cast<std::size_t>(depth)] = index;
            }
            (parent == 0 ? root_ : nodes_[parent].Children[child]) = index;
            grew = true;
        }
        TOctreeNode& node = nodes_[index];
        if (node.Leaf) {
            ++node.PixelCount;
            node.RedSum += red;
            node.GreenSum += green;
            node.BlueSum += blue;
            if (grew) {
                lastLeaf_ = 0;
            } else {
                RememberLeaf(index, depth, red, green, blue);
                lastLeaf_ = index;
                lastMask_ = static_cast<std::uint8_t>(0xFF00u >> depth);
                lastRed_ = red;
                lastGreen_ = green;
                lastBlue_ = blue;
            }
            return;
        }
        const int shift = 7 - depth;
        child =
            (((red >> shift) & 1u) << 2) | (((green >> shift) & 1u) << 1) | ((blue >> shift) & 1u);
        parent = index;
    }
}

bool TColorQuantizer::MergeDeepestNode() {
    if (depthBits_ == 0)
        return false;
    int depth = depthBits_ - 1;
    while (depth > 0 && reducibleLists_[static_cast<std::size_t>(depth)] == 0)
        --depth;
    const std::uint32_t index = reducibleLists_[static_cast<std::size_t>(depth)];
    if (index == 0)
        return false;
    reducibleLists_[static_cast<std::size_t>(depth)] = nodes_[index].NextReducible;
    nodes_[index].NextReducible = 0;

    std::int64_t red = 0, green = 0, blue = 0;
    int children = 0;
    for (std::uint32_t& child : nodes_[index].Children) {
        if (child == 0)
            continue;
        const TOctreeNode& c = nodes_[child];
        red += c.RedSum;
        green += c.GreenSum;
        blue += c.BlueSum;
        nodes_[index].PixelCount += c.PixelCount;
        DestroySubtree(child);
        ++children;
    }
    TOctreeNode& node = nodes_[index];
    node.Leaf = true;
    node.RedSum = red;
    node.GreenSum = green;
    node.BlueSum = blue;
    leafTotal_ -= children - 1;
    lastLeaf_ = 0;
    return true;
}

void TColorQuantizer::AddColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    const std::uint8_t pixel[3] = {blue, green, red};
    AddPixels(pixel, 1);
}

void TColorQuantizer::AddPixels(const std::uint8_t* bgr, std::size_t count) {
    // Three ways for a pixel, cheapest first: it ends in the same leaf as the
    // last pixel; it ends in a leaf remembered for its colour; it walks the
    // tree, which may grow it and then fold it back to the limit. Pixels of
    // one leaf are summed here and added to the leaf in one go; the sums are
    // in the tree before the tree changes, since a merge reads them.
    std::uint32_t leaf = lastLeaf_;
    unsigned mask = lastMask_, lastRed = lastRed_, lastGreen = lastGreen_, lastBlue = lastBlue_;
    std::uint32_t run = 0;
    std::int64_t red = 0, green = 0, blue = 0;
    const auto flush = [&] {
        if (run == 0)
            return;
        TOctreeNode& node = nodes_[leaf];
        node.PixelCount += run;
        node.RedSum += red;
        node.GreenSum += green;
        node.BlueSum += blue;
        run = 0;
        red = green = blue = 0;
    };
    for (std::size_t i = 0; i < count; ++i, bgr += 3) {
        const unsigned b = bgr[0], g = bgr[1], r = bgr[2];
        if (leaf == 0 || (((r ^ lastRed) | (g ^ lastGreen) | (b ^ lastBlue)) & mask) != 0) {
            flush();
            const auto cr = static_cast<std::uint8_t>(r);
            const auto cg = static_cast<std::uint8_t>(g);
            const auto cb = static_cast<std::uint8_t>(b);
            std::uint32_t cached = 0;
            const bool remembered = FindCachedLeaf(cr, cg, cb, cached);
            if (remembered) {
                leaf = cached;
                mask = leafCache_[LeafCacheKey(cr, cg, cb)].Mask & 0xFFu;
            } else {
                InsertColor(cr, cg, cb); // files the pixel
                while (leafTotal_ > colorLimit_ && MergeDeepestNode()) {
                }
                leaf = lastLeaf_; // 0 when the tree grew
                mask = lastMask_;
            }
            lastRed = r;
            lastGreen = g;
            lastBlue = b;
            if (!remembered)
                continue;
        }
        ++run;
        red += r;
        green += g;
        blue += b;
    }
    flush();
    lastLeaf_ = leaf;
    lastMask_ = static_cast<std::uint8_t>(mask);
    lastRed_ = static_cast<std::uint8_t>(lastRed);
    lastGreen_ = static_cast<std::uint8_t>(lastGreen);
    lastBlue_ = static_cast<std::uint8_t>(lastBlue);
}

bool TColorQuantizer::ScanBitmap(TDIB& reader) {
    if (reader.PixelFormat() != TPixelFormat::pf24bit)
        throw GIFException("Unsupported PixelFormat");
    const TBitmap& bitmap = reader.Bitmap();
    const int height = bitmap.Height();
    const auto width = static_cast<std::size_t>(std::max(bitmap.Width(), 0));
    for (int y = 0; y < height; ++y)
        AddPixels(reader.RowPointer(y), width);
    return true;
}

void TColorQuantizer::CollectLeafColors(std::uint32_t index, std::span<TRGBQuad> table,
                                        int& next) const {
    const TOctreeNode& node = nodes_[index];
    if (node.Leaf) {
        if (static_cast<std::size_t>(next) >= table.size())
            return;
        TRGBQuad entry;
        if (node.PixelCount != 0) {
            // Averages truncate.
            entry.rgbRed = static_cast<std::uint8_t>(node.RedSum / node.PixelCount);
            entry.rgbGreen = static_cast<std::uint8_t>(node.GreenSum / node.PixelCount);
            entry.rgbBlue = static_cast<std::uint8_t>(node.BlueSum / node.PixelCount);
        }
        table[static_cast<std::size_t>(next++)] = entry;
        return;
    }
    for (const std::uint32_t child : node.Children)
        if (child != 0)
            CollectLeafColors(child, table, next);
}

int TColorQuantizer::FillColorTable(std::span<TRGBQuad> table) const {
    int count = 0;
    if (root_ != 0)
        CollectLeafColors(root_, table, count);
    return count;
}

} // namespace framolo
