#include "controls/modal_seam.h"

#include <QDialog>

namespace framolo {

namespace {
TModalRunner& Runner() {
    static TModalRunner runner;
    return runner;
}
} // namespace

int RunModal(QDialog& dialog) {
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
