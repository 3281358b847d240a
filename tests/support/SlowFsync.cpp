// A slow disk for the program under test, preloaded into it (LD_PRELOAD): every
// fsync first waits. KVD_FSYNC_DELAY_MS: that many milliseconds (a USB stick, a
// network share); KVD_FSYNC_HOLD: for as long as the file it names exists, so
// that a test decides when a write may end. Then the real fsync runs.
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <dlfcn.h>
#include <unistd.h>

namespace {

// Sleeps until `until`, on whichever thread; a signal does not cut it short.
void SleepUntil(const timespec& until) {
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

timespec After(timespec from, long milliseconds) {
    from.tv_sec += milliseconds / 1000;
    from.tv_nsec += (milliseconds % 1000) * 1000000L;
    if (from.tv_nsec >= 1000000000L) {
        from.tv_sec += 1;
        from.tv_nsec -= 1000000000L;
    }
    return from;
}

} // namespace

extern "C" int fsync(int fd) {
    const int saved = errno;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (const char* delay = std::getenv("KVD_FSYNC_DELAY_MS"))
        SleepUntil(After(now, std::atol(delay)));
    if (const char* hold = std::getenv("KVD_FSYNC_HOLD")) {
        while (::access(hold, F_OK) == 0) {
            clock_gettime(CLOCK_MONOTONIC, &now);
            SleepUntil(After(now, 10));
        }
    }
    errno = saved;
    using Fsync = int (*)(int);
    static const auto real = reinterpret_cast<Fsync>(dlsym(RTLD_NEXT, "fsync"));
    return real(fd);
}
