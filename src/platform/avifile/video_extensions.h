#pragma once

// The extensions of the video files the reader opens, each tried with a clip
// in the reader's tests: what an open dialog offers and what a GIF must not
// be written over by mistake.

#include <array>

namespace framolo {

inline constexpr std::array<const char*, 13> VideoFileExtensions = {
    ".avi",  ".mp4", ".m4v", ".mkv", ".mov", ".webm", ".mpg",
    ".mpeg", ".wmv", ".flv", ".ogv", ".3gp", ".ts"};

} // namespace framolo
