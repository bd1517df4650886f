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

// Sets the application's title and look, then creates the splash window and the
// main window, in that order. Needs a QApplication.
TStartup StartFramolo();

} // namespace framolo
