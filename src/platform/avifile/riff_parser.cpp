#include "platform/avifile/riff_parser.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/avifile/avifile_types.h"
#include "platform/bytes/little_endian.h"

namespace framolo {

bool TMemoryByteSource::ReadAt(std::uint64_t offset, void* dst, std::size_t n) {
    if (offset > FData.size() || n > FData.size() - offset) {
        return false;
    }
    if (n != 0) {
        std::memcpy(dst, FData.data() + offset, n);
    }
    return true;
}

namespace {

bool SeekTo(std::FILE* f, std::uint64_t offset) {
#if defined(_WIN32)
    return _fseeki64(f, static_cast<long long>(offset), SEEK_SET) == 0;
#else
    return fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

std::uint64_t TellEnd(std::FILE* f) {
#if defined(_WIN32)
    if (_fseeki64(f, 0, SEEK_END) != 0)
        return 0;
    const long long n = _ftelli64(f);
#else
    if (fseeko(f, 0, SEEK_END) != 0)
        return 0;
    const off_t n = ftello(f);
#endif
    return n > 0 ? static_cast<std::uint64_t>(n) : 0;
}

} // namespace

std::unique_ptr<TFileByteSource> TFileByteSource::Open(const std::string& path) {
    std::unique_ptr<std::FILE, TCloser> f(std::fopen(path.c_str(), "rb"));
    if (!f) {
        return nullptr;
    }
    auto source = std::make_unique<TFileByteSource>();
    source->FSize = TellEnd(f.get());
    source->FFile = std::move(f);
    return source;
}

bool TFileByteSource::ReadAt(std::uint64_t offset, void* dst, std::size_t n) {
    if (offset > FSize || n > FSize - offset) {
        return false;
    }
    if (!SeekTo(FFile.get(), offset)) {
        return false;
    }
    return std::fread(dst, 1, n, FFile.get()) == n;
}

namespace {

constexpr std::uint32_t kRIFF = MakeFourCC('R', 'I', 'F', 'F');
constexpr std::uint32_t kLIST = MakeFourCC('L', 'I', 'S', 'T');
constexpr std::uint32_t kAVI = MakeFourCC('A', 'V', 'I', ' ');
constexpr std::uint32_t kAVIX = MakeFourCC('A', 'V', 'I', 'X');
constexpr std::uint32_t kHdrl = MakeFourCC('h', 'd', 'r', 'l');
constexpr std::uint32_t kStrl = MakeFourCC('s', 't', 'r', 'l');
constexpr std::uint32_t kOdml = MakeFourCC('o', 'd', 'm', 'l');
constexpr std::uint32_t kMovi = MakeFourCC('m', 'o', 'v', 'i');
constexpr std::uint32_t kRec = MakeFourCC('r', 'e', 'c', ' ');
constexpr std::uint32_t kAvih = MakeFourCC('a', 'v', 'i', 'h');
constexpr std::uint32_t kStrh = MakeFourCC('s', 't', 'r', 'h');
constexpr std::uint32_t kStrf = MakeFourCC('s', 't', 'r', 'f');
constexpr std::uint32_t kStrn = MakeFourCC('s', 't', 'r', 'n');
constexpr std::uint32_t kIndx = MakeFourCC('i', 'n', 'd', 'x');
constexpr std::uint32_t kDmlh = MakeFourCC('d', 'm', 'l', 'h');
constexpr std::uint32_t kIdx1 = MakeFourCC('i', 'd', 'x', '1');

constexpr int kMaxListDepth = 4;

// The first bytes of a header chunk whose data starts at `start` and has
// `avail` bytes; what the chunk does not fill of `out` keeps its value. False
// when fewer than `least` bytes are there.
template <std::size_t N>
bool ReadHeaderBytes(TByteSource& source, std::uint64_t start, std::uint64_t avail,
                     std::size_t least, std::array<std::uint8_t, N>& out) {
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(avail, N));
    return n >= least && source.ReadAt(start, out.data(), n);
}

// Stream number of a sample chunk id "##xx", or -1. Palette changes
// ("##pc") belong to a stream but are not samples of it.
int StreamOfChunkId(std::uint32_t id) {
    const int c0 = static_cast<int>(id & 0xFF);
    const int c1 = static_cast<int>((id >> 8) & 0xFF);
    if (c0 < '0' || c0 > '9' || c1 < '0' || c1 > '9') {
        return -1;
    }
    if ((id >> 16) == (MakeFourCC('\0', '\0', 'p', 'c') >> 16)) {
        return -1;
    }
    return (c0 - '0') * 10 + (c1 - '0');
}

// Stream number of a palette change chunk "##pc", or -1.
int StreamOfPaletteChange(std::uint32_t id) {
    if ((id >> 16) != (MakeFourCC('\0', '\0', 'p', 'c') >> 16)) {
        return -1;
    }
    return StreamOfChunkId((id & 0xFFFFu) | MakeFourCC('\0', '\0', 'd', 'c'));
}

struct TChunkHeader {
    std::uint32_t Id = 0;
    std::uint32_t Size = 0;
    std::uint64_t DataStart = 0;
    std::uint64_t DataEnd = 0; // as declared; may lie beyond the enclosing list
    std::uint64_t Next = 0;    // DataEnd rounded up to even
};

bool ReadChunkHeader(TByteSource& src, std::uint64_t pos, std::uint64_t end, TChunkHeader& ch) {
    if (end < 8 || pos > end - 8) {
        return false;
    }
    std::array<std::uint8_t, 8> b{};
    if (!src.ReadAt(pos, b.data(), b.size())) {
        return false;
    }
    ch.Id = GetLE32(b.data());
    ch.Size = GetLE32(b.data() + 4);
    ch.DataStart = pos + 8;
    ch.DataEnd = ch.DataStart + ch.Size;
    ch.Next = ch.DataEnd + (ch.Size & 1u);
    return true;
}

class TParser {
public:
    TParser(TByteSource& src, std::string* error) : FSrc(src), FError(error) {}

    std::optional<TAviLayout> Run();

private:
    struct TMoviRange {
        std::uint64_t Begin = 0; // first chunk after the 'movi' type
        std::uint64_t End = 0;
    };
    struct TSuperEntry {
        std::uint64_t Offset = 0;
        std::uint32_t Size = 0;
    };

    bool Fail(const char* why) {
        if (FError) {
            *FError = why;
        }
        return false;
    }
    bool ParseHdrl(std::uint64_t begin, std::uint64_t end, int depth);
    bool ParseStrl(std::uint64_t begin, std::uint64_t end);
    void FindMovi(std::uint64_t begin, std::uint64_t end, int depth);
    bool ReadSuperIndex(std::size_t stream, std::uint64_t begin, std::uint32_t size);
    void ReadOpenDmlIndex(std::size_t stream);
    void ReadIdx1();
    void ScanMovi(const TMoviRange& range, int onlyStream);
    bool AddChunk(std::size_t stream, std::uint32_t size, bool key);

    TByteSource& FSrc;
    std::string* FError;
    TAviLayout FLayout;
    bool FHaveAvih = false;
    std::vector<TMoviRange> FMovi; // one per RIFF part that has one
    std::vector<std::vector<TSuperEntry>> FSuper;
    std::uint64_t FIdx1Begin = 0;
    std::uint64_t FIdx1End = 0;
    std::size_t FTotalChunks = 0;
};

std::optional<TAviLayout> TParser::Run() {
    const std::uint64_t fileSize = FSrc.Size();
    std::array<std::uint8_t, 12> head{};
    if (!FSrc.ReadAt(0, head.data(), head.size()) || GetLE32(head.data()) != kRIFF ||
        GetLE32(head.data() + 8) != kAVI) {
        Fail("not an AVI file");
        return std::nullopt;
    }
    // A RIFF size beyond the end of the file is a file cut short or never
    // finished; what is there is still read.
    const std::uint64_t riffEnd =
        std::min<std::uint64_t>(8 + std::uint64_t{GetLE32(head.data() + 4)}, fileSize);
    FLayout.CutShort = 8 + std::uint64_t{GetLE32(head.data() + 4)} > fileSize;
    FLayout.RiffParts = 1;
    std::uint64_t pos = 12;
    bool sawMovi = false;
    TChunkHeader ch;
    while (ReadChunkHeader(FSrc, pos, riffEnd, ch)) {
        const std::uint64_t end = std::min(ch.DataEnd, riffEnd);
        if (ch.Id == kLIST && ch.Size >= 4) {
            std::array<std::uint8_t, 4> type{};
            if (!FSrc.ReadAt(ch.DataStart, type.data(), 4)) {
                break;
            }
            const std::uint32_t listType = GetLE32(type.data());
            if (listType == kHdrl) {
                if (!ParseHdrl(ch.DataStart + 4, end, 1)) {
                    return std::nullopt;
                }
            } else if (listType == kMovi && !sawMovi) {
                FMovi.push_back({ch.DataStart + 4, end});
                sawMovi = true;
            }
        } else if (ch.Id == kIdx1 && FIdx1End == 0) {
            FIdx1Begin = ch.DataStart;
            FIdx1End = end;
        }
        if (ch.DataEnd >= riffEnd) {
            break;
        }
        pos = ch.Next;
    }
    if (!FHaveAvih) {
        Fail("missing main header");
        return std::nullopt;
    }
    if (FLayout.Streams.empty()) {
        Fail("no stream headers");
        return std::nullopt;
    }

    // OpenDML continuation parts follow the first RIFF back to back.
    pos = 8 + std::uint64_t{GetLE32(head.data() + 4)};
    pos += pos & 1u;
    while (FLayout.RiffParts < kAviMaxRiffParts && ReadChunkHeader(FSrc, pos, fileSize, ch)) {
        std::array<std::uint8_t, 4> type{};
        if (ch.Id != kRIFF || ch.Size < 4 || !FSrc.ReadAt(ch.DataStart, type.data(), 4) ||
            GetLE32(type.data()) != kAVIX) {
            break;
        }
        FLayout.OpenDml = true;
        ++FLayout.RiffParts;
        const std::size_t before = FMovi.size();
        FindMovi(ch.DataStart + 4, std::min(ch.DataEnd, fileSize), 0);
        if (FMovi.size() == before) {
            FMovi.push_back({0, 0}); // keeps part numbers aligned with the super index
        }
        if (ch.DataEnd >= fileSize) {
            break;
        }
        pos = ch.Next;
    }

    bool anySuper = false;
    for (std::size_t s = 0; s < FLayout.Streams.size(); ++s) {
        if (!FSuper[s].empty()) {
            anySuper = true;
            ReadOpenDmlIndex(s);
        }
    }
    if (!anySuper) {
        if (FIdx1End > FIdx1Begin) {
            ReadIdx1();
        }
        bool anyIndexed = false;
        for (const auto& st : FLayout.Streams) {
            anyIndexed = anyIndexed || st.IndexSource == TAviIndexSource::Idx1;
        }
        if (!anyIndexed) {
            for (const auto& m : FMovi) {
                ScanMovi(m, -1);
            }
            for (auto& st : FLayout.Streams) {
                st.IndexSource = TAviIndexSource::Scan;
            }
        }
    }
    for (auto& st : FLayout.Streams) {
        st.EmptyChunks = static_cast<std::uint32_t>(std::count_if(
            st.Chunks.begin(), st.Chunks.end(), [](const TAviChunk& c) { return c.Size == 0; }));
    }
    return std::move(FLayout);
}

bool TParser::ParseHdrl(std::uint64_t begin, std::uint64_t end, int depth) {
    std::uint64_t pos = begin;
    TChunkHeader ch;
    while (ReadChunkHeader(FSrc, pos, end, ch)) {
        const std::uint64_t dataEnd = std::min(ch.DataEnd, end);
        const std::uint64_t avail = dataEnd - ch.DataStart;
        if (ch.Id == kAvih && !FHaveAvih) {
            std::array<std::uint8_t, 56> b{};
            if (!ReadHeaderBytes(FSrc, ch.DataStart, avail, 40, b)) {
                return Fail("main header too short");
            }
            auto& m = FLayout.Main;
            m.dwMicroSecPerFrame = GetLE32(&b[0]);
            m.dwMaxBytesPerSec = GetLE32(&b[4]);
            m.dwPaddingGranularity = GetLE32(&b[8]);
            m.dwFlags = GetLE32(&b[12]);
            m.dwTotalFrames = GetLE32(&b[16]);
            m.dwInitialFrames = GetLE32(&b[20]);
            m.dwStreams = GetLE32(&b[24]);
            m.dwSuggestedBufferSize = GetLE32(&b[28]);
            m.dwWidth = GetLE32(&b[32]);
            m.dwHeight = GetLE32(&b[36]);
            FHaveAvih = true;
        } else if (ch.Id == kLIST && avail >= 4 && depth < kMaxListDepth) {
            std::array<std::uint8_t, 4> type{};
            if (!FSrc.ReadAt(ch.DataStart, type.data(), 4)) {
                return Fail("truncated header list");
            }
            const std::uint32_t listType = GetLE32(type.data());
            if (listType == kStrl) {
                if (!ParseStrl(ch.DataStart + 4, dataEnd)) {
                    return false;
                }
            } else if (listType == kOdml) {
                TChunkHeader d;
                std::array<std::uint8_t, 4> total{};
                if (ReadChunkHeader(FSrc, ch.DataStart + 4, dataEnd, d) && d.Id == kDmlh &&
                    d.Size >= 4 && FSrc.ReadAt(d.DataStart, total.data(), 4)) {
                    FLayout.OdmlTotalFrames = GetLE32(total.data());
                    FLayout.OpenDml = true;
                }
            }
        }
        if (ch.DataEnd >= end) {
            break;
        }
        pos = ch.Next;
    }
    return true;
}

bool TParser::ParseStrl(std::uint64_t begin, std::uint64_t end) {
    if (FLayout.Streams.size() >= kAviMaxStreams) {
        return Fail("too many streams");
    }
    TAviStreamLayout st;
    bool haveStrh = false;
    std::uint64_t indxBegin = 0;
    std::uint32_t indxSize = 0;
    std::uint64_t pos = begin;
    TChunkHeader ch;
    while (ReadChunkHeader(FSrc, pos, end, ch)) {
        const std::uint64_t dataEnd = std::min(ch.DataEnd, end);
        const std::uint64_t avail = dataEnd - ch.DataStart;
        if (ch.Id == kStrh && !haveStrh) {
            std::array<std::uint8_t, 56> b{};
            // Old writers stop before the frame rectangle (48 bytes); it stays 0.
            if (!ReadHeaderBytes(FSrc, ch.DataStart, avail, 48, b)) {
                return Fail("stream header too short");
            }
            auto& h = st.Header;
            h.fccType = GetLE32(&b[0]);
            h.fccHandler = GetLE32(&b[4]);
            h.dwFlags = GetLE32(&b[8]);
            h.wPriority = GetLE16(&b[12]);
            h.wLanguage = GetLE16(&b[14]);
            h.dwInitialFrames = GetLE32(&b[16]);
            h.dwScale = GetLE32(&b[20]);
            h.dwRate = GetLE32(&b[24]);
            h.dwStart = GetLE32(&b[28]);
            h.dwLength = GetLE32(&b[32]);
            h.dwSuggestedBufferSize = GetLE32(&b[36]);
            h.dwQuality = GetLE32(&b[40]);
            h.dwSampleSize = GetLE32(&b[44]);
            h.rcLeft = static_cast<std::int16_t>(GetLE16(&b[48]));
            h.rcTop = static_cast<std::int16_t>(GetLE16(&b[50]));
            h.rcRight = static_cast<std::int16_t>(GetLE16(&b[52]));
            h.rcBottom = static_cast<std::int16_t>(GetLE16(&b[54]));
            haveStrh = true;
        } else if (ch.Id == kStrf && st.Format.empty()) {
            if (avail > kAviMaxFormatSize) {
                return Fail("stream format too large");
            }
            st.Format.resize(static_cast<std::size_t>(avail));
            if (!FSrc.ReadAt(ch.DataStart, st.Format.data(), st.Format.size())) {
                return Fail("truncated stream format");
            }
        } else if (ch.Id == kStrn && st.Name.empty() && avail > 0) {
            std::array<char, 64> name{};
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(avail, 63));
            if (FSrc.ReadAt(ch.DataStart, name.data(), n)) {
                st.Name.assign(name.data(), std::find(name.data(), name.data() + n, '\0'));
            }
        } else if (ch.Id == kIndx && indxSize == 0) {
            indxBegin = ch.DataStart;
            indxSize = static_cast<std::uint32_t>(avail);
        }
        if (ch.DataEnd >= end) {
            break;
        }
        pos = ch.Next;
    }
    if (!haveStrh) {
        return Fail("stream list without stream header");
    }
    FLayout.Streams.push_back(std::move(st));
    FSuper.emplace_back();
    if (indxSize != 0) {
        ReadSuperIndex(FLayout.Streams.size() - 1, indxBegin, indxSize);
    }
    return true;
}

bool TParser::ReadSuperIndex(std::size_t stream, std::uint64_t begin, std::uint32_t size) {
    std::array<std::uint8_t, 24> h{};
    if (size < h.size() || !FSrc.ReadAt(begin, h.data(), h.size())) {
        return false;
    }
    const std::uint16_t longsPerEntry = GetLE16(&h[0]);
    const std::uint8_t indexType = h[3];
    const std::uint32_t entries = GetLE32(&h[4]);
    // Only an index of indexes with 16-byte entries is used; anything else
    // falls back to idx1 or a scan.
    if (indexType != 0 || longsPerEntry != 4) {
        return false;
    }
    const std::uint32_t fit = (size - 24) / 16;
    const std::uint32_t n = std::min(entries, fit);
    std::array<std::uint8_t, 16> e{};
    for (std::uint32_t i = 0; i < n; ++i) {
        if (!FSrc.ReadAt(begin + 24 + std::uint64_t{i} * 16, e.data(), e.size())) {
            break;
        }
        FSuper[stream].push_back({GetLE64(&e[0]), GetLE32(&e[8])});
    }
    return true;
}

bool TParser::AddChunk(std::size_t stream, std::uint32_t size, bool key) {
    // Every real chunk, empty ones included, takes 8 bytes of the file; an
    // index that lists more than that repeats itself.
    if (FTotalChunks >= kAviMaxChunks || FTotalChunks >= FSrc.Size() / 8) {
        return false;
    }
    ++FTotalChunks;
    FLayout.Streams[stream].Chunks.push_back({size, key});
    return true;
}

void TParser::ReadOpenDmlIndex(std::size_t stream) {
    auto& st = FLayout.Streams[stream];
    st.IndexSource = TAviIndexSource::OpenDml;
    std::size_t coveredParts = 0;
    std::uint64_t lastOffset = 0;
    for (const TSuperEntry& se : FSuper[stream]) {
        // Parts follow one another; an entry that points back is damage.
        if (coveredParts > 0 && se.Offset <= lastOffset) {
            break;
        }
        lastOffset = se.Offset;
        TChunkHeader ch;
        std::array<std::uint8_t, 24> h{};
        if (!ReadChunkHeader(FSrc, se.Offset, FSrc.Size(), ch) || ch.Size < 24 ||
            !FSrc.ReadAt(ch.DataStart, h.data(), h.size())) {
            break;
        }
        if (GetLE16(&h[0]) != 2 || h[3] != 1) {
            break;
        }
        const std::uint64_t avail = std::min(ch.DataEnd, FSrc.Size()) - ch.DataStart;
        const std::uint64_t fit = (avail - 24) / 8;
        const std::uint64_t n = std::min<std::uint64_t>(GetLE32(&h[4]), fit);
        constexpr std::size_t kBlock = 4096;
        std::vector<std::uint8_t> block(kBlock * 8);
        for (std::uint64_t i = 0; i < n; i += kBlock) {
            const std::size_t count =
                static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, n - i));
            if (!FSrc.ReadAt(ch.DataStart + 24 + i * 8, block.data(), count * 8)) {
                return;
            }
            for (std::size_t k = 0; k < count; ++k) {
                const std::uint32_t sz = GetLE32(&block[k * 8 + 4]);
                if (!AddChunk(stream, sz & 0x7FFFFFFFu, (sz & 0x80000000u) == 0)) {
                    return;
                }
            }
        }
        ++coveredParts;
    }
    // A file that was never finished has parts its super index does not list
    // yet; their chunks are found by walking them.
    for (std::size_t p = coveredParts; p < FMovi.size(); ++p) {
        ScanMovi(FMovi[p], static_cast<int>(stream));
    }
}

void TParser::ReadIdx1() {
    constexpr std::size_t kBlock = 4096;
    std::vector<std::uint8_t> block(kBlock * 16);
    const std::uint64_t n = (FIdx1End - FIdx1Begin) / 16;
    for (std::uint64_t i = 0; i < n; i += kBlock) {
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, n - i));
        if (!FSrc.ReadAt(FIdx1Begin + i * 16, block.data(), count * 16)) {
            break;
        }
        for (std::size_t k = 0; k < count; ++k) {
            const std::uint8_t* e = &block[k * 16];
            const int pc = StreamOfPaletteChange(GetLE32(e));
            if (pc >= 0 && static_cast<std::size_t>(pc) < FLayout.Streams.size()) {
                ++FLayout.Streams[static_cast<std::size_t>(pc)].PaletteChanges;
                continue;
            }
            const int s = StreamOfChunkId(GetLE32(e));
            if (s < 0 || static_cast<std::size_t>(s) >= FLayout.Streams.size()) {
                continue; // 'rec ' entries and stray ids
            }
            if (!AddChunk(static_cast<std::size_t>(s), GetLE32(e + 12),
                          (GetLE32(e + 4) & AVIIF_KEYFRAME) != 0)) {
                return;
            }
            FLayout.Streams[static_cast<std::size_t>(s)].IndexSource = TAviIndexSource::Idx1;
        }
    }
}

void TParser::FindMovi(std::uint64_t begin, std::uint64_t end, int depth) {
    std::uint64_t pos = begin;
    TChunkHeader ch;
    while (ReadChunkHeader(FSrc, pos, end, ch)) {
        std::array<std::uint8_t, 4> type{};
        if (ch.Id == kLIST && ch.Size >= 4 && FSrc.ReadAt(ch.DataStart, type.data(), 4) &&
            GetLE32(type.data()) == kMovi) {
            FMovi.push_back({ch.DataStart + 4, std::min(ch.DataEnd, end)});
            return;
        }
        if (ch.DataEnd >= end || depth > kMaxListDepth) {
            return;
        }
        pos = ch.Next;
    }
}

void TParser::ScanMovi(const TMoviRange& range, int onlyStream) {
    std::uint64_t pos = range.Begin;
    TChunkHeader ch;
    while (ReadChunkHeader(FSrc, pos, range.End, ch)) {
        if (ch.Id == kLIST) {
            // 'rec ' groups hold ordinary chunks; step inside.
            std::array<std::uint8_t, 4> type{};
            if (ch.Size >= 4 && FSrc.ReadAt(ch.DataStart, type.data(), 4) &&
                GetLE32(type.data()) == kRec) {
                pos = ch.DataStart + 4;
                continue;
            }
        } else {
            const int s = StreamOfChunkId(ch.Id);
            // A chunk that runs past the data present was cut off while it was
            // written; it is not a frame.
            if (ch.DataEnd > range.End) {
                return;
            }
            const int pc = StreamOfPaletteChange(ch.Id);
            if (pc >= 0 && static_cast<std::size_t>(pc) < FLayout.Streams.size() &&
                (onlyStream < 0 || pc == onlyStream)) {
                ++FLayout.Streams[static_cast<std::size_t>(pc)].PaletteChanges;
            }
            if (s >= 0 && static_cast<std::size_t>(s) < FLayout.Streams.size() &&
                (onlyStream < 0 || s == onlyStream)) {
                if (!AddChunk(static_cast<std::size_t>(s), ch.Size, true)) {
                    return;
                }
            }
        }
        if (ch.Next <= pos) {
            return;
        }
        pos = ch.Next;
    }
}

} // namespace

bool LooksLikeAvi(TByteSource& source) {
    std::array<std::uint8_t, 12> head{};
    return source.ReadAt(0, head.data(), head.size()) && GetLE32(head.data()) == kRIFF &&
           GetLE32(head.data() + 8) == kAVI;
}

std::optional<TAviLayout> ParseAviLayout(TByteSource& source, std::string* error) {
    TParser parser(source, error);
    return parser.Run();
}

} // namespace framolo
