#include "tests/support/PseudoTerminal.h"

#include <algorithm>
#include <chrono>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace kvd::test {

PseudoTerminal::PseudoTerminal() {
    char name[256] = {};
    if (openpty(&instrument_, &program_, name, nullptr, nullptr) != 0) {
        instrument_ = program_ = -1;
        return;
    }
    device_ = name;
    // Raw on the instrument's side too, so bytes pass unchanged both ways.
    termios raw{};
    tcgetattr(instrument_, &raw);
    cfmakeraw(&raw);
    tcsetattr(instrument_, TCSANOW, &raw);
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
        std::size_t done = 0;
        while (done < length) {
            const ssize_t n = ::write(instrument_, bytes.data() + at + done, length - done);
            if (n <= 0)
                return false;
            done += std::size_t(n);
        }
        // Pace only: the line needs this long for the bytes sent so far.
        const auto due = start + microseconds((at + length) * 10 * 1000000 / bitsPerSecond);
        std::this_thread::sleep_until(due);
    }
    return true;
}

void PseudoTerminal::unplug() {
    if (instrument_ >= 0)
        ::close(instrument_);
    instrument_ = -1;
}

} // namespace kvd::test
