#pragma once

#include "controls/hint_color.h"

#include <QGroupBox>

#include <functional>

namespace framolo {

// A group box that hands its enabled state to every direct child, so a whole
// parameter area is switched on or off with the box.
class TFramedGroupBox : public QGroupBox {
    Q_OBJECT
public:
    explicit TFramedGroupBox(QWidget* parent = nullptr);
    explicit TFramedGroupBox(const QString& title, QWidget* parent = nullptr);

    // Children follow the box whatever this holds; setting it propagates once.
    bool PropageEnable() const { return propageEnable_; }
    void SetPropageEnable(bool value);

    const QColor& HintColor() const { return hover_.HintColor(); }
    void SetHintColor(const QColor& color) { hover_.SetHintColor(color); }
    bool Hovering() const { return hover_.Hovering(); }

    std::function<void()> OnMouseEnter;
    std::function<void()> OnMouseLeave;
    std::function<void()> OnCtl3DChanged;
    std::function<void()> OnParentColorChange;

protected:
    void changeEvent(QEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void PropagateEnabled();

    bool propageEnable_ = false;
    THintHover hover_{true};
};

} // namespace framolo
