#pragma once

#include "cli/signal_cleanup.h"
#include "convert/avi_to_gif_stream_job.h"
#include "platform/streams/output_file.h"
#include "platform/streams/stream.h"

namespace framolo {

// Runs the streaming AVI to GIF conversion into output. While frames are read
// and converted, an ending signal only asks the run to stop; once they are
// done, the result takes its place (a target written in place gets it in one
// pass, as a pipe needs). A stop, a signal or a failure leaves nothing behind:
// the output's temporary file goes with it.
TJobOutcome ConvertAviToGifFile(TFrameParamSource& source, TJobHost& sink, TOutputFile& output,
                                const TAviToGifStreamJob::TOptions& options);

// The conversion alone, into target: an ending signal only asks it to stop,
// and a run it ended counts as stopped.
TJobOutcome ConvertAviToGifStoppably(TFrameParamSource& source, TJobHost& sink, TStream& target,
                                     const TAviToGifStreamJob::TOptions& options);

// Puts a converted GIF held in memory into output's place.
void WriteGifOutput(TOutputFile& output, TMemoryStream& gif);

} // namespace framolo
