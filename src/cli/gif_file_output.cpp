#include "cli/gif_file_output.h"

#include "platform/streams/stream.h"

#include <memory>

namespace framolo {

TJobOutcome ConvertAviToGifFile(TFrameParamSource& source, TJobHost& sink, TOutputFile& output,
                                const TAviToGifStreamJob::TOptions& options) {
    // The writer goes back to the header once the frames are known, which a
    // pipe cannot do: a target written in place gets the bytes from memory.
    std::unique_ptr<TMemoryStream> inMemory;
    std::unique_ptr<TFileStream> file;
    if (output.InPlace())
        inMemory = std::make_unique<TMemoryStream>();
    else
        file = std::make_unique<TFileStream>(output.WritePath(), fmCreate);
    TStream& target = inMemory ? static_cast<TStream&>(*inMemory) : *file;
    const TJobOutcome outcome = ConvertAviToGifStoppably(source, sink, target, options);
    if (outcome.End != TJobEnd::Finished)
        return outcome;
    if (inMemory) {
        WriteGifOutput(output, *inMemory);
    } else {
        file->Flush();
        file.reset();
        output.Commit();
    }
    return outcome;
}

TJobOutcome ConvertAviToGifStoppably(TFrameParamSource& source, TJobHost& sink, TStream& target,
                                     const TAviToGifStreamJob::TOptions& options) {
    TJobOutcome outcome;
    {
        TStoppableStage stage;
        outcome = TAviToGifStreamJob(source, sink, target, options).Run();
    }
    if (outcome.End == TJobEnd::Finished && StopSignalled())
        outcome.End = TJobEnd::Stopped;
    return outcome;
}

void WriteGifOutput(TOutputFile& output, TMemoryStream& gif) {
    const auto size = static_cast<std::size_t>(gif.Size());
    if (output.InPlace()) {
        output.WriteInPlace(gif.Memory(), size);
        return;
    }
    {
        TFileStream file(output.WritePath(), fmCreate);
        file.WriteBuffer(gif.Memory(), size);
        file.Flush();
    }
    output.Commit();
}

} // namespace framolo
