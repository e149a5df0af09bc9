#pragma once

#include <cstdint>
#include <functional>

// Monotonic time in microseconds. Devices and playback read time only
// through one, so that tests can move it by hand.
using Clock = std::function<int64_t()>;

// The system's monotonic clock.
Clock steadyClock();
