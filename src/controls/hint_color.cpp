#include "controls/hint_color.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>
#include <QToolTip>

namespace framolo {

QColor ApplicationHintColor() {
    return QToolTip::palette().color(QPalette::ToolTipBase);
}

void SetApplicationHintColor(const QColor& color) {
    QPalette palette = QToolTip::palette();
    if (palette.color(QPalette::ToolTipBase) == color)
        return;
    palette.setColor(QPalette::ToolTipBase, color);
    QToolTip::setPalette(palette);
}

QColor DefaultHintColor() {
    if (QApplication::style() != nullptr)
        return QApplication::style()->standardPalette().color(QPalette::ToolTipBase);
    return QColor(255, 255, 225);
}

bool THintHover::Enter() {
    if (guarded_ && hovering_)
        return false;
    saved_ = ApplicationHintColor();
    SetApplicationHintColor(hintColor_);
    hovering_ = true;
    return true;
}

bool THintHover::Leave() {
    if (guarded_ && !hovering_)
        return false;
    SetApplicationHintColor(saved_);
    hovering_ = false;
    return true;
}

} // namespace framolo
