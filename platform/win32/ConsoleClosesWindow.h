#pragma once

#include "platform/win32/WindowsApi.h"

namespace kvd {

// The window's answer to the console it shares. kvd62-capture.com, typed in a
// Command Prompt, shows its window while attached to that prompt's console, and
// Windows' own handler of the console's events ends a program at once: Ctrl+C,
// Ctrl+Break or closing the console would take the window, and the screenshot
// it shows, with it. While one of these lives, each event asks the window to
// close instead, as its close button does (WM_CLOSE). After a closed console,
// logoff or shutdown Windows ends the program once the handler returns, or when
// its own time is up: the handler returns once the window has closed and this
// is gone.
class ConsoleClosesWindow {
public:
    explicit ConsoleClosesWindow(HWND window);
    ~ConsoleClosesWindow();
    ConsoleClosesWindow(const ConsoleClosesWindow&) = delete;
    ConsoleClosesWindow& operator=(const ConsoleClosesWindow&) = delete;

    // The handler, as Windows calls it on a thread of its own.
    static BOOL WINAPI OnConsoleEvent(DWORD event);
};

} // namespace kvd
