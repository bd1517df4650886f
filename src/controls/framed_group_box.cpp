#include "controls/framed_group_box.h"

#include <QEvent>

namespace framolo {

TFramedGroupBox::TFramedGroupBox(QWidget* parent) : TFramedGroupBoxBase(parent) {}

TFramedGroupBox::TFramedGroupBox(const QString& title, QWidget* parent)
    : TFramedGroupBoxBase(title, parent) {}

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
    TFramedGroupBoxBase::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        PropagateEnabled();
}

} // namespace framolo
