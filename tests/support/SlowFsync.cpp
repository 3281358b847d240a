// A slow disk for the program under test, preloaded into it (LD_PRELOAD): every
// fsync first waits. KVD_FSYNC_DELAY_MS: that many milliseconds (a USB stick, a
// network share); KVD_FSYNC_HOLD: for as long as the file it names exists, so
// that a test decides when a write may end. Then the real fsync runs. A signal
// does not cut a wait short: the standard library's sleeps go on after one.
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <dlfcn.h>
#include <thread>
#include <unistd.h>

extern "C" int fsync(int fd) {
    const int saved = errno;
    using namespace std::chrono;
    if (const char* delay = std::getenv("KVD_FSYNC_DELAY_MS"))
        std::this_thread::sleep_until(steady_clock::now() + milliseconds(std::atol(delay)));
    if (const char* hold = std::getenv("KVD_FSYNC_HOLD"))
        while (::access(hold, F_OK) == 0)
            std::this_thread::sleep_for(milliseconds(10));
    errno = saved;
    using Fsync = int (*)(int);
    static const auto real = reinterpret_cast<Fsync>(dlsym(RTLD_NEXT, "fsync"));
    return real(fd);
}
