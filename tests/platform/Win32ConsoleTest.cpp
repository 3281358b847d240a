#include <QTest>
#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/ConsoleStop.h"
#include "platform/win32/ConsoleClosesWindow.h"
#include "platform/win32/ConsoleEvents.h"
#include "platform/win32/ParentConsole.h"
#include "tests/support/TestMain.h"

using namespace kvd;

namespace {

// Standard handles, by what they lead to.
enum Leads { Nowhere, Console, File, Pipe, Dead };
HANDLE Handle(int leads) {
    return leads == Nowhere ? nullptr : reinterpret_cast<HANDLE>(std::intptr_t(leads));
}

// Windows as it documents itself: AttachConsole sets every standard handle to
// the console's, redirected or not. (Wine's keeps a handle that goes to a file
// or a pipe, so under Wine alone the program looked right.)
class DocumentedWindows final : public ConsoleCalls {
public:
    bool parentConsole = true;
    std::map<DWORD, HANDLE> handles;
    QStringList reopened;

    HANDLE stdHandle(DWORD which) override { return handles[which]; }
    void setStdHandle(DWORD which, HANDLE handle) override { handles[which] = handle; }
    DWORD fileType(HANDLE handle) override {
        switch (std::intptr_t(handle)) {
        case Console:
            return FILE_TYPE_CHAR;
        case File:
            return FILE_TYPE_DISK;
        case Pipe:
            return FILE_TYPE_PIPE;
        default:
            return FILE_TYPE_UNKNOWN; // a handle closed, or from a console now gone
        }
    }
    bool attachToParent() override {
        if (!parentConsole)
            return false;
        for (DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE})
            handles[which] = Handle(Console);
        return true;
    }
    void reopenOnConsole(std::FILE* stream) override {
        reopened << (stream == stdout ? "output" : "errors");
    }
};

// The reason the session window gives Windows for holding up a logoff, as
// ShutdownBlockReasonCreate and ShutdownBlockReasonDestroy keep it: only the
// thread that made the window may set or take it back (ERROR_ACCESS_DENIED).
std::wstring& BlockReason() {
    static std::wstring reason;
    return reason;
}
bool OnWindowsThread(HWND window) {
    if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId())
        return true;
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
}
BOOL WINAPI CreateBlockReason(HWND window, LPCWSTR reason) {
    if (!OnWindowsThread(window))
        return FALSE;
    BlockReason() = reason;
    return TRUE;
}
BOOL WINAPI DestroyBlockReason(HWND window) {
    if (!OnWindowsThread(window))
        return FALSE;
    BlockReason().clear();
    return TRUE;
}

} // namespace

class Win32ConsoleTest : public QObject {
    Q_OBJECT

private slots:
    // Output sent to a file or a pipe goes there still once the windowed
    // program has attached to its prompt's console; the rest goes to that
    // console.
    void theParentConsoleTakesWhatWentNowhere_data() {
        QTest::addColumn<bool>("parent");
        QTest::addColumn<int>("output");
        QTest::addColumn<int>("errors");
        QTest::addColumn<int>("outputAfter");
        QTest::addColumn<int>("errorsAfter");
        QTest::addColumn<QStringList>("reopened");
        const QStringList both{"output", "errors"};
        QTest::newRow("from a prompt")
            << true << int(Nowhere) << int(Nowhere) << int(Console) << int(Console) << both;
        QTest::newRow("> list.txt") << true << int(File) << int(Nowhere) << int(File)
                                    << int(Console) << QStringList{"errors"};
        QTest::newRow("| findstr, 2> errors.txt")
            << true << int(Pipe) << int(File) << int(Pipe) << int(File) << QStringList{};
        QTest::newRow("2> errors.txt") << true << int(Nowhere) << int(File) << int(Console)
                                       << int(File) << QStringList{"output"};
        QTest::newRow("a handle that leads nowhere")
            << true << int(Dead) << int(Dead) << int(Console) << int(Console) << both;
        QTest::newRow("from Explorer, no console") << false << int(Nowhere) << int(Nowhere)
                                                   << int(Nowhere) << int(Nowhere) << QStringList{};
        QTest::newRow("no console, output to a pipe")
            << false << int(Pipe) << int(Pipe) << int(Pipe) << int(Pipe) << QStringList{};
    }
    void theParentConsoleTakesWhatWentNowhere() {
        QFETCH(bool, parent);
        QFETCH(int, output);
        QFETCH(int, errors);
        QFETCH(int, outputAfter);
        QFETCH(int, errorsAfter);
        QFETCH(QStringList, reopened);
        DocumentedWindows windows;
        windows.parentConsole = parent;
        windows.handles = {{STD_OUTPUT_HANDLE, Handle(output)}, {STD_ERROR_HANDLE, Handle(errors)}};
        UseParentConsole(windows);
        QCOMPARE(windows.handles[STD_OUTPUT_HANDLE], Handle(outputAfter));
        QCOMPARE(windows.handles[STD_ERROR_HANDLE], Handle(errorsAfter));
        QCOMPARE(windows.reopened, reopened);
    }

    // Each control event only asks to stop, however often it comes; after the
    // events that Windows follows by ending the program, the handler returns
    // only once the program has done what it must (it is not for the handler
    // to decide that Windows' time is up). (Wine keeps a signal(SIGINT) handler
    // installed, where Windows' C runtime drops it before the first call: the
    // handler is called here as Windows calls it.)
    void aControlEventOnlyAsksToStop_data() {
        QTest::addColumn<int>("event");
        QTest::addColumn<bool>("waits");
        QTest::newRow("Ctrl+C") << int(CTRL_C_EVENT) << false;
        QTest::newRow("Ctrl+Break") << int(CTRL_BREAK_EVENT) << false;
        QTest::newRow("console closed") << int(CTRL_CLOSE_EVENT) << true;
        QTest::newRow("logoff") << int(CTRL_LOGOFF_EVENT) << true;
        QTest::newRow("shutdown") << int(CTRL_SHUTDOWN_EVENT) << true;
    }
    void aControlEventOnlyAsksToStop() {
        QFETCH(int, event);
        QFETCH(bool, waits);
        int asked = 0, waited = 0;
        bool askedBeforeWaiting = true;
        ConsoleEvents events([&] { ++asked; },
                             [&] {
                                 // The program must see the stop while the handler waits.
                                 askedBeforeWaiting =
                                     askedBeforeWaiting && events.stopAsked() && asked > waited;
                                 ++waited;
                             });
        QVERIFY(!events.stopAsked());
        for (int time = 1; time <= 2; ++time) {
            QCOMPARE(events.handle(DWORD(event)), TRUE);
            QVERIFY(events.stopAsked());
            QCOMPARE(asked, time);
            QCOMPARE(waited, waits ? time : 0);
        }
        QVERIFY(askedBeforeWaiting);
    }

    // kvd62-capture.com shows its window attached to the Command Prompt's
    // console it was typed in: a console event closes the window as its close
    // button does, where Windows' own handler would end the program at once
    // (Wine sends a program no CTRL_CLOSE_EVENT: the handler is called here as
    // Windows calls it, on a thread of its own). After a closed console the
    // handler returns only once the window has closed.
    void aConsoleEventClosesTheWindow_data() {
        QTest::addColumn<int>("event");
        QTest::newRow("Ctrl+C") << int(CTRL_C_EVENT);
        QTest::newRow("Ctrl+Break") << int(CTRL_BREAK_EVENT);
        QTest::newRow("console closed") << int(CTRL_CLOSE_EVENT);
    }
    void aConsoleEventClosesTheWindow() {
        QFETCH(int, event);
        // A static control's WM_CLOSE destroys it, as Qt's closes its window.
        const HWND window = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                                            nullptr, nullptr, nullptr);
        QVERIFY(window != nullptr);
        std::atomic<bool> returned{false};
        BOOL answer = FALSE;
        std::thread windows;
        bool returnedBeforeItClosed = false;
        {
            const ConsoleClosesWindow console(window);
            windows = std::thread([&] {
                answer = ConsoleClosesWindow::OnConsoleEvent(DWORD(event));
                returned = true;
            });
            MSG message;
            while (IsWindow(window) && GetMessageW(&message, nullptr, 0, 0) > 0)
                DispatchMessageW(&message);
            if (event != CTRL_CLOSE_EVENT)
                windows.join();
            else
                returnedBeforeItClosed = returned;
        }
        if (windows.joinable())
            windows.join();
        QCOMPARE(answer, TRUE);
        QVERIFY(!returnedBeforeItClosed);
    }

    // Logoff and shutdown reach the capture's hidden window as messages, which
    // stand for the control events above; -1: none, the window only answers.
    void anEndOfSessionIsAControlEvent_data() {
        QTest::addColumn<int>("message");
        QTest::addColumn<bool>("ends");
        QTest::addColumn<int>("how");
        QTest::addColumn<int>("event");
        QTest::newRow("logoff") << int(WM_ENDSESSION) << true << int(ENDSESSION_LOGOFF)
                                << int(CTRL_LOGOFF_EVENT);
        QTest::newRow("shutdown") << int(WM_ENDSESSION) << true << 0 << int(CTRL_SHUTDOWN_EVENT);
        QTest::newRow("another program refused: the session goes on")
            << int(WM_ENDSESSION) << false << int(ENDSESSION_LOGOFF) << -1;
        QTest::newRow("may the session end?")
            << int(WM_QUERYENDSESSION) << false << int(ENDSESSION_LOGOFF) << -1;
        QTest::newRow("taskkill without /F")
            << int(WM_CLOSE) << false << 0 << int(CTRL_BREAK_EVENT);
    }
    void anEndOfSessionIsAControlEvent() {
        QFETCH(int, message);
        QFETCH(bool, ends);
        QFETCH(int, how);
        QFETCH(int, event);
        const std::optional<DWORD> got =
            WindowMessageEvent(UINT(message), WPARAM(ends), LPARAM(DWORD(how)));
        QCOMPARE(got ? int(*got) : -1, event);
    }

    // The window is there, hidden, while the capture runs: sent WM_ENDSESSION as
    // Windows sends it at logoff, it asks to stop and answers only once the
    // capture has ended; then the window is gone. While a save is under way,
    // Windows' list of the programs that hold up the logoff says so: only the
    // window's own thread can tell it. (No test can log its user off, under
    // Windows or Wine: the messages are sent here as Windows sends them, from
    // another thread, to the window found by its class, and the block reason's
    // calls answer as Windows documents them, where Wine's are stubs. Wine's
    // FindWindowW finds a message-only window too, which Windows sends no
    // logoff: the window must be the desktop's child, a top-level one.)
    void theSessionWindowAsksToStopAtLogoff_data() {
        QTest::addColumn<bool>("saving");
        QTest::newRow("nothing being saved") << false;
        QTest::newRow("a save under way") << true;
    }
    void theSessionWindowAsksToStopAtLogoff() {
        QFETCH(bool, saving);
        const ShutdownBlockCalls system = ShutdownBlock();
        ShutdownBlock() = {&CreateBlockReason, &DestroyBlockReason};
        BlockReason() = {};
        std::atomic<bool> answered{false};
        LRESULT answer = -1;
        bool askedWhileAnswering = false;
        std::wstring saidWhileAnswering;
        std::thread windows;
        {
            ConsoleStop stop;
            const HWND window = FindWindowW(SessionWindowClass, nullptr);
            QVERIFY(window != nullptr);
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            QCOMPARE(process, GetCurrentProcessId());
            QVERIFY(GetAncestor(window, GA_PARENT) == GetDesktopWindow());
            QVERIFY(!IsWindowVisible(window));
            stop.saving(saving);
            QCOMPARE(SendMessageW(window, WM_QUERYENDSESSION, 0, LPARAM(DWORD(ENDSESSION_LOGOFF))),
                     LRESULT(TRUE));
            QVERIFY(!stop.asked());
            windows = std::thread([&] {
                answer =
                    SendMessageW(window, WM_ENDSESSION, TRUE, LPARAM(DWORD(ENDSESSION_LOGOFF)));
                answered = true;
            });
            // Until the stop is asked, or the answer came without it.
            while (!stop.asked() && !answered)
                std::this_thread::yield();
            askedWhileAnswering = stop.asked();
            saidWhileAnswering = BlockReason();
        }
        windows.join();
        ShutdownBlock() = system;
        QVERIFY(askedWhileAnswering);
        QCOMPARE(answer, LRESULT(0));
        QVERIFY(FindWindowW(SessionWindowClass, nullptr) == nullptr);
        QCOMPARE(QString::fromStdWString(saidWhileAnswering),
                 saving ? QString::fromWCharArray(SavingReason) : QString());
        QVERIFY(BlockReason().empty()); // taken back once the capture had ended
    }
};

KVD_REGISTER_TEST(Win32ConsoleTest)
#include "Win32ConsoleTest.moc"
