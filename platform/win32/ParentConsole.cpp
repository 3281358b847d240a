#include "platform/win32/ParentConsole.h"

namespace kvd {

namespace {

class SystemConsoleCalls final : public ConsoleCalls {
public:
    HANDLE stdHandle(DWORD which) override { return GetStdHandle(which); }
    void setStdHandle(DWORD which, HANDLE handle) override { SetStdHandle(which, handle); }
    DWORD fileType(HANDLE handle) override { return GetFileType(handle); }
    bool attachToParent() override { return AttachConsole(ATTACH_PARENT_PROCESS) != FALSE; }
    void reopenOnConsole(std::FILE* stream) override { std::freopen("CONOUT$", "w", stream); }
};

// A standard handle that already goes somewhere, a file or a pipe a script set
// up (`> list.txt`, `| findstr`, PowerShell's `$out = & ...`); null where it
// goes nowhere.
HANDLE SentSomewhere(ConsoleCalls& windows, DWORD which) {
    HANDLE handle = windows.stdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
        windows.fileType(handle) == FILE_TYPE_UNKNOWN)
        return nullptr;
    return handle;
}

// After attaching: a stream that was sent somewhere goes there still (Windows'
// AttachConsole has set its handle to the console); one that went nowhere now
// goes to the console.
void KeepOrUseConsole(ConsoleCalls& windows, DWORD which, HANDLE sent, std::FILE* stream) {
    if (sent != nullptr)
        windows.setStdHandle(which, sent);
    else
        windows.reopenOnConsole(stream);
}

} // namespace

void UseParentConsole(ConsoleCalls& windows) {
    // Asked before attaching, since AttachConsole sets every standard handle to
    // the console.
    HANDLE output = SentSomewhere(windows, STD_OUTPUT_HANDLE);
    HANDLE errors = SentSomewhere(windows, STD_ERROR_HANDLE);
    if (!windows.attachToParent())
        return; // started from the Start menu or Explorer: nothing to write to
    KeepOrUseConsole(windows, STD_OUTPUT_HANDLE, output, stdout);
    KeepOrUseConsole(windows, STD_ERROR_HANDLE, errors, stderr);
}

void UseParentConsole() {
    SystemConsoleCalls windows;
    UseParentConsole(windows);
}

} // namespace kvd
