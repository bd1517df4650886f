#pragma once

#include "controls/hint_color.h"

#include <QEnterEvent>
#include <QEvent>

#include <functional>

namespace framolo {

// What every dressed control adds to its framework base: its own hint colour
// while the mouse is over it (see THintHover; Guarded as there), and
// OnMouseEnter / OnMouseLeave, fired after the base has handled the
// notification. HoverChanged tells a derived control that the colour was
// swapped, before the event fires.
template <class Base, bool Guarded = true> class THintControl : public Base {
public:
    using Base::Base;

    const QColor& HintColor() const { return hover_.HintColor(); }
    void SetHintColor(const QColor& color) { hover_.SetHintColor(color); }
    bool Hovering() const { return hover_.Hovering(); }

    std::function<void()> OnMouseEnter;
    std::function<void()> OnMouseLeave;

protected:
    virtual void HoverChanged(bool entered) { (void)entered; }

    void enterEvent(QEnterEvent* event) override {
        Base::enterEvent(event);
        Hovered(hover_.Enter(), true, OnMouseEnter);
    }

    void leaveEvent(QEvent* event) override {
        Base::leaveEvent(event);
        Hovered(hover_.Leave(), false, OnMouseLeave);
    }

private:
    // After the mouse came or went: tells the subclass when the hover state
    // changed, then calls the user's handler.
    void Hovered(bool changed, bool entered, const std::function<void()>& handler) {
        if (changed)
            HoverChanged(entered);
        if (handler)
            handler();
    }

    THintHover hover_{Guarded};
};

// A hint control that also passes on the framework's look-changed and
// parent-colour-changed notifications, after base handling, as
// OnCtl3DChanged and OnParentColorChange.
template <class Base, bool Guarded = true>
class TNotifyingControl : public THintControl<Base, Guarded> {
public:
    using THintControl<Base, Guarded>::THintControl;

    std::function<void()> OnCtl3DChanged;
    std::function<void()> OnParentColorChange;

protected:
    void changeEvent(QEvent* event) override {
        Base::changeEvent(event);
        if (event->type() == QEvent::StyleChange && OnCtl3DChanged)
            OnCtl3DChanged();
        else if (event->type() == QEvent::PaletteChange && OnParentColorChange)
            OnParentColorChange();
    }
};

} // namespace framolo
