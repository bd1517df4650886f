#include "gif/frame_compositor.h"

#include <algorithm>
#include <cstring>

namespace framolo {

TGIFCompositor::TGIFCompositor(const TGIFDocument& document, TColor background)
    : TGIFCompositor(document, background, 0, 0, document.Width(), document.Height()) {}

TGIFCompositor::TGIFCompositor(const TGIFDocument& document, TColor background, int left, int top,
                               int width, int height)
    : document_(document), left_(left), top_(top), width_(std::max(width, 0)),
      height_(std::max(height, 0)), background_{GetRValue(background), GetGValue(background),
                                                GetBValue(background)},
      screen_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 3) {
    FillRect(left_, top_, left_ + width_, top_ + height_);
}

void TGIFCompositor::FillRect(int left, int top, int right, int bottom) {
    left = std::clamp(left - left_, 0, width_);
    right = std::clamp(right - left_, 0, width_);
    top = std::clamp(top - top_, 0, height_);
    bottom = std::clamp(bottom - top_, 0, height_);
    for (int y = top; y < bottom; ++y) {
        std::uint8_t* p = &screen_[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                                    static_cast<std::size_t>(left)) *
                                   3];
        for (int x = left; x < right; ++x, p += 3)
            std::memcpy(p, background_, 3);
    }
}

const std::vector<std::uint8_t>& TGIFCompositor::Draw(const TGIFSubImage& frame) {
    if (frame.Empty() || frame.Pixels() == nullptr)
        return screen_;
    if (pendingDisposal_ == dmBackground)
        FillRect(pendingLeft_, pendingTop_, pendingRight_, pendingBottom_);
    else if (pendingDisposal_ == dmPrevious && !saved_.empty())
        screen_ = saved_;

    const TGIFGraphicControlExtension* control = frame.GraphicControl();
    pendingDisposal_ = control ? control->Disposal() : dmNone;
    pendingLeft_ = frame.Left();
    pendingTop_ = frame.Top();
    pendingRight_ = frame.Left() + frame.Width();
    pendingBottom_ = frame.Top() + frame.Height();
    if (pendingDisposal_ == dmPrevious)
        saved_ = screen_;

    const TGIFColorMap& map = frame.ColorMap().Count() > 0
                                  ? static_cast<const TGIFColorMap&>(frame.ColorMap())
                                  : static_cast<const TGIFColorMap&>(document_.Header().ColorMap());
    const int transparent =
        control && control->Transparent() ? control->TransparentColorIndex() : -1;
    // The frame, cut to the rows it holds, the logical screen and what is kept.
    const std::size_t rowsHeld = frame.PixelCount() / static_cast<std::size_t>(frame.Width());
    const int frameBottom =
        frame.Top() +
        static_cast<int>(std::min<std::size_t>(rowsHeld, static_cast<std::size_t>(frame.Height())));
    const int x0 = std::max({frame.Left(), 0, left_});
    const int x1 = std::min({frame.Left() + frame.Width(), document_.Width(), left_ + width_});
    const int y0 = std::max({frame.Top(), 0, top_});
    const int y1 = std::min({frameBottom, document_.Height(), top_ + height_});
    const std::uint8_t* pixels = frame.Pixels();
    for (int y = y0; y < y1; ++y) {
        const std::uint8_t* src = pixels + static_cast<std::size_t>(y - frame.Top()) *
                                               static_cast<std::size_t>(frame.Width());
        std::uint8_t* dst =
            &screen_[(static_cast<std::size_t>(y - top_) * static_cast<std::size_t>(width_) +
                      static_cast<std::size_t>(x0 - left_)) *
                     3];
        for (int x = x0; x < x1; ++x, dst += 3) {
            const int index = src[x - frame.Left()];
            if (index == transparent)
                continue;
            if (index < map.Count()) {
                const TGIFColor c = map.Entry(index);
                dst[0] = c.Red;
                dst[1] = c.Green;
                dst[2] = c.Blue;
            } else {
                dst[0] = dst[1] = dst[2] = 0;
            }
        }
    }
    return screen_;
}

} // namespace framolo
