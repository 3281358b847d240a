#include "platform/ConsoleStop.h"
#include "platform/win32/ConsoleEvents.h"

#include <future>
#include <thread>

namespace kvd {

namespace {

// Set once everything that arrived is written.
HANDLE Written() {
    static const HANDLE written = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return written;
}

// Whether a save is under way, as the capture's thread says it.
std::atomic<bool>& SavingNow() {
    static std::atomic<bool> saving{false};
    return saving;
}

// The events of the ConsoleStop that lives, made afresh by each.
std::optional<ConsoleEvents>& Events() {
    static std::optional<ConsoleEvents> events;
    return events;
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
    return Events()->handle(event);
}

// Posted by ~ConsoleStop: the window's thread ends.
constexpr UINT EndSessionWindow = WM_APP;

// While a save is under way, Windows' list of the programs that hold up the
// logoff or shutdown says why this one does.
void SayWhyTheSessionWaits(HWND window) {
    if (SavingNow())
        ShutdownBlock().create(window, SavingReason);
}

// The session may end; when it does, WM_ENDSESSION returns only once what has
// arrived is written: Windows ends the program after it, or when its own time
// is up.
LRESULT CALLBACK OnSessionMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_QUERYENDSESSION:
        SayWhyTheSessionWaits(window);
        return TRUE;
    case WM_ENDSESSION:
        if (const std::optional<DWORD> event = WindowMessageEvent(message, wParam, lParam)) {
            SayWhyTheSessionWaits(window);
            Events()->handle(*event);
        }
        ShutdownBlock().destroy(window);
        return 0;
    case EndSessionWindow:
        ShutdownBlock().destroy(window);
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    if (const std::optional<DWORD> event = WindowMessageEvent(message, wParam, lParam)) {
        Events()->handle(*event);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The hidden window that takes logoff and shutdown, on a thread of its own
// with its own message loop: the capture's thread may be busy saving when they
// come. `made` is given the window, or nothing when Windows made none.
void RunSessionWindow(std::promise<HWND> made) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW type{};
    type.lpfnWndProc = OnSessionMessage;
    type.hInstance = instance;
    type.lpszClassName = SessionWindowClass;
    const bool registered = RegisterClassW(&type) != 0;
    const HWND window =
        registered ? CreateWindowExW(0, SessionWindowClass, L"kvd62-capture", WS_OVERLAPPED, 0, 0,
                                     0, 0, nullptr, nullptr, instance, nullptr)
                   : nullptr;
    made.set_value(window);
    if (window != nullptr) {
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0)
            DispatchMessageW(&message);
        DestroyWindow(window);
    }
    if (registered)
        UnregisterClassW(SessionWindowClass, instance);
}

// The window's thread and the window, while a ConsoleStop lives.
struct SessionWindow {
    std::thread thread;
    HWND window = nullptr;
};
SessionWindow& Session() {
    static SessionWindow session;
    return session;
}

} // namespace

ShutdownBlockCalls& ShutdownBlock() {
    static ShutdownBlockCalls calls;
    return calls;
}

// Windows' C runtime puts a signal(SIGINT) handler back to the default before
// calling it, so a second Ctrl+C would end the program mid-save; and it has no
// signal for the other events. The console's own handler list has neither
// fault. AttachConsole empties that list: the windowed program attaches to its
// parent's console first (in main), and this comes after. The session's
// window exists once this returns.
ConsoleStop::ConsoleStop() {
    ResetEvent(Written());
    Events().emplace(nullptr, [] { WaitForSingleObject(Written(), INFINITE); });
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    std::promise<HWND> made;
    std::future<HWND> window = made.get_future();
    Session().thread = std::thread(RunSessionWindow, std::move(made));
    Session().window = window.get();
}

// A WM_ENDSESSION being answered returns first; then the window's thread ends.
ConsoleStop::~ConsoleStop() {
    SavingNow() = false;
    SetEvent(Written());
    SessionWindow& session = Session();
    if (session.window != nullptr)
        PostMessageW(session.window, EndSessionWindow, 0, 0);
    session.thread.join();
    session.window = nullptr;
}

bool ConsoleStop::asked() const {
    return Events()->stopAsked();
}

void ConsoleStop::saving(bool underWay) {
    SavingNow() = underWay;
}

} // namespace kvd
