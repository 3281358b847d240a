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
    // A save has started, or is over. At logoff or shutdown on Windows, while
    // one is under way, the list of programs that hold the session up says
    // that this one is saving screenshots.
    void saving(bool underWay);
};

} // namespace kvd
