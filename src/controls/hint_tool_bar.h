#pragma once

#include "controls/hint_control.h"

#include <QToolBar>

namespace framolo {

using THintToolBarBase = TNotifyingControl<QToolBar, false>;

// The player's tool bar. Its hint colour swap is unguarded: every enter saves
// and sets, every leave restores.
class THintToolBar : public THintToolBarBase {
    Q_OBJECT
public:
    explicit THintToolBar(QWidget* parent = nullptr);
};

} // namespace framolo
