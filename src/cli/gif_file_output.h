#pragma once

#include "convert/avi_to_gif_stream_job.h"

#include <string>

namespace framolo {

// Runs the streaming AVI to GIF conversion into path. The frames go to a file
// beside it, which takes the final name only when the run has finished; a
// stop or a failure removes it, so nothing is left at path. Raises
// EFOpenError when neither file can be made.
TJobOutcome ConvertAviToGifFile(TConversionHost& host, const std::string& path,
                                const TAviToGifStreamJob::TOptions& options);

} // namespace framolo
