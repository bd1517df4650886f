#pragma once

#include "controls/hint_control.h"

#include <QGroupBox>

namespace framolo {

using TFramedGroupBoxBase = TNotifyingControl<QGroupBox>;

// A group box that hands its enabled state to every direct child, so a whole
// parameter area is switched on or off with the box.
class TFramedGroupBox : public TFramedGroupBoxBase {
    Q_OBJECT
public:
    explicit TFramedGroupBox(QWidget* parent = nullptr);
    explicit TFramedGroupBox(const QString& title, QWidget* parent = nullptr);

    // Children follow the box whatever this holds; setting it propagates once.
    bool PropageEnable() const { return propageEnable_; }
    void SetPropageEnable(bool value);

protected:
    void changeEvent(QEvent* event) override;

private:
    void PropagateEnabled();

    bool propageEnable_ = false;
};

} // namespace framolo
