#include "cli/gif_file_output.h"

#include "platform/streams/stream.h"

#include <cstdio>
#include <memory>

namespace framolo {

TJobOutcome ConvertAviToGifFile(TConversionHost& host, const std::string& path,
                                const TAviToGifStreamJob::TOptions& options) {
    const std::string temp = path + ".part";
    TJobOutcome outcome;
    try {
        auto out = std::make_unique<TFileStream>(temp, fmCreate);
        TAviToGifStreamJob job(host, *out, options);
        outcome = job.Run();
        if (outcome.End == TJobEnd::Finished)
            out->Flush();
    } catch (...) {
        std::remove(temp.c_str());
        throw;
    }
    if (outcome.End != TJobEnd::Finished) {
        std::remove(temp.c_str());
        return outcome;
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        throw EFOpenError("Cannot create file \"" + path + "\"");
    }
    return outcome;
}

} // namespace framolo
