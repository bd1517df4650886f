#include "convert/size_estimate.h"

#include "convert/avi_frame_source.h"
#include "convert/avi_to_gif_steps.h"
#include "convert/byte_count_stream.h"
#include "convert/gif_frame_pipeline.h"
#include "convert/job_support.h"
#include "gif/optimized_frames.h"
#include "platform/graphics/stretch.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>

namespace framolo {

namespace {

// The sink of a sample run: silent, stopping and pumping messages as its
// sampler's control says, keeping the error that ended it.
class TSampleSink : public TConversionSink {
public:
    TSampleSink(const std::string& clipFile, const TSampleControl& control)
        : clipFile_(clipFile), control_(control) {}
    std::string Error;

    bool SourceOpen() override { return true; }
    const std::string& CurrentFileName() override { return clipFile_; }
    void SetCurrentFileName(const std::string& name) override { clipFile_ = name; }
    bool StopRequested() override { return control_.StopRequested(); }
    void SetStopRequested(bool) override {}
    void ProcessMessages() override { control_.ProcessMessages(); }
    void BeginRun(TJobKind) override {}
    void EndRun(TJobKind) override {}
    void SetProgressRange(int, int) override {}
    void SetProgressPosition(int) override {}
    int ProgressMaximum() override { return 0; }
    void ShowPreviewBitmap(const TBitmap&) override {}
    void ShowPreviewDocument(std::unique_ptr<TGIFDocument>) override {}
    TGraphic* PreviewPicture() override { return nullptr; }
    TGIFDocument* SourceDocument() override { return nullptr; }
    void ShowReport(int, const std::string&) override {}
    void ShowWarning(const std::string& message) override { Error = message; }
    void ShowError(const std::string& message) override { Error = message; }
    void ShowInformation(const std::string&) override {}
    void ShowMessage(const std::string&) override {}
    void ShowApplicationError(const std::string& message) override { Error = message; }
    std::optional<std::string> AskSaveFileName(const std::string&,
                                               const std::vector<TFileFilter>&) override {
        return std::nullopt;
    }

private:
    std::string clipFile_;
    const TSampleControl& control_;
};

// Reduction and placing in order, as the real run does them.
class TSampleOptimizingStage : public TOrderedFrameStage {
public:
    TSampleOptimizingStage(TDitherMode mode, const TSharedPaletteReducer::TTuning& tuning)
        : sequence_(mode, tuning) {}
    void Run(TFrameJob& job) override {
        job.Optimized = std::make_unique<TOptimizedFrame>(sequence_.Next(*job.Picture));
        job.Picture.reset();
    }

private:
    TOptimizedFrameSequence sequence_;
};

// The bytes of a coded frame's image data, its sub-blocks' length bytes
// included: what grows with the frame's rows. The rest (extensions, the
// image descriptor, a local colour table) does not.
std::int64_t ImageDataBytes(const std::vector<std::uint8_t>& bytes) {
    std::size_t at = 0;
    const auto skipBlocks = [&] {
        std::int64_t total = 0;
        while (at < bytes.size() && bytes[at] != 0) {
            total += 1 + bytes[at];
            at += 1 + std::size_t{bytes[at]};
        }
        ++at;
        return total;
    };
    while (at < bytes.size() && bytes[at] == 0x21) {
        at += 2;
        skipBlocks();
    }
    if (at + 10 > bytes.size() || bytes[at] != 0x2C)
        return 0;
    const std::uint8_t packed = bytes[at + 9];
    at += 10;
    if ((packed & 0x80) != 0)
        at += std::size_t{3} << ((packed & 7) + 1);
    ++at; // the LZW minimum code size
    return skipBlocks();
}

} // namespace

int TSizeSampler::SampleRows(int height) {
    // A twelfth of the rows, at least four strips of eight.
    const int rows = std::max(8 * kStrips, height / kRowShare) / kStrips * kStrips;
    return std::min(rows, height);
}

std::int64_t FramesTaken(const TFrameParams& params) {
    if (params.Step <= 0 || params.End < params.Start)
        return 0;
    return (std::int64_t{params.End} - params.Start) / params.Step + 1;
}

TSizeSampler::TSizeSampler(const std::string& clipFile, TSampleControl control, int threads)
    : clipFile_(clipFile), control_(std::move(control)), threads_(std::max(1, threads)) {}

TSizeSampler::TSizeSampler(const std::string& clipFile, TConversionSink& outer, int threads)
    : TSizeSampler(
          clipFile,
          {[&outer] { return outer.StopRequested(); }, [&outer] { outer.ProcessMessages(); }},
          threads) {}

std::int64_t TSizeSampler::Exact(const TFrameParams& params) {
    // An empty range or a clip that does not open fails here as the real run would.
    TFixedParamSource source(params);
    TSampleSink sink(clipFile_, control_);
    TByteCountStream counter;
    TAviToGifStreamJob::TOptions options;
    options.Threads = threads_;
    const TJobOutcome outcome = TAviToGifStreamJob(source, sink, counter, options).Run();
    if (outcome.End == TJobEnd::Failed || outcome.End == TJobEnd::NotStarted)
        throw EJobError(sink.Error.empty() ? outcome.Error : sink.Error);
    return outcome.End == TJobEnd::Finished ? outcome.Bytes : 0;
}

double TSizeSampler::Strips(const TFrameParams& params, int rows) {
    TAviFrameSource clip(clipFile_);
    const TGIFFrameSettings settings = FrameSettings(params);
    std::optional<TSampleOptimizingStage> optimizing;
    if (params.Optimize)
        optimizing.emplace(settings.DitherMode, OptimizeTuning(params));
    double data = 0;
    double fixed = 0;
    TGIFFramePipeline pipeline(
        settings, threads_,
        [&](TEncodedFrame& frame) {
            const std::int64_t payload = ImageDataBytes(frame.Bytes);
            data += static_cast<double>(payload);
            fixed += static_cast<double>(static_cast<std::int64_t>(frame.Bytes.size()) - payload) +
                     3.0 * static_cast<double>(frame.GlobalColors.size());
        },
        nullptr, optimizing ? &*optimizing : nullptr);
    const int width = params.Width;
    const int height = params.Height;
    if (width <= 0 || height <= 0)
        throw EJobError(jobmsg::BadOutputSize);
    const int strip = rows / kStrips;
    TBitmap scaled(width, height, TPixelFormat::pf24bit);
    const std::int64_t frames = FramesTaken(params);
    for (std::int64_t k = 0; k < frames; ++k) {
        control_.ProcessMessages();
        if (control_.StopRequested())
            return 0;
        StretchBitmap(clip.Decode(params.Start + k * params.Step), scaled);
        auto picture = std::make_unique<TBitmap>(width, rows, TPixelFormat::pf24bit);
        // Strip i is taken from rows i (height - strip) / (strips - 1) on.
        for (int i = 0; i < kStrips; ++i) {
            const int top = i * (height - strip) / (kStrips - 1);
            for (int y = 0; y < strip; ++y)
                std::memcpy(picture->ScanLine(i * strip + y), scaled.ScanLine(top + y),
                            static_cast<std::size_t>(width) * 3);
        }
        TFrameJob job;
        job.Picture = std::move(picture);
        job.Loop = params.Loop;
        job.Delay = params.Delay;
        job.Width = width;
        job.Height = rows;
        pipeline.Submit(std::move(job));
    }
    pipeline.Finish();
    // The header, the loop extension and the trailer.
    constexpr double kFileBytes = 13 + 19 + 1;
    return kFileBytes + fixed + data * height / static_cast<double>(rows);
}

TSizeEstimate TSizeSampler::Estimate(const TFrameParams& params) {
    TSizeEstimate estimate;
    estimate.Frames = FramesTaken(params);
    const std::int64_t n = estimate.Frames;
    const int rows = SampleRows(params.Height);
    if (rows >= params.Height || n <= std::int64_t{3} * kChecks * kCheckFrames) {
        estimate.Bytes = Exact(params);
        estimate.SampledRows = params.Height;
        estimate.Exact = true;
        return estimate;
    }
    estimate.SampledRows = rows;
    const double strips = Strips(params, rows);
    if (strips <= 0)
        return {};
    // A few short runs coded both whole and as strips tell how far the
    // strips' scaled size is off for this clip and these settings.
    double whole = 0;
    double sampled = 0;
    for (int c = 0; c < kChecks; ++c) {
        TFrameParams check = params;
        const std::int64_t first = c * (n - kCheckFrames) / (kChecks - 1);
        check.Start = static_cast<std::int32_t>(params.Start + first * params.Step);
        check.End = static_cast<std::int32_t>(check.Start + (kCheckFrames - 1) * params.Step);
        whole += static_cast<double>(Exact(check));
        sampled += Strips(check, rows);
    }
    const double correction = whole > 0 && sampled > 0 ? std::clamp(whole / sampled, 0.5, 2.0) : 1;
    estimate.Bytes = std::llround(strips * correction);
    return estimate;
}

std::string AboutSizeText(std::int64_t bytes) {
    char text[64];
    constexpr double kMB = 1024.0 * 1024.0;
    if (static_cast<double>(bytes) >= kMB)
        std::snprintf(text, sizeof(text), "About %.1f MB", static_cast<double>(bytes) / kMB);
    else
        std::snprintf(text, sizeof(text), "About %lld KB",
                      static_cast<long long>(std::max<std::int64_t>(1, (bytes + 512) / 1024)));
    return text;
}

} // namespace framolo
