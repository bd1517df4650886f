#pragma once

#include <exception>

namespace framolo {

// The silent exception: a handler throws it to cancel a long operation (for
// example from a progress event). Operations that allow cancelling catch it
// and end quietly; it carries no message meant for the user.
class EAbort : public std::exception {
public:
    const char* what() const noexcept override { return "Operation aborted"; }
};

} // namespace framolo
