#pragma once

#include "controls/hint_color.h"

#include <QToolBar>

#include <functional>

namespace framolo {

// The player's tool bar. Its hint colour swap is unguarded: every enter saves
// and sets, every leave restores.
class THintToolBar : public QToolBar {
    Q_OBJECT
public:
    explicit THintToolBar(QWidget* parent = nullptr);

    const QColor& HintColor() const { return hover_.HintColor(); }
    void SetHintColor(const QColor& color) { hover_.SetHintColor(color); }

    std::function<void()> OnMouseEnter;
    std::function<void()> OnMouseLeave;
    std::function<void()> OnCtl3DChanged;
    std::function<void()> OnParentColorChange;

protected:
    void changeEvent(QEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    THintHover hover_{false};
};

} // namespace framolo
