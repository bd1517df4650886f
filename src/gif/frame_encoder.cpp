#include "gif/frame_encoder.h"

#include "color/reduce_colors.h"
#include "gif/bitmap_import.h"
#include "gif/gif_blocks.h"

namespace framolo {

namespace {

bool IsIndexed(TPixelFormat format) {
    return format == TPixelFormat::pf1bit || format == TPixelFormat::pf4bit ||
           format == TPixelFormat::pf8bit;
}

std::int64_t StartHundredths(std::int64_t index, int delayMs) {
    return (index * delayMs + 5) / 10;
}

int StoredDelay(const TFrameTiming& timing) {
    return static_cast<int>((StartHundredths(timing.Index + std::int64_t{1}, timing.DelayMs) -
                             StartHundredths(timing.Index, timing.DelayMs)) &
                            0xFFFF);
}

void WriteLoopExtension(TStream& stream, const TFrameTiming& timing) {
    TGIFAppExtNSLoop loop(nullptr);
    loop.SetLoopCount(timing.Loop & 0xFFFF);
    loop.SaveToStream(stream);
}

} // namespace

std::unique_ptr<TGIFSubImage> ReducePictureToFrame(TBitmap& picture,
                                                   const TGIFFrameSettings& settings) {
    auto frame = std::make_unique<TGIFSubImage>(nullptr);
    if (picture.Empty() || IsIndexed(picture.PixelFormat())) {
        // Indexed pictures keep their own palette whatever reduction is set.
        ImportBitmapToFrame(*frame, picture);
    } else {
        // Reduced here with the settings, the picture arrives indexed at the
        // import, which takes it as it is, as a document's import takes the
        // reduction it makes itself.
        const std::unique_ptr<TBitmap> reduced = ReduceBitmapColors(
            picture, settings.ColorReduction, settings.DitherMode, settings.QuantizeBits, nullptr);
        if (!IsIndexed(reduced->PixelFormat()) || reduced->Width() != picture.Width() ||
            reduced->Height() != picture.Height())
            throw GIFException("Invalid image dimensions");
        ImportBitmapToFrame(*frame, *reduced);
        if (picture.Transparent()) {
            const std::unique_ptr<TBitmap> mask = MakeBitmapMask(picture);
            ImportFrameMask(*frame, *mask);
        }
    }
    // Indexes and table are all a writer needs.
    frame->FreeBitmap();
    return frame;
}

void PlaceTimingExtensions(TGIFSubImage& frame, const TFrameTiming& timing) {
    std::unique_ptr<TGIFItem> control;
    if (TGIFGraphicControlExtension* own = frame.GraphicControl())
        control = frame.Extensions().Remove(own);
    if (timing.First) {
        auto loop = std::make_unique<TGIFAppExtNSLoop>(&frame);
        loop->SetLoopCount(timing.Loop & 0xFFFF);
        frame.Extensions().Add(std::move(loop));
    }
    if (!control)
        control = std::make_unique<TGIFGraphicControlExtension>(&frame);
    static_cast<TGIFGraphicControlExtension&>(*control).SetDelay(StoredDelay(timing));
    frame.Extensions().Add(std::move(control));
}

TEncodedFrame EncodeFrame(TGIFSubImage& frame, int index, std::uint8_t dataCoding) {
    if (frame.ColorMap().Count() == 0)
        throw GIFException(gifmsg::NoColorTable);
    TEncodedFrame encoded;
    TMemoryStream bytes;
    frame.Extensions().SaveToStream(bytes);
    if (!frame.Empty()) {
        TImageDescriptor& descriptor = frame.Descriptor();
        encoded.ImageDataBytes =
            WriteImageBlock(bytes, descriptor, frame.ColorMap(), frame.Pixels(), dataCoding, 0, {});
        encoded.ImageArea = std::int64_t{descriptor.Width} * descriptor.Height;
    }
    encoded.Index = index;
    encoded.Bytes = bytes.TakeData();
    encoded.BitsPerPixel = frame.ColorMap().BitsPerPixel();
    encoded.Version = frame.Version();
    return encoded;
}

TEncodedFrame EncodeOptimizedFrame(const TOptimizedFrame& frame, int index,
                                   const TFrameTiming& timing, std::uint8_t dataCoding) {
    TEncodedFrame encoded;
    if (frame.UsesGlobalTable) {
        if (index == 0)
            encoded.GlobalColors = frame.Colors;
    } else if (index == 0) {
        if (frame.GlobalTable.empty())
            throw GIFException(gifmsg::NoColorTable);
        encoded.GlobalColors = frame.GlobalTable;
    }
    // The same checks a frame's bounds and pixels get in a document.
    const auto inRange = [](int v) { return v >= 0 && v <= 0xFFFF; };
    if (!inRange(frame.Left) || !inRange(frame.Top) || !inRange(frame.Width) ||
        !inRange(frame.Height) ||
        frame.Pixels.size() !=
            static_cast<std::size_t>(frame.Width) * static_cast<std::size_t>(frame.Height))
        throw GIFException(gifmsg::InvalidPixelCoordinates);
    encoded.Index = index;
    encoded.BitsPerPixel = BitsForColors(static_cast<int>(frame.Colors.size()));

    TMemoryStream bytes;
    if (timing.First)
        WriteLoopExtension(bytes, timing);
    TGIFGraphicControlExtension control(nullptr);
    control.SetDisposal(frame.Disposal);
    if (frame.TransparentIndex >= 0) {
        control.SetTransparentColorIndex(frame.TransparentIndex);
        control.SetTransparent(true);
    }
    control.SetDelay(StoredDelay(timing));
    control.SaveToStream(bytes);

    TGIFColorMap local;
    if (!frame.UsesGlobalTable)
        local.SetColors(frame.Colors);
    TImageDescriptor descriptor;
    descriptor.Left = static_cast<std::uint16_t>(frame.Left);
    descriptor.Top = static_cast<std::uint16_t>(frame.Top);
    descriptor.Width = static_cast<std::uint16_t>(frame.Width);
    descriptor.Height = static_cast<std::uint16_t>(frame.Height);
    if (descriptor.Width != 0 && descriptor.Height != 0) {
        encoded.ImageDataBytes =
            WriteImageBlock(bytes, descriptor, local, frame.Pixels.data(), dataCoding,
                            frame.UsesGlobalTable ? encoded.BitsPerPixel : 0, {});
        encoded.ImageArea = std::int64_t{descriptor.Width} * descriptor.Height;
    }
    encoded.Bytes = bytes.TakeData();
    // The graphic control extension makes every such frame need 89a.
    encoded.Version = 2;
    return encoded;
}

} // namespace framolo
