#include "convert/avi_frame_source.h"

#include "convert/job_support.h"
#include "gif/gif_document.h"
#include "platform/avifile/avifile.h"
#include "platform/graphics/stretch.h"
#include "platform/streams/stream.h"

#include <algorithm>
#include <cstring>

namespace framolo {

namespace {

// The stream carries palette changes: its frames bring their own palettes.
constexpr std::uint32_t kPaletteChangesFlag = 0x00010000;

std::uint32_t Get32(const std::uint8_t* p) {
    std::uint32_t v = 0;
    std::memcpy(&v, p, 4);
    return v;
}

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
        formatColors_ = Get32(format_.data() + 32);
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

bool AviToGifMayStart(TConversionHost& host) {
    if (!host.SourceOpen()) {
        host.ShowWarning(jobmsg::OpenFirst);
        return false;
    }
    if (host.FieldText(TParamField::Step).empty()) {
        host.ShowWarning(jobmsg::NeedStep);
        host.FocusField(TParamField::Step);
        return false;
    }
    return true;
}

namespace {

// A decoded frame stretched to width x height (true colour); raises the job's
// error for a size of 0 or less.
std::unique_ptr<TBitmap> ScaleFrame(const TBitmap& decoded, int width, int height) {
    if (width <= 0 || height <= 0)
        throw EJobError(jobmsg::BadOutputSize);
    auto output = std::make_unique<TBitmap>(width, height, TPixelFormat::pf24bit);
    StretchBitmap(decoded, *output);
    return output;
}

} // namespace

int FieldValue(TConversionHost& host, TParamField field) {
    return StrToInt(host.FieldText(field));
}

bool ReadScaledFrames(TConversionHost& host, TAviFrameSource& source,
                      const std::function<void(std::unique_ptr<TBitmap>, int)>& take) {
    auto field = [&host](TParamField f) { return FieldValue(host, f); };
    // The bar stands at about 95 % when the last frame starts.
    int maximum = field(TParamField::End) - field(TParamField::Start);
    host.SetProgressRange(0, maximum);
    maximum = static_cast<int>(static_cast<std::int64_t>(maximum) * 20 / 19);
    host.SetProgressRange(0, maximum);
    host.SetProgressPosition(0);

    std::int64_t f = field(TParamField::Start);
    const std::int64_t step = field(TParamField::Step);
    int taken = 0;
    while (f <= field(TParamField::End)) {
        host.SetProgressPosition(static_cast<int>(f - field(TParamField::Start)));
        host.ProcessMessages();
        if (host.StopRequested())
            return false;
        const TBitmap& decoded = source.Decode(f);
        take(ScaleFrame(decoded, field(TParamField::Width), field(TParamField::Height)), taken);
        ++taken;
        f += step;
    }
    return true;
}

void ApplyListChoices(TGIFDocument& document, int reductionIndex, int ditherIndex) {
    // List item i is method i + 1; the window lists 1 to 8, a host may also
    // offer the best-quality method after them.
    if ((reductionIndex >= 0 && reductionIndex <= 7) ||
        reductionIndex + 1 == static_cast<int>(TColorReduction::BestQuality))
        document.SetColorReduction(static_cast<TColorReduction>(reductionIndex + 1));
    if (ditherIndex >= 0 && ditherIndex <= 6)
        document.SetDitherMode(static_cast<TDitherMode>(ditherIndex));
}

TGIFSubImage* AppendJobFrame(TGIFDocument& document, TBitmap& picture, bool first,
                             const std::function<int(TParamField)>& field) {
    return CompleteJobFrame(document, document.Add(picture), first, field);
}

TGIFSubImage* CompleteJobFrame(TGIFDocument& document, int index, bool first,
                               const std::function<int(TParamField)>& field) {
    TGIFSubImage* added = document.Frames()[index];
    added->FreeBitmap();
    // A control extension the frame came with moves behind the loop
    // extension, where the job's own one goes.
    std::unique_ptr<TGIFItem> control;
    if (TGIFGraphicControlExtension* own = added->GraphicControl())
        control = added->Extensions().Remove(own);
    if (first) {
        auto loop = std::make_unique<TGIFAppExtNSLoop>(added);
        loop->SetLoopCount(field(TParamField::Loop) & 0xFFFF);
        added->Extensions().Add(std::move(loop));
    }
    if (!control)
        control = std::make_unique<TGIFGraphicControlExtension>(added);
    static_cast<TGIFGraphicControlExtension&>(*control).SetDelay((field(TParamField::Delay) / 10) &
                                                                 0xFFFF);
    document.SetWidth(field(TParamField::Width));
    document.SetHeight(field(TParamField::Height));
    added->Extensions().Add(std::move(control));
    return added;
}

} // namespace framolo
