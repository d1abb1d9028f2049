#pragma once

#include <cstdint>

namespace kestrune {

// Milliseconds since the system started, from a monotonic clock that keeps
// counting across suspend. Wraps after about 49.7 days like any 32-bit
// millisecond tick; compare ticks by unsigned difference.
uint32_t tickMs();

} // namespace kestrune
