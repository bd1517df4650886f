#include "preview/audio_play.h"

#include <algorithm>
#include <cstring>

namespace framolo {

THResult TAVIAudioSource::Info(TAVIStreamInfo& info) {
    return AVIStreamInfo(FStream, info, static_cast<std::int32_t>(sizeof info));
}

std::vector<std::uint8_t> TAVIAudioSource::Format() {
    std::int32_t size = 0;
    if (AVIStreamReadFormat(FStream, 0, nullptr, &size) != AVIERR_OK || size <= 0) {
        return {};
    }
    std::vector<std::uint8_t> format(static_cast<std::size_t>(size), 0);
    if (AVIStreamReadFormat(FStream, 0, format.data(), &size) != AVIERR_OK) {
        return {};
    }
    format.resize(static_cast<std::size_t>(std::max(size, 0)));
    return format;
}

std::int32_t TAVIAudioSource::Start() {
    return AVIStreamStart(FStream);
}

std::int32_t TAVIAudioSource::Length() {
    return AVIStreamLength(FStream);
}

THResult TAVIAudioSource::Read(std::int32_t start, std::int32_t samples, void* buffer,
                               std::int32_t bufferSize, std::int32_t* bytesRead,
                               std::int32_t* samplesRead) {
    return AVIStreamRead(FStream, start, samples, buffer, bufferSize, bytesRead, samplesRead);
}

TAudioPlay::TAudioPlay(std::unique_ptr<TSoundDevice> device) : FDevice(std::move(device)) {
    FDevice->OnBufferDone = [this](TWaveHeader* header) { BufferDone(header); };
}

TAudioPlay::~TAudioPlay() {
    Stop();
    FDevice->OnBufferDone = nullptr;
}

bool TAudioPlay::Play(PAVIStream stream, std::int32_t FromSample, std::int32_t ToSample) {
    if (FDeviceOpen) {
        Stop();
    }
    FAVISource = TAVIAudioSource(stream);
    return Play(FAVISource, FromSample, ToSample);
}

bool TAudioPlay::Play(TAudioSource& source, std::int32_t FromSample, std::int32_t ToSample) {
    if (FPlaying || FDeviceOpen) {
        Stop();
    }
    const std::int64_t start = source.Start();
    if (FromSample < 0) {
        FromSample = static_cast<std::int32_t>(std::max<std::int64_t>(start, 0));
    }
    if (ToSample < 0) {
        ToSample = static_cast<std::int32_t>(
            std::clamp<std::int64_t>(start + source.Length(), 0, INT32_MAX));
    }
    if (ToSample <= FromSample) {
        return false;
    }
    if (!OpenDevice(source)) {
        return false;
    }
    FDevice->Pause();
    ++FPass;
    FStartSample = FNextSample = FromSample;
    FEndSample = ToSample;
    FPlaying = true;
    for (int i = 0; i < kBufferCount; ++i) {
        QueueBuffer();
    }
    FDevice->Restart();
    return true;
}

bool TAudioPlay::OpenDevice(TAudioSource& source) {
    FStream = &source;
    TAVIStreamInfo info;
    if (source.Info(info) != AVIERR_OK) {
        return false;
    }
    // Variable-size samples (or absurd ones) cannot be cut into whole
    // samples per buffer: such clips play silently.
    if (info.dwSampleSize == 0 || info.dwSampleSize > static_cast<std::uint32_t>(kMaxSampleSize)) {
        return false;
    }
    FSampleSize = static_cast<std::int32_t>(info.dwSampleSize);
    FBufferSize = std::max(FSampleSize, kMinBufferSize);
    const std::vector<std::uint8_t> bytes = source.Format();
    // The fixed part of a wave format is 16 bytes; cbSize is optional.
    if (bytes.size() < 16) {
        return false;
    }
    TWaveFormatEx format;
    std::memcpy(&format, bytes.data(), std::min(bytes.size(), sizeof format));
    FDeviceOpen = FDevice->Open(format);
    return FDeviceOpen;
}

bool TAudioPlay::QueueBuffer() {
    auto block = std::make_unique<TBlock>();
    block->Data.resize(static_cast<std::size_t>(FBufferSize));
    block->Pass = FPass;
    TWaveHeader& header = block->Header;
    header.lpData = block->Data.data();
    header.dwBufferLength = FBufferSize;
    header.dwUser = reinterpret_cast<std::uintptr_t>(this);
    header.dwFlags = WHDR_DONE;
    const std::int32_t n = std::min(FEndSample - FNextSample, FBufferSize / FSampleSize);
    bool written = false;
    if (n > 0) {
        std::int32_t bytes = 0;
        std::int32_t samples = 0;
        const THResult hr =
            FStream->Read(FNextSample, n, header.lpData, FBufferSize, &bytes, &samples);
        if (hr == AVIERR_OK && samples == n && bytes > 0 && bytes <= FBufferSize) {
            header.dwBufferLength = bytes;
            FNextSample += n;
            FBlocks.push_back(std::move(block));
            written = FDevice->Write(&FBlocks.back()->Header);
            if (!written) {
                FBlocks.pop_back();
            }
        }
    }
    FPlaying = true;
    return true;
}

void TAudioPlay::BufferDone(TWaveHeader* header) {
    const auto it = std::find_if(FBlocks.begin(), FBlocks.end(),
                                 [header](const auto& b) { return &b->Header == header; });
    if (it == FBlocks.end()) {
        return;
    }
    // Buffers of a device that Stop closed are only freed: refilling them
    // would put a ninth buffer into the queue of the play that followed.
    const bool current = (*it)->Pass == FPass && FDeviceOpen;
    FBlocks.erase(it);
    if (FPlaying && current) {
        QueueBuffer();
    }
}

void TAudioPlay::Stop() {
    if (!FDeviceOpen) {
        return;
    }
    FPlaying = false;
    FDevice->Reset();
    FDevice->Close();
    FDeviceOpen = false;
}

} // namespace framolo
