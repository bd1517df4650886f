#include "app/track_bar.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QStylePainter>

#include <algorithm>
#include <climits>
#include <cstdint>

namespace framolo {

TTrackBar::TTrackBar(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setTickPosition(QSlider::TicksBelow);
}

void TTrackBar::SetSelStart(int value) {
    if (selStart_ == value)
        return;
    selStart_ = value;
    update();
}

void TTrackBar::SetSelEnd(int value) {
    if (selEnd_ == value)
        return;
    selEnd_ = value;
    update();
}

void TTrackBar::mousePressEvent(QMouseEvent* event) {
    if (OnMouseDown)
        OnMouseDown();
    QSlider::mousePressEvent(event);
}

void TTrackBar::mouseMoveEvent(QMouseEvent* event) {
    QSlider::mouseMoveEvent(event);
    if (OnMouseMove)
        OnMouseMove();
}

void TTrackBar::mouseReleaseEvent(QMouseEvent* event) {
    QSlider::mouseReleaseEvent(event);
    if (OnMouseUp)
        OnMouseUp();
}

void TTrackBar::paintEvent(QPaintEvent* event) {
    if (selStart_ != 0 || selEnd_ != 0) {
        QStyleOptionSlider option;
        initStyleOption(&option);
        const QRect groove =
            style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
        const QRect handle =
            style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
        const int span = groove.width() - handle.width();
        const int left = groove.left() + handle.width() / 2;
        const int from = QStyle::sliderPositionFromValue(minimum(), maximum(),
                                                         std::min(selStart_, selEnd_), span);
        const int to = QStyle::sliderPositionFromValue(minimum(), maximum(),
                                                       std::max(selStart_, selEnd_), span);
        QPainter painter(this);
        painter.fillRect(QRect(left + from, groove.center().y() - 3, to - from + 1, 6),
                         QColor(255, 179, 71, 200));
    }
    // Ticks are drawn one by one in int steps: a clip that claims billions of
    // frames would have the style draw, or step past the largest int, without
    // end. More ticks than the bar has pixels show nothing anyway.
    const std::int64_t step = std::max(tickInterval(), 1);
    const std::int64_t range = std::int64_t{maximum()} - minimum();
    if (tickPosition() != NoTicks &&
        (range / step >= width() || std::int64_t{maximum()} + step > INT_MAX)) {
        QStylePainter painter(this);
        QStyleOptionSlider option;
        initStyleOption(&option);
        option.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
        option.tickPosition = NoTicks;
        painter.drawComplexControl(QStyle::CC_Slider, option);
        return;
    }
    QSlider::paintEvent(event);
}

} // namespace framolo
