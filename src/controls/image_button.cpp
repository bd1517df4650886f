#include "controls/image_button.h"

#include "controls/modal_seam.h"

#include <QCursor>
#include <QMouseEvent>
#include <QPointer>

namespace framolo {

void TButtonPictures::Change(QPixmap& slot, const QPixmap& picture) {
    slot = picture;
    owner_.SetState(owner_.State());
}

TImageButton::TImageButton(QWidget* parent) : TImageButtonBase(parent), pictures_(*this) {}

void TImageButton::SetPicture(const QPixmap& picture) {
    picture_ = picture;
    SetDisplayed(picture_);
}

const QPixmap& TImageButton::PictureFor(TPicState s) const {
    switch (s) {
    case TPicState::stEntered:
        return pictures_.PicEnter();
    case TPicState::stClicked1:
        return pictures_.PicClicked1();
    case TPicState::stClicked2:
        return pictures_.PicClicked2();
    case TPicState::stDown:
        return pictures_.PicDown();
    case TPicState::stDefault:
        break;
    }
    return picture_;
}

void TImageButton::SetState(TPicState s) {
    const QPixmap& picture = PictureFor(s);
    if (HasPicture(picture)) {
        SetDisplayed(picture);
        state_ = s;
    }
    if (OnStateChanged)
        OnStateChanged();
}

void TImageButton::ApplyClickState() {
    if (clickCount_ == 0 || clickCount_ >= 3) {
        clickCount_ = 0;
        SetState(TPicState::stDefault);
        return;
    }
    const TPicState wanted = clickCount_ == 1 ? TPicState::stClicked1 : TPicState::stClicked2;
    SetState(wanted);
    if (state_ != wanted) {
        clickCount_ = 0;
        SetState(TPicState::stDefault);
    }
}

void TImageButton::Click() {
    QPointer<TImageButton> alive(this);
    if (OnClick)
        OnClick();
    // A click handler may close the window that owns the button.
    if (!alive)
        return;
    ++clickCount_;
    ApplyClickState();
}

void TImageButton::HoverChanged(bool entered) {
    if (entered)
        SetState(TPicState::stEntered);
    else
        ApplyClickState();
}

void TImageButton::mousePressEvent(QMouseEvent* event) {
    if (OnMouseDown)
        OnMouseDown(event);
    event->accept();
    SetState(TPicState::stDown);
}

void TImageButton::mouseDoubleClickEvent(QMouseEvent* event) {
    if (!ignoresDoubleClick_) {
        mousePressEvent(event);
        return;
    }
    event->accept();
    ignoredPress_ = true;
}

void TImageButton::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (ignoredPress_) {
        ignoredPress_ = false;
        return;
    }
    QPointer<TImageButton> alive(this);
    QPoint at = event->position().toPoint();
    const std::uint64_t modalsBefore = ModalRunCount();
    // A click is a left release anywhere on the control, edges included.
    if (event->button() == Qt::LeftButton && rect().contains(at)) {
        Click();
        if (!alive)
            return;
    }
    if (state_ == TPicState::stClicked1 || state_ == TPicState::stClicked2)
        return;
    // A command with a modal step (a dialog, a box) returns with the mouse
    // wherever the person left it. The hover picture stays only while the
    // mouse is really on the button and no leave came meanwhile: a leave the
    // modal loop took is followed by a fresh enter once the mouse moves on it.
    if (ModalRunCount() != modalsBefore)
        at = isVisible() && Hovering() ? mapFromGlobal(QCursor::pos()) : QPoint(-1, -1);
    // The edges themselves count as outside here.
    const bool inside = at.x() > 0 && at.x() < width() && at.y() > 0 && at.y() < height();
    if (inside) {
        SetState(TPicState::stEntered);
        if (state_ == TPicState::stEntered)
            return;
    }
    ApplyClickState();
}

} // namespace framolo
