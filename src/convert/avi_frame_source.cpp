#include "convert/avi_frame_source.h"

#include "convert/job_support.h"
#include "platform/avifile/avifile.h"
#include "platform/bytes/little_endian.h"
#include "platform/streams/stream.h"

#include <algorithm>
#include <cstring>

namespace framolo {

namespace {

// The stream carries palette changes: its frames bring their own palettes.
constexpr std::uint32_t kPaletteChangesFlag = 0x00010000;

// Bytes of a packed DIB: header, colour table or masks, pixels.
std::size_t PackedDIBSize(const TBitmapInfoHeader& h) {
    std::size_t size = h.biSize;
    if (h.biBitCount <= 8)
        size += (std::size_t{4} << h.biBitCount);
    else if (h.biCompression == BI_BITFIELDS)
        size += 12;
    std::size_t image = h.biSizeImage;
    if (image == 0 && h.biWidth > 0)
        image = DIBRowBytes(h.biWidth, h.biBitCount) *
                static_cast<std::size_t>(h.biHeight < 0 ? -h.biHeight : h.biHeight);
    return size + image;
}

} // namespace

TAviFrameSource::TAviFrameSource(const std::string& fileName) {
    if (AVIFileOpen(file_.File, fileName, OF_SHARE_DENY_WRITE) != 0) {
        file_.File = nullptr;
        throw EJobError(jobmsg::FailedOpenFile);
    }
    if (AVIFileGetStream(file_.File, stream_.Stream, streamtypeVIDEO, 0) != 0 ||
        stream_.Stream == nullptr) {
        stream_.Stream = nullptr;
        throw EJobError(jobmsg::FailedOpenStream);
    }
    TAVIStreamInfo info;
    if (AVIStreamInfo(stream_.Stream, info, static_cast<std::int32_t>(sizeof(info))) != 0)
        throw EJobError(jobmsg::FailedStreamInfo);
    std::int32_t formatSize = 0;
    if (AVIStreamReadFormat(stream_.Stream, 0, nullptr, &formatSize) != 0)
        throw EJobError(jobmsg::FailedFormatSize);
    format_.resize(formatSize > 0 ? static_cast<std::size_t>(formatSize) : 0);
    if (AVIStreamReadFormat(stream_.Stream, 0, format_.empty() ? nullptr : format_.data(),
                            &formatSize) != 0)
        throw EJobError(jobmsg::FailedFormat);
    if (AVIStreamBeginStreaming(stream_.Stream, 0, 0, 1000) != 0)
        throw EJobError(jobmsg::FailedStartStream);
    streaming_.Stream = stream_.Stream;
    getFrame_.GetFrame = AVIStreamGetFrameOpen(stream_.Stream, nullptr);
    if (getFrame_.GetFrame == nullptr)
        throw EJobError(jobmsg::FailedStartDecompression);

    // The stream's own colours: the table after the format's 40-byte header.
    if (format_.size() >= 40) {
        formatColors_ = GetLE32(format_.data() + 32);
        formatColors_ = std::min<std::uint32_t>(
            formatColors_, static_cast<std::uint32_t>((format_.size() - 40) / 4));
    }
    framesCarryPalettes_ = (info.dwFlags & kPaletteChangesFlag) != 0;
}

const TBitmap& TAviFrameSource::Decode(std::int64_t f) {
    if (f > INT32_MAX)
        throw EJobError(jobmsg::FailedDecompress);
    const void* frame = AVIStreamGetFrame(getFrame_.GetFrame, static_cast<std::int32_t>(f));
    if (frame == nullptr)
        throw EJobError(jobmsg::FailedDecompress);
    TBitmapInfoHeader header;
    std::memcpy(&header, frame, sizeof(header));
    // The decoder's buffer is read in place: no copy of the frame is made.
    const std::size_t dibSize = PackedDIBSize(header);
    TReadOnlyMemoryStream view(frame, dibSize);
    decoded_.LoadFromPackedDIB(view, static_cast<std::int64_t>(dibSize));
    // Palettised frames take the stream's colours, unless the stream changes
    // its palette as it goes; the copy never reaches past the frame's own table.
    if (!framesCarryPalettes_ && formatColors_ > 0 && header.biBitCount <= 8) {
        std::vector<TRGBQuad> table = decoded_.ColorTable();
        const std::size_t n = std::min<std::size_t>(formatColors_, table.size());
        std::memcpy(table.data(), format_.data() + 40, n * sizeof(TRGBQuad));
        decoded_.SetColorTable(std::move(table));
    }
    return decoded_;
}

} // namespace framolo
