#include "cli/cli_help.h"

#include <algorithm>
#include <thread>

#ifndef FRAMOLO_VERSION
#define FRAMOLO_VERSION "unknown"
#endif

namespace framolo {

std::string UsageText() {
    return "framolo-cli turns video clips into animated GIFs, and GIFs back into uncompressed AVI "
           "files.\n"
           "\n"
           "usage:\n"
           "  framolo-cli avi2gif INPUT OUTPUT.gif [options]    video frames to an animated GIF\n"
           "  framolo-cli gif2avi INPUT.gif OUTPUT.avi [options] GIF frames to an AVI file\n"
           "  framolo-cli info [--json] [--frame-hashes] FILE   what a GIF or a video holds\n"
           "  framolo-cli help [COMMAND]                        this text, or a command's own\n"
           "  framolo-cli --version\n"
           "\n"
           "\"framolo-cli COMMAND --help\" lists a command's options. Exit status: 0 done,\n"
           "1 failed or stopped, 2 bad usage.\n";
}

std::string CommandHelp(const std::string& command) {
    if (command == "avi2gif") {
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        return "usage: framolo-cli avi2gif INPUT OUTPUT.gif [options]\n"
               "\n"
               "Converts the frames START to END of INPUT, every STEP-th one, into an animated\n"
               "GIF: each frame is scaled to WIDTH x HEIGHT, reduced to at most 256 colours and\n"
               "written as soon as it is done. INPUT may be any video FFmpeg reads (AVI, MP4,\n"
               "MKV, MOV, WebM). A failed or stopped (Ctrl-C) run leaves no OUTPUT.gif.\n"
               "\n"
               "options:\n"
               "  --start N           first frame (default: the clip's first frame)\n"
               "  --end N             last frame, included (default: the clip's last frame)\n"
               "  --step N            take every N-th frame, N above 0 (default: 1)\n"
               "  --width N           output width in pixels (default: the clip's width)\n"
               "  --height N          output height in pixels (default: the clip's height)\n"
               "  --delay MS          how long each frame shows, in milliseconds (default: the\n"
               "                      clip's frame period). A GIF stores delays in hundredths\n"
               "                      of a second, cut down: 125 is stored as 12, 5 as 0.\n"
               "                      Common browsers play a stored 0 or 1 as 10 hundredths;\n"
               "                      20 (2 hundredths) is the shortest delay they play as given.\n"
               "  --loop N            the loop count stored in the GIF: 0 (default) loops\n"
               "                      forever; most viewers show the animation once and then\n"
               "                      repeat it N times\n"
               "  --reduction METHOD  windows20 windows256 windowsgray monochrome grayscale\n"
               "                      netscape quantize quantizewindows (default: quantize),\n"
               "                      or best: a palette that keeps the error small (Wu's\n"
               "                      split refined by k-means), searched exactly\n"
               "  --dither MODE       nearest floydsteinberg stucki sierra jajuni stevearche\n"
               "                      burkes (default: floydsteinberg)\n"
               "  --rle               code the image data by runs instead of LZW\n"
               "  --optimize          a smaller file showing the same frames: one best palette\n"
               "                      while it fits the scene, only each frame's changed\n"
               "                      rectangle, unchanged pixels transparent where that is\n"
               "                      shorter (implies --reduction best)\n"
               "  --tolerance N       with --optimize: a pixel whose colour moved by at most N\n"
               "                      levels (a distance in RGB) keeps its index while that\n"
               "                      index stays a good choice; 0 keeps only unchanged\n"
               "                      pixels (default: 8)\n"
               "  --threads N         threads that reduce and code frames (default: one per\n"
               "                      core, here " +
               std::to_string(cores) +
               "); the GIF is the same for every N\n"
               "  --json              print the report as one JSON object\n"
               "  --quiet             no progress bar, warnings or text report\n"
               "  -h, --help          this text\n"
               "\n"
               "The report gives the GIF's width, height, frame count, size and file name.\n";
    }
    if (command == "gif2avi") {
        return "usage: framolo-cli gif2avi INPUT.gif OUTPUT.avi [options]\n"
               "\n"
               "Writes every frame of INPUT.gif as one key frame of a new uncompressed 8-bit AVI\n"
               "file, at 65 / D frames a second, D being the first delay the GIF gives (in\n"
               "hundredths of a second). OUTPUT takes the .avi extension when it has another.\n"
               "\n"
               "options:\n"
               "  --json              print the report as one JSON object\n"
               "  --quiet             no progress bar or text report\n"
               "  -h, --help          this text\n";
    }
    if (command == "info") {
        return "usage: framolo-cli info [--json] [--frame-hashes] FILE\n"
               "\n"
               "Describes FILE. A file the GIF reader accepts is described as a GIF: its logical\n"
               "screen, loop count and every frame's size, colours, delay and pixel hash. Any\n"
               "other file is opened as a video: its streams as the AVI header gives them.\n"
               "\n"
               "options:\n"
               "  --json              one JSON object instead of lines of text\n"
               "  --frame-hashes      for a video, an FNV-1a hash of every decoded frame\n"
               "  -h, --help          this text\n";
    }
    return "";
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
