#include "convert/avi_to_gif_job.h"

#include "convert/avifile_guards.h"
#include "convert/job_support.h"
#include "gif/gif_document.h"
#include "platform/avifile/avifile.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/stretch.h"
#include "platform/streams/stream.h"

#include <cstring>
#include <memory>
#include <vector>

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

int TConversionHost::AddFrame(TGIFDocument& document, TBitmap& frame) {
    return document.Add(frame);
}

int TAviToGifJob::Field(TParamField field) {
    return StrToInt(host_.FieldText(field));
}

TJobOutcome TAviToGifJob::Run() {
    TJobOutcome outcome;
    if (!host_.SourceOpen()) {
        host_.ShowWarning(jobmsg::OpenFirst);
        return outcome;
    }
    if (host_.FieldText(TParamField::Step).empty()) {
        host_.ShowWarning(jobmsg::NeedStep);
        host_.FocusField(TParamField::Step);
        return outcome;
    }
    outcome.FrameCount = 0;
    host_.StopSourcePlayer();
    try {
        host_.FitGifPreview(Field(TParamField::Width), Field(TParamField::Height));
    } catch (const std::exception& e) {
        host_.ShowApplicationError(e.what());
        outcome.End = TJobEnd::Failed;
        outcome.Error = e.what();
        return outcome;
    }
    host_.SetStopRequested(false);
    host_.BeginRun(TJobKind::AviToGif);
    try {
        Convert(outcome);
    } catch (const std::exception& e) {
        outcome.End = TJobEnd::Failed;
        outcome.Error = e.what();
    }
    Report(outcome);
    return outcome;
}

void TAviToGifJob::Convert(TJobOutcome& outcome) {
    TAVILibraryGuard library;
    TAVIFileGuard file;
    if (AVIFileOpen(file.File, host_.CurrentFileName(), OF_SHARE_DENY_WRITE) != 0) {
        file.File = nullptr;
        throw EJobError(jobmsg::FailedOpenFile);
    }
    TAVIStreamGuard stream;
    if (AVIFileGetStream(file.File, stream.Stream, streamtypeVIDEO, 0) != 0 ||
        stream.Stream == nullptr) {
        stream.Stream = nullptr;
        throw EJobError(jobmsg::FailedOpenStream);
    }
    TAVIStreamInfo info;
    if (AVIStreamInfo(stream.Stream, info, static_cast<std::int32_t>(sizeof(info))) != 0)
        throw EJobError(jobmsg::FailedStreamInfo);
    std::int32_t formatSize = 0;
    if (AVIStreamReadFormat(stream.Stream, 0, nullptr, &formatSize) != 0)
        throw EJobError(jobmsg::FailedFormatSize);
    std::vector<std::uint8_t> format(formatSize > 0 ? static_cast<std::size_t>(formatSize) : 0);
    if (AVIStreamReadFormat(stream.Stream, 0, format.empty() ? nullptr : format.data(),
                            &formatSize) != 0)
        throw EJobError(jobmsg::FailedFormat);
    TAVIStreamingGuard streaming;
    if (AVIStreamBeginStreaming(stream.Stream, 0, 0, 1000) != 0)
        throw EJobError(jobmsg::FailedStartStream);
    streaming.Stream = stream.Stream;
    TAVIGetFrameGuard getFrame;
    getFrame.GetFrame = AVIStreamGetFrameOpen(stream.Stream, nullptr);
    if (getFrame.GetFrame == nullptr)
        throw EJobError(jobmsg::FailedStartDecompression);

    // The stream's own colours: the table after the format's 40-byte header.
    std::uint32_t formatColors = 0;
    if (format.size() >= 40) {
        formatColors = Get32(format.data() + 32);
        formatColors = std::min<std::uint32_t>(
            formatColors, static_cast<std::uint32_t>((format.size() - 40) / 4));
    }
    const bool framesCarryPalettes = (info.dwFlags & kPaletteChangesFlag) != 0;

    TBitmap decoded;
    TGIFDocument document;
    const int reduction = host_.ColorReductionIndex();
    // List item i is method i + 1; the window lists 1 to 8, a host may also
    // offer the best-quality method after them.
    if ((reduction >= 0 && reduction <= 7) ||
        reduction + 1 == static_cast<int>(TColorReduction::BestQuality))
        document.SetColorReduction(static_cast<TColorReduction>(reduction + 1));
    const int dither = host_.DitherModeIndex();
    if (dither >= 0 && dither <= 6)
        document.SetDitherMode(static_cast<TDitherMode>(dither));

    int maximum = Field(TParamField::End) - Field(TParamField::Start);
    host_.SetProgressRange(0, maximum);
    maximum = static_cast<int>(static_cast<std::int64_t>(maximum) * 20 / 19);
    host_.SetProgressRange(0, maximum);
    host_.SetProgressPosition(0);

    std::int64_t f = Field(TParamField::Start);
    const std::int64_t step = Field(TParamField::Step);
    while (f <= Field(TParamField::End)) {
        host_.SetProgressPosition(static_cast<int>(f - Field(TParamField::Start)));
        host_.ProcessMessages();
        if (host_.StopRequested()) {
            outcome.End = TJobEnd::Stopped;
            return;
        }
        if (f > INT32_MAX)
            throw EJobError(jobmsg::FailedDecompress);
        const void* frame = AVIStreamGetFrame(getFrame.GetFrame, static_cast<std::int32_t>(f));
        if (frame == nullptr)
            throw EJobError(jobmsg::FailedDecompress);
        TBitmapInfoHeader header;
        std::memcpy(&header, frame, sizeof(header));
        // The decoder's buffer is read in place: no copy of the frame is made.
        const std::size_t dibSize = PackedDIBSize(header);
        TReadOnlyMemoryStream view(frame, dibSize);
        decoded.LoadFromPackedDIB(view, static_cast<std::int64_t>(dibSize));
        // Palettised frames take the stream's colours, unless the stream changes
        // its palette as it goes; the copy never reaches past the frame's own table.
        if (!framesCarryPalettes && formatColors > 0 && header.biBitCount <= 8) {
            std::vector<TRGBQuad> table = decoded.ColorTable();
            const std::size_t n = std::min<std::size_t>(formatColors, table.size());
            std::memcpy(table.data(), format.data() + 40, n * sizeof(TRGBQuad));
            decoded.SetColorTable(std::move(table));
        }

        const int width = Field(TParamField::Width);
        const int height = Field(TParamField::Height);
        if (width <= 0 || height <= 0)
            throw EJobError(jobmsg::BadOutputSize);
        auto output = std::make_unique<TBitmap>(width, height, TPixelFormat::pf24bit);
        StretchBitmap(decoded, *output);
        host_.ShowPreviewBitmap(*output);
        const int index = host_.AddFrame(document, *output);
        output.reset();

        TGIFSubImage* added = document.Frames()[index];
        // A control extension the frame came with moves behind the loop
        // extension, where the job's own one goes.
        std::unique_ptr<TGIFItem> control;
        if (TGIFGraphicControlExtension* own = added->GraphicControl())
            control = added->Extensions().Remove(own);
        if (index == 0) {
            auto loop = std::make_unique<TGIFAppExtNSLoop>(added);
            loop->SetLoopCount(Field(TParamField::Loop) & 0xFFFF);
            added->Extensions().Add(std::move(loop));
        }
        if (!control)
            control = std::make_unique<TGIFGraphicControlExtension>(added);
        static_cast<TGIFGraphicControlExtension&>(*control).SetDelay(
            (Field(TParamField::Delay) / 10) & 0xFFFF);
        document.SetWidth(Field(TParamField::Width));
        document.SetHeight(Field(TParamField::Height));
        added->Extensions().Add(std::move(control));

        ++outcome.FrameCount;
        f += step;
    }
    host_.ShowPreviewDocument(document);
    outcome.End = TJobEnd::Finished;
}

void TAviToGifJob::Report(TJobOutcome& outcome) {
    host_.EndRun(TJobKind::AviToGif);
    std::string sizeText;
    std::string reportError;
    try {
        if (TGraphic* picture = host_.PreviewPicture()) {
            TMemoryStream sized;
            picture->SaveToStream(sized);
            sizeText = std::to_string(BytesToKBRounded(sized.Size()));
        }
    } catch (const std::exception& e) {
        // An empty document has no file to measure; the rest of the report still runs.
        reportError = e.what();
    }
    std::string widthText;
    std::string heightText;
    try {
        widthText = host_.FieldText(TParamField::Width);
        heightText = host_.FieldText(TParamField::Height);
    } catch (...) {
    }
    host_.ShowReport(outcome.FrameCount, widthText, heightText, sizeText);
    host_.SetProgressPosition(host_.ProgressMaximum());

    if (outcome.End == TJobEnd::Failed) {
        host_.ShowApplicationError(outcome.Error);
        return;
    }
    if (!reportError.empty()) {
        outcome.End = TJobEnd::Failed;
        outcome.Error = reportError;
        host_.ShowApplicationError(reportError);
        return;
    }
    if (outcome.End == TJobEnd::Finished && !host_.StopRequested()) {
        host_.ShowInformation(jobmsg::Finished);
        host_.SetStatusLine(jobmsg::Finished);
        host_.SetProgressPosition(0);
    }
}

} // namespace framolo
