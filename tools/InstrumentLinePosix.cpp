#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "tools/InstrumentLine.h"
#include "tools/PacedLine.h"

namespace kvd {

namespace {

void MakeRaw(int fd, bool setSpeed) {
    termios line{};
    tcgetattr(fd, &line);
    cfmakeraw(&line);
    if (setSpeed) {
        cfsetispeed(&line, B57600);
        cfsetospeed(&line, B57600);
        line.c_cflag |= CLOCAL;
    }
    tcsetattr(fd, TCSANOW, &line);
}

} // namespace

InstrumentLine::~InstrumentLine() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool InstrumentLine::open(const std::string& device) {
    if (!device.empty()) {
        deviceName_ = device;
        fd_ = ::open(device.c_str(), O_WRONLY | O_NOCTTY);
        if (fd_ >= 0)
            MakeRaw(fd_, true);
    } else {
        fd_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (fd_ >= 0 && (grantpt(fd_) != 0 || unlockpt(fd_) != 0)) {
            ::close(fd_);
            fd_ = -1;
        }
        if (fd_ >= 0) {
            MakeRaw(fd_, false);
            deviceName_ = ptsname(fd_);
        }
    }
    if (fd_ < 0)
        error_ = "cannot open " + (device.empty() ? std::string("a pseudo-terminal") : device) +
                 ": " + std::strerror(errno);
    return fd_ >= 0;
}

bool InstrumentLine::send(std::string_view bytes) {
    if (SendPaced(fd_, bytes, -1))
        return true;
    error_ = std::string("the line stopped taking bytes: ") + std::strerror(errno);
    return false;
}

// The program reads twice a second: the last screenshot is given that long.
void InstrumentLine::finish() {
    tcdrain(fd_);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    ::close(fd_);
    fd_ = -1;
}

} // namespace kvd
