#pragma once

#include <functional>

class QDialog;

namespace framolo {

// Every modal dialog and message box of the program runs through RunModal, so a
// test can answer it without entering a modal loop. The runner receives the
// dialog fully prepared and returns its result code (QDialog::Accepted, or the
// button a message box was closed with).
using TModalRunner = std::function<int(QDialog& dialog)>;

int RunModal(QDialog& dialog);

// Replaces the runner; an empty one restores QDialog::exec. Returns the previous one.
TModalRunner SetModalRunner(TModalRunner runner);

// Installs a runner for the lifetime of a scope.
class TScopedModalRunner {
public:
    explicit TScopedModalRunner(TModalRunner runner)
        : previous_(SetModalRunner(std::move(runner))) {}
    ~TScopedModalRunner() { SetModalRunner(std::move(previous_)); }
    TScopedModalRunner(const TScopedModalRunner&) = delete;
    TScopedModalRunner& operator=(const TScopedModalRunner&) = delete;

private:
    TModalRunner previous_;
};

} // namespace framolo
