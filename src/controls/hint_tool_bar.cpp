#include "controls/hint_tool_bar.h"

#include <QEvent>

namespace framolo {

THintToolBar::THintToolBar(QWidget* parent) : QToolBar(parent) {
    setMovable(false);
    setFloatable(false);
}

void THintToolBar::changeEvent(QEvent* event) {
    QToolBar::changeEvent(event);
    if (event->type() == QEvent::StyleChange && OnCtl3DChanged)
        OnCtl3DChanged();
    else if (event->type() == QEvent::PaletteChange && OnParentColorChange)
        OnParentColorChange();
}

void THintToolBar::enterEvent(QEnterEvent* event) {
    QToolBar::enterEvent(event);
    hover_.Enter();
    if (OnMouseEnter)
        OnMouseEnter();
}

void THintToolBar::leaveEvent(QEvent* event) {
    QToolBar::leaveEvent(event);
    hover_.Leave();
    if (OnMouseLeave)
        OnMouseLeave();
}

} // namespace framolo
