#pragma once

// TAudioPlay: plays a range of samples of a clip's sound while the player
// shows its pictures. Samples are streamed through a ring of eight buffers:
// the device hands each finished buffer back, and while a play runs it is
// replaced by the next one, so the ring drains by itself at the end of the
// range. Everything runs on the GUI thread.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/avifile/avifile.h"
#include "preview/sound_device.h"

namespace framolo {

// Where the samples come from: the AVIFile calls on one audio stream, or a
// stand-in in tests.
class TAudioSource {
public:
    virtual ~TAudioSource() = default;
    virtual THResult Info(TAVIStreamInfo& info) = 0;
    // The stream's wave format as stored, empty when it cannot be read.
    virtual std::vector<std::uint8_t> Format() = 0;
    virtual std::int32_t Start() = 0;
    virtual std::int32_t Length() = 0;
    virtual THResult Read(std::int32_t start, std::int32_t samples, void* buffer,
                          std::int32_t bufferSize, std::int32_t* bytesRead,
                          std::int32_t* samplesRead) = 0;
};

// An AVIFile audio stream; the stream is not owned.
class TAVIAudioSource : public TAudioSource {
public:
    explicit TAVIAudioSource(PAVIStream stream = nullptr) : FStream(stream) {}
    PAVIStream Stream() const { return FStream; }
    THResult Info(TAVIStreamInfo& info) override;
    std::vector<std::uint8_t> Format() override;
    std::int32_t Start() override;
    std::int32_t Length() override;
    THResult Read(std::int32_t start, std::int32_t samples, void* buffer, std::int32_t bufferSize,
                  std::int32_t* bytesRead, std::int32_t* samplesRead) override;

private:
    PAVIStream FStream;
};

class TAudioPlay {
public:
    // Number of buffers queued when a play starts.
    static constexpr int kBufferCount = 8;
    // Smallest buffer, in bytes.
    static constexpr std::int32_t kMinBufferSize = 2048;
    // Largest sample accepted; a stream claiming bigger ones plays silently.
    static constexpr std::int32_t kMaxSampleSize = 1 << 20;

    explicit TAudioPlay(std::unique_ptr<TSoundDevice> device);
    ~TAudioPlay();
    TAudioPlay(const TAudioPlay&) = delete;
    TAudioPlay& operator=(const TAudioPlay&) = delete;

    // Plays samples FromSample up to, not including, ToSample of `stream`. A
    // negative FromSample means the stream's start, a negative ToSample its
    // end. Returns whether playing began; a stream without fixed-size samples,
    // an empty range or a device that cannot be opened leave the play silent.
    bool Play(PAVIStream stream, std::int32_t FromSample, std::int32_t ToSample);
    // The same on any source, which must outlive the play (until Stop).
    bool Play(TAudioSource& source, std::int32_t FromSample, std::int32_t ToSample);
    // Silences and closes the device; safe at any time.
    void Stop();
    // A buffer the device has finished with. Each buffer is freed exactly
    // once: a notice for a buffer that is not ours (any more) is ignored.
    void BufferDone(TWaveHeader* header);

    TSoundDevice& Device() { return *FDevice; }
    bool Playing() const { return FPlaying; }
    bool DeviceOpen() const { return FDeviceOpen; }
    std::int32_t BufferSize() const { return FBufferSize; }
    std::int32_t SampleSize() const { return FSampleSize; }
    std::int32_t StartSample() const { return FStartSample; }
    std::int32_t NextSample() const { return FNextSample; }
    std::int32_t EndSample() const { return FEndSample; }
    // Buffers allocated and not yet freed.
    std::size_t BuffersHeld() const { return FBlocks.size(); }

private:
    struct TBlock {
        TWaveHeader Header;
        // The play (counted from 1) whose device the buffer was written to.
        std::uint64_t Pass = 0;
        std::vector<std::uint8_t> Data;
    };

    bool OpenDevice(TAudioSource& source);
    bool QueueBuffer();

    std::int32_t FBufferSize = kMinBufferSize;
    TAudioSource* FStream = nullptr;
    std::int32_t FSampleSize = 0;
    std::int32_t FEndSample = 0;
    bool FPlaying = false;
    bool FDeviceOpen = false;
    std::int32_t FStartSample = 0;
    std::int32_t FNextSample = 0;
    std::uint64_t FPass = 0;
    TAVIAudioSource FAVISource;
    std::vector<std::unique_ptr<TBlock>> FBlocks;
    // Declared last so it goes first: notices it still holds are dropped
    // before the buffers they name are freed.
    std::unique_ptr<TSoundDevice> FDevice;
};

} // namespace framolo
