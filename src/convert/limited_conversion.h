#pragma once

#include "convert/job_host.h"
#include "convert/size_fit.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace framolo {

// What a run under a size limit needs from its host: the command line
// converts into memory and writes the file that fits; the window shows each
// attempt's settings and keeps only a GIF that fits.
class TLimitedConverter {
public:
    virtual ~TLimitedConverter() = default;

    // The estimated size of a GIF of params.
    virtual std::int64_t Estimate(const TFrameParams& params) = 0;
    // Runs choose, the search for the next settings; unset when the person
    // stopped it (the window shows its Stop button while it searches).
    virtual std::optional<TFitChoice> Search(const std::function<TFitChoice()>& choose) {
        return choose();
    }
    // Converts with params and holds the result until Keep or Drop.
    virtual TJobOutcome Convert(const TFrameParams& params) = 0;
    // The held result is the run's: it fits, or the run ended without finishing.
    virtual void Keep() = 0;
    // The held result came out over the limit.
    virtual void Drop() = 0;
};

// How a run under a size limit ended.
struct TLimitedRun {
    // The last conversion's outcome; End is NotStarted when no GIF fits (or
    // the search was stopped before a conversion).
    TJobOutcome Outcome;
    // The settings of the last conversion.
    TFrameParams Params;
    // The last conversion, or the search, was stopped.
    bool Stopped = false;
    // The last conversion's size, and whether the smallest settings were tried.
    std::int64_t LastBytes = 0;
    bool TriedSmallest = false;
    // Full conversions made (1 when the first one fitted), and estimates.
    int Encodes = 0;
    int Estimates = 0;
};

// Converts with base's settings, giving up quality, then frame rate, then
// size (see ChooseFit) until the GIF is at most limit bytes. Settings come
// from estimates (TLimitedSearch); the clip is converted again only when a
// GIF is over the limit, at most TLimitedSearch::kMostConversions times, and
// only a GIF within it is kept. A run that fails or is stopped keeps what it
// made, as a plain run would.
TLimitedRun RunUnderLimit(const TFrameParams& base, std::int64_t limit,
                          TLimitedConverter& converter);

} // namespace framolo
