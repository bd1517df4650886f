#pragma once

#include <QCursor>
#include <QGuiApplication>

namespace framolo {

// Shows a cursor over the whole application for the object's lifetime.
class TWaitCursor {
public:
    explicit TWaitCursor(Qt::CursorShape shape) { QGuiApplication::setOverrideCursor(shape); }
    ~TWaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

} // namespace framolo
