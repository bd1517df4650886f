#include "cli/cli_help.h"

#include "cli/cli_options.h"

#ifndef FRAMOLO_VERSION
#define FRAMOLO_VERSION "unknown"
#endif

namespace framolo {

std::string UsageText() {
    return "framolo-cli turns video clips into animated GIFs, and GIFs back into uncompressed AVI "
           "files.\n"
           "\n"
           "usage:\n"
           "  framolo-cli avi2gif INPUT OUTPUT.gif [options]      video frames to an animated GIF\n"
           "  framolo-cli gif2avi INPUT.gif OUTPUT.avi [options]  GIF frames to an AVI file\n"
           "  framolo-cli gif2video INPUT.gif OUTPUT.mp4|.webm    GIF frames to a shareable clip\n"
           "  framolo-cli info [--json] [--frame-hashes] FILE     what a GIF or a video holds\n"
           "  framolo-cli help [COMMAND]                          this text, or a command's own\n"
           "  framolo-cli --version\n"
           "\n"
           "\"framolo-cli COMMAND --help\" lists a command's options. Exit status: 0 done,\n"
           "1 failed or stopped, 2 bad usage.\n";
}

std::string CommandHelp(const std::string& command) {
    const TCliCommand* found = FindCommand(command);
    return found != nullptr ? CommandHelp(*found) : "";
}

std::string VersionText() {
    return std::string("framolo-cli ") + FRAMOLO_VERSION + "\n";
}

std::optional<std::string> DelayWarning(int delayMs) {
    const int stored = (delayMs / 10) & 0xFFFF;
    if (stored >= 2)
        return std::nullopt;
    return "warning: a delay of " + std::to_string(delayMs) + " ms is stored as " +
           std::to_string(stored) + (stored == 1 ? " hundredth" : " hundredths") +
           " of a second, which common browsers play as 10 hundredths (100 ms); the shortest "
           "delay they play as asked is 2 hundredths (--delay 20)";
}

} // namespace framolo
