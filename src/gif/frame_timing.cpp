#include "gif/frame_timing.h"

#include "gif/gif_document.h"

namespace framolo {

int ShownDelay(const TGIFSubImage& frame) {
    if (frame.Empty())
        return 0;
    return DelayRaised(frame) ? kBrowserMinimumDelay : frame.GraphicControl()->Delay();
}

bool DelayRaised(const TGIFSubImage& frame) {
    return !frame.Empty() &&
           (frame.GraphicControl() == nullptr || frame.GraphicControl()->Delay() <= 1);
}

std::vector<std::int64_t> FrameStarts(const TGIFImageList& frames) {
    std::vector<std::int64_t> starts(static_cast<std::size_t>(frames.Count()) + 1, 0);
    for (int i = 0; i < frames.Count(); ++i)
        starts[static_cast<std::size_t>(i) + 1] =
            starts[static_cast<std::size_t>(i)] + ShownDelay(*frames[i]);
    return starts;
}

} // namespace framolo
