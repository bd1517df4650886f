#include "cli/size_limit_run.h"

#include "cli/gif_file_output.h"
#include "convert/size_estimate.h"
#include "platform/streams/stream.h"

namespace framolo {

namespace {

// Converts into memory and writes the one conversion that is kept.
class TCliLimitedConverter : public TLimitedConverter {
public:
    TCliLimitedConverter(TCliHost& host, TOutputFile& output,
                         const TAviToGifStreamJob::TOptions& options, TSizeSampler& sampler)
        : host_(host), output_(output), options_(options), sampler_(sampler) {}

    std::int64_t Estimate(const TFrameParams& params) override {
        return sampler_.Estimate(params).Bytes;
    }
    TJobOutcome Convert(const TFrameParams& params) override {
        host_.Params = params;
        memory_ = std::make_unique<TMemoryStream>();
        finished_ = false;
        const TJobOutcome outcome = ConvertAviToGifStoppably(host_, host_, *memory_, options_);
        finished_ = outcome.End == TJobEnd::Finished;
        return outcome;
    }
    void Keep() override {
        if (finished_)
            WriteGifOutput(output_, *memory_);
        memory_.reset();
    }
    void Drop() override { memory_.reset(); }

private:
    TCliHost& host_;
    TOutputFile& output_;
    const TAviToGifStreamJob::TOptions& options_;
    TSizeSampler& sampler_;
    std::unique_ptr<TMemoryStream> memory_;
    bool finished_ = false;
};

} // namespace

TCliLimitedRun ConvertUnderLimit(TCliHost& host, TOutputFile& output,
                                 const TAviToGifStreamJob::TOptions& options, std::int64_t limit) {
    const TFrameParams base = host.Params;
    TSizeSampler sampler(host.CurrentFileName(), host, options.Threads);
    sampler.SetWholeWhenStill(false);
    TCliLimitedConverter converter(host, output, options, sampler);
    TCliLimitedRun run;
    static_cast<TLimitedRun&>(run) = RunUnderLimit(base, limit, converter);
    if (run.Outcome.End == TJobEnd::NotStarted && !run.Stopped)
        run.Smallest = run.TriedSmallest ? run.LastBytes
                                         : sampler.Exact(FitParams(base, SmallestFitPoint(base)));
    return run;
}

} // namespace framolo
