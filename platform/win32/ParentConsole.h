#pragma once

#include "platform/win32/WindowsApi.h"

#include <cstdio>

namespace kvd {

// The calls UseParentConsole makes: a seam, because Wine's AttachConsole keeps
// standard handles that Windows' replaces.
class ConsoleCalls {
public:
    virtual ~ConsoleCalls() = default;
    virtual HANDLE stdHandle(DWORD which) = 0;
    virtual void setStdHandle(DWORD which, HANDLE handle) = 0;
    virtual DWORD fileType(HANDLE handle) = 0;
    // AttachConsole(ATTACH_PARENT_PROCESS); false where there is none.
    virtual bool attachToParent() = 0;
    // Points the C runtime's stream at the console.
    virtual void reopenOnConsole(std::FILE* stream) = 0;
};

// The program is a windowed one on Windows, so it has no console of its own.
// Started from a Command Prompt or PowerShell, its standard output and error
// then go to that console, unless they already go to a file or a pipe: those
// stay where they were sent. The prompt does not wait for a windowed program,
// though: kvd62-capture.com, the console twin, is the one a Command Prompt runs,
// waits for and reads the exit status of.
void UseParentConsole(ConsoleCalls& windows);
void UseParentConsole();

} // namespace kvd
