#include "platform/ConsoleStop.h"
#include "platform/win32/ConsoleEvents.h"

namespace kvd {

namespace {

// Set once everything that arrived is written.
HANDLE Written() {
    static const HANDLE written = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return written;
}

// How long Windows lets a handler run after the event before it ends the program.
DWORD GraceTime(DWORD event) {
    UINT ms = 5000;
    SystemParametersInfoW(
        event == CTRL_CLOSE_EVENT ? SPI_GETHUNGAPPTIMEOUT : SPI_GETWAITTOKILLTIMEOUT, 0, &ms, 0);
    return ms;
}

ConsoleEvents& Events() {
    static ConsoleEvents events(
        [](DWORD event) { WaitForSingleObject(Written(), GraceTime(event)); });
    return events;
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
    return Events().handle(event);
}

} // namespace

BOOL ConsoleEvents::handle(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        stopAsked_ = true;
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        stopAsked_ = true;
        waitUntilWritten_(event);
        return TRUE;
    default:
        return FALSE;
    }
}

// Windows' C runtime puts a signal(SIGINT) handler back to the default before
// calling it, so a second Ctrl+C would end the program mid-save; and it has no
// signal for the other events. The console's own handler list has neither
// fault. AttachConsole empties that list: the windowed program attaches to its
// parent's console first (in main), and this comes after.
ConsoleStop::ConsoleStop() {
    Written();
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

ConsoleStop::~ConsoleStop() {
    SetEvent(Written());
}

bool ConsoleStop::asked() const {
    return Events().stopAsked();
}

} // namespace kvd
