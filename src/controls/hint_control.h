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
        if (hover_.Enter())
            HoverChanged(true);
        if (OnMouseEnter)
            OnMouseEnter();
    }

    void leaveEvent(QEvent* event) override {
        Base::leaveEvent(event);
        if (hover_.Leave())
            HoverChanged(false);
        if (OnMouseLeave)
            OnMouseLeave();
    }

private:
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
