#include "cli/gif_file_output.h"

#include "platform/streams/stream.h"

#include <memory>

namespace framolo {

TJobOutcome ConvertAviToGifFile(TFrameParamSource& source, TConversionSink& sink,
                                TOutputFile& output, const TAviToGifStreamJob::TOptions& options) {
    // The writer goes back to the header once the frames are known, which a
    // pipe cannot do: a target written in place gets the bytes from memory.
    std::unique_ptr<TMemoryStream> inMemory;
    std::unique_ptr<TFileStream> file;
    if (output.InPlace())
        inMemory = std::make_unique<TMemoryStream>();
    else
        file = std::make_unique<TFileStream>(output.WritePath(), fmCreate);
    TStream& target = inMemory ? static_cast<TStream&>(*inMemory) : *file;
    TJobOutcome outcome;
    {
        TStoppableStage stage;
        TAviToGifStreamJob job(source, sink, target, options);
        outcome = job.Run();
    }
    if (outcome.End == TJobEnd::Finished && StopSignalled())
        outcome.End = TJobEnd::Stopped;
    if (outcome.End != TJobEnd::Finished)
        return outcome;
    if (inMemory) {
        output.WriteInPlace(inMemory->Memory(), static_cast<std::size_t>(inMemory->Size()));
    } else {
        file->Flush();
        file.reset();
        output.Commit();
    }
    return outcome;
}

} // namespace framolo
