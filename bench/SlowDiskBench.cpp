// Screenshots back to back into the program saving every one to a folder, while
// every flush to the disk takes seconds (strace delays each fsync), as on a slow
// USB stick or a network share. The line is a pseudo-terminal written without
// blocking, as a UART sends: whatever the program's side cannot take at once is
// refused and lost, not held back. Prints how many screenshots landed byte for
// byte, how many bytes the line refused, and the longest time received bytes
// waited unread (the program's user-interface thread not reading); asserts
// nothing.
//
// Usage: slow_disk_bench PROGRAM [SCREENSHOTS [FSYNC_MICROSECONDS]]
// Needs strace; the program runs with QT_QPA_PLATFORM=offscreen.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <pty.h>
#include <set>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "tests/support/TestBitmap.h"
#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double BytesPerSecond = 57600 / 10.0;

std::string MakeFolder(const char* pattern) {
    std::string path = (fs::temp_directory_path() / pattern).string();
    return ::mkdtemp(path.data()) != nullptr ? path : std::string{};
}

// The other process that has the device open (the program, once started up), or 0.
pid_t OpenedByAnother(const std::string& device) {
    std::error_code error;
    for (const auto& process : fs::directory_iterator("/proc", error)) {
        const std::string pid = process.path().filename().string();
        if (pid == std::to_string(::getpid()) || !std::isdigit(static_cast<unsigned char>(pid[0])))
            continue;
        for (const auto& fd : fs::directory_iterator(process.path() / "fd", error))
            if (fs::read_symlink(fd.path(), error) == device)
                return std::atoi(pid.c_str());
    }
    return 0;
}

pid_t StartUnderStrace(const std::string& program, const std::string& device,
                       const std::string& folder, const std::string& runtime, long delayUs) {
    const std::string inject = "inject=fsync:delay_enter=" + std::to_string(delayUs);
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    ::execlp("strace", "strace", "-f", "-qq", "--seccomp-bpf", "-o", "/dev/null", "-e",
             "trace=fsync", "-e", inject.c_str(), program.c_str(), "--port", device.c_str(),
             "--save-dir", folder.c_str(), static_cast<char*>(nullptr));
    std::perror("strace");
    ::_exit(127);
}

struct LineFigures {
    std::size_t refused = 0;
    double longestUnreadMs = 0;
};

// Sends the bytes at the line's pace; the program's end is watched all along
// for how long bytes sit in it unread.
LineFigures Send(int instrument, int programEnd, const std::string& line) {
    LineFigures figures;
    const auto start = Clock::now();
    std::size_t offered = 0;
    // When the bytes now waiting began to wait; none wait at the epoch.
    Clock::time_point unreadSince{};
    const auto watch = [&] {
        int unread = 0;
        ::ioctl(programEnd, FIONREAD, &unread);
        const auto now = Clock::now();
        if (unread == 0) {
            unreadSince = {};
        } else if (unreadSince == Clock::time_point{}) {
            unreadSince = now;
        } else {
            const double waited =
                std::chrono::duration<double, std::milli>(now - unreadSince).count();
            figures.longestUnreadMs = std::max(figures.longestUnreadMs, waited);
        }
    };
    while (offered < line.size()) {
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const auto due = std::min(line.size(), static_cast<std::size_t>(seconds * BytesPerSecond));
        if (due > offered) {
            const ssize_t taken = ::write(instrument, line.data() + offered, due - offered);
            const std::size_t took = taken > 0 ? std::size_t(taken) : 0;
            figures.refused += due - offered - took; // a UART does not wait: these are gone
            offered = due;
        }
        watch();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    // The bytes already in the line go on being watched until the program took them.
    const auto end = Clock::now() + std::chrono::seconds(10);
    int unread = 1;
    while (Clock::now() < end && (::ioctl(programEnd, FIONREAD, &unread), unread > 0)) {
        watch();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    watch();
    return figures;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: slow_disk_bench PROGRAM [SCREENSHOTS [FSYNC_MICROSECONDS]]\n");
        return 2;
    }
    const std::string program = argv[1];
    const int count = argc > 2 ? std::atoi(argv[2]) : 20;
    const long delayUs = argc > 3 ? std::atol(argv[3]) : 2000000;

    int instrument = -1, programEnd = -1;
    if (::openpty(&instrument, &programEnd, nullptr, nullptr, nullptr) != 0)
        return 1;
    termios raw{};
    ::tcgetattr(instrument, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(instrument, TCSANOW, &raw);
    ::fcntl(instrument, F_SETFL, ::fcntl(instrument, F_GETFL) | O_NONBLOCK);
    ::fcntl(instrument, F_SETFD, FD_CLOEXEC);
    ::fcntl(programEnd, F_SETFD, FD_CLOEXEC);
    const std::string device = ::ttyname(programEnd);

    const std::string folder = MakeFolder("kvd62-slow-disk-XXXXXX");
    const std::string runtime = MakeFolder("kvd62-runtime-XXXXXX");
    const pid_t strace = StartUnderStrace(program, device, folder, runtime, delayUs);
    const auto startDeadline = Clock::now() + std::chrono::seconds(30);
    pid_t capture = 0;
    while ((capture = OpenedByAnother(device)) == 0 && Clock::now() < startDeadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));

    std::vector<std::string> sent;
    std::string line;
    for (int i = 0; i < count; ++i) {
        sent.push_back(kvd::test::TwoColourBitmap(std::uint32_t(7000 + i)));
        line += sent.back();
    }
    const LineFigures figures = Send(instrument, programEnd, line);

    // Every write takes a flush: wait as long as they all need, and a margin.
    const auto filesDeadline =
        Clock::now() + std::chrono::microseconds(delayUs) * count + std::chrono::seconds(20);
    while (kvd::test::FilesIn(folder).size() < sent.size() && Clock::now() < filesDeadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::set<std::string> saved;
    for (const std::string& name : kvd::test::FilesIn(folder))
        saved.insert(kvd::test::ReadAll(fs::path(folder) / name));
    const auto whole = std::count_if(sent.begin(), sent.end(),
                                     [&](const std::string& s) { return saved.count(s) > 0; });

    if (capture != 0)
        ::kill(capture, SIGTERM);
    ::waitpid(strace, nullptr, 0);
    std::printf("%d screenshots back to back, every fsync delayed %.1f s\n", count, delayUs / 1e6);
    std::printf("arrived byte for byte: %ld of %d (%zu files in the folder)\n", long(whole), count,
                kvd::test::FilesIn(folder).size());
    std::printf("bytes the line refused: %zu of %zu\n", figures.refused, line.size());
    std::printf("longest time received bytes waited unread: %.0f ms\n", figures.longestUnreadMs);
    fs::remove_all(folder);
    fs::remove_all(runtime);
    return 0;
}
