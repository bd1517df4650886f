#pragma once

// The first step of a property setter that acts only on a change.

#include <utility>

namespace framolo {

// Stores `value` in `field` and returns true when they differ; returns false
// and leaves `field` alone when they are equal.
template <class T, class U> bool SetIfChanged(T& field, U&& value) {
    if (field == value)
        return false;
    field = std::forward<U>(value);
    return true;
}

} // namespace framolo
