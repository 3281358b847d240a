#include "platform/win32/SystemErrorText.h"

#include "platform/win32/WideText.h"

namespace kvd {

namespace {

// Windows' words for the errors a virus scanner gives, which Wine's message
// table lacks.
std::string KnownText(DWORD error) {
    switch (error) {
    case VirusFound:
        return "Operation did not complete successfully because the file contains a virus or "
               "potentially unwanted software";
    case VirusRemoved:
        return "This file contains a virus or potentially unwanted software and cannot be opened. "
               "Due to the nature of this virus or potentially unwanted software, the file has "
               "been removed from this location";
    default:
        return "Windows error " + std::to_string(error);
    }
}

} // namespace

std::string SystemErrorText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string reason = length > 0 ? Utf8(text, length) : std::string{};
    LocalFree(text);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                               reason.back() == '.' || reason.back() == ' '))
        reason.pop_back();
    return reason.empty() ? KnownText(error) : reason;
}

} // namespace kvd
