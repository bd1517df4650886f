#include "controls/image_button.h"

#include "controls/modal_seam.h"

#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

namespace framolo {

void TButtonPictures::Change(QPixmap& slot, const QPixmap& picture) {
    slot = picture;
    owner_.SetState(owner_.State());
}

namespace {

// The keys that click a button that has the focus.
bool ClickKey(const QKeyEvent* key) {
    const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    return plain && (key->key() == Qt::Key_Space || key->key() == Qt::Key_Return ||
                     key->key() == Qt::Key_Enter);
}

} // namespace

TImageButton::TImageButton(QWidget* parent) : TImageButtonBase(parent), pictures_(*this) {
    // Tab reaches the button; a mouse click does not take the focus from a field.
    setFocusPolicy(Qt::TabFocus);
}

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

namespace framolo {

bool TImageButton::event(QEvent* event) {
    if (event->type() == QEvent::ToolTipChange)
        setAccessibleName(toolTip());
    // The click keys belong to the focused button, before any shortcut.
    if (event->type() == QEvent::ShortcutOverride && ClickKey(static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    return TImageButtonBase::event(event);
}

void TImageButton::keyPressEvent(QKeyEvent* event) {
    if (!ClickKey(event) || event->isAutoRepeat()) {
        TImageButtonBase::keyPressEvent(event);
        return;
    }
    event->accept();
    Click();
}

void TImageButton::paintEvent(QPaintEvent* event) {
    TImageButtonBase::paintEvent(event);
    if (!hasFocus())
        return;
    // A dashed white ring on a dark one: it shows on any face, and does not
    // look like the hover picture's outline.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF ring = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
    painter.setPen(QPen(QColor(0x1f, 0x21, 0x46), 3.0));
    painter.drawRoundedRect(ring, 4, 4);
    QPen dashes(Qt::white, 1.5);
    dashes.setDashPattern({2.0, 2.0});
    painter.setPen(dashes);
    painter.drawRoundedRect(ring, 4, 4);
}

} // namespace framolo
