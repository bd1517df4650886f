#pragma once

#include <QPointer>

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
// main window, in that order. Needs a QApplication.
TStartup StartFramolo();

} // namespace framolo
