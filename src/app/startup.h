#pragma once

#include <QPointer>
#include <QString>

#include <memory>

namespace framolo {

class TFormmain;
class TFormSplash;

// What start-up leaves running: the hidden main window, and the splash window
// that shows it after its delay and then destroys itself.
struct TStartup {
    std::unique_ptr<TFormmain> Main;
    QPointer<TFormSplash> Splash;
};

// Gives every large buffer a mapping of its own, so that a conversion's
// frames, kept for the whole run, do not sit between the picture-sized
// buffers every frame makes and frees, whose holes would otherwise stay
// resident (glibc only; elsewhere nothing changes).
void KeepLargeBuffersApart();

// Sets the application's title and look, then creates the splash window and the
// main window, in that order. Needs a QApplication. A file, when given, opens
// on the page for its kind once the main window shows: a GIF image on the GIF
// to AVI page, anything else as a clip on the first page.
TStartup StartFramolo(const QString& file = QString());

} // namespace framolo
