#pragma once

#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace framolo {

// What the status line says of a file that opened although it is damaged, so
// that a person knows why the clip or the GIF is shorter than it should be.

// For a clip whose video stream holds fewer frames than its header promises
// (a recording cut off, a download stopped half-way); unset otherwise.
std::optional<QString> ClipEndsEarlyText(const std::string& path);

// For a GIF image the reader warned about (its first warning is named);
// unset when it gave none.
std::optional<QString> GifDamagedText(const std::vector<std::string>& warnings, int frames);

} // namespace framolo
