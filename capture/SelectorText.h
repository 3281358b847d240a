#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/PortAddress.h"

namespace kvd {

// Reads a port number from the selector's text. Blanks, tabs and line feeds are
// skipped wherever they stand ("1 2" reads as 12). What follows is a decimal
// number with an optional sign, fraction and exponent, or a hexadecimal (&H) or
// octal (&O) number; reading stops at the first character that cannot continue
// it, and a text with no number reads as 0. The value is rounded to the nearest
// integer, halves to the even neighbour (2.5 reads as 2, 1.5 as 2). A value that
// does not fit a 16-bit signed integer gives no number.
std::optional<std::int16_t> ReadPortNumber(std::string_view text);

// Reads the selector's text as a port: a device path when it is one (on Unix a
// text starting with '/', on Windows COM followed by digits), else a port number
// as ReadPortNumber reads it; a number out of range is an unusable address.
PortAddress ReadPortAddress(std::string_view text);

// Whether a text being typed is on its way to a device path ("/dev/tty" on the
// way to "/dev/ttyUSB0"; "CO" on the way to "COM10" on Windows) rather than a
// port number.
bool StartsLikeDevicePath(std::string_view text);

// Reads a port as the command line gives it, stricter than the selector: a device
// path as ReadPortAddress takes it, or a whole number from 1 to 32767 written in
// digits alone; nothing for anything else, so that a slip ("1 2", "one") is
// refused rather than read as another port.
bool IsGivenPort(std::string_view text);

} // namespace kvd
