#pragma once

// Owners of AVIFile handles for the jobs and the player. Declared in the order
// they are acquired, they release in reverse order on every way out.

#include "platform/avifile/avifile.h"

namespace framolo {

struct TAVILibraryGuard {
    TAVILibraryGuard() { AVIFileInit(); }
    ~TAVILibraryGuard() { AVIFileExit(); }
    TAVILibraryGuard(const TAVILibraryGuard&) = delete;
    TAVILibraryGuard& operator=(const TAVILibraryGuard&) = delete;
};

struct TAVIFileGuard {
    PAVIFile File = nullptr;
    TAVIFileGuard() = default;
    ~TAVIFileGuard() {
        if (File != nullptr)
            AVIFileRelease(File);
    }
    TAVIFileGuard(const TAVIFileGuard&) = delete;
    TAVIFileGuard& operator=(const TAVIFileGuard&) = delete;
};

struct TAVIStreamGuard {
    PAVIStream Stream = nullptr;
    TAVIStreamGuard() = default;
    ~TAVIStreamGuard() {
        if (Stream != nullptr)
            AVIStreamRelease(Stream);
    }
    TAVIStreamGuard(const TAVIStreamGuard&) = delete;
    TAVIStreamGuard& operator=(const TAVIStreamGuard&) = delete;
};

struct TAVIStreamingGuard {
    PAVIStream Stream = nullptr;
    TAVIStreamingGuard() = default;
    ~TAVIStreamingGuard() {
        if (Stream != nullptr)
            AVIStreamEndStreaming(Stream);
    }
    TAVIStreamingGuard(const TAVIStreamingGuard&) = delete;
    TAVIStreamingGuard& operator=(const TAVIStreamingGuard&) = delete;
};

struct TAVIGetFrameGuard {
    PGetFrame GetFrame = nullptr;
    TAVIGetFrameGuard() = default;
    ~TAVIGetFrameGuard() {
        if (GetFrame != nullptr)
            AVIStreamGetFrameClose(GetFrame);
    }
    TAVIGetFrameGuard(const TAVIGetFrameGuard&) = delete;
    TAVIGetFrameGuard& operator=(const TAVIGetFrameGuard&) = delete;
};

} // namespace framolo
