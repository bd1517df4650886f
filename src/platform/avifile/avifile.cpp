#include "platform/avifile/avifile.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "platform/avifile/ffmpeg_handles.h"
#include "platform/avifile/media_reader.h"
#include "platform/avifile/riff_parser.h"
#include "platform/avifile/riff_writer.h"

extern "C" {
#include <libavutil/mathematics.h>
}

namespace framolo {

namespace {

// What a file handle stands for. Streams and frame decoders share it, so a
// file being written is finished when the last of them is released.
struct TFileCore {
    std::string Path;
    TMediaFile Media;                   // reading
    std::unique_ptr<TAviWriter> Writer; // writing
};

// Frame numbers are 32-bit and signed in every call. A stream that starts
// past the largest one has no frame that can be asked for, and fails at its
// first frame; one that starts below it but ends above it would quietly lose
// its tail, so the file is refused when opened.
bool RunsPastLargestFrame(const TMediaStream& ms) {
    constexpr std::int64_t kLargest = std::numeric_limits<std::int32_t>::max();
    const std::int64_t start = ms.Info.dwStart;
    return ms.Video && start <= kLargest && start + ms.Info.dwLength - 1 > kLargest;
}

} // namespace

struct TAVIFileObject {
    std::shared_ptr<TFileCore> Core;
    std::uint32_t Refs = 1;
};

struct TAVIStreamObject {
    std::shared_ptr<TFileCore> Core;
    int Index = -1; // into Core->Media.Streams, or the writer's stream number
    std::unique_ptr<TAudioReader> Audio;
    std::uint32_t Refs = 1;
};

struct TGetFrameObject {
    std::shared_ptr<TFileCore> Core;
    std::unique_ptr<TVideoReader> Reader;
};

namespace {

// Live handles, so that a stale or foreign handle is refused instead of used.
std::mutex gHandlesLock;
std::unordered_set<const void*> gHandles;
int gInitCount = 0;

template <typename T> T* Register(std::unique_ptr<T> object) {
    std::lock_guard<std::mutex> lock(gHandlesLock);
    T* raw = object.release();
    gHandles.insert(raw);
    return raw;
}

template <typename T> bool IsLive(const T* handle) {
    if (!handle) {
        return false;
    }
    std::lock_guard<std::mutex> lock(gHandlesLock);
    return gHandles.count(handle) != 0;
}

// Takes ownership back from the registry; empty for an unknown handle.
template <typename T> std::unique_ptr<T> Unregister(T* handle) {
    std::lock_guard<std::mutex> lock(gHandlesLock);
    if (!handle || gHandles.erase(handle) == 0) {
        return nullptr;
    }
    return std::unique_ptr<T>(handle);
}

// Drops one reference to a counted handle and destroys the object with the
// last; returns the references left. A file's core lives on while streams
// hold it.
template <typename T> std::uint32_t ReleaseCounted(T* handle) {
    {
        std::lock_guard<std::mutex> lock(gHandlesLock);
        if (!handle || gHandles.count(handle) == 0) {
            return 0;
        }
        if (--handle->Refs > 0) {
            return handle->Refs;
        }
    }
    Unregister(handle);
    return 0;
}

const TMediaStream* ReadStream(PAVIStream s) {
    if (!IsLive(s) || s->Core->Writer) {
        return nullptr;
    }
    const auto& streams = s->Core->Media.Streams;
    if (s->Index < 0 || static_cast<std::size_t>(s->Index) >= streams.size()) {
        return nullptr;
    }
    return &streams[static_cast<std::size_t>(s->Index)];
}

bool StreamInfoOf(PAVIStream s, TAVIStreamInfo& info) {
    if (!IsLive(s)) {
        return false;
    }
    if (s->Core->Writer) {
        info = s->Core->Writer->Info(s->Index);
        return true;
    }
    const TMediaStream* ms = ReadStream(s);
    if (!ms) {
        return false;
    }
    info = ms->Info;
    return true;
}

// a * b / c rounded to nearest, without overflow, clamped to 32 bits.
std::int64_t MulDivRound(std::int64_t a, std::int64_t b, std::int64_t c) {
    if (c <= 0 || b < 0) {
        return -1;
    }
    const std::int64_t q = av_rescale_rnd(a, b, c, AV_ROUND_NEAR_INF);
    return std::clamp<std::int64_t>(q, std::numeric_limits<std::int32_t>::min(),
                                    std::numeric_limits<std::int32_t>::max());
}

} // namespace

void AVIFileInit() {
    std::lock_guard<std::mutex> lock(gHandlesLock);
    if (gInitCount++ == 0) {
        SilenceFfmpegLog();
    }
}

void AVIFileExit() {
    std::lock_guard<std::mutex> lock(gHandlesLock);
    if (gInitCount > 0) {
        --gInitCount;
    }
}

THResult AVIFileOpen(PAVIFile& file, const std::string& path, std::uint32_t mode,
                     const void* handler) {
    file = nullptr;
    if (handler != nullptr) {
        return AVIERR_UNSUPPORTED;
    }
    SilenceFfmpegLog();
    auto core = std::make_shared<TFileCore>();
    core->Path = path;
    if (mode & OF_CREATE) {
        if (!(mode & (OF_WRITE | OF_READWRITE))) {
            return AVIERR_BADFLAGS;
        }
        core->Writer = TAviWriter::Create(path, AviWriterOptions());
        if (!core->Writer) {
            return AVIERR_FILEOPEN;
        }
    } else {
        if (mode & (OF_WRITE | OF_READWRITE)) {
            return AVIERR_UNSUPPORTED; // existing files are never edited in place
        }
        auto source = TFileByteSource::Open(path);
        if (!source) {
            return AVIERR_FILEOPEN;
        }
        std::optional<TAviLayout> layout;
        if (LooksLikeAvi(*source)) {
            layout = ParseAviLayout(*source);
            if (!layout) {
                return AVIERR_BADFORMAT;
            }
        }
        source.reset();
        auto media = ProbeMedia(path, layout ? &*layout : nullptr);
        if (!media || media->Streams.empty()) {
            return AVIERR_BADFORMAT;
        }
        if (std::any_of(media->Streams.begin(), media->Streams.end(), RunsPastLargestFrame)) {
            return AVIERR_UNSUPPORTED;
        }
        core->Media = std::move(*media);
    }
    auto object = std::make_unique<TAVIFileObject>();
    object->Core = std::move(core);
    file = Register(std::move(object));
    return AVIERR_OK;
}

std::uint32_t AVIFileRelease(PAVIFile file) {
    return ReleaseCounted(file);
}

THResult AVIFileFinish(PAVIFile file) {
    if (!IsLive(file)) {
        return AVIERR_BADHANDLE;
    }
    if (!file->Core->Writer) {
        return AVIERR_OK; // a file being read has nothing to finish
    }
    return file->Core->Writer->Close() ? AVIERR_OK : AVIERR_FILEWRITE;
}

THResult AVIFileGetStream(PAVIFile file, PAVIStream& stream, std::uint32_t fccType,
                          std::int32_t index) {
    stream = nullptr;
    if (!IsLive(file)) {
        return AVIERR_BADHANDLE;
    }
    if (index < 0) {
        return AVIERR_BADPARAM;
    }
    const auto& core = file->Core;
    int found = -1;
    std::int32_t seen = 0;
    if (core->Writer) {
        for (int s = 0; s < core->Writer->StreamCount(); ++s) {
            if ((fccType == 0 || core->Writer->Info(s).fccType == fccType) && seen++ == index) {
                found = s;
                break;
            }
        }
    } else {
        const auto& streams = core->Media.Streams;
        for (std::size_t s = 0; s < streams.size(); ++s) {
            if ((fccType == 0 || streams[s].Info.fccType == fccType) && seen++ == index) {
                found = static_cast<int>(s);
                break;
            }
        }
    }
    if (found < 0) {
        return AVIERR_NODATA;
    }
    auto object = std::make_unique<TAVIStreamObject>();
    object->Core = core;
    object->Index = found;
    stream = Register(std::move(object));
    return AVIERR_OK;
}

std::uint32_t AVIStreamRelease(PAVIStream stream) {
    return ReleaseCounted(stream);
}

THResult AVIStreamInfo(PAVIStream stream, TAVIStreamInfo& info, std::int32_t size) {
    if (size < static_cast<std::int32_t>(sizeof(TAVIStreamInfo))) {
        return AVIERR_BADSIZE;
    }
    return StreamInfoOf(stream, info) ? AVIERR_OK : AVIERR_BADHANDLE;
}

THResult AVIStreamReadFormat(PAVIStream stream, std::int32_t position, void* format,
                             std::int32_t* size) {
    if (!size) {
        return AVIERR_BADPARAM;
    }
    (void)position; // a stream has one format for all its samples
    const TMediaStream* ms = ReadStream(stream);
    if (!ms) {
        return AVIERR_BADHANDLE;
    }
    const auto have = static_cast<std::int32_t>(ms->Format.size());
    if (!format) {
        *size = have;
        return AVIERR_OK;
    }
    if (*size < 0) {
        return AVIERR_BADPARAM;
    }
    const std::int32_t n = std::min(*size, have);
    if (n > 0) {
        std::memcpy(format, ms->Format.data(), static_cast<std::size_t>(n));
    }
    *size = n;
    return AVIERR_OK;
}

THResult AVIStreamBeginStreaming(PAVIStream stream, std::int32_t, std::int32_t, std::int32_t) {
    // Frames are decoded on demand; there is nothing to prepare.
    return IsLive(stream) ? AVIERR_OK : AVIERR_BADHANDLE;
}

THResult AVIStreamEndStreaming(PAVIStream stream) {
    return IsLive(stream) ? AVIERR_OK : AVIERR_BADHANDLE;
}

PGetFrame AVIStreamGetFrameOpen(PAVIStream stream, const TBitmapInfoHeader* wanted) {
    if (wanted != nullptr) {
        return nullptr; // only the decoder's own choice of format is offered
    }
    const TMediaStream* ms = ReadStream(stream);
    if (!ms || !ms->Video || ms->FfIndex < 0) {
        return nullptr;
    }
    auto reader = TVideoReader::Open(stream->Core->Path, ms->FfIndex, ms->Clock);
    if (!reader) {
        return nullptr;
    }
    auto object = std::make_unique<TGetFrameObject>();
    object->Core = stream->Core;
    object->Reader = std::move(reader);
    return Register(std::move(object));
}

const void* AVIStreamGetFrame(PGetFrame getFrame, std::int32_t position) {
    if (!IsLive(getFrame)) {
        return nullptr;
    }
    return getFrame->Reader->Frame(position);
}

THResult AVIStreamGetFrameClose(PGetFrame getFrame) {
    return Unregister(getFrame) ? AVIERR_OK : AVIERR_BADHANDLE;
}

std::int32_t AVIStreamStart(PAVIStream stream) {
    TAVIStreamInfo info;
    if (!StreamInfoOf(stream, info)) {
        return -1;
    }
    return static_cast<std::int32_t>(std::min<std::uint32_t>(info.dwStart, 0x7FFFFFFF));
}

std::int32_t AVIStreamLength(PAVIStream stream) {
    TAVIStreamInfo info;
    if (!StreamInfoOf(stream, info)) {
        return -1;
    }
    return static_cast<std::int32_t>(std::min<std::uint32_t>(info.dwLength, 0x7FFFFFFF));
}

std::int32_t AVIStreamLengthInFile(PAVIStream stream) {
    const std::int32_t length = AVIStreamLength(stream);
    const TMediaStream* ms = ReadStream(stream);
    if (length < 0 || ms == nullptr || !ms->Video || !ms->Clock || ms->Clock->Available < 0) {
        return length;
    }
    return static_cast<std::int32_t>(std::min<std::int64_t>(length, ms->Clock->Available));
}

THResult AVIStreamRead(PAVIStream stream, std::int32_t start, std::int32_t samples, void* buffer,
                       std::int32_t bufferSize, std::int32_t* bytesRead,
                       std::int32_t* samplesRead) {
    if (bytesRead) {
        *bytesRead = 0;
    }
    if (samplesRead) {
        *samplesRead = 0;
    }
    const TMediaStream* ms = ReadStream(stream);
    if (!ms) {
        return AVIERR_BADHANDLE;
    }
    if (!ms->Audio || ms->FfIndex < 0) {
        return AVIERR_UNSUPPORTED; // compressed video data is not handed out
    }
    if (start < 0 || samples < 0 || bufferSize < 0) {
        return AVIERR_BADPARAM;
    }
    const std::int32_t block = 2 * ms->AudioShape.Channels;
    if (!buffer) {
        if (bytesRead) {
            *bytesRead = static_cast<std::int32_t>(
                std::min<std::int64_t>(std::int64_t{samples} * block, 0x7FFFFFFF));
        }
        if (samplesRead) {
            *samplesRead = samples;
        }
        return AVIERR_OK;
    }
    const std::int32_t fit = std::min(samples, bufferSize / block);
    if (fit == 0 && samples > 0) {
        return AVIERR_BUFFERTOOSMALL;
    }
    if (!stream->Audio) {
        stream->Audio = TAudioReader::Open(stream->Core->Path, ms->FfIndex, ms->AudioShape);
        if (!stream->Audio) {
            return AVIERR_FILEREAD;
        }
    }
    // Interleaved 16-bit samples go through an aligned scratch buffer; the
    // caller's buffer may have any alignment.
    std::vector<std::int16_t> pcm(static_cast<std::size_t>(fit) *
                                  static_cast<std::size_t>(ms->AudioShape.Channels));
    const std::int64_t got = stream->Audio->Read(start, fit, pcm.data());
    if (got < 0) {
        return AVIERR_FILEREAD;
    }
    std::memcpy(buffer, pcm.data(),
                static_cast<std::size_t>(got) * static_cast<std::size_t>(block));
    if (bytesRead) {
        *bytesRead = static_cast<std::int32_t>(got * block);
    }
    if (samplesRead) {
        *samplesRead = static_cast<std::int32_t>(got);
    }
    return AVIERR_OK;
}

std::int32_t AVIStreamSampleToTime(PAVIStream stream, std::int32_t sample) {
    TAVIStreamInfo info;
    if (!StreamInfoOf(stream, info) || info.dwRate == 0) {
        return -1;
    }
    return static_cast<std::int32_t>(
        MulDivRound(sample, std::int64_t{info.dwScale} * 1000, info.dwRate));
}

std::int32_t AVIStreamTimeToSample(PAVIStream stream, std::int32_t time) {
    TAVIStreamInfo info;
    if (!StreamInfoOf(stream, info) || info.dwScale == 0) {
        return -1;
    }
    return static_cast<std::int32_t>(
        MulDivRound(time, info.dwRate, std::int64_t{info.dwScale} * 1000));
}

THResult AVIFileCreateStream(PAVIFile file, PAVIStream& stream, const TAVIStreamInfo& info) {
    stream = nullptr;
    if (!IsLive(file)) {
        return AVIERR_BADHANDLE;
    }
    if (!file->Core->Writer) {
        return AVIERR_UNSUPPORTED;
    }
    const int index = file->Core->Writer->AddStream(info);
    if (index < 0) {
        return AVIERR_BADPARAM;
    }
    auto object = std::make_unique<TAVIStreamObject>();
    object->Core = file->Core;
    object->Index = index;
    stream = Register(std::move(object));
    return AVIERR_OK;
}

THResult AVIStreamSetFormat(PAVIStream stream, std::int32_t position, const void* format,
                            std::int32_t size) {
    if (!IsLive(stream)) {
        return AVIERR_BADHANDLE;
    }
    if (!stream->Core->Writer) {
        return AVIERR_UNSUPPORTED;
    }
    if (position != 0 || size <= 0) {
        return AVIERR_BADPARAM;
    }
    return stream->Core->Writer->SetFormat(stream->Index, format, static_cast<std::size_t>(size));
}

THResult AVIStreamWrite(PAVIStream stream, std::int32_t start, std::int32_t samples,
                        const void* buffer, std::int32_t size, std::uint32_t flags,
                        std::int32_t* samplesWritten, std::int32_t* bytesWritten) {
    if (samplesWritten) {
        *samplesWritten = 0;
    }
    if (bytesWritten) {
        *bytesWritten = 0;
    }
    if (!IsLive(stream)) {
        return AVIERR_BADHANDLE;
    }
    if (!stream->Core->Writer) {
        return AVIERR_UNSUPPORTED;
    }
    if (size < 0 || samples < 0) {
        return AVIERR_BADPARAM;
    }
    const THResult r = stream->Core->Writer->Write(stream->Index, start, samples, buffer,
                                                   static_cast<std::size_t>(size), flags);
    if (r == AVIERR_OK) {
        if (samplesWritten) {
            *samplesWritten = samples;
        }
        if (bytesWritten) {
            *bytesWritten = size;
        }
    }
    return r;
}

} // namespace framolo
