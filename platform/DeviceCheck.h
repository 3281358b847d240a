#pragma once

// Serial devices as Linux shows them (device nodes, hang-ups); Windows' COM
// ports report their failures themselves (platform/win32).

#include <string>

namespace kvd {

// Why the device at `path` cannot be a serial port: it is missing, not a
// character device (a folder, a plain file), or this program's own controlling
// terminal. Empty when it may be opened.
std::string WhyNotASerialDevice(const std::string& path);

// Why an open line is down although nobody said so: its device node has gone
// (an adapter unplugged), or the line has hung up. `fd` is the open port's
// descriptor. Empty while the line is up.
std::string WhyLineIsDown(const std::string& path, int fd);

} // namespace kvd
