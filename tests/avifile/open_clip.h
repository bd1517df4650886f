#pragma once

// A clip opened for reading in one step: the library, the file and its first
// stream of a type (video unless asked otherwise), and on request its frames,
// all released again at the end of the scope.

#include "platform/avifile/avifile.h"

#include <cstdint>
#include <filesystem>

namespace framolo::avitest {

class TOpenClip {
public:
    explicit TOpenClip(const std::filesystem::path& path, std::uint32_t mode = OF_SHARE_DENY_WRITE,
                       std::uint32_t streamType = streamtypeVIDEO) {
        AVIFileInit();
        Result = AVIFileOpen(File, path.string(), mode);
        if (Result == AVIERR_OK) {
            Result = AVIFileGetStream(File, Stream, streamType, 0);
        }
    }
    ~TOpenClip() {
        if (Frames)
            AVIStreamGetFrameClose(Frames);
        if (Stream)
            AVIStreamRelease(Stream);
        if (File)
            AVIFileRelease(File);
        AVIFileExit();
    }
    PGetFrame OpenFrames() {
        Frames = AVIStreamGetFrameOpen(Stream, nullptr);
        return Frames;
    }
    THResult Result = AVIERR_OK;
    PAVIFile File = nullptr;
    PAVIStream Stream = nullptr;
    PGetFrame Frames = nullptr;
};

} // namespace framolo::avitest
