#pragma once

#include <cstdint>
#include <functional>

class QDialog;

namespace framolo {

// Every modal dialog and message box of the program runs through RunModal, so a
// test can answer it without entering a modal loop. The runner receives the
// dialog fully prepared and returns its result code (QDialog::Accepted, or the
// button a message box was closed with).
using TModalRunner = std::function<int(QDialog& dialog)>;

int RunModal(QDialog& dialog);

// How many modal steps have run so far. A control that runs a command compares
// it before and after: when it changed, the mouse may have gone anywhere
// meanwhile, and the leave that told of it came during the modal loop.
std::uint64_t ModalRunCount();

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
