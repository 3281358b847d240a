#pragma once

// Serial devices as Linux shows them (device nodes, hang-ups); Windows' COM
// ports report their failures themselves (platform/win32).

#include <string>

namespace kvd {

// Why the device at `path` cannot be a serial port: it is missing, not a
// character device (a folder, a plain file), or a terminal that is no line to
// an instrument (WhyNotTheInstrumentsLine). Empty when it may be opened.
std::string WhyNotASerialDevice(const std::string& path);

// Why the terminal at `path`, by whatever name or link it is reached, must not
// be opened as the instrument's line: it is the terminal this program runs in
// (its controlling terminal, /dev/tty, or the terminal of its standard input,
// output or error), the system console, or the pseudo-terminal master
// (/dev/ptmx). Opening one of these would set the user's own terminal to raw
// mode, with Ctrl+C off. Empty for any other device, and for a path that names
// none.
std::string WhyNotTheInstrumentsLine(const std::string& path);

// What `path` names once every link is followed (/dev/pts/3 for
// /proc/self/fd/0); empty when it names nothing.
std::string RealName(const std::string& path);

// Why an open line is down although nobody said so: its device node has gone
// (an adapter unplugged), or the line has hung up. `fd` is the open port's
// descriptor. Empty while the line is up.
std::string WhyLineIsDown(const std::string& path, int fd);

} // namespace kvd
