#include "preview/qt_sound_device.h"

#include <algorithm>

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>

namespace framolo {

namespace {

// The sink holds about this much sound beyond the eight queued buffers; it is
// what Reset throws away, so it is kept short.
constexpr int kSinkMilliseconds = 100;
// How often queued data is moved into the sink.
constexpr int kPumpMilliseconds = 5;

} // namespace

TQtSoundDevice::TQtSoundDevice(QObject* parent) : QObject(parent) {
    FPump.setTimerType(Qt::PreciseTimer);
    FPump.setInterval(kPumpMilliseconds);
    connect(&FPump, &QTimer::timeout, this, [this] { Pump(); });
}

TQtSoundDevice::~TQtSoundDevice() {
    FPump.stop();
    if (FSink) {
        FSink->stop();
    }
}

bool TQtSoundDevice::Open(const TWaveFormatEx& format) {
    Close();
    if (format.wFormatTag != WAVE_FORMAT_PCM || format.nChannels == 0 ||
        format.nSamplesPerSec == 0) {
        return false;
    }
    QAudioFormat f;
    f.setSampleRate(static_cast<int>(format.nSamplesPerSec));
    f.setChannelCount(format.nChannels);
    if (format.wBitsPerSample == 16) {
        f.setSampleFormat(QAudioFormat::Int16);
    } else if (format.wBitsPerSample == 8) {
        f.setSampleFormat(QAudioFormat::UInt8);
    } else {
        return false;
    }
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull() || !device.isFormatSupported(f)) {
        return false;
    }
    FSink = std::make_unique<QAudioSink>(device, f);
    FSink->setBufferSize(
        std::max(4096, f.bytesForDuration(std::int64_t{kSinkMilliseconds} * 1000)));
    FPaused = false;
    FIo = nullptr;
    return true;
}

void TQtSoundDevice::Pause() {
    FPaused = true;
    if (FIo != nullptr) {
        FSink->suspend();
    }
}

void TQtSoundDevice::Restart() {
    if (!FSink) {
        return;
    }
    FPaused = false;
    if (FIo == nullptr) {
        FIo = FSink->start();
        if (FIo == nullptr) {
            // The sound server refused the stream: the play goes on silently,
            // and every buffer comes back at once.
            ReturnAll();
            return;
        }
    } else {
        FSink->resume();
    }
    Pump();
    FPump.start();
}

bool TQtSoundDevice::Write(TWaveHeader* header) {
    if (!FSink || header == nullptr) {
        return false;
    }
    header->dwFlags &= ~WHDR_DONE;
    FQueue.push_back({header, 0});
    if (!FPaused && FIo == nullptr) {
        Restart();
    } else {
        Pump();
        if (!FPaused && FIo != nullptr && !FPump.isActive()) {
            FPump.start();
        }
    }
    return true;
}

void TQtSoundDevice::Reset() {
    FPump.stop();
    if (FSink) {
        FSink->reset();
        FSink->stop();
    }
    FIo = nullptr;
    ReturnAll();
}

void TQtSoundDevice::Close() {
    FPump.stop();
    if (FSink) {
        FSink->stop();
        FSink.reset();
    }
    FIo = nullptr;
    ReturnAll();
}

void TQtSoundDevice::Pump() {
    // An empty queue needs no pumping until the next Write.
    if (FQueue.empty()) {
        FPump.stop();
        return;
    }
    if (FIo == nullptr || FPaused) {
        return;
    }
    while (!FQueue.empty()) {
        TQueued& front = FQueue.front();
        const std::int32_t left = front.Header->dwBufferLength - front.Written;
        if (left > 0) {
            const qsizetype room = FSink->bytesFree();
            if (room <= 0) {
                break;
            }
            const qint64 n =
                FIo->write(reinterpret_cast<const char*>(front.Header->lpData) + front.Written,
                           std::min<qint64>(room, left));
            if (n <= 0) {
                break;
            }
            front.Written += static_cast<std::int32_t>(n);
            if (front.Written < front.Header->dwBufferLength) {
                break;
            }
        }
        TWaveHeader* done = front.Header;
        FQueue.pop_front();
        PostDone(done);
    }
}

void TQtSoundDevice::PostDone(TWaveHeader* header) {
    // Posted with this device as the context: notices still queued when the
    // device is destroyed are dropped with it, and their owner frees the
    // buffers itself.
    QMetaObject::invokeMethod(
        this,
        [this, header] {
            header->dwFlags |= WHDR_DONE;
            if (OnBufferDone) {
                OnBufferDone(header);
            }
        },
        Qt::QueuedConnection);
}

void TQtSoundDevice::ReturnAll() {
    while (!FQueue.empty()) {
        TWaveHeader* header = FQueue.front().Header;
        FQueue.pop_front();
        PostDone(header);
    }
}

} // namespace framolo
