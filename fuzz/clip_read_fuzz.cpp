// Fuzz target: the whole reading path of a clip, as the conversion job and the
// player take it: open, the first video and audio streams, their information
// and formats, every frame (up to a bound) and the sound. The bytes live in an
// anonymous in-memory file, so FFmpeg reads them through its ordinary path.
// Every call either succeeds with data that keeps its promises or fails.
#include "platform/avifile/avifile.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using namespace framolo;

namespace {

constexpr int kMaxFrames = 48;
constexpr std::int32_t kMaxAudioFrames = 1 << 16;
constexpr auto kTimeBudget = std::chrono::seconds(2);

// A file descriptor of an in-memory file holding the input; closed on the way out.
struct TMemoryFile {
    int Fd = -1;
    explicit TMemoryFile(const std::uint8_t* data, std::size_t size) {
        Fd = static_cast<int>(memfd_create("clip", 0));
        if (Fd < 0)
            return;
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = write(Fd, data + done, size - done);
            if (n <= 0) {
                close(Fd);
                Fd = -1;
                return;
            }
            done += static_cast<std::size_t>(n);
        }
    }
    ~TMemoryFile() {
        if (Fd >= 0)
            close(Fd);
    }
    TMemoryFile(const TMemoryFile&) = delete;
    TMemoryFile& operator=(const TMemoryFile&) = delete;
    std::string Path() const { return "/proc/self/fd/" + std::to_string(Fd); }
};

void ReadVideo(PAVIStream stream, std::chrono::steady_clock::time_point deadline) {
    TAVIStreamInfo info;
    if (AVIStreamInfo(stream, info, static_cast<std::int32_t>(sizeof(info))) != 0)
        return;
    std::int32_t formatSize = 0;
    if (AVIStreamReadFormat(stream, 0, nullptr, &formatSize) == 0 && formatSize > 0) {
        std::vector<std::uint8_t> format(static_cast<std::size_t>(formatSize));
        if (AVIStreamReadFormat(stream, 0, format.data(), &formatSize) != 0 ||
            formatSize > static_cast<std::int32_t>(format.size()))
            __builtin_trap();
    }
    if (AVIStreamBeginStreaming(stream, 0, 0, 1000) != 0)
        return;
    PGetFrame getFrame = AVIStreamGetFrameOpen(stream, nullptr);
    if (getFrame != nullptr) {
        const std::int32_t start = AVIStreamStart(stream);
        const std::int32_t length = AVIStreamLength(stream);
        for (std::int32_t i = 0; i < length && i < kMaxFrames && i <= INT32_MAX - start; ++i) {
            if (std::chrono::steady_clock::now() > deadline)
                break;
            const void* frame = AVIStreamGetFrame(getFrame, start + i);
            if (frame == nullptr)
                continue;
            // A delivered frame is a whole packed DIB: touch its last byte.
            std::uint32_t headerSize = 0;
            std::int32_t height = 0;
            std::uint32_t imageSize = 0;
            std::uint16_t bits = 0;
            std::memcpy(&headerSize, frame, 4);
            std::memcpy(&height, static_cast<const std::uint8_t*>(frame) + 8, 4);
            std::memcpy(&bits, static_cast<const std::uint8_t*>(frame) + 14, 2);
            std::memcpy(&imageSize, static_cast<const std::uint8_t*>(frame) + 20, 4);
            if (headerSize != 40 || height == 0)
                __builtin_trap();
            const std::size_t table = bits <= 8 ? (std::size_t{4} << bits) : 0;
            const auto* last = static_cast<const volatile std::uint8_t*>(frame) + 40 + table +
                               imageSize - (imageSize > 0 ? 1 : 0);
            (void)*last;
        }
        // A jump back exercises the seek path.
        if (length > 2 && start <= INT32_MAX - kMaxFrames &&
            std::chrono::steady_clock::now() < deadline)
            (void)AVIStreamGetFrame(getFrame, start + std::min(length, kMaxFrames) / 2);
        AVIStreamGetFrameClose(getFrame);
    }
    AVIStreamEndStreaming(stream);
}

void ReadAudio(PAVIStream stream, std::chrono::steady_clock::time_point deadline) {
    TAVIStreamInfo info;
    if (AVIStreamInfo(stream, info, static_cast<std::int32_t>(sizeof(info))) != 0)
        return;
    std::int32_t formatSize = 0;
    if (AVIStreamReadFormat(stream, 0, nullptr, &formatSize) != 0 || formatSize <= 0)
        return;
    std::vector<std::uint8_t> format(static_cast<std::size_t>(formatSize));
    if (AVIStreamReadFormat(stream, 0, format.data(), &formatSize) != 0)
        return;
    std::vector<std::uint8_t> buffer(1 << 16);
    std::int64_t position = AVIStreamStart(stream);
    const std::int64_t end =
        std::min<std::int64_t>(position + std::min(AVIStreamLength(stream), kMaxAudioFrames),
                               std::int64_t{INT32_MAX} - 4096);
    while (position < end && std::chrono::steady_clock::now() < deadline) {
        std::int32_t bytes = 0;
        std::int32_t samples = 0;
        if (AVIStreamRead(stream, static_cast<std::int32_t>(position), 4096, buffer.data(),
                          static_cast<std::int32_t>(buffer.size()), &bytes, &samples) != 0 ||
            samples <= 0)
            break;
        if (bytes > static_cast<std::int32_t>(buffer.size()))
            __builtin_trap();
        position += samples;
    }
    (void)AVIStreamSampleToTime(
        stream, static_cast<std::int32_t>(std::min<std::int64_t>(position, INT32_MAX)));
    (void)AVIStreamTimeToSample(stream, 1000);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const TMemoryFile memory(data, size);
    if (memory.Fd < 0)
        return 0;
    const auto deadline = std::chrono::steady_clock::now() + kTimeBudget;
    AVIFileInit();
    PAVIFile file = nullptr;
    if (AVIFileOpen(file, memory.Path(), OF_SHARE_DENY_WRITE) == 0 && file != nullptr) {
        PAVIStream video = nullptr;
        if (AVIFileGetStream(file, video, streamtypeVIDEO, 0) == 0 && video != nullptr) {
            ReadVideo(video, deadline);
            AVIStreamRelease(video);
        }
        PAVIStream audio = nullptr;
        if (AVIFileGetStream(file, audio, streamtypeAUDIO, 0) == 0 && audio != nullptr) {
            ReadAudio(audio, deadline);
            AVIStreamRelease(audio);
        }
        AVIFileRelease(file);
    }
    AVIFileExit();
    return 0;
}
