#pragma once

// Our own AVI writer. A file starts as AVI 1.0 (avih, strh, strf, a movi list
// and an idx1 index) and turns into an OpenDML file (indx super index, ix##
// chunk indexes, dmlh, further 'AVIX' parts) before a part would pass the part
// limit, 1 GiB by default.
//
// After every written sample the RIFF and movi sizes and the stream lengths in
// the file describe everything written so far, and the data is handed to the
// operating system. A file whose writer never closes is therefore a complete
// AVI file without idx1 that every reader can walk to its last frame.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/avifile/avifile_types.h"

namespace framolo {

// What the writer is doing when a write fails: chunk data, an index (idx1,
// ix##, indx), a patch of sizes and counts written earlier, or the final close.
enum class TAviWriteStep { Data, Index, Patch, Close };

struct TAviWriterOptions {
    // Largest size of one RIFF part. Tests lower it to reach OpenDML quickly.
    std::uint64_t PartLimit = std::uint64_t{1} << 30;
    // Room reserved in each stream header for the OpenDML super index: one
    // entry per part.
    std::uint32_t SuperIndexCapacity = 256;
    // Tests make a step fail as a full disk would: true fails the write.
    std::function<bool(TAviWriteStep)> FailStep;
};

// Options of the writers that AVIFileOpen creates from now on; tests use it to
// reach OpenDML quickly or to make a write fail. Not for concurrent use.
void SetAviWriterOptions(const TAviWriterOptions& options);
const TAviWriterOptions& AviWriterOptions();

class TAviWriter {
public:
    // Null when the file cannot be created.
    static std::unique_ptr<TAviWriter> Create(const std::string& path,
                                              const TAviWriterOptions& options = {});
    ~TAviWriter();
    TAviWriter(const TAviWriter&) = delete;
    TAviWriter& operator=(const TAviWriter&) = delete;

    // Index of the new stream, or -1 once samples have been written.
    int AddStream(const TAVIStreamInfo& info);
    THResult SetFormat(int stream, const void* format, std::size_t size);
    // Writes `samples` samples at sample number `start` (video: one frame per
    // call). A gap before `start` is filled with empty chunks.
    THResult Write(int stream, std::int64_t start, std::int64_t samples, const void* data,
                   std::size_t size, std::uint32_t flags);
    // Writes the indexes and final sizes; false if the file could not be
    // finished. Called by the destructor when not called before.
    bool Close();

    int StreamCount() const { return static_cast<int>(FStreams.size()); }
    TAVIStreamInfo Info(int stream) const;
    bool IsOpenDml() const { return FParts > 1; }

    TAviWriter() = default; // use Create

private:
    struct TEntry {
        std::uint64_t Offset = 0; // of the chunk header
        std::uint32_t Size = 0;
        bool Key = false;
    };
    struct TStream {
        TAVIStreamInfo Info;
        std::vector<std::uint8_t> Format;
        std::uint32_t ChunkId = 0;
        std::uint64_t StrhPos = 0;
        std::uint64_t IndxPos = 0; // reserved room, a JUNK chunk until OpenDML
        std::uint64_t Length = 0;  // samples written
        std::uint32_t MaxChunk = 0;
        std::vector<TEntry> PartEntries; // chunks of the current part
        std::vector<std::uint8_t> Super; // 16-byte super index entries
    };

    bool WriteHeaders();
    THResult WriteChunk(std::size_t stream, const void* data, std::uint32_t size, bool key);
    bool FinishPart(bool last);
    bool StartPart();
    bool PatchProgress();
    std::uint64_t IndexReserve(std::uint32_t extraEntries) const;

    bool Failing(TAviWriteStep step) const { return FOptions.FailStep && FOptions.FailStep(step); }
    bool Put(const void* data, std::size_t n, TAviWriteStep step = TAviWriteStep::Data);
    bool PutIndex(std::uint64_t pos, const std::vector<std::uint8_t>& bytes);
    bool Put32(std::uint32_t v);
    bool Put16(std::uint16_t v);
    bool PutAt(std::uint64_t pos, std::uint32_t v);
    bool SeekEnd();

    struct TCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, TCloser> FFile;
    TAviWriterOptions FOptions;
    std::vector<TStream> FStreams;
    bool FHeadersWritten = false;
    bool FClosed = false;
    bool FFailed = false;
    std::uint64_t FEnd = 0;     // current end of file
    std::uint64_t FAvihPos = 0; // start of avih data
    std::uint64_t FOdmlPos = 0; // reserved room for LIST odml
    std::uint64_t FRiffPos = 0; // header of the current RIFF part
    std::uint64_t FMoviPos = 0; // header of the current movi LIST
    std::uint32_t FParts = 1;
    std::uint64_t FFirstPartFrames = 0;
    std::vector<std::uint8_t> FIdx1; // entries of the first part
};

} // namespace framolo
