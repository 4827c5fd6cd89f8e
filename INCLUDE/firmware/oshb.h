// Heartbeat-interval records (command group 0x0A): the interval in seconds, an
// unsigned 32-bit big-endian number, is the whole data area.
#pragma once

#include <cstddef>

inline constexpr std::size_t HB_INTERVAL_LEN = 4;
