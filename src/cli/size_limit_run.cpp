#include "cli/size_limit_run.h"

#include "cli/signal_cleanup.h"
#include "convert/size_estimate.h"
#include "platform/streams/stream.h"

#include <algorithm>
#include <memory>

namespace framolo {

namespace {

// Converts into memory, with the host's progress bar; a stop or a signal
// ends the run as Stopped.
TJobOutcome ConvertToMemory(TCliHost& host, TMemoryStream& memory,
                            const TAviToGifStreamJob::TOptions& options) {
    TJobOutcome outcome;
    {
        TStoppableStage stage;
        outcome = TAviToGifStreamJob(host, host, memory, options).Run();
    }
    if (outcome.End == TJobEnd::Finished && StopSignalled())
        outcome.End = TJobEnd::Stopped;
    return outcome;
}

void WriteOutput(TOutputFile& output, TMemoryStream& memory) {
    const auto size = static_cast<std::size_t>(memory.Size());
    if (output.InPlace()) {
        output.WriteInPlace(memory.Memory(), size);
        return;
    }
    {
        TFileStream file(output.WritePath(), fmCreate);
        file.WriteBuffer(memory.Memory(), size);
        file.Flush();
    }
    output.Commit();
}

} // namespace

TLimitedRun ConvertUnderLimit(TCliHost& host, TOutputFile& output,
                              const TAviToGifStreamJob::TOptions& options, std::int64_t limit) {
    TLimitedRun run;
    const TFrameParams base = host.Params;
    TSizeSampler sampler(host.CurrentFileName(), host, options.Threads);
    sampler.SetWholeWhenStill(false);
    TLimitedSearch search(
        base, limit, [&](const TFrameParams& params) { return sampler.Estimate(params).Bytes; });
    while (run.Encodes < TLimitedSearch::kMostConversions) {
        const TFitChoice choice = search.Choose();
        run.Estimates = search.Estimates();
        const TFrameParams chosen = FitParams(base, choice.Point);
        if (!choice.Fits) {
            // The estimate may be wrong either way: the smallest settings'
            // real size decides.
            run.Smallest = sampler.Exact(chosen);
            if (run.Smallest == 0 || run.Smallest > limit) {
                run.Params = chosen;
                return run;
            }
        }
        host.Params = chosen;
        TMemoryStream memory;
        run.Outcome = ConvertToMemory(host, memory, options);
        ++run.Encodes;
        run.Params = chosen;
        if (run.Outcome.End != TJobEnd::Finished)
            return run;
        if (run.Outcome.Bytes <= limit) {
            WriteOutput(output, memory);
            return run;
        }
        if (!choice.Fits) {
            // The smallest settings were measured to fit, yet did not.
            run.Smallest = run.Outcome.Bytes;
            break;
        }
        search.Over(choice, run.Outcome.Bytes);
    }
    run.Outcome = TJobOutcome{};
    if (run.Smallest == 0)
        run.Smallest = sampler.Exact(FitParams(
            base, {kFitQualityFloor, base.Step * kFitMaxStepFactor, kFitMinScalePercent}));
    return run;
}

} // namespace framolo
