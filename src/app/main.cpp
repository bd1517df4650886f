#include "app/form_main.h"
#include "app/startup.h"

#include <QApplication>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>
#include <string_view>

#ifndef FRAMOLO_VERSION
#define FRAMOLO_VERSION "unknown"
#endif

namespace {

// The manual page is made from this text and the version line.
constexpr const char* kUsage =
    "framolo turns video clips into animated GIFs, and GIFs back into uncompressed AVI files,\n"
    "in a window.\n"
    "\n"
    "usage:\n"
    "  framolo             opens the window\n"
    "  framolo FILE        opens the window with FILE: a GIF image (.gif) on the\n"
    "                      GIF to AVI tab, any other file as a video on the first\n"
    "  framolo --help      this text\n"
    "  framolo --version   the version\n"
    "\n"
    "Qt's own options work too, for example -style and -platform. The window's Help\n"
    "button opens the help page installed with it; framolo-cli does the same\n"
    "conversions from the command line.\n";

} // namespace

int main(int argc, char** argv) {
    // Answered before the QApplication exists, so that they work without a display.
    if (argc == 2) {
        const std::string_view option = argv[1];
        if (option == "--help" || option == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (option == "--version") {
            std::fputs("framolo " FRAMOLO_VERSION "\n", stdout);
            return 0;
        }
    }
    framolo::KeepLargeBuffersApart();
    QApplication app(argc, argv);
    // What Qt left of the arguments: the program, then at most one file.
    const QStringList args = QApplication::arguments();
    if (args.size() > 2) {
        std::fputs("framolo: give at most one FILE; see framolo --help\n", stderr);
        return 2;
    }
    const QString file = args.value(1);
    // A file that is not there is still handed on: the window shows the box
    // Open shows for a file it cannot open.
    if (!file.isEmpty() && !QFileInfo(file).isFile())
        std::fprintf(stderr, "framolo: %s: no such file\n", qUtf8Printable(file));
    framolo::TStartup started = framolo::StartFramolo(file);
    return QApplication::exec();
}
