#include "app/damage_notes.h"

#include "platform/avifile/avifile_guards.h"

namespace framolo {

std::optional<QString> ClipEndsEarlyText(const std::string& path) {
    TAVILibraryGuard library;
    TAVIFileGuard file;
    if (AVIFileOpen(file.File, path, OF_SHARE_DENY_WRITE) != 0) {
        file.File = nullptr;
        return std::nullopt;
    }
    TAVIStreamGuard video;
    if (AVIFileGetStream(file.File, video.Stream, streamtypeVIDEO, 0) != 0) {
        video.Stream = nullptr;
        return std::nullopt;
    }
    const std::int32_t promised = AVIStreamLength(video.Stream);
    const std::int32_t inFile = AVIStreamLengthInFile(video.Stream);
    if (inFile < 0 || inFile >= promised)
        return std::nullopt;
    return QStringLiteral("The clip ends early: %1 of %2 frames could be read")
        .arg(inFile)
        .arg(promised);
}

std::optional<QString> GifDamagedText(const std::vector<std::string>& warnings, int frames) {
    if (warnings.empty())
        return std::nullopt;
    return QStringLiteral("The GIF image is damaged (%1): %2 frames could be read")
        .arg(QString::fromStdString(warnings.front()))
        .arg(frames);
}

} // namespace framolo
