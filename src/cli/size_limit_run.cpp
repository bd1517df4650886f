#include "cli/size_limit_run.h"

#include "cli/gif_file_output.h"
#include "convert/size_estimate.h"
#include "platform/streams/stream.h"

namespace framolo {

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
        host.Params = chosen;
        TMemoryStream memory;
        // Below the smallest settings nothing is tried: the estimate may be
        // wrong either way, and their real size decides.
        run.Outcome = ConvertAviToGifStoppably(host, host, memory, options);
        ++run.Encodes;
        run.Params = chosen;
        if (run.Outcome.End != TJobEnd::Finished)
            return run;
        if (run.Outcome.Bytes <= limit) {
            WriteGifOutput(output, memory);
            return run;
        }
        if (!choice.Fits) {
            run.Smallest = run.Outcome.Bytes;
            break;
        }
        search.Over(choice, run.Outcome.Bytes);
    }
    run.Outcome = TJobOutcome{};
    if (run.Smallest == 0)
        run.Smallest = sampler.Exact(FitParams(base, SmallestFitPoint(base)));
    return run;
}

} // namespace framolo
