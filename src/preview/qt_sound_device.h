#pragma once

// The sound device of a player: Qt Multimedia's QAudioSink on the default
// output, fed in push mode from the queued buffers by a short timer on the GUI
// thread.

#include <deque>
#include <memory>

#include <QObject>
#include <QTimer>

#include "preview/sound_device.h"

class QAudioSink;
class QIODevice;

namespace framolo {

class TQtSoundDevice : public QObject, public TSoundDevice {
    Q_OBJECT
public:
    explicit TQtSoundDevice(QObject* parent = nullptr);
    ~TQtSoundDevice() override;

    bool Open(const TWaveFormatEx& format) override;
    void Pause() override;
    void Restart() override;
    bool Write(TWaveHeader* header) override;
    void Reset() override;
    void Close() override;

private:
    struct TQueued {
        TWaveHeader* Header = nullptr;
        std::int32_t Written = 0;
    };

    // Hands the sink as much queued data as it takes; a buffer whose last
    // byte went to the sink is done.
    void Pump();
    void PostDone(TWaveHeader* header);
    void ReturnAll();

    std::unique_ptr<QAudioSink> FSink;
    QIODevice* FIo = nullptr; // owned by FSink
    std::deque<TQueued> FQueue;
    QTimer FPump;
    bool FPaused = false;
};

} // namespace framolo
