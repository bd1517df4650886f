#include "controls/image_control.h"

#include <QMouseEvent>
#include <QPainter>

#include "platform/changed_value.h"

namespace framolo {

TImageControl::TImageControl(QWidget* parent) : QWidget(parent) {}

void TImageControl::SetDisplayed(const QPixmap& picture) {
    displayed_ = picture;
    update();
}

void TImageControl::SetStretch(bool value) {
    if (SetIfChanged(stretch_, value))
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
    painter.drawPixmap(QPointF(0, 0), displayed_);
}

void TImageControl::mousePressEvent(QMouseEvent* event) {
    if (OnMouseDown)
        OnMouseDown(event);
    QWidget::mousePressEvent(event);
}

} // namespace framolo
