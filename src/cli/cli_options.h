#pragma once

#include <string>

namespace framolo {

// Checks a number option of avi2gif (its text already digits only and a
// 32-bit number) against the values a GIF can hold: loop count 0 to 65535,
// delay 0 to 655350 ms, width and height 1 to 65535. Empty when the value
// fits (or the option has no range), else the message naming the range.
std::string CheckOptionRange(const std::string& option, const std::string& value);

} // namespace framolo
