#include "tests/support/PseudoTerminal.h"

#include <climits>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "tools/PacedLine.h"

namespace kvd::test {

// A write that waits longer than this for room finds the cable stuck.
constexpr int StuckMs = 5000;

PseudoTerminal::PseudoTerminal() {
    if (openpty(&instrument_, &program_, nullptr, nullptr, nullptr) != 0) {
        instrument_ = program_ = -1;
        return;
    }
    device_.assign(PATH_MAX, '\0');
    if (ptsname_r(instrument_, device_.data(), device_.size()) != 0)
        device_.clear();
    device_.resize(std::strlen(device_.c_str()));
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
    return SendPaced(instrument_, bytes, StuckMs, bitsPerSecond);
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
