#include "controls/hint_tool_bar.h"

namespace framolo {

THintToolBar::THintToolBar(QWidget* parent) : THintToolBarBase(parent) {
    setMovable(false);
    setFloatable(false);
}

} // namespace framolo
