#include "controls/image_control.h"

#include <QMouseEvent>
#include <QPainter>

namespace framolo {

TImageControl::TImageControl(QWidget* parent) : QWidget(parent) {}

void TImageControl::SetDisplayed(const QPixmap& picture) {
    displayed_ = picture;
    update();
}

void TImageControl::SetStretch(bool value) {
    if (stretch_ == value)
        return;
    stretch_ = value;
    update();
}

void TImageControl::SetCenter(bool value) {
    if (center_ == value)
        return;
    center_ = value;
    update();
}

void TImageControl::paintEvent(QPaintEvent* /*event*/) {
    if (!HasPicture(displayed_))
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (stretch_) {
        painter.drawPixmap(rect(), displayed_);
        return;
    }
    const QSizeF logical = displayed_.deviceIndependentSize();
    QPointF origin(0, 0);
    if (center_)
        origin = QPointF((width() - logical.width()) / 2.0, (height() - logical.height()) / 2.0);
    painter.drawPixmap(origin, displayed_);
}

void TImageControl::mousePressEvent(QMouseEvent* event) {
    if (OnMouseDown)
        OnMouseDown(event);
    QWidget::mousePressEvent(event);
}

} // namespace framolo
