#pragma once

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace kvd::bench {

// What a program's run cost, as the system counted it.
struct MeasuredRun {
    double seconds = 0, cpuSeconds = 0;
    long peakKb = 0;
    int status = -1;
};

// Runs `command` (its program found on PATH unless named by a path) without a
// display, and waits for it; what it prints is dropped when `quiet`.
inline MeasuredRun RunMeasured(const std::vector<std::string>& command, bool quiet = false) {
    std::vector<std::string> words = command;
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::unsetenv("DISPLAY");
        if (quiet) {
            const int nowhere = ::open("/dev/null", O_WRONLY);
            ::dup2(nowhere, 1);
            ::dup2(nowhere, 2);
        }
        ::execvp(argv[0], argv.data());
        std::perror(argv[0]);
        ::_exit(127);
    }
    MeasuredRun run;
    rusage usage{};
    ::wait4(pid, &run.status, 0, &usage);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.peakKb = usage.ru_maxrss;
    return run;
}

} // namespace kvd::bench
