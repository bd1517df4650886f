#include "controls/modal_seam.h"

#include <QDialog>

namespace framolo {

namespace {
TModalRunner& Runner() {
    static TModalRunner runner;
    return runner;
}

std::uint64_t& Runs() {
    static std::uint64_t runs = 0;
    return runs;
}
} // namespace

std::uint64_t ModalRunCount() {
    return Runs();
}

int RunModal(QDialog& dialog) {
    ++Runs();
    if (Runner())
        return Runner()(dialog);
    return dialog.exec();
}

TModalRunner SetModalRunner(TModalRunner runner) {
    TModalRunner previous = std::move(Runner());
    Runner() = std::move(runner);
    return previous;
}

} // namespace framolo
