#include "gif/frame_optimizer.h"

#include "color/changed_rect.h"

#include "gif/lzw_encoder.h"
#include "platform/streams/stream.h"

#include <algorithm>
#include <array>

namespace framolo {

TFrameOptimizer::TFrameOptimizer(int width, int height)
    : width_(std::max(width, 0)), height_(std::max(height, 0)),
      screen_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 3, 0) {}

std::vector<TGIFColor> TFrameOptimizer::TableFor(const std::vector<TGIFColor>& palette) {
    std::vector<TGIFColor> table = palette;
    if (table.size() < 256)
        table.push_back(TGIFColor{});
    return table;
}

std::size_t LzwDataSize(const std::vector<std::uint8_t>& pixels, int width, int height,
                        int colors) {
    TMemoryStream out;
    CompressImageData(out, 0, BitsForColors(colors), width, height, false, pixels.data(), colors,
                      TGIFWarning{});
    return static_cast<std::size_t>(out.Size());
}

std::size_t SampledLzwDataSize(const std::vector<std::uint8_t>& pixels, int width, int height,
                               int colors) {
    constexpr int kBand = 16;
    constexpr int kPeriod = 64;
    if (height <= kPeriod)
        return LzwDataSize(pixels, width, height, colors);
    std::vector<std::uint8_t> sample;
    int rows = 0;
    for (int top = 0; top < height; top += kPeriod)
        for (int y = top; y < std::min(top + kBand, height); ++y, ++rows) {
            const auto from = pixels.begin() + static_cast<std::ptrdiff_t>(y) * width;
            sample.insert(sample.end(), from, from + width);
        }
    return LzwDataSize(sample, width, rows, colors);
}

TOptimizedFrame TFrameOptimizer::Next(const std::uint8_t* indices,
                                      const std::vector<TGIFColor>& palette) {
    TOptimizedFrame out = Locate(indices, palette);
    ChooseTransparency(out);
    return out;
}

TOptimizedFrame TFrameOptimizer::Locate(const std::uint8_t* indices,
                                        const std::vector<TGIFColor>& palette) {
    return Locate(indices, palette, nullptr);
}

TOptimizedFrame TFrameOptimizer::Locate(const std::uint8_t* indices,
                                        const std::vector<TGIFColor>& palette,
                                        const std::uint8_t* drawn) {
    if (palette.empty())
        throw GIFException(gifmsg::ColorTableEmpty);
    if (palette.size() > (drawn != nullptr ? 255U : 256U))
        throw GIFException(gifmsg::ColorTableOverflow);
    const auto w = static_cast<std::size_t>(width_);
    const std::size_t pixels = w * static_cast<std::size_t>(height_);
    for (std::size_t i = 0; i < pixels; ++i)
        if (indices[i] >= palette.size())
            throw GIFException(gifmsg::InvalidColorIndex);

    TOptimizedFrame out;
    out.Colors = TableFor(palette);
    const bool first = first_;
    first_ = false;
    const auto changed = [&](std::size_t i) {
        if (first)
            return true;
        if (drawn != nullptr && drawn[i] == 0)
            return false;
        const TGIFColor& c = palette[indices[i]];
        const std::uint8_t* s = screen_.data() + 3 * i;
        return s[0] != c.Red || s[1] != c.Green || s[2] != c.Blue;
    };

    TChangedRect rect = FindChangedRect(
        width_, height_, [](int) { return false; },
        [&](int x, int y) {
            return changed(static_cast<std::size_t>(y) * w + static_cast<std::size_t>(x));
        });
    if (rect.Empty()) {
        // Nothing changed: one pixel that repeats what is there.
        rect = {0, 0, 0, 0};
    }
    if (pixels == 0) {
        out.Width = out.Height = 0;
        return out;
    }
    out.Left = rect.Left;
    out.Top = rect.Top;
    out.Width = rect.Right - rect.Left + 1;
    out.Height = rect.Bottom - rect.Top + 1;

    const std::size_t area =
        static_cast<std::size_t>(out.Width) * static_cast<std::size_t>(out.Height);
    std::vector<std::uint8_t> opaque(area);
    std::vector<std::uint8_t> same(area); // 1 where the pixel keeps its colour
    std::array<bool, 256> usedByChanges{};
    std::size_t sameCount = 0;
    std::size_t k = 0;
    // Each pixel is weighed against the screen and then written to it: the
    // screen then shows the full frame.
    for (int y = rect.Top; y <= rect.Bottom; ++y)
        for (int x = rect.Left; x <= rect.Right; ++x, ++k) {
            const std::size_t i = static_cast<std::size_t>(y) * w + static_cast<std::size_t>(x);
            const bool keep = !changed(i);
            opaque[k] = indices[i];
            same[k] = keep ? 1 : 0;
            sameCount += keep ? 1 : 0;
            if (keep)
                continue;
            usedByChanges[indices[i]] = true;
            const TGIFColor& c = palette[indices[i]];
            screen_[3 * i] = c.Red;
            screen_[3 * i + 1] = c.Green;
            screen_[3 * i + 2] = c.Blue;
        }
    const bool anySame = sameCount > 0;
    if (drawn != nullptr) {
        // A pixel left as it is may show a colour the palette lacks.
        if (anySame) {
            out.TransparentIndex = static_cast<int>(palette.size());
            for (std::size_t j = 0; j < opaque.size(); ++j)
                if (same[j] != 0)
                    opaque[j] = static_cast<std::uint8_t>(out.TransparentIndex);
        }
        out.Pixels = std::move(opaque);
        return out;
    }

    // Coding the rectangle twice costs time; with under one unchanged pixel
    // in 32 the holes cannot shorten the data by much, so the opaque
    // rectangle is taken without measuring.
    int transparent = -1;
    if (anySame && sameCount * 32 >= opaque.size()) {
        if (palette.size() < 256)
            transparent = static_cast<int>(palette.size());
        else
            for (int c = 255; c >= 0 && transparent < 0; --c)
                if (!usedByChanges[static_cast<std::size_t>(c)])
                    transparent = c;
    }
    out.Pixels = std::move(opaque);
    if (transparent >= 0) {
        out.Unchanged = std::move(same);
        out.TransparentCandidate = transparent;
    }
    return out;
}

void TFrameOptimizer::ChooseTransparency(TOptimizedFrame& frame) {
    const int transparent = frame.TransparentCandidate;
    frame.TransparentCandidate = -1;
    std::vector<std::uint8_t> same = std::move(frame.Unchanged);
    frame.Unchanged.clear();
    if (transparent < 0 || same.size() != frame.Pixels.size())
        return;
    std::vector<std::uint8_t> holes = frame.Pixels;
    for (std::size_t j = 0; j < holes.size(); ++j)
        if (same[j] != 0)
            holes[j] = static_cast<std::uint8_t>(transparent);
    const int colors = static_cast<int>(frame.Colors.size());
    if (SampledLzwDataSize(holes, frame.Width, frame.Height, colors) <
        SampledLzwDataSize(frame.Pixels, frame.Width, frame.Height, colors)) {
        frame.Pixels = std::move(holes);
        frame.TransparentIndex = transparent;
    }
}

} // namespace framolo
