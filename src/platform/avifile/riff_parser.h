#pragma once

// Our own reading of an AVI file's RIFF structure: the main header, each
// stream's header, format and name, and each stream's chunk list from the
// OpenDML index, the idx1 index or, when neither is usable, a scan of the
// movi lists. FFmpeg does the demuxing; this parse gives the header values
// exactly as stored and finds empty (dropped) chunks, which FFmpeg hides.
//
// The parser trusts nothing: every size is checked against the data present,
// limits bound every allocation, and a file cut short yields what was read.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace framolo {

// Random-access bytes: a file or a memory buffer.
class TByteSource {
public:
    virtual ~TByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Reads exactly `n` bytes at `offset`; false if they are not all there.
    virtual bool ReadAt(std::uint64_t offset, void* dst, std::size_t n) = 0;
};

class TMemoryByteSource final : public TByteSource {
public:
    explicit TMemoryByteSource(std::span<const std::uint8_t> data) : FData(data) {}
    std::uint64_t Size() const override { return FData.size(); }
    bool ReadAt(std::uint64_t offset, void* dst, std::size_t n) override;

private:
    std::span<const std::uint8_t> FData;
};

class TFileByteSource final : public TByteSource {
public:
    // Null when the file cannot be opened.
    static std::unique_ptr<TFileByteSource> Open(const std::string& path);
    std::uint64_t Size() const override { return FSize; }
    bool ReadAt(std::uint64_t offset, void* dst, std::size_t n) override;

private:
    struct TCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, TCloser> FFile;
    std::uint64_t FSize = 0;
};

struct TAviMainHeader {
    std::uint32_t dwMicroSecPerFrame = 0;
    std::uint32_t dwMaxBytesPerSec = 0;
    std::uint32_t dwPaddingGranularity = 0;
    std::uint32_t dwFlags = 0;
    std::uint32_t dwTotalFrames = 0;
    std::uint32_t dwInitialFrames = 0;
    std::uint32_t dwStreams = 0;
    std::uint32_t dwSuggestedBufferSize = 0;
    std::uint32_t dwWidth = 0;
    std::uint32_t dwHeight = 0;
};

// A stream header as stored; the frame rectangle is four 16-bit values.
struct TAviStreamHeader {
    std::uint32_t fccType = 0;
    std::uint32_t fccHandler = 0;
    std::uint32_t dwFlags = 0;
    std::uint16_t wPriority = 0;
    std::uint16_t wLanguage = 0;
    std::uint32_t dwInitialFrames = 0;
    std::uint32_t dwScale = 0;
    std::uint32_t dwRate = 0;
    std::uint32_t dwStart = 0;
    std::uint32_t dwLength = 0;
    std::uint32_t dwSuggestedBufferSize = 0;
    std::uint32_t dwQuality = 0;
    std::uint32_t dwSampleSize = 0;
    std::int16_t rcLeft = 0;
    std::int16_t rcTop = 0;
    std::int16_t rcRight = 0;
    std::int16_t rcBottom = 0;
};

enum class TAviIndexSource { None, OpenDml, Idx1, Scan };

struct TAviChunk {
    std::uint32_t Size = 0;
    bool KeyFrame = false;
};

struct TAviStreamLayout {
    TAviStreamHeader Header;
    std::vector<std::uint8_t> Format;
    std::string Name;
    TAviIndexSource IndexSource = TAviIndexSource::None;
    std::vector<TAviChunk> Chunks;    // in file order; one per sample for video
    std::uint32_t EmptyChunks = 0;    // chunks of size 0 (dropped frames)
    std::uint32_t PaletteChanges = 0; // '##pc' chunks found in idx1 or the movi lists
};

struct TAviLayout {
    TAviMainHeader Main;
    std::vector<TAviStreamLayout> Streams;
    bool OpenDml = false;              // an 'odml' list or an 'AVIX' part is present
    std::uint32_t OdmlTotalFrames = 0; // from 'dmlh', 0 when absent
    std::uint32_t RiffParts = 0;       // 'AVI ' plus every 'AVIX'
    bool CutShort = false;             // the RIFF size runs past the end of the file
};

// Limits of the parse. Beyond them the file is refused rather than allocated.
constexpr std::size_t kAviMaxStreams = 100;
constexpr std::size_t kAviMaxFormatSize = 1u << 20;
constexpr std::size_t kAviMaxChunks = 1u << 26;
constexpr std::size_t kAviMaxRiffParts = 1u << 16;

// Parses the headers and indexes. Empty result, with a reason in `error`,
// when the data is not an AVI file or its header list is unusable.
std::optional<TAviLayout> ParseAviLayout(TByteSource& source, std::string* error = nullptr);

// True when the first bytes are a RIFF 'AVI ' header.
bool LooksLikeAvi(TByteSource& source);

} // namespace framolo
