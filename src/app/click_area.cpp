#include "app/click_area.h"

#include <QMouseEvent>

namespace framolo {

TClickArea::TClickArea(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::PointingHandCursor);
}

void TClickArea::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void TClickArea::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
        OnClick)
        OnClick();
}

} // namespace framolo
