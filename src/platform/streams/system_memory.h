#pragma once

#include <cstdint>

namespace framolo {

// Bytes of physical memory of this machine, or 0 when it cannot be told.
std::int64_t PhysicalMemoryBytes();

} // namespace framolo
