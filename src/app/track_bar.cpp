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

void TTrackBar::paintEvent(QPaintEvent* /*event*/) {
    QStylePainter painter(this);
    QStyleOptionSlider option;
    initStyleOption(&option);
    // Ticks are drawn one by one in int steps: a clip that claims billions of
    // frames would have the style draw, or step past the largest int, without
    // end. More ticks than the bar has pixels show nothing anyway.
    const std::int64_t step = std::max(tickInterval(), 1);
    const std::int64_t range = std::int64_t{maximum()} - minimum();
    const bool ticks = tickPosition() != NoTicks && range / step < width() &&
                       std::int64_t{maximum()} + step <= INT_MAX;
    if (!ticks)
        option.tickPosition = NoTicks;
    // The groove first, the selection over it, the handle over both: a band
    // drawn under the groove would be hidden by it.
    option.subControls = QStyle::SC_SliderGroove;
    if (ticks)
        option.subControls |= QStyle::SC_SliderTickmarks;
    painter.drawComplexControl(QStyle::CC_Slider, option);
    if (selStart_ != 0 || selEnd_ != 0)
        painter.fillRect(SelectionRect(option), SelectionColor);
    option.subControls = QStyle::SC_SliderHandle;
    painter.drawComplexControl(QStyle::CC_Slider, option);
}

QRect TTrackBar::SelectionRect(const QStyleOptionSlider& option) const {
    const QRect groove =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect handle =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    const int span = groove.width() - handle.width();
    const int left = groove.left() + handle.width() / 2;
    const int from =
        QStyle::sliderPositionFromValue(minimum(), maximum(), std::min(selStart_, selEnd_), span);
    const int to =
        QStyle::sliderPositionFromValue(minimum(), maximum(), std::max(selStart_, selEnd_), span);
    // A range of one frame is still a mark a person can see.
    constexpr int kLeast = 3;
    const int width = std::max(to - from + 1, kLeast);
    const int centre = left + (from + to) / 2;
    return {std::min(left + from, centre - kLeast / 2), groove.center().y() - 3, width, 7};
}

} // namespace framolo
