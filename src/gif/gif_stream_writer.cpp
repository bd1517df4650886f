#include "gif/gif_stream_writer.h"

#include "gif/gif_blocks.h"

#include <algorithm>

namespace framolo {

TGIFStreamWriter::TGIFStreamWriter(TStream& target) : target_(target), start_(target.Position()) {
    const std::uint8_t placeholder[kGIFHeaderBytes] = {};
    target_.WriteBuffer(placeholder, kGIFHeaderBytes);
}

void TGIFStreamWriter::WriteFrame(const TEncodedFrame& frame) {
    if (frames_ == 0 && !frame.GlobalColors.empty()) {
        TGIFColorMap table;
        table.SetColors(frame.GlobalColors);
        table.SaveToStream(target_);
        globalBits_ = table.BitsPerPixel();
        largestBits_ = std::max(largestBits_, globalBits_);
    }
    target_.WriteBuffer(frame.Bytes.data(), frame.Bytes.size());
    largestBits_ = std::max(largestBits_, frame.BitsPerPixel);
    version_ = std::max(version_, frame.Version);
    ++frames_;
}

std::int64_t TGIFStreamWriter::Finish(int screenWidth, int screenHeight) {
    if (frames_ == 0 || version_ < 1 || version_ > 2)
        throw GIFException(gifmsg::UnsupportedVersion);
    target_.WriteByte(0x3B);
    const std::int64_t end = target_.Position();
    TLogicalScreenDescriptor screen;
    screen.ScreenWidth = static_cast<std::uint16_t>(screenWidth);
    screen.ScreenHeight = static_cast<std::uint16_t>(screenHeight);
    // A global table made from frames is never sorted.
    screen.PackedFields = ScreenPackedFields(largestBits_, globalBits_, false);
    target_.SetPosition(start_);
    WriteGIFHeader(target_, version_, screen);
    target_.SetPosition(end);
    return end - start_;
}

} // namespace framolo
