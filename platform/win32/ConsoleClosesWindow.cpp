#include "platform/win32/ConsoleClosesWindow.h"
#include "platform/win32/ConsoleEvents.h"

#include <atomic>
#include <optional>

namespace kvd {

namespace {

// The window to close, while a ConsoleClosesWindow lives.
std::atomic<HWND>& Window() {
    static std::atomic<HWND> window{nullptr};
    return window;
}

// Set once the window has closed.
HANDLE Closed() {
    static const HANDLE closed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return closed;
}

ConsoleEvents& Events() {
    static ConsoleEvents events(
        [] {
            if (const HWND window = Window())
                PostMessageW(window, WM_CLOSE, 0, 0);
        },
        [] { WaitForSingleObject(Closed(), INFINITE); });
    return events;
}

} // namespace

ConsoleClosesWindow::ConsoleClosesWindow(HWND window) {
    Window() = window;
    ResetEvent(Closed());
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

ConsoleClosesWindow::~ConsoleClosesWindow() {
    Window() = nullptr;
    SetEvent(Closed());
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
}

BOOL WINAPI ConsoleClosesWindow::OnConsoleEvent(DWORD event) {
    return Events().handle(event);
}

} // namespace kvd
