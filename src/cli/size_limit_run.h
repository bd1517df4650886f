#pragma once

#include "cli/cli_host.h"
#include "convert/avi_to_gif_stream_job.h"
#include "convert/size_fit.h"
#include "platform/streams/output_file.h"

#include <cstdint>
#include <string>

namespace framolo {

// The outcome of a run under a size limit.
struct TLimitedRun {
    TJobOutcome Outcome;
    // The settings written with (quality, step, width, height in Params).
    TFrameParams Params;
    // When nothing fits: the smallest file the allowed settings make.
    std::int64_t Smallest = 0;
    // Full conversions made (1 when the first one fitted), and estimates.
    int Encodes = 0;
    int Estimates = 0;
};

// Converts host's clip with host.Params (at the quality the road has, the
// step and size asked for) into output, giving up quality, then frame rate,
// then size (see ChooseFit) until the file is at most limit bytes. Settings
// are chosen from estimates of a sample; the clip is converted again only
// when the file is over the limit, and only a file within it is written. When
// even the smallest settings do not fit, writes nothing: Outcome.End is
// NotStarted and Smallest says how close they come.
TLimitedRun ConvertUnderLimit(TCliHost& host, TOutputFile& output,
                              const TAviToGifStreamJob::TOptions& options, std::int64_t limit);

} // namespace framolo
