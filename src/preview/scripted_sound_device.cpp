#include "preview/scripted_sound_device.h"

namespace framolo {

bool TScriptedSoundDevice::Open(const TWaveFormatEx& format) {
    Log.push_back("open");
    if (FailOpen) {
        return false;
    }
    Format = format;
    FOpen = true;
    FPaused = false;
    return true;
}

void TScriptedSoundDevice::Pause() {
    Log.push_back("pause");
    FPaused = true;
}

void TScriptedSoundDevice::Restart() {
    Log.push_back("restart");
    FPaused = false;
}

bool TScriptedSoundDevice::Write(TWaveHeader* header) {
    if (!FOpen) {
        return false;
    }
    Log.push_back("write " + std::to_string(header->dwBufferLength));
    header->dwFlags &= ~WHDR_DONE;
    FQueue.push_back(header);
    FWritten.push_back(header->dwBufferLength);
    return true;
}

void TScriptedSoundDevice::Reset() {
    Log.push_back("reset");
    FReturned.insert(FReturned.end(), FQueue.begin(), FQueue.end());
    FQueue.clear();
}

void TScriptedSoundDevice::Close() {
    Log.push_back("close");
    FReturned.insert(FReturned.end(), FQueue.begin(), FQueue.end());
    FQueue.clear();
    FOpen = false;
}

std::size_t TScriptedSoundDevice::Finish(std::size_t count) {
    std::size_t n = 0;
    while (n < count && !FQueue.empty() && !FPaused) {
        TWaveHeader* header = FQueue.front();
        FQueue.pop_front();
        Done(header);
        ++n;
    }
    return n;
}

std::size_t TScriptedSoundDevice::DeliverReturned() {
    std::size_t n = 0;
    while (!FReturned.empty()) {
        TWaveHeader* header = FReturned.front();
        FReturned.pop_front();
        Done(header);
        ++n;
    }
    return n;
}

void TScriptedSoundDevice::Notify(TWaveHeader* header) {
    // The header may be long gone: it is only passed on, never touched.
    if (OnBufferDone) {
        OnBufferDone(header);
    }
}

void TScriptedSoundDevice::Done(TWaveHeader* header) {
    header->dwFlags |= WHDR_DONE;
    if (OnBufferDone) {
        OnBufferDone(header);
    }
}

} // namespace framolo
