#pragma once

#include "cli/signal_cleanup.h"
#include "convert/avi_to_gif_stream_job.h"

namespace framolo {

// Runs the streaming AVI to GIF conversion into output. While frames are read
// and converted, an ending signal only asks the run to stop; once they are
// done, the result takes its place (a target written in place gets it in one
// pass, as a pipe needs). A stop, a signal or a failure leaves nothing behind:
// the output's temporary file goes with it.
TJobOutcome ConvertAviToGifFile(TFrameParamSource& source, TConversionSink& sink,
                                TOutputFile& output, const TAviToGifStreamJob::TOptions& options);

} // namespace framolo
