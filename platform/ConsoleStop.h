#pragma once

namespace kvd {

// The ways a user stops a program run from a terminal or a console: Ctrl+C
// everywhere; SIGTERM and a closed terminal (SIGHUP) on Linux; Ctrl+Break, a
// closed console window, logoff and shutdown on Windows. Each only asks to
// stop, however often it comes: the capture without a window sees it at its
// next poll, writes every screenshot that has arrived, and ends. One for the
// life of that capture, made once its port is open.
class ConsoleStop {
public:
    ConsoleStop(); // catches them from now on
    // Everything that arrived is written. On Windows a closed console, logoff
    // or shutdown ends the program once its handler returns; the handler waits
    // for this.
    ~ConsoleStop();
    ConsoleStop(const ConsoleStop&) = delete;
    ConsoleStop& operator=(const ConsoleStop&) = delete;

    bool asked() const;
};

} // namespace kvd
