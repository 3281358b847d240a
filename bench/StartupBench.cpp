// Time to window: from starting a program to its first window being mapped on
// the X display, for kvd62-capture and for a bare Qt window, run in turns so
// that both meet the same machine. Prints the figures; asserts nothing.
// Usage (needs an X display, such as xvfb-run's):
//   startup_bench PROGRAM MINIMAL_WINDOW [RUNS]
#include <X11/Xlib.h>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/select.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds from fork to the first top-level window mapped; -1 when none came
// within ten seconds.
double TimeToWindow(Display* display, const char* program) {
    XSync(display, True); // drop the events of the run before
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        freopen("/dev/null", "w", stderr);
        execl(program, program, static_cast<char*>(nullptr));
        _exit(127);
    }
    double elapsed = -1;
    const int fd = ConnectionNumber(display);
    while (Clock::now() - start < std::chrono::seconds(10)) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && elapsed < 0)
                elapsed = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        }
        if (elapsed >= 0)
            break;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(fd, &readable);
        timeval wait{0, 10000};
        select(fd + 1, &readable, nullptr, nullptr, &wait);
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    return elapsed;
}

void Print(const char* name, std::vector<double> times) {
    std::sort(times.begin(), times.end());
    std::printf("%-16s median %6.1f ms   min %6.1f ms   max %6.1f ms   (%zu runs)\n", name,
                times[times.size() / 2], times.front(), times.back(), times.size());
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s PROGRAM MINIMAL_WINDOW [RUNS]\n", argv[0]);
        return 2;
    }
    const int runs = argc > 3 ? std::atoi(argv[3]) : 9;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "no X display: run it under xvfb-run\n");
        return 2;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    // One unmeasured run each, so that both start from a warm file cache.
    TimeToWindow(display, argv[1]);
    TimeToWindow(display, argv[2]);
    std::vector<double> program, minimal;
    for (int i = 0; i < runs; ++i) {
        program.push_back(TimeToWindow(display, argv[1]));
        minimal.push_back(TimeToWindow(display, argv[2]));
    }
    Print("kvd62-capture", program);
    Print("minimal window", minimal);
    std::sort(program.begin(), program.end());
    std::sort(minimal.begin(), minimal.end());
    std::printf("ratio of medians: %.2f\n",
                program[program.size() / 2] / minimal[minimal.size() / 2]);
    XCloseDisplay(display);
    return 0;
}
