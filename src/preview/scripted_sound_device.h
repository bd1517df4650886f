#pragma once

// A sound device for tests: it plays nothing, logs every call, and gives
// buffer-done notices only when the test asks for them, so a test decides
// exactly when (and whether) each notice arrives.

#include <deque>
#include <string>
#include <vector>

#include "preview/sound_device.h"

namespace framolo {

class TScriptedSoundDevice : public TSoundDevice {
public:
    // What happened, one entry a call: "open", "pause", "restart",
    // "write <bytes>", "reset", "close".
    std::vector<std::string> Log;
    // Open fails while this is set, as on a machine without sound.
    bool FailOpen = false;
    // The format of the last successful Open.
    TWaveFormatEx Format;

    bool Open(const TWaveFormatEx& format) override;
    void Pause() override;
    void Restart() override;
    bool Write(TWaveHeader* header) override;
    void Reset() override;
    void Close() override;

    bool IsOpen() const { return FOpen; }
    bool IsPaused() const { return FPaused; }
    // Buffers written and not yet played or returned.
    std::size_t Queued() const { return FQueue.size(); }
    // Buffers returned by Reset or Close whose notices have not been given.
    std::size_t Returned() const { return FReturned.size(); }
    // Lengths of every buffer written so far, in order.
    const std::vector<std::int32_t>& Written() const { return FWritten; }

    // Plays the first `count` queued buffers (fewer if fewer are queued) and
    // gives their notices; returns how many were played.
    std::size_t Finish(std::size_t count = 1);
    // Gives the notices of the buffers Reset and Close returned.
    std::size_t DeliverReturned();
    // Gives a notice for `header` whatever its state, as a device that
    // misbehaves would.
    void Notify(TWaveHeader* header);

private:
    void Done(TWaveHeader* header);

    std::deque<TWaveHeader*> FQueue;
    std::deque<TWaveHeader*> FReturned;
    std::vector<std::int32_t> FWritten;
    bool FOpen = false;
    bool FPaused = false;
};

} // namespace framolo
