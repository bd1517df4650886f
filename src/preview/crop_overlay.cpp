#include "preview/crop_overlay.h"

#include "preview/avi_player.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace framolo {

TCropOverlay::TCropOverlay(TAVIPlayer& player) : QWidget(&player), player_(player) {
    setObjectName("CropOverlay");
    setAttribute(Qt::WA_TransparentForMouseEvents, true);
    setAttribute(Qt::WA_NoSystemBackground, true);
    setGeometry(player.rect());
    player.installEventFilter(this);
    raise();
}

void TCropOverlay::SetActive(bool active) {
    if (active == active_)
        return;
    active_ = active;
    setAttribute(Qt::WA_TransparentForMouseEvents, !active);
    setCursor(active ? Qt::CrossCursor : Qt::ArrowCursor);
    drag_ = TDrag::None;
    // The keys go to the rectangle while it is being drawn, so that Escape
    // reaches whoever watches it before any shortcut does.
    setFocusPolicy(active ? Qt::ClickFocus : Qt::NoFocus);
}

void TCropOverlay::SetCrop(const std::optional<QRect>& crop) {
    if (crop == crop_)
        return;
    crop_ = crop;
    update();
    emit CropChanged();
}

bool TCropOverlay::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &player_ && event->type() == QEvent::Resize)
        setGeometry(player_.rect());
    return QWidget::eventFilter(watched, event);
}

QSize TCropOverlay::PictureSize() const {
    return {std::max(1, static_cast<int>(player_.FrameWidth())),
            std::max(1, static_cast<int>(player_.FrameHeight()))};
}

QRect TCropOverlay::ToScreen(const QRect& picture) const {
    const QSize size = PictureSize();
    const auto x = [&](int v) { return v * width() / size.width(); };
    const auto y = [&](int v) { return v * height() / size.height(); };
    return QRect(QPoint(x(picture.left()), y(picture.top())),
                 QPoint(x(picture.right() + 1) - 1, y(picture.bottom() + 1) - 1));
}

QPoint TCropOverlay::ToPicture(QPoint screen) const {
    const QSize size = PictureSize();
    const int x = width() > 0 ? screen.x() * size.width() / width() : 0;
    const int y = height() > 0 ? screen.y() * size.height() / height() : 0;
    return {std::clamp(x, 0, size.width() - 1), std::clamp(y, 0, size.height() - 1)};
}

void TCropOverlay::paintEvent(QPaintEvent*) {
    if (!crop_)
        return;
    QPainter painter(this);
    const QRect shown = ToScreen(*crop_);
    // What is cut away is dimmed; the rectangle has a light edge and handles.
    QRegion outside(rect());
    outside -= QRegion(shown);
    painter.setClipRegion(outside);
    painter.fillRect(rect(), QColor(0, 0, 0, 110));
    painter.setClipping(false);
    painter.setPen(QPen(QColor(255, 255, 255), 1, Qt::DashLine));
    painter.drawRect(shown.adjusted(0, 0, -1, -1));
    if (active_)
        for (const QPoint corner :
             {shown.topLeft(), shown.topRight(), shown.bottomLeft(), shown.bottomRight()})
            painter.fillRect(
                QRect(corner - QPoint(kHandle / 2, kHandle / 2), QSize(kHandle, kHandle)),
                QColor(255, 255, 255));
}

void TCropOverlay::mousePressEvent(QMouseEvent* event) {
    if (!active_ || event->button() != Qt::LeftButton)
        return;
    setFocus(Qt::MouseFocusReason);
    const QPoint at = event->position().toPoint();
    anchor_ = ToPicture(at);
    drag_ = TDrag::Draw;
    if (crop_) {
        const QRect shown = ToScreen(*crop_);
        const QPoint corners[] = {shown.topLeft(), shown.topRight(), shown.bottomLeft(),
                                  shown.bottomRight()};
        const QPoint opposite[] = {crop_->bottomRight(), crop_->bottomLeft(), crop_->topRight(),
                                   crop_->topLeft()};
        for (int i = 0; i < 4; ++i)
            if ((at - corners[i]).manhattanLength() <= kHandle) {
                drag_ = TDrag::Resize;
                fixedCorner_ = opposite[i];
            }
        if (drag_ == TDrag::Draw && shown.contains(at))
            drag_ = TDrag::Move;
        startCrop_ = *crop_;
    }
    if (drag_ == TDrag::Draw)
        SetCrop(QRect(anchor_, QSize(1, 1)));
}

void TCropOverlay::mouseMoveEvent(QMouseEvent* event) {
    if (!active_ || drag_ == TDrag::None)
        return;
    const QPoint at = ToPicture(event->position().toPoint());
    const QSize size = PictureSize();
    switch (drag_) {
    case TDrag::Draw:
        SetCrop(QRect(anchor_, at).normalized());
        break;
    case TDrag::Resize:
        SetCrop(QRect(fixedCorner_, at).normalized());
        break;
    case TDrag::Move: {
        QRect moved = startCrop_.translated(at - anchor_);
        moved.moveLeft(std::clamp(moved.left(), 0, size.width() - moved.width()));
        moved.moveTop(std::clamp(moved.top(), 0, size.height() - moved.height()));
        SetCrop(moved);
        break;
    }
    case TDrag::None:
        break;
    }
}

void TCropOverlay::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        drag_ = TDrag::None;
}

} // namespace framolo
