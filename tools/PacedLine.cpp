#include "tools/PacedLine.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace kvd {

namespace {

using namespace std::chrono;

// Writes all of the bytes, waiting while the line is full, at most `stuckMs`
// milliseconds since the last byte it took.
bool WriteAll(int fd, const char* bytes, std::size_t length, int stuckMs) {
    auto giveUp = steady_clock::now() + milliseconds(stuckMs);
    std::size_t done = 0;
    while (done < length) {
        pollfd room{fd, POLLOUT, 0};
        const int ready = ::poll(&room, 1, stuckMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready != 1 || (room.revents & POLLOUT) == 0)
            return false;
        const ssize_t n = ::write(fd, bytes + done, length - done);
        if (n < 0 && errno == EINTR)
            continue;
        // A pseudo-terminal may say it has room and then refuse the bytes.
        if (n < 0 && errno == EAGAIN) {
            if (stuckMs >= 0 && steady_clock::now() > giveUp)
                return false;
            std::this_thread::sleep_for(milliseconds(1));
            continue;
        }
        if (n <= 0)
            return false;
        done += std::size_t(n);
        giveUp = steady_clock::now() + milliseconds(stuckMs);
    }
    return true;
}

} // namespace

bool SendPaced(int fd, std::string_view bytes, int stuckMs, int bitsPerSecond) {
    constexpr std::size_t burst = 64;
    const auto start = steady_clock::now();
    for (std::size_t at = 0; at < bytes.size(); at += burst) {
        const std::size_t length = std::min(burst, bytes.size() - at);
        if (!WriteAll(fd, bytes.data() + at, length, stuckMs))
            return false;
        // Pace only: the line needs this long for the bytes sent so far.
        std::this_thread::sleep_until(
            start + microseconds((at + length) * 10 * 1000000 / std::size_t(bitsPerSecond)));
    }
    return true;
}

} // namespace kvd
