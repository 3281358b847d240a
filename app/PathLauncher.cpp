// What the installers put on PATH: kvd62-capture.exe and kvd62-capture.com in
// bin, which holds nothing else. Each starts the program of its own name in the
// program folder beside bin, with the same command line, standard handles and
// console, waits for it and ends with its exit code. The programs' libraries
// (MinGW's C++ runtime, Qt's) stay in program, off PATH, where no other program
// started from a console can load them in place of its own.
// Built without any library but Windows' own.
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

std::wstring OwnPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// FOLDER\bin\NAME is FOLDER\program\NAME.
std::wstring InstalledProgram(const std::wstring& own) {
    const std::size_t name = own.find_last_of(L'\\');
    const std::size_t folder = own.find_last_of(L'\\', name - 1);
    if (name == std::wstring::npos || folder == std::wstring::npos)
        return {};
    return own.substr(0, folder) + L"\\program" + own.substr(name);
}

// What follows the program's own name in a command line, as the C runtime
// splits it: a quoted name up to the closing quote, else up to a blank.
const wchar_t* Arguments(const wchar_t* line) {
    if (*line == L'"') {
        const wchar_t* end = std::wcschr(line + 1, L'"');
        return end != nullptr ? end + 1 : line + std::wcslen(line);
    }
    while (*line != L'\0' && *line != L' ' && *line != L'\t')
        ++line;
    return line;
}

// Ctrl+C and Ctrl+Break reach the program too, on the same console: it decides
// what they do, and this waits for it to end.
BOOL WINAPI LeaveStopToProgram(DWORD event) {
    return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
}

void Tell(const std::wstring& text) {
#ifdef KVD_CONSOLE_PROGRAM
    DWORD written = 0;
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (!WriteConsoleW(error, text.c_str(), DWORD(text.size()), &written, nullptr))
        WriteFile(error, text.c_str(), DWORD(text.size() * sizeof(wchar_t)), &written, nullptr);
#else
    MessageBoxW(nullptr, text.c_str(), L"KVD62 screen capture", MB_OK | MB_ICONERROR);
#endif
}

int CannotStart(const std::wstring& program) {
    const DWORD error = GetLastError();
    wchar_t* reason = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, error, 0, reinterpret_cast<wchar_t*>(&reason), 0, nullptr);
    Tell(L"kvd62-capture: " + program + L" could not be started: " +
         (reason != nullptr ? std::wstring(reason) : L"Windows error " + std::to_wstring(error)) +
         L"\r\nInstall KVD62 screen capture again to repair it.\r\n");
    LocalFree(reason);
    return 1;
}

int Launch() {
    const std::wstring program = InstalledProgram(OwnPath());
    std::wstring line = L"\"" + program + L"\"" + Arguments(GetCommandLineW());
#ifndef KVD_CONSOLE_PROGRAM
    // The windowed program writes to the console it was started from (its help,
    // refusals, capture without a window): this one's, which it finds as its
    // parent's.
    AttachConsole(ATTACH_PARENT_PROCESS);
#endif
    // Before the program starts: a Ctrl+C meanwhile would end this one alone.
    SetConsoleCtrlHandler(LeaveStopToProgram, TRUE);
    STARTUPINFOW startup{};
    GetStartupInfoW(&startup);
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &started))
        return CannotStart(program);
    CloseHandle(started.hThread);
    WaitForSingleObject(started.hProcess, INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(started.hProcess, &status);
    CloseHandle(started.hProcess);
    return int(status);
}

} // namespace

#ifdef KVD_CONSOLE_PROGRAM
int main() {
    return Launch();
}
#else
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return Launch();
}
#endif
