#include "gif/gif_blocks.h"

#include "gif/lzw_encoder.h"
#include "platform/bytes/little_endian.h"

#include <algorithm>

namespace framolo {

void WriteGIFHeader(TStream& stream, int version, const TLogicalScreenDescriptor& screen) {
    if (version < 1 || version > 2)
        throw GIFException(gifmsg::UnsupportedVersion);
    std::uint8_t header[kGIFHeaderBytes];
    std::copy_n(version == 2 ? "GIF89a" : "GIF87a", 6, header);
    PutLE16(header + 6, screen.ScreenWidth);
    PutLE16(header + 8, screen.ScreenHeight);
    header[10] = screen.PackedFields;
    header[11] = screen.BackgroundColorIndex;
    header[12] = screen.AspectRatio;
    stream.WriteBuffer(header, kGIFHeaderBytes);
}

std::uint8_t ScreenPackedFields(int deepestBits, int globalBits, bool globalSorted) {
    const int resolution = (deepestBits - 1) & 7;
    if (globalBits <= 0)
        return static_cast<std::uint8_t>(resolution << 4 | resolution);
    return static_cast<std::uint8_t>(0x80 | resolution << 4 | (globalSorted ? 0x08 : 0) |
                                     ((globalBits - 1) & 7));
}

std::int64_t WriteImageBlock(TStream& stream, TImageDescriptor& descriptor,
                             const TGIFColorMap& localTable, const std::uint8_t* pixels,
                             std::uint8_t dataCoding, int globalBits,
                             const TGIFWarning& onWarning) {
    const bool local = localTable.Count() > 0;
    if (local)
        descriptor.PackedFields = static_cast<std::uint8_t>(
            0x80 | (localTable.Sorted() ? 0x20 : 0) | (localTable.ColorResolution() & 7));
    else
        descriptor.PackedFields &= 0x58;
    std::uint8_t d[10];
    d[0] = 0x2C;
    PutLE16(d + 1, descriptor.Left);
    PutLE16(d + 3, descriptor.Top);
    PutLE16(d + 5, descriptor.Width);
    PutLE16(d + 7, descriptor.Height);
    d[9] = descriptor.PackedFields;
    stream.WriteBuffer(d, 10);

    const int bits = local ? localTable.BitsPerPixel() : globalBits;
    if (local)
        localTable.SaveToStream(stream);
    return CompressImageData(stream, dataCoding, bits, descriptor.Width, descriptor.Height,
                             (descriptor.PackedFields & 0x40) != 0, pixels,
                             local ? localTable.Count() : 1 << bits, onWarning);
}

} // namespace framolo
