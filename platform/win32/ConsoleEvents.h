#pragma once

#include "platform/win32/WindowsApi.h"

#include <atomic>
#include <functional>
#include <optional>
#include <utility>

namespace kvd {

// What the console's control events do: the whole of a HandlerRoutine, apart
// from what stopping and waiting mean to the program that installs it, so that
// tests can call it as Windows does. The capture without a window stops at its
// next poll; the window closes, as its close button closes it.
//
// Windows calls the handler on a thread of its own. Ctrl+C and Ctrl+Break only
// ask to stop. After a closed console window, logoff or shutdown, Windows ends
// the program as soon as the handler returns, or when its own time is up (the
// hung-app and wait-to-kill timeouts, 5 seconds unless set otherwise), so for
// those the handler also waits until the program has done what it must first:
// every screenshot that has arrived written, the window closed. It waits as long
// as that takes: Windows alone decides when the time is up, and a handler that
// returned at a time of its own reckoning would end a save Windows still allowed.
//
// Logoff and shutdown: since Windows 7 a console program that loads user32.dll,
// as every Qt program does, is taken for a windowed one and is sent
// WM_QUERYENDSESSION and WM_ENDSESSION instead of CTRL_LOGOFF_EVENT and
// CTRL_SHUTDOWN_EVENT; those come only where Windows still treats the program
// as a console one. A hidden window of its own (SessionWindowClass) takes the
// messages and hands them on here as the events they stand for
// (WindowMessageEvent). They are handled like a closed console all the same:
// when they come, the promise is the same.
class ConsoleEvents {
public:
    // askToStop (none: stopAsked() is all) runs for every event;
    // waitUntilDone returns once the program has done what it must before it
    // ends.
    ConsoleEvents(std::function<void()> askToStop, std::function<void()> waitUntilDone)
        : askToStop_(std::move(askToStop)), waitUntilDone_(std::move(waitUntilDone)) {}

    // TRUE for every event it takes: no other handler runs, and the C
    // runtime's or Windows' own, which would end the program at once, never
    // does. A second event, of any kind, again only asks to stop.
    BOOL handle(DWORD event);
    bool stopAsked() const { return stopAsked_; }

private:
    std::function<void()> askToStop_;
    std::function<void()> waitUntilDone_;
    std::atomic<bool> stopAsked_{false};
};

// The class of the hidden top-level window that is sent WM_QUERYENDSESSION and
// WM_ENDSESSION (a message-only window is sent no broadcast).
inline constexpr wchar_t SessionWindowClass[] = L"kvd62-capture: the end of the session";

// What Windows' list of programs that hold up a logoff or shutdown says of the
// capture while it saves.
inline constexpr wchar_t SavingReason[] = L"Saving the screenshots that have arrived";

// ShutdownBlockReasonCreate and ShutdownBlockReasonDestroy, as that window
// calls them. Windows takes them only from the thread that made the window
// (ERROR_ACCESS_DENIED from any other), and Wine's are stubs that always fail:
// a seam, so that tests answer as Windows does.
struct ShutdownBlockCalls {
    BOOL(WINAPI* create)(HWND window, LPCWSTR reason) = ShutdownBlockReasonCreate;
    BOOL(WINAPI* destroy)(HWND window) = ShutdownBlockReasonDestroy;
};
ShutdownBlockCalls& ShutdownBlock();

// The control event that a message to that window stands for, or nothing.
// WM_ENDSESSION with wParam TRUE: the session ends, with logoff or shutdown, and
// Windows ends the program once the message is answered; with FALSE another
// program refused and the session goes on. WM_QUERYENDSESSION only asks whether
// the session may end, and it may. WM_CLOSE, from "taskkill" without /F, asks
// to stop as Ctrl+Break does.
inline std::optional<DWORD> WindowMessageEvent(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE)
        return CTRL_BREAK_EVENT;
    if (message != WM_ENDSESSION || !wParam)
        return std::nullopt;
    return (lParam & ENDSESSION_LOGOFF) != 0 ? CTRL_LOGOFF_EVENT : CTRL_SHUTDOWN_EVENT;
}

} // namespace kvd
