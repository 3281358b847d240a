// Capture without a window left running: screenshots back to back at the line's
// pace through a pseudo-terminal into `kvd62-capture --no-window`, which saves
// each into a folder. Prints the program's resident memory after the 100th and
// after the last file it reported, and the growth between them per screenshot;
// asserts nothing.
//
// Usage: no_window_memory_bench PROGRAM [SCREENSHOTS]   (1000 take about 8 minutes)
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "tests/support/PseudoTerminal.h"
#include "tests/support/TestBitmap.h"

namespace fs = std::filesystem;

namespace {

long ResidentKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

bool HoldsOpen(pid_t pid, const std::string& device) {
    std::error_code error;
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error))
        if (fs::read_symlink(fd.path(), error) == device)
            return true;
    return false;
}

pid_t Start(const std::string& program, const std::string& device, const std::string& folder,
            int out) {
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    ::dup2(out, STDOUT_FILENO);
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ::execl(program.c_str(), program.c_str(), "--no-window", "--port", device.c_str(), "--save-dir",
            folder.c_str(), static_cast<char*>(nullptr));
    std::perror(program.c_str());
    ::_exit(127);
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: no_window_memory_bench PROGRAM [SCREENSHOTS]\n");
        return 2;
    }
    const int count = argc > 2 ? std::atoi(argv[2]) : 1000;
    kvd::test::PseudoTerminal cable;
    if (!cable.ok())
        return 1;
    const std::string device = cable.devicePath();
    std::string folder = (fs::temp_directory_path() / "kvd62-memory-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr)
        return 1;
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return 1;
    const pid_t pid = Start(argv[1], device, folder, pipeFds[1]);
    ::close(pipeFds[1]);
    while (!HoldsOpen(pid, device))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));

    std::thread sender([&] {
        for (int i = 0; i < count; ++i)
            cable.send(kvd::test::TwoColourBitmap(std::uint32_t(i + 1)));
    });
    FILE* saved = ::fdopen(pipeFds[0], "r");
    long at100 = 0, atEnd = 0;
    int files = 0;
    for (char line[4096]; files < count && std::fgets(line, sizeof line, saved) != nullptr;) {
        fs::remove(fs::path(std::string(line, std::strlen(line) - 1)));
        if (++files == 100)
            at100 = ResidentKb(pid);
    }
    atEnd = ResidentKb(pid);
    sender.join();
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    fs::remove_all(folder);

    std::printf("screenshots saved: %d of %d\n", files, count);
    std::printf("resident after 100: %.1f MB; after %d: %.1f MB\n", at100 / 1024.0, files,
                atEnd / 1024.0);
    if (files > 100)
        std::printf("growth: %.2f MB, %.0f bytes a screenshot\n", (atEnd - at100) / 1024.0,
                    (atEnd - at100) * 1024.0 / (files - 100));
    return 0;
}
