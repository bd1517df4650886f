#include "controls/framed_group_box.h"

#include <QEvent>

namespace framolo {

TFramedGroupBox::TFramedGroupBox(QWidget* parent) : QGroupBox(parent) {}

TFramedGroupBox::TFramedGroupBox(const QString& title, QWidget* parent)
    : QGroupBox(title, parent) {}

void TFramedGroupBox::SetPropageEnable(bool value) {
    propageEnable_ = value;
    PropagateEnabled();
}

void TFramedGroupBox::PropagateEnabled() {
    const bool enabled = isEnabled();
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        child->setEnabled(enabled);
}

void TFramedGroupBox::changeEvent(QEvent* event) {
    QGroupBox::changeEvent(event);
    switch (event->type()) {
    case QEvent::EnabledChange:
        PropagateEnabled();
        break;
    case QEvent::StyleChange:
        if (OnCtl3DChanged)
            OnCtl3DChanged();
        break;
    case QEvent::PaletteChange:
        if (OnParentColorChange)
            OnParentColorChange();
        break;
    default:
        break;
    }
}

void TFramedGroupBox::enterEvent(QEnterEvent* event) {
    QGroupBox::enterEvent(event);
    hover_.Enter();
    if (OnMouseEnter)
        OnMouseEnter();
}

void TFramedGroupBox::leaveEvent(QEvent* event) {
    QGroupBox::leaveEvent(event);
    hover_.Leave();
    if (OnMouseLeave)
        OnMouseLeave();
}

} // namespace framolo
