#pragma once

#include <QColor>

namespace framolo {

// The colour every tool tip of the application is drawn on.
QColor ApplicationHintColor();
void SetApplicationHintColor(const QColor& color);

// The platform's own tool-tip background, the default HintColor of every control.
QColor DefaultHintColor();

// A control's own hint colour, shown while the mouse is over it. Enter saves the
// application's colour and sets the control's; Leave puts the saved one back.
// A guarded hover ignores a second Enter before its Leave, so the colour saved is
// always the one from before the mouse came in; an unguarded one saves and
// restores on every call.
class THintHover {
public:
    explicit THintHover(bool guarded = true) : guarded_(guarded) {}

    const QColor& HintColor() const { return hintColor_; }
    void SetHintColor(const QColor& color) { hintColor_ = color; }
    bool Hovering() const { return hovering_; }

    // True when the colour was swapped by this call.
    bool Enter();
    bool Leave();

private:
    bool guarded_;
    bool hovering_ = false;
    QColor hintColor_ = DefaultHintColor();
    QColor saved_;
};

} // namespace framolo
