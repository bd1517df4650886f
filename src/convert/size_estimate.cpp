#include "convert/size_estimate.h"

#include "convert/avi_frame_source.h"
#include "convert/avi_to_gif_steps.h"
#include "convert/byte_count_stream.h"
#include "convert/gif_frame_pipeline.h"
#include "convert/job_support.h"
#include "convert/optimizing_stage.h"
#include "platform/graphics/stretch.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>

namespace framolo {

namespace {

// The sink of a sample run: silent, stopping and pumping messages as its
// sampler's control says, keeping the error that ended it.
class TSampleSink : public TJobHost {
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

} // namespace

TAviFrameSource& TSizeSampler::Clip() {
    if (!clip_)
        clip_.emplace(clipFile_);
    return *clip_;
}

int TSizeSampler::SampleRows(int height) {
    // A twelfth of the rows, at least four strips of eight.
    const int rows = std::max(8 * kStrips, height / kRowShare) / kStrips * kStrips;
    return std::min(rows, height);
}

TSizeSampler::TSizeSampler(const std::string& clipFile, TSampleControl control, int threads)
    : clipFile_(clipFile), control_(std::move(control)), threads_(std::max(1, threads)) {}

TSizeSampler::TSizeSampler(const std::string& clipFile, TJobControl& outer, int threads)
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

TSizeSampler::TStripBytes TSizeSampler::Strips(const TFrameParams& params, int rows) {
    const int width = params.Width;
    const int height = params.Height;
    if (width <= 0 || height <= 0)
        throw EJobError(jobmsg::BadOutputSize);
    const bool whole = rows >= height;
    if (!whole && (width != cacheWidth_ || height != cacheHeight_ || params.Crop != cacheCrop_)) {
        cache_.clear();
        cacheBytes_ = 0;
        cacheWidth_ = width;
        cacheHeight_ = height;
        cacheCrop_ = params.Crop;
    }
    const TGIFFrameSettings settings = FrameSettings(params);
    std::optional<TOptimizingStage> optimizing;
    if (params.Optimize)
        optimizing.emplace(settings.DitherMode, params.Tuning(), threads_);
    TStripBytes bytes;
    bool first = true;
    TGIFFramePipeline pipeline(
        settings, threads_,
        [&](TEncodedFrame& frame) {
            // The image data grows with the rows; the rest of the frame does not.
            const std::int64_t payload = frame.ImageDataBytes;
            bytes.ChangedArea += static_cast<double>(frame.ImageArea);
            (first ? bytes.FirstData : bytes.LaterData) += static_cast<double>(payload);
            first = false;
            bytes.Fixed +=
                static_cast<double>(static_cast<std::int64_t>(frame.Bytes.size()) - payload) +
                3.0 * static_cast<double>(frame.GlobalColors.size());
        },
        nullptr, optimizing ? &*optimizing : nullptr);
    const int strip = rows / kStrips;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    const std::size_t pictureBytes = rowBytes * static_cast<std::size_t>(rows);
    std::optional<TBitmap> scaled;
    TBitmap cropped;
    // Strip i is taken from rows i (height - strip) / (strips - 1) on.
    std::vector<TRowRun> stripRuns;
    for (int i = 0; i < kStrips; ++i)
        stripRuns.push_back({i * (height - strip) / (kStrips - 1), strip});
    const std::int64_t frames = FramesTaken(params);
    for (std::int64_t k = 0; k < frames; ++k) {
        control_.ProcessMessages();
        if (control_.StopRequested())
            return {};
        const std::int64_t index = SourceFrame(params, k);
        auto picture = std::make_unique<TBitmap>(width, rows, TPixelFormat::pf24bit);
        const auto cached = whole ? cache_.end() : cache_.find(index);
        if (cached != cache_.end()) {
            for (int y = 0; y < rows; ++y)
                std::memcpy(picture->ScanLine(y), cached->second.data() + rowBytes * y, rowBytes);
        } else if (whole) {
            StretchBitmap(CropFrame(Clip().Decode(index), params.Crop, cropped), *picture);
        } else {
            if (!scaled)
                scaled.emplace(width, height, TPixelFormat::pf24bit);
            StretchBitmapRows(CropFrame(Clip().Decode(index), params.Crop, cropped), *scaled,
                              stripRuns);
            for (int i = 0; i < kStrips; ++i)
                for (int y = 0; y < strip; ++y)
                    std::memcpy(picture->ScanLine(i * strip + y),
                                scaled->ScanLine(stripRuns[static_cast<std::size_t>(i)].First + y),
                                rowBytes);
            if (cacheBytes_ + static_cast<std::int64_t>(pictureBytes) <= kCachedBytes) {
                std::vector<std::uint8_t>& copy = cache_[index];
                copy.resize(pictureBytes);
                for (int y = 0; y < rows; ++y)
                    std::memcpy(copy.data() + rowBytes * y, picture->ScanLine(y), rowBytes);
                cacheBytes_ += static_cast<std::int64_t>(pictureBytes);
            }
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
    const double scale = height / static_cast<double>(rows);
    bytes.FirstData *= scale;
    bytes.LaterData *= scale;
    bytes.Done = true;
    return bytes;
}

namespace {

// Whether a correction measured for a can stand for b: the same picture, range
// and road; the quality and the step may differ.
bool SameRoad(const TFrameParams& a, const TFrameParams& b) {
    return a.Width == b.Width && a.Height == b.Height && a.Start == b.Start && a.End == b.End &&
           a.Crop == b.Crop && a.Reduction == b.Reduction && a.Dither == b.Dither &&
           a.DataCoding == b.DataCoding && a.Optimize == b.Optimize && a.Tolerance == b.Tolerance;
}

} // namespace

std::optional<double> TSizeSampler::KnownCorrection(const TFrameParams& params) const {
    const TCorrection* below = nullptr;
    const TCorrection* above = nullptr;
    for (const TCorrection& known : corrections_) {
        if (!SameRoad(known.Params, params))
            continue;
        const int q = known.Params.Quality;
        if (q == params.Quality)
            return known.Ratio;
        if (q < params.Quality && (below == nullptr || q > below->Params.Quality))
            below = &known;
        if (q > params.Quality && (above == nullptr || q < above->Params.Quality))
            above = &known;
    }
    if (below == nullptr || above == nullptr)
        return std::nullopt;
    const double t = (params.Quality - below->Params.Quality) /
                     static_cast<double>(above->Params.Quality - below->Params.Quality);
    return below->Ratio + t * (above->Ratio - below->Ratio);
}

const TSizeSampler::TCorrection* TSizeSampler::NearestCorrection(const TFrameParams& params) const {
    const TCorrection* nearest = nullptr;
    for (const TCorrection& known : corrections_)
        if (SameRoad(known.Params, params) && known.Centred > 0 &&
            (nearest == nullptr || std::abs(known.Params.Quality - params.Quality) <
                                       std::abs(nearest->Params.Quality - params.Quality)))
            nearest = &known;
    return nearest;
}

std::optional<TSizeSampler::TCorrection>
TSizeSampler::MeasureCorrection(const TFrameParams& params, int rows, bool centredOnly) {
    // Runs are measured forwards: a run's strips code alike in either direction.
    TFrameParams forward = params;
    forward.Order = TFrameOrder::Forward;
    const std::int64_t n = FramesTaken(forward);
    double whole = 0;
    double sampled = 0;
    double lowest = 0;
    double highest = 0;
    // Codes the run of kCheckFrames from frame first of the range both ways.
    const auto check = [&](std::int64_t first) {
        TFrameParams run = forward;
        first = std::clamp<std::int64_t>(first, 0, n - kCheckFrames);
        run.Start = static_cast<std::int32_t>(params.Start + first * params.Step);
        run.End = static_cast<std::int32_t>(run.Start + (kCheckFrames - 1) * params.Step);
        const TStripBytes wholeBytes = Strips(run, params.Height);
        const TStripBytes stripBytes = wholeBytes.Done ? Strips(run, rows) : TStripBytes{};
        if (!stripBytes.Done)
            return false;
        whole += wholeBytes.LaterData;
        sampled += stripBytes.LaterData;
        const double ratio = wholeBytes.LaterData / std::max(1.0, stripBytes.LaterData);
        lowest = lowest == 0 ? ratio : std::min(lowest, ratio);
        highest = std::max(highest, ratio);
        return true;
    };
    const auto ratioSoFar = [&] {
        return whole > 0 && sampled > 0 ? std::clamp(whole / sampled, 0.5, 2.0) : 1.0;
    };
    for (int c = 0; c < kChecks; ++c)
        if (!check((2 * c + 1) * n / (2 * kChecks) - kCheckFrames / 2))
            return std::nullopt;
    TCorrection measured{params, ratioSoFar(), ratioSoFar()};
    if (centredOnly || highest <= lowest * kCheckSpread)
        return measured;
    for (int c = 0; c < kChecks; ++c)
        if (!check(c * n / kChecks))
            return std::nullopt;
    measured.Ratio = ratioSoFar();
    return measured;
}

TSizeEstimate TSizeSampler::Estimate(const TFrameParams& params) {
    TSizeEstimate estimate;
    estimate.Frames = FramesTaken(params);
    const std::int64_t n = estimate.Frames;
    const int rows = SampleRows(params.Height);
    const auto codedWhole = [&] {
        estimate.Bytes = Exact(params);
        estimate.SampledRows = params.Height;
        estimate.Exact = estimate.Bytes > 0;
        return estimate;
    };
    if (rows >= params.Height || n <= std::int64_t{3} * kChecks * kCheckFrames)
        return codedWhole();
    estimate.SampledRows = rows;
    const TStripBytes strips = Strips(params, rows);
    if (!strips.Done)
        return {};
    if (wholeWhenStill_ &&
        strips.ChangedArea < kExactShare * static_cast<double>(n) * params.Width * rows) {
        // Frames that change little code fast: the whole run costs about what
        // sampling it would, and strips tell such clips (a screen recording
        // whose rare changes fall in or out of them) worst.
        return codedWhole();
    }
    std::optional<double> correction = KnownCorrection(params);
    if (!correction) {
        // With a correction known at another quality, the runs from the
        // middles of the thirds tell how far this quality's differs from it:
        // the same frames coded both times, so what those frames have that
        // the rest lack cancels out.
        const TCorrection* nearest = NearestCorrection(params);
        std::optional<TCorrection> measured = MeasureCorrection(params, rows, nearest != nullptr);
        if (!measured)
            return {};
        if (nearest != nullptr)
            measured->Ratio =
                std::clamp(nearest->Ratio * measured->Centred / nearest->Centred, 0.5, 2.0);
        corrections_.push_back(*measured);
        correction = measured->Ratio;
    }
    // The header, the loop extension and the trailer.
    constexpr double kFileBytes = 13 + 19 + 1;
    estimate.Bytes = std::llround(kFileBytes + strips.Fixed +
                                  (strips.FirstData + strips.LaterData) * *correction);
    return estimate;
}

std::string SizeText(std::int64_t bytes) {
    char text[64];
    constexpr double kMB = 1024.0 * 1024.0;
    if (static_cast<double>(bytes) >= kMB)
        std::snprintf(text, sizeof(text), "%.1f MB", static_cast<double>(bytes) / kMB);
    else
        std::snprintf(text, sizeof(text), "%lld KB",
                      static_cast<long long>(std::max<std::int64_t>(1, (bytes + 512) / 1024)));
    return text;
}

std::string AboutSizeText(std::int64_t bytes) {
    return "About " + SizeText(bytes);
}

} // namespace framolo
