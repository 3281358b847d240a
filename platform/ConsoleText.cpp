#include "platform/ConsoleText.h"

#ifdef _WIN32
#include "platform/win32/WideText.h"

#include <shellapi.h>
#endif

namespace kvd {

void WriteText(std::FILE* stream, const std::string& utf8) {
#ifdef _WIN32
    HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        std::fflush(stream);
        const std::wstring wide = Wide(utf8);
        DWORD written = 0;
        WriteConsoleW(handle, wide.data(), DWORD(wide.size()), &written, nullptr);
        return;
    }
#endif
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fflush(stream);
}

std::vector<std::string> CommandLineArguments(int argc, char* argv[]) {
    std::vector<std::string> arguments;
#ifdef _WIN32
    (void)argc;
    (void)argv;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 0; wide != nullptr && i < count; ++i)
        arguments.push_back(Utf8(wide[i]));
    LocalFree(wide);
#else
    for (int i = 0; i < argc; ++i)
        arguments.emplace_back(argv[i]);
#endif
    return arguments;
}

} // namespace kvd
