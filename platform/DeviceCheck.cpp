#include "platform/DeviceCheck.h"

#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace kvd {

namespace {

// /dev/tty, whatever name or link it is reached by: the terminal the program
// was started from, never an instrument's line.
bool IsOwnTerminal(const struct stat& node) {
    return major(node.st_rdev) == 5 && minor(node.st_rdev) == 0;
}

} // namespace

std::string WhyNotASerialDevice(const std::string& path) {
    struct stat node {};
    if (::stat(path.c_str(), &node) != 0)
        return "there is no such device";
    if (S_ISDIR(node.st_mode))
        return "it is a folder, not a serial device";
    if (!S_ISCHR(node.st_mode))
        return "it is not a serial device";
    if (IsOwnTerminal(node))
        return "it is this program's own terminal, not a serial port";
    return {};
}

std::string WhyLineIsDown(const std::string& path, int fd) {
    pollfd line{fd, POLLIN, 0};
    if (fd >= 0 && ::poll(&line, 1, 0) == 1 && (line.revents & (POLLHUP | POLLERR | POLLNVAL)))
        return "the line hung up";
    struct stat node {};
    if (::stat(path.c_str(), &node) != 0 || !S_ISCHR(node.st_mode))
        return "the device has gone";
    return {};
}

} // namespace kvd
