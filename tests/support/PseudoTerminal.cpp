#include "tests/support/PseudoTerminal.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace kvd::test {

namespace {

// How long a write may wait for the program's end to make room before the
// cable counts as stuck.
constexpr int StuckMs = 5000;

// The path of the program's end, written by the system into a string sized
// for any path.
std::string DevicePath(int instrument) {
    std::string path(PATH_MAX, '\0');
    if (ptsname_r(instrument, path.data(), path.size()) != 0)
        return {};
    path.resize(std::strlen(path.c_str()));
    return path;
}

// Writes all of `bytes`, waiting a bounded time whenever the line is full.
bool WriteAll(int fd, const char* bytes, std::size_t length) {
    using namespace std::chrono;
    const auto giveUp = steady_clock::now() + milliseconds(StuckMs);
    std::size_t done = 0;
    while (done < length) {
        pollfd room{fd, POLLOUT, 0};
        if (::poll(&room, 1, StuckMs) != 1 || (room.revents & POLLOUT) == 0)
            return false;
        const ssize_t n = ::write(fd, bytes + done, length - done);
        // A pseudo-terminal may say it has room and then refuse the bytes.
        if (n < 0 && errno == EAGAIN) {
            if (steady_clock::now() > giveUp)
                return false;
            std::this_thread::sleep_for(milliseconds(1));
            continue;
        }
        if (n <= 0)
            return false;
        done += std::size_t(n);
    }
    return true;
}

} // namespace

PseudoTerminal::PseudoTerminal() {
    if (openpty(&instrument_, &program_, nullptr, nullptr, nullptr) != 0) {
        instrument_ = program_ = -1;
        return;
    }
    device_ = DevicePath(instrument_);
    // Neither end goes to a program the test starts: a program that held the
    // instrument's end of its own line lost screenshots with Qt 6.8.
    fcntl(instrument_, F_SETFD, FD_CLOEXEC);
    fcntl(program_, F_SETFD, FD_CLOEXEC);
    // Raw on the instrument's side too, so bytes pass unchanged both ways; and
    // never blocking, so a program that stops reading cannot hang a test.
    termios raw{};
    tcgetattr(instrument_, &raw);
    cfmakeraw(&raw);
    tcsetattr(instrument_, TCSANOW, &raw);
    fcntl(instrument_, F_SETFL, fcntl(instrument_, F_GETFL) | O_NONBLOCK);
}

PseudoTerminal::~PseudoTerminal() {
    unplug();
    if (program_ >= 0)
        ::close(program_);
}

bool PseudoTerminal::send(const std::string& bytes, int bitsPerSecond) {
    using namespace std::chrono;
    constexpr std::size_t burst = 64;
    const auto start = steady_clock::now();
    for (std::size_t at = 0; at < bytes.size(); at += burst) {
        const std::size_t length = std::min(burst, bytes.size() - at);
        if (!WriteAll(instrument_, bytes.data() + at, length))
            return false;
        // Pace only: the line needs this long for the bytes sent so far.
        const auto due = start + microseconds((at + length) * 10 * 1000000 / bitsPerSecond);
        std::this_thread::sleep_until(due);
    }
    return true;
}

int PseudoTerminal::unread() const {
    int count = 0;
    return ::ioctl(program_, FIONREAD, &count) == 0 ? count : -1;
}

void PseudoTerminal::unplug() {
    if (instrument_ >= 0)
        ::close(instrument_);
    instrument_ = -1;
}

} // namespace kvd::test
