#pragma once

#include "cli/cli_host.h"
#include "convert/avi_to_gif_stream_job.h"
#include "convert/limited_conversion.h"
#include "platform/streams/output_file.h"

#include <cstdint>
#include <string>

namespace framolo {

// The command line's run under a size limit.
struct TCliLimitedRun : TLimitedRun {
    // When nothing fits: the smallest file the allowed settings make.
    std::int64_t Smallest = 0;
};

// Converts host's clip with host.Params (at the quality the road has, the
// step and size asked for) into output under limit bytes (see
// RunUnderLimit), converting into memory and writing only a file within the
// limit. When even the smallest settings do not fit, writes nothing:
// Outcome.End is NotStarted and Smallest says how close they come.
TCliLimitedRun ConvertUnderLimit(TCliHost& host, TOutputFile& output,
                                 const TAviToGifStreamJob::TOptions& options, std::int64_t limit);

} // namespace framolo
