#pragma once

// The sound output a TAudioPlay plays through: a device that takes buffers of
// PCM samples in order and hands each one back, once it has been played or
// thrown away, through a buffer-done notice.

#include <cstdint>
#include <functional>

#include "platform/avifile/avifile_types.h"

namespace framolo {

// One buffer of samples lent to a device. `lpData` points at `dwBufferLength`
// bytes; `dwUser` belongs to whoever lends the buffer.
struct TWaveHeader {
    std::uint8_t* lpData = nullptr;
    std::int32_t dwBufferLength = 0;
    std::uintptr_t dwUser = 0;
    std::uint32_t dwFlags = 0;
};

constexpr std::uint32_t WHDR_DONE = 1;

class TSoundDevice {
public:
    // Called for every buffer given to Write, exactly once, on the GUI thread
    // and never from inside a call of this interface: the buffer then belongs
    // to its lender again. Notices of buffers that Reset or Close returned may
    // arrive after Close, and after the next Open.
    std::function<void(TWaveHeader* header)> OnBufferDone;

    virtual ~TSoundDevice() = default;

    // Opens the device for samples of `format`; false when the format cannot be
    // played or there is no device. An open device starts playing at once
    // unless paused.
    virtual bool Open(const TWaveFormatEx& format) = 0;
    // Holds back the sound; written buffers wait.
    virtual void Pause() = 0;
    // Plays on from where Pause held it.
    virtual void Restart() = 0;
    // Queues a buffer behind the ones written before; false when the device is
    // not open (the buffer then stays with the caller and gets no notice).
    virtual bool Write(TWaveHeader* header) = 0;
    // Silences the device at once and returns every queued buffer.
    virtual void Reset() = 0;
    // Returns what is still queued and releases the device.
    virtual void Close() = 0;
};

} // namespace framolo
