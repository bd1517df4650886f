#pragma once

#include "platform/graphics/graphics.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace framolo {

class TDIB;

// One node of the colour octree. Nodes live in the quantizer's pool and refer
// to each other by pool index; index 0 is "no node".
struct TOctreeNode {
    // Child i covers the colours whose next bits are red bit (i >> 2), green
    // bit ((i >> 1) & 1) and blue bit (i & 1).
    std::array<std::uint32_t, 8> Children{};
    // Sums of the channel values filed into a leaf. 64 bits, so no image a
    // bitmap can hold overflows them.
    std::int64_t RedSum = 0;
    std::int64_t GreenSum = 0;
    std::int64_t BlueSum = 0;
    std::uint32_t PixelCount = 0;
    // Link in the reducible list of the node's depth; links the free list
    // while the node is unused.
    std::uint32_t NextReducible = 0;
    // Unique for each node created by a quantizer, 0 while the node is free.
    std::uint32_t Serial = 0;
    bool Leaf = false;
};

// Builds a palette for one true-colour image: every pixel is filed into an
// octree of colour bits, the deepest branch is folded into a leaf whenever
// there are more leaves than the limit (checked after every pixel), and each
// leaf's average colour becomes a palette entry, depth first in child order.
class TColorQuantizer {
public:
    // The limit is raised to at least 1 and the depth kept within 0..8.
    TColorQuantizer(int colorLimit, int depthBits);
    TColorQuantizer(const TColorQuantizer&) = delete;
    TColorQuantizer& operator=(const TColorQuantizer&) = delete;

    // Files every pixel of a 24-bit pixel reader, rows top to bottom, each row
    // left to right. Always returns true. Raises GIFException "Unsupported
    // PixelFormat" for a reader of another format.
    bool ScanBitmap(TDIB& reader);
    // Files count pixels of blue, green, red bytes, in order.
    void AddPixels(const std::uint8_t* bgr, std::size_t count);
    // Files one pixel and enforces the limit.
    void AddColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue);

    // Writes one entry per leaf (blue, green, red, 0) from entry 0 on, at most
    // table.size() of them, and returns how many it wrote.
    int FillColorTable(std::span<TRGBQuad> table) const;

    int LeafTotal() const { return leafTotal_; }
    int ColorLimit() const { return colorLimit_; }
    int DepthBits() const { return depthBits_; }

    // Files one colour without enforcing the limit.
    void InsertColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue);
    // Folds the most recently created inner node of the deepest depth that
    // has one into a leaf. Returns false when there is nothing to fold.
    bool MergeDeepestNode();

    // For inspection: the root's pool index (0 while the tree is empty) and
    // a node by index.
    std::uint32_t Root() const { return root_; }
    const TOctreeNode& Node(std::uint32_t index) const { return nodes_[index]; }

private:
    std::uint32_t NewNode();
    std::uint32_t NextSerial();
    void DestroySubtree(std::uint32_t& slot);
    void CollectLeafColors(std::uint32_t node, std::span<TRGBQuad> table, int& index) const;

    std::vector<TOctreeNode> nodes_;
    std::uint32_t freeList_ = 0;
    std::uint32_t root_ = 0;
    int leafTotal_ = 0;
    std::array<std::uint32_t, 8> reducibleLists_{};
    int colorLimit_;
    int depthBits_;

    bool FindCachedLeaf(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                        std::uint32_t& leaf) const;
    void RememberLeaf(std::uint32_t leaf, int depth, std::uint8_t red, std::uint8_t green,
                      std::uint8_t blue);

    std::uint32_t serial_ = 0;

    // Leaves that pixels recently ended in, by the top four bits of each
    // channel. A pixel whose bits above a remembered leaf's depth match ends
    // in that leaf, as long as the leaf still lives: a leaf never turns back
    // into an inner node, and its path only changes when an ancestor is
    // folded, which destroys it. A node's serial tells whether it still lives.
    struct TLeafCacheEntry {
        std::uint32_t Leaf = 0;
        std::uint32_t Serial = 0;
        std::uint32_t Color = 0; // red << 16 | green << 8 | blue
        std::uint32_t Mask = 0;  // the bits above the leaf's depth, in all three channels
    };
    static constexpr int kLeafCacheBits = 12;
    std::vector<TLeafCacheEntry> leafCache_;

    // The leaf the last pixel ended in, while the tree has not changed shape
    // since: a pixel that agrees with the last one in the bits above that
    // leaf's depth ends in the same leaf.
    std::uint32_t lastLeaf_ = 0;
    std::uint8_t lastMask_ = 0;
    std::uint8_t lastRed_ = 0;
    std::uint8_t lastGreen_ = 0;
    std::uint8_t lastBlue_ = 0;
};

} // namespace framolo
