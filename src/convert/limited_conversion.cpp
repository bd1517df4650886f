#include "convert/limited_conversion.h"

namespace framolo {

TLimitedRun RunUnderLimit(const TFrameParams& base, std::int64_t limit,
                          TLimitedConverter& converter) {
    TLimitedRun run;
    TLimitedSearch search(base, limit, [&converter](const TFrameParams& params) {
        return converter.Estimate(params);
    });
    while (run.Encodes < TLimitedSearch::kMostConversions) {
        const std::optional<TFitChoice> choice = converter.Search([&] { return search.Choose(); });
        run.Estimates = search.Estimates();
        if (!choice) {
            run.Stopped = true;
            run.Outcome = TJobOutcome{};
            return run;
        }
        run.Params = FitParams(base, choice->Point);
        // Below the smallest settings nothing is tried: the estimate may be
        // wrong either way, and their real size decides.
        run.Outcome = converter.Convert(run.Params);
        ++run.Encodes;
        run.LastBytes = run.Outcome.Bytes;
        run.TriedSmallest = !choice->Fits;
        if (run.Outcome.End != TJobEnd::Finished ||
            (run.Outcome.Bytes > 0 && run.Outcome.Bytes <= limit)) {
            run.Stopped = run.Outcome.End == TJobEnd::Stopped;
            converter.Keep();
            return run;
        }
        converter.Drop();
        if (!choice->Fits)
            break;
        search.Over(*choice, run.Outcome.Bytes);
    }
    run.Outcome = TJobOutcome{};
    return run;
}

} // namespace framolo
