#pragma once

// Small builders shared by the gif tests.

#include "gif/gif_document.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace framolo::test {

// Appends a frame with a local table of `colors` distinct colours and the given pixels.
inline TGIFSubImage* AddIndexedFrame(TGIFDocument& doc, int width, int height, int colors,
                                     const std::vector<std::uint8_t>& pixels, int left = 0,
                                     int top = 0) {
    auto frame = std::make_unique<TGIFSubImage>(&doc);
    TGIFSubImage* f = frame.get();
    f->SetBounds(left, top, width, height);
    for (int i = 0; i < colors; ++i)
        f->ColorMap().Add(RGB(static_cast<std::uint8_t>(i * 7), static_cast<std::uint8_t>(255 - i),
                              static_cast<std::uint8_t>(i * 13)));
    if (!pixels.empty())
        f->SetPixels(pixels);
    doc.Add(std::move(frame));
    return f;
}

// The message of the GIFException that `action` raises, or "no GIFException".
template <class TAction> std::string GIFErrorOf(TAction&& action) {
    try {
        action();
    } catch (const GIFException& e) {
        return e.what();
    }
    return "no GIFException";
}

inline TGIFGraphicControlExtension* AddGraphicControl(TGIFSubImage* frame) {
    auto gce = std::make_unique<TGIFGraphicControlExtension>(frame);
    TGIFGraphicControlExtension* g = gce.get();
    frame->Extensions().Add(std::move(gce));
    return g;
}

inline std::vector<std::uint8_t> SaveToBytes(TGIFDocument& doc) {
    TMemoryStream stream;
    doc.SaveToStream(stream);
    return stream.Data();
}

inline std::vector<std::uint8_t> RandomPixels(std::size_t n, int colors, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> dist(0, colors - 1);
    std::vector<std::uint8_t> p(n);
    for (auto& v : p)
        v = static_cast<std::uint8_t>(dist(rng));
    return p;
}

// Random runs of random lengths up to maxRun.
inline std::vector<std::uint8_t> RunPixels(std::size_t n, int colors, int maxRun,
                                           std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> colour(0, colors - 1);
    std::uniform_int_distribution<int> length(1, maxRun);
    std::vector<std::uint8_t> p;
    p.reserve(n);
    while (p.size() < n) {
        const auto c = static_cast<std::uint8_t>(colour(rng));
        for (int i = length(rng); i > 0 && p.size() < n; --i)
            p.push_back(c);
    }
    return p;
}

} // namespace framolo::test
