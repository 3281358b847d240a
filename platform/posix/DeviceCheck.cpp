#include "platform/posix/DeviceCheck.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace kvd {

namespace {

// The terminals Linux numbers the same on every system: /dev/tty (5,0) is the
// controlling terminal, whichever it is; /dev/console (5,1); and the
// pseudo-terminal master (5,2), as /dev/ptmx and as devpts' own ptmx.
constexpr unsigned TtyMajor = 5;
constexpr unsigned CurrentTty = 0;
constexpr unsigned Console = 1;
constexpr unsigned PtyMaster = 2;

// The virtual consoles, /dev/tty0 (the current one) to /dev/tty63: major 4,
// below the serial ports' minor numbers, which start at 64 (/dev/ttyS0).
constexpr unsigned VirtualConsoleMajor = 4;
constexpr unsigned FirstSerialMinor = 64;

constexpr const char* NameAnother =
    ", not a serial port: name the instrument's serial device instead, such as /dev/ttyUSB0";

bool IsTty(const struct stat& node, unsigned minorNumber) {
    return major(node.st_rdev) == TtyMajor && minor(node.st_rdev) == minorNumber;
}

// The controlling terminal's device number, the 7th field of /proc/self/stat
// (after the program's name in parentheses, which may hold spaces and
// parentheses of its own); 0 when there is none. Read there rather than by
// opening /dev/tty: closing that again could be the terminal's last close.
dev_t ControllingTerminal() {
    std::ifstream stat("/proc/self/stat");
    std::string line;
    std::getline(stat, line);
    const std::size_t nameEnd = line.rfind(')');
    char state = 0;
    long parent = 0, group = 0, session = 0, encoded = 0;
    if (nameEnd == std::string::npos ||
        std::sscanf(line.c_str() + nameEnd + 1, " %c %ld %ld %ld %ld", &state, &parent, &group,
                    &session, &encoded) != 5)
        return 0;
    // The kernel's encoding: the minor number's low 8 bits, the major number's
    // 12, then the rest of the minor number.
    const auto bits = static_cast<unsigned long>(encoded) & 0xffffffffUL;
    return bits == 0 ? 0 : makedev((bits >> 8) & 0xfff, (bits & 0xff) | ((bits >> 12) & 0xfff00));
}

// The terminal this program runs in: its controlling terminal, or the terminal
// of its standard input, output or error (a program started by setsid or a
// service can have either without the other).
bool IsOwnTerminal(const struct stat& node) {
    if (IsTty(node, CurrentTty))
        return true;
    if (const dev_t own = ControllingTerminal(); own != 0 && node.st_rdev == own)
        return true;
    for (int stream = 0; stream <= 2; ++stream) {
        struct stat standard {};
        if (::isatty(stream) && ::fstat(stream, &standard) == 0 && S_ISCHR(standard.st_mode) &&
            standard.st_rdev == node.st_rdev)
            return true;
    }
    return false;
}

} // namespace

std::string RealName(const std::string& path) {
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr),
                                                           &std::free);
    return real ? std::string(real.get()) : std::string();
}

std::string WhyNotASerialDevice(const std::string& path) {
    struct stat node {};
    if (::stat(path.c_str(), &node) != 0)
        return "there is no such device";
    if (S_ISDIR(node.st_mode))
        return "it is a folder, not a serial device";
    if (!S_ISCHR(node.st_mode))
        return "it is not a serial device";
    return WhyNotTheInstrumentsLine(path);
}

std::string WhyNotTheInstrumentsLine(const std::string& path) {
    struct stat node {};
    if (::stat(path.c_str(), &node) != 0 || !S_ISCHR(node.st_mode))
        return {};
    const std::string real = RealName(path);
    const std::string named = real.empty() || real == path ? "" : " (" + real + ")";
    if (IsTty(node, PtyMaster))
        return "it is the pseudo-terminal master" + named +
               ", which makes a new terminal each time it is opened, not a serial port: name "
               "the instrument's serial device instead, such as /dev/ttyUSB0, or the /dev/pts "
               "device kvd62-simulator prints";
    // A container's console is often a pseudo-terminal put under that name.
    if (IsTty(node, Console) || real == "/dev/console")
        return "it is the system console" + named + NameAnother;
    if (major(node.st_rdev) == VirtualConsoleMajor && minor(node.st_rdev) < FirstSerialMinor)
        return "it is a virtual console of this computer" + named + NameAnother;
    if (IsOwnTerminal(node))
        return "it is the terminal this program runs in" + named + NameAnother;
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
