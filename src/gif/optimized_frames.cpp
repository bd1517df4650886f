#include "gif/optimized_frames.h"

#include "color/dib_access.h"

#include <algorithm>

namespace framolo {

TOptimizedFrameAdder::TOptimizedFrameAdder(TDitherMode mode, int colors)
    : mode_(mode), colors_(colors) {}

TOptimizedFrameAdder::~TOptimizedFrameAdder() = default;

int TOptimizedFrameAdder::Add(TGIFDocument& document, TBitmap& frame) {
    const int width = frame.Width();
    const int height = frame.Height();
    if (width <= 0 || height <= 0 ||
        (reducer_ && (width != reducer_->Width() || height != reducer_->Height())))
        throw GIFException("Invalid image dimensions");
    if (!reducer_) {
        reducer_ = std::make_unique<TSharedPaletteReducer>(width, height, colors_, mode_);
        optimizer_ = std::make_unique<TFrameOptimizer>(width, height);
    }
    TDIBReader reader(frame, TPixelFormat::pf24bit);
    const std::ptrdiff_t stride = height > 1 ? reader.RowPointer(1) - reader.RowPointer(0) : 0;
    const TReducedFrame& reduced = reducer_->Next(reader.RowPointer(0), stride);
    std::vector<TGIFColor> palette;
    palette.reserve(reduced.Palette.size());
    for (const TPaletteEntry& e : reduced.Palette)
        palette.push_back(TGIFColor{e.peRed, e.peGreen, e.peBlue});
    TOptimizedFrame optimized = optimizer_->Next(reduced.Indices.data(), palette);

    auto sub = std::make_unique<TGIFSubImage>(&document);
    sub->SetBounds(optimized.Left, optimized.Top, optimized.Width, optimized.Height);
    sub->SetPixels(std::move(optimized.Pixels));
    const auto fill = [](TGIFColorMap& map, const std::vector<TGIFColor>& colors) {
        map.SetCount(static_cast<int>(colors.size()));
        std::copy(colors.begin(), colors.end(), map.MutableData());
    };
    TGIFColorMap& global = document.GlobalColorMap();
    if (global.Count() == 0)
        fill(global, optimized.Colors);
    const bool sameAsGlobal =
        global.Count() == static_cast<int>(optimized.Colors.size()) &&
        std::equal(optimized.Colors.begin(), optimized.Colors.end(), global.Data());
    if (!sameAsGlobal)
        fill(sub->ColorMap(), optimized.Colors);

    auto control = std::make_unique<TGIFGraphicControlExtension>(sub.get());
    control->SetDisposal(optimized.Disposal);
    if (optimized.TransparentIndex >= 0) {
        control->SetTransparentColorIndex(optimized.TransparentIndex);
        control->SetTransparent(true);
    }
    sub->Extensions().Add(std::move(control));
    return document.Add(std::move(sub));
}

} // namespace framolo
