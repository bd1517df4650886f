#include "app/message_boxes.h"

#include "controls/modal_seam.h"

#include <QApplication>
#include <QMessageBox>

namespace framolo {

QString BoxTitle(TBoxKind kind) {
    switch (kind) {
    case TBoxKind::Warning:
        return QStringLiteral("Warning");
    case TBoxKind::Error:
        return QStringLiteral("Error");
    case TBoxKind::Information:
        return QStringLiteral("Information");
    case TBoxKind::Plain:
    case TBoxKind::ApplicationError:
        break;
    }
    return QApplication::applicationDisplayName();
}

void ShowBox(TBoxKind kind, const QString& text, QWidget* parent) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    if (kind == TBoxKind::Warning)
        icon = QMessageBox::Warning;
    else if (kind == TBoxKind::Error || kind == TBoxKind::ApplicationError)
        icon = QMessageBox::Critical;
    else if (kind == TBoxKind::Information)
        icon = QMessageBox::Information;
    QMessageBox box(icon, BoxTitle(kind), text, QMessageBox::Ok, parent);
    // A path or an address in a box can be copied from it.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    RunModal(box);
}

} // namespace framolo
