#pragma once

#include <string_view>

namespace kvd {

// The instrument's line rate.
inline constexpr int LineBitsPerSecond = 57600;

// Writes the bytes as a serial line delivers them (ten bits a byte, in small
// bursts) to a descriptor, blocking or not. Returns false when a write fails, or
// when the far end takes nothing for `stuckMs` milliseconds (never gives up when
// negative).
bool SendPaced(int fd, std::string_view bytes, int stuckMs, int bitsPerSecond = LineBitsPerSecond);

} // namespace kvd
