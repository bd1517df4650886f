#include "cli/size_limit_run.h"

#include "cli/signal_cleanup.h"
#include "convert/size_estimate.h"
#include "platform/streams/stream.h"

#include <algorithm>
#include <map>
#include <memory>
#include <tuple>

namespace framolo {

namespace {

// Estimates aim this far under the limit, since a sample may be off by a few
// per cent either way.
constexpr double kTargetShare = 0.9;
// Conversions a run makes at most before it gives up on the limit.
constexpr int kMostEncodes = 4;

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
    // Estimates are kept across attempts: a second search mostly reuses them.
    std::map<std::tuple<int, int, int, int>, std::int64_t> estimates;
    const auto estimate = [&](const TFrameParams& params) {
        const auto key = std::tuple{params.Quality, params.Step, params.Width, params.Height};
        const auto it = estimates.find(key);
        if (it != estimates.end())
            return it->second;
        ++run.Estimates;
        return estimates[key] = sampler.Estimate(params).Bytes;
    };
    double target = static_cast<double>(limit) * kTargetShare;
    while (run.Encodes < kMostEncodes) {
        const TFitChoice choice = ChooseFit(base, static_cast<std::int64_t>(target), estimate);
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
        // Over the limit: the estimates run low by the share this one did, so
        // the goal, in estimated bytes, is lowered by that share.
        target = std::min(target * 0.95, target * static_cast<double>(choice.Estimate) /
                                             static_cast<double>(run.Outcome.Bytes));
    }
    run.Outcome = TJobOutcome{};
    if (run.Smallest == 0)
        run.Smallest = sampler.Exact(FitParams(
            base, {kFitQualityFloor, base.Step * kFitMaxStepFactor, kFitMinScalePercent}));
    return run;
}

} // namespace framolo
