#include "platform/avifile/riff_writer.h"

#include "platform/bytes/little_endian.h"

#include <algorithm>
#include <cmath>

namespace framolo {

namespace {

constexpr std::uint32_t kAVIF_HASINDEX = 0x10;
constexpr std::uint32_t kIndxHeaderSize = 24;
constexpr std::uint32_t kOdmlReserve = 4 + 8 + 248; // 'odml' + dmlh chunk
constexpr std::int64_t kMaxGap = std::int64_t{1} << 24;

bool SeekTo(std::FILE* f, std::uint64_t pos) {
#if defined(_WIN32)
    return _fseeki64(f, static_cast<long long>(pos), SEEK_SET) == 0;
#else
    return fseeko(f, static_cast<off_t>(pos), SEEK_SET) == 0;
#endif
}

void Append16(std::vector<std::uint8_t>& b, std::uint16_t v) {
    b.resize(b.size() + 2);
    PutLE16(b.data() + b.size() - 2, v);
}
void Append32(std::vector<std::uint8_t>& b, std::uint32_t v) {
    b.resize(b.size() + 4);
    PutLE32(b.data() + b.size() - 4, v);
}
void Append64(std::vector<std::uint8_t>& b, std::uint64_t v) {
    Append32(b, static_cast<std::uint32_t>(v));
    Append32(b, static_cast<std::uint32_t>(v >> 32));
}
std::int16_t Clamp16(int v) {
    return static_cast<std::int16_t>(std::clamp(v, -32768, 32767));
}
std::uint32_t TwoDigits(std::size_t n) {
    return static_cast<std::uint32_t>('0' + (n / 10) % 10) |
           (static_cast<std::uint32_t>('0' + n % 10) << 8);
}

TAviWriterOptions& WriterOptions() {
    static TAviWriterOptions options;
    return options;
}

} // namespace

void SetAviWriterOptions(const TAviWriterOptions& options) {
    WriterOptions() = options;
}

const TAviWriterOptions& AviWriterOptions() {
    return WriterOptions();
}

std::unique_ptr<TAviWriter> TAviWriter::Create(const std::string& path,
                                               const TAviWriterOptions& options) {
    auto writer = std::make_unique<TAviWriter>();
    writer->FFile.reset(std::fopen(path.c_str(), "w+b"));
    if (!writer->FFile) {
        return nullptr;
    }
    writer->FOptions = options;
    // Sizes in a RIFF header are 32 bits; keep every part well inside them.
    writer->FOptions.PartLimit =
        std::clamp<std::uint64_t>(options.PartLimit, 4096, std::uint64_t{0x7FFFFFFF});
    writer->FOptions.SuperIndexCapacity =
        std::clamp<std::uint32_t>(options.SuperIndexCapacity, 1, 1u << 16);
    return writer;
}

TAviWriter::~TAviWriter() {
    Close();
}

int TAviWriter::AddStream(const TAVIStreamInfo& info) {
    if (FHeadersWritten || FClosed || FStreams.size() >= 100 || info.dwScale == 0 ||
        info.dwRate == 0) {
        return -1;
    }
    TStream st;
    st.Info = info;
    st.Info.dwLength = 0;
    FStreams.push_back(std::move(st));
    return static_cast<int>(FStreams.size() - 1);
}

THResult TAviWriter::SetFormat(int stream, const void* format, std::size_t size) {
    if (stream < 0 || static_cast<std::size_t>(stream) >= FStreams.size() || FClosed) {
        return AVIERR_BADHANDLE;
    }
    if (format == nullptr || size == 0 || size > (1u << 20)) {
        return AVIERR_BADPARAM;
    }
    auto& st = FStreams[static_cast<std::size_t>(stream)];
    const auto* bytes = static_cast<const std::uint8_t*>(format);
    if (FHeadersWritten) {
        // The header is on disk; only a repeat of the same format is accepted.
        return (size == st.Format.size() && std::equal(bytes, bytes + size, st.Format.begin()))
                   ? AVIERR_OK
                   : AVIERR_UNSUPPORTED;
    }
    st.Format.assign(bytes, bytes + size);
    return AVIERR_OK;
}

TAVIStreamInfo TAviWriter::Info(int stream) const {
    TAVIStreamInfo info = FStreams.at(static_cast<std::size_t>(stream)).Info;
    info.dwLength = static_cast<std::uint32_t>(FStreams[static_cast<std::size_t>(stream)].Length);
    return info;
}

bool TAviWriter::Put(const void* data, std::size_t n, TAviWriteStep step) {
    if (n != 0 && (Failing(step) || std::fwrite(data, 1, n, FFile.get()) != n)) {
        FFailed = true;
        return false;
    }
    FEnd += n;
    return true;
}
bool TAviWriter::Put32(std::uint32_t v) {
    std::uint8_t b[4];
    PutLE32(b, v);
    return Put(b, 4);
}
bool TAviWriter::Put16(std::uint16_t v) {
    std::uint8_t b[2];
    PutLE16(b, v);
    return Put(b, 2);
}
bool TAviWriter::PutAt(std::uint64_t pos, std::uint32_t v) {
    std::uint8_t b[4];
    PutLE32(b, v);
    if (Failing(TAviWriteStep::Patch) || !SeekTo(FFile.get(), pos) ||
        std::fwrite(b, 1, 4, FFile.get()) != 4) {
        FFailed = true;
        return false;
    }
    return true;
}
bool TAviWriter::PutIndex(std::uint64_t pos, const std::vector<std::uint8_t>& bytes) {
    if (Failing(TAviWriteStep::Index) || !SeekTo(FFile.get(), pos) ||
        std::fwrite(bytes.data(), 1, bytes.size(), FFile.get()) != bytes.size()) {
        FFailed = true;
        return false;
    }
    return true;
}
bool TAviWriter::SeekEnd() {
    if (!SeekTo(FFile.get(), FEnd)) {
        FFailed = true;
        return false;
    }
    return true;
}

bool TAviWriter::WriteHeaders() {
    FHeadersWritten = true;
    const std::uint32_t indxSize = kIndxHeaderSize + 16 * FOptions.SuperIndexCapacity;
    std::vector<std::uint8_t> h;
    Append32(h, MakeFourCC("RIFF"));
    Append32(h, 0);
    Append32(h, MakeFourCC("AVI "));
    Append32(h, MakeFourCC("LIST"));
    const std::size_t hdrlSizePos = h.size();
    Append32(h, 0);
    Append32(h, MakeFourCC("hdrl"));

    // Main header: the frame period and size come from the first video stream.
    const TStream* video = nullptr;
    std::uint32_t suggested = 0;
    for (const auto& st : FStreams) {
        if (!video && st.Info.fccType == streamtypeVIDEO) {
            video = &st;
        }
        suggested = std::max(suggested, st.Info.dwSuggestedBufferSize);
    }
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t usPerFrame = 0;
    if (video) {
        const TRect& rc = video->Info.rcFrame;
        width = static_cast<std::uint32_t>(std::max(0, rc.Right - rc.Left));
        height = static_cast<std::uint32_t>(std::max(0, rc.Bottom - rc.Top));
        if ((width == 0 || height == 0) && video->Format.size() >= 12) {
            const auto w = static_cast<std::int32_t>(GetLE32(video->Format.data() + 4));
            const auto hh = static_cast<std::int32_t>(GetLE32(video->Format.data() + 8));
            width = static_cast<std::uint32_t>(std::max(0, w));
            height = hh < 0 ? static_cast<std::uint32_t>(-static_cast<std::int64_t>(hh))
                            : static_cast<std::uint32_t>(hh);
        }
        usPerFrame =
            static_cast<std::uint32_t>(std::llround(1e6 * static_cast<double>(video->Info.dwScale) /
                                                    static_cast<double>(video->Info.dwRate)));
    }
    Append32(h, MakeFourCC("avih"));
    Append32(h, 56);
    FAvihPos = h.size();
    Append32(h, usPerFrame);
    Append32(h, 0); // max bytes per second: unknown in advance
    Append32(h, 0);
    Append32(h, 0); // flags: HASINDEX is set once idx1 exists
    Append32(h, 0); // total frames, kept current
    Append32(h, 0);
    Append32(h, static_cast<std::uint32_t>(FStreams.size()));
    Append32(h, suggested);
    Append32(h, width);
    Append32(h, height);
    for (int i = 0; i < 4; ++i) {
        Append32(h, 0);
    }

    for (std::size_t s = 0; s < FStreams.size(); ++s) {
        auto& st = FStreams[s];
        const TAVIStreamInfo& in = st.Info;
        std::uint32_t suffix = MakeFourCC('\0', '\0', 'd', 'c');
        if (in.fccType == streamtypeAUDIO) {
            suffix = MakeFourCC('\0', '\0', 'w', 'b');
        } else if (in.fccType == streamtypeVIDEO) {
            const std::uint32_t compression =
                st.Format.size() >= 20 ? GetLE32(st.Format.data() + 16) : BI_RGB;
            if (compression == BI_RGB || compression == BI_BITFIELDS) {
                suffix = MakeFourCC('\0', '\0', 'd', 'b');
            }
        }
        st.ChunkId = TwoDigits(s) | suffix;

        const std::uint32_t fmtSize = static_cast<std::uint32_t>(st.Format.size());
        const std::uint32_t strlSize =
            4 + (8 + 56) + (8 + fmtSize + (fmtSize & 1u)) + (8 + indxSize);
        Append32(h, MakeFourCC("LIST"));
        Append32(h, strlSize);
        Append32(h, MakeFourCC("strl"));
        Append32(h, MakeFourCC("strh"));
        Append32(h, 56);
        st.StrhPos = h.size();
        Append32(h, in.fccType);
        Append32(h, in.fccHandler);
        Append32(h, in.dwFlags);
        Append16(h, in.wPriority);
        Append16(h, in.wLanguage);
        Append32(h, in.dwInitialFrames);
        Append32(h, in.dwScale);
        Append32(h, in.dwRate);
        Append32(h, in.dwStart);
        Append32(h, 0); // length, kept current
        Append32(h, in.dwSuggestedBufferSize);
        Append32(h, in.dwQuality);
        Append32(h, in.dwSampleSize);
        Append16(h, static_cast<std::uint16_t>(Clamp16(in.rcFrame.Left)));
        Append16(h, static_cast<std::uint16_t>(Clamp16(in.rcFrame.Top)));
        Append16(h, static_cast<std::uint16_t>(Clamp16(in.rcFrame.Right)));
        Append16(h, static_cast<std::uint16_t>(Clamp16(in.rcFrame.Bottom)));
        Append32(h, MakeFourCC("strf"));
        Append32(h, fmtSize);
        h.insert(h.end(), st.Format.begin(), st.Format.end());
        if (fmtSize & 1u) {
            h.push_back(0);
        }
        // Room for the OpenDML super index; plain AVI readers skip it as JUNK.
        st.IndxPos = h.size();
        Append32(h, MakeFourCC("JUNK"));
        Append32(h, indxSize);
        h.resize(h.size() + indxSize, 0);
    }
    FOdmlPos = h.size();
    Append32(h, MakeFourCC("JUNK"));
    Append32(h, kOdmlReserve);
    h.resize(h.size() + kOdmlReserve, 0);
    const std::uint32_t hdrlSize = static_cast<std::uint32_t>(h.size() - hdrlSizePos - 4);
    for (int i = 0; i < 4; ++i) {
        h[hdrlSizePos + static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(hdrlSize >> (8 * i));
    }

    FMoviPos = h.size();
    Append32(h, MakeFourCC("LIST"));
    Append32(h, 4);
    Append32(h, MakeFourCC("movi"));
    FRiffPos = 0;
    if (!Put(h.data(), h.size())) {
        return false;
    }
    return PatchProgress();
}

std::uint64_t TAviWriter::IndexReserve(std::uint32_t extraEntries) const {
    std::uint64_t bytes = 0;
    std::uint64_t all = 0;
    for (const auto& st : FStreams) {
        bytes += 8 + kIndxHeaderSize + 8 * (st.PartEntries.size() + extraEntries);
        all += st.PartEntries.size() + extraEntries;
    }
    if (FParts == 1) {
        bytes += 8 + 16 * all;
    }
    return bytes;
}

THResult TAviWriter::WriteChunk(std::size_t stream, const void* data, std::uint32_t size,
                                bool key) {
    const std::uint64_t chunkBytes = 8 + std::uint64_t{size} + (size & 1u);
    bool partHasData = false;
    for (const auto& st : FStreams) {
        partHasData = partHasData || !st.PartEntries.empty();
    }
    if (partHasData && (FEnd - FRiffPos) + chunkBytes + IndexReserve(1) > FOptions.PartLimit) {
        if (FParts >= FOptions.SuperIndexCapacity) {
            return AVIERR_FILEWRITE; // the super index has no room for another part
        }
        if (!FinishPart(false) || !StartPart()) {
            return AVIERR_FILEWRITE;
        }
    }
    auto& st = FStreams[stream];
    const std::uint64_t at = FEnd;
    // An empty chunk has no data to hand to fwrite, which takes no null buffer.
    if (!Put32(st.ChunkId) || !Put32(size) || (size != 0 && !Put(data, size)) ||
        ((size & 1u) && !Put("\0", 1))) {
        return AVIERR_FILEWRITE;
    }
    st.PartEntries.push_back({at, size, key});
    st.MaxChunk = std::max(st.MaxChunk, size);
    if (FParts == 1) {
        Append32(FIdx1, st.ChunkId);
        Append32(FIdx1, key ? AVIIF_KEYFRAME : 0);
        Append32(FIdx1, static_cast<std::uint32_t>(at - (FMoviPos + 8)));
        Append32(FIdx1, size);
    }
    return AVIERR_OK;
}

THResult TAviWriter::Write(int stream, std::int64_t start, std::int64_t samples, const void* data,
                           std::size_t size, std::uint32_t flags) {
    if (stream < 0 || static_cast<std::size_t>(stream) >= FStreams.size() || FClosed) {
        return AVIERR_BADHANDLE;
    }
    if (FFailed) {
        return AVIERR_FILEWRITE;
    }
    auto& st = FStreams[static_cast<std::size_t>(stream)];
    if (st.Format.empty()) {
        return AVIERR_BADFORMAT;
    }
    if (size > 0x7FFFFFF0u || (size != 0 && data == nullptr) || samples < 0) {
        return AVIERR_BADPARAM;
    }
    if (start < 0) {
        start = static_cast<std::int64_t>(st.Length); // append
    }
    const auto length = static_cast<std::int64_t>(st.Length);
    if (start < length || start - length > kMaxGap) {
        return AVIERR_BADPARAM;
    }
    if (!FHeadersWritten && !WriteHeaders()) {
        return AVIERR_FILEWRITE;
    }
    const std::size_t s = static_cast<std::size_t>(stream);
    const bool fixedSize = st.Info.dwSampleSize != 0;
    // Empty chunks keep the samples after a gap at their own time.
    while (static_cast<std::int64_t>(st.Length) < start) {
        const THResult r = WriteChunk(s, nullptr, 0, false);
        if (r != AVIERR_OK) {
            return r;
        }
        ++st.Length;
    }
    const THResult r =
        WriteChunk(s, data, static_cast<std::uint32_t>(size), (flags & AVIIF_KEYFRAME) != 0);
    if (r != AVIERR_OK) {
        return r;
    }
    st.Length += fixedSize ? static_cast<std::uint64_t>(samples) : 1;
    return PatchProgress() ? AVIERR_OK : AVIERR_FILEWRITE;
}

bool TAviWriter::PatchProgress() {
    bool ok = PutAt(FRiffPos + 4, static_cast<std::uint32_t>(FEnd - FRiffPos - 8));
    // Once closed, the last movi list ends before idx1 and is already sized.
    if (!FClosed) {
        ok = ok && PutAt(FMoviPos + 4, static_cast<std::uint32_t>(FEnd - FMoviPos - 8));
    }
    std::uint64_t frames = 0;
    bool haveVideo = false;
    for (const auto& st : FStreams) {
        ok = ok && PutAt(st.StrhPos + 32, static_cast<std::uint32_t>(st.Length));
        if (!haveVideo && st.Info.fccType == streamtypeVIDEO) {
            haveVideo = true;
            frames = st.Length;
        }
    }
    if (!haveVideo && !FStreams.empty()) {
        frames = FStreams.front().Length;
    }
    // In an OpenDML file the main header counts the first part only; dmlh has
    // the total.
    ok = ok &&
         PutAt(FAvihPos + 16, static_cast<std::uint32_t>(FParts == 1 ? frames : FFirstPartFrames));
    if (FParts > 1) {
        ok = ok && PutAt(FOdmlPos + 20, static_cast<std::uint32_t>(frames));
    }
    ok = ok && SeekEnd() && std::fflush(FFile.get()) == 0;
    if (!ok) {
        FFailed = true;
    }
    return ok;
}

bool TAviWriter::FinishPart(bool last) {
    const bool openDml = !(last && FParts == 1);
    if (openDml) {
        // One ix## chunk per stream, inside the movi list it indexes.
        for (std::size_t s = 0; s < FStreams.size(); ++s) {
            auto& st = FStreams[s];
            const std::uint64_t base = FMoviPos + 8;
            std::vector<std::uint8_t> ix;
            const auto n = static_cast<std::uint32_t>(st.PartEntries.size());
            Append32(ix, MakeFourCC('i', 'x', '\0', '\0') | (TwoDigits(s) << 16));
            Append32(ix, kIndxHeaderSize + 8 * n);
            Append16(ix, 2);
            ix.push_back(0);
            ix.push_back(1); // an index of chunks
            Append32(ix, n);
            Append32(ix, st.ChunkId);
            Append64(ix, base);
            Append32(ix, 0);
            for (const TEntry& e : st.PartEntries) {
                Append32(ix, static_cast<std::uint32_t>(e.Offset + 8 - base));
                Append32(ix, e.Size | (e.Key ? 0u : 0x80000000u));
            }
            const std::uint64_t ixPos = FEnd;
            if (!Put(ix.data(), ix.size(), TAviWriteStep::Index)) {
                return false;
            }
            if (st.Super.size() / 16 >= FOptions.SuperIndexCapacity) {
                FFailed = true;
                return false;
            }
            Append64(st.Super, ixPos);
            Append32(st.Super, static_cast<std::uint32_t>(ix.size()));
            Append32(st.Super, n);
        }
    }
    if (!PutAt(FMoviPos + 4, static_cast<std::uint32_t>(FEnd - FMoviPos - 8)) || !SeekEnd()) {
        return false;
    }
    if (FParts == 1) {
        if (!Put32(MakeFourCC("idx1")) || !Put32(static_cast<std::uint32_t>(FIdx1.size())) ||
            !Put(FIdx1.data(), FIdx1.size(), TAviWriteStep::Index)) {
            return false;
        }
        FIdx1.clear();
        FIdx1.shrink_to_fit();
        if (!PutAt(FAvihPos + 12, kAVIF_HASINDEX)) {
            return false;
        }
        FFirstPartFrames = 0;
        for (const auto& st : FStreams) {
            if (st.Info.fccType == streamtypeVIDEO) {
                FFirstPartFrames = st.Length;
                break;
            }
        }
    }
    if (!PutAt(FRiffPos + 4, static_cast<std::uint32_t>(FEnd - FRiffPos - 8))) {
        return false;
    }
    if (openDml) {
        // The reserved room becomes the super index and the odml list.
        for (const auto& st : FStreams) {
            const std::uint32_t indxSize = kIndxHeaderSize + 16 * FOptions.SuperIndexCapacity;
            std::vector<std::uint8_t> indx;
            Append32(indx, MakeFourCC("indx"));
            Append32(indx, indxSize);
            Append16(indx, 4);
            indx.push_back(0);
            indx.push_back(0); // an index of indexes
            Append32(indx, static_cast<std::uint32_t>(st.Super.size() / 16));
            Append32(indx, st.ChunkId);
            Append32(indx, 0);
            Append32(indx, 0);
            Append32(indx, 0);
            indx.insert(indx.end(), st.Super.begin(), st.Super.end());
            if (!PutIndex(st.IndxPos, indx)) {
                return false;
            }
        }
        std::vector<std::uint8_t> odml;
        Append32(odml, MakeFourCC("LIST"));
        Append32(odml, kOdmlReserve);
        Append32(odml, MakeFourCC("odml"));
        Append32(odml, MakeFourCC("dmlh"));
        Append32(odml, 248);
        if (!PutIndex(FOdmlPos, odml)) {
            return false;
        }
    }
    for (auto& st : FStreams) {
        st.PartEntries.clear();
    }
    return SeekEnd();
}

bool TAviWriter::StartPart() {
    FRiffPos = FEnd;
    FMoviPos = FEnd + 12;
    ++FParts;
    if (!Put32(MakeFourCC("RIFF")) || !Put32(4 + 12) || !Put32(MakeFourCC("AVIX")) ||
        !Put32(MakeFourCC("LIST")) || !Put32(4) || !Put32(MakeFourCC("movi"))) {
        return false;
    }
    return PatchProgress();
}

bool TAviWriter::Close() {
    if (FClosed) {
        return !FFailed;
    }
    if (!FFile) {
        return false;
    }
    bool ok = !FFailed;
    if (ok && !FHeadersWritten) {
        ok = WriteHeaders();
    }
    if (ok) {
        ok = FinishPart(true);
    }
    FClosed = true;
    if (ok) {
        std::uint32_t suggested = 0;
        for (const auto& st : FStreams) {
            const std::uint32_t s = std::max(st.Info.dwSuggestedBufferSize, st.MaxChunk);
            suggested = std::max(suggested, s);
            ok = ok && PutAt(st.StrhPos + 36, s);
        }
        ok = ok && PutAt(FAvihPos + 28, suggested);
        ok = ok && PatchProgress();
    }
    // The close writes what the C library still buffers: a full disk shows here.
    if (std::fclose(FFile.release()) != 0 || Failing(TAviWriteStep::Close)) {
        ok = false;
    }
    if (!ok) {
        FFailed = true;
    }
    return ok;
}

} // namespace framolo
