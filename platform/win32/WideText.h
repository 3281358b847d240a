#pragma once

#include "platform/win32/WindowsApi.h"

#include <cwchar>
#include <string>

namespace kvd {

// UTF-8, as the program keeps text, to Windows' UTF-16, and back.
inline std::wstring Wide(const std::string& text) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(std::size_t(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), size);
    return wide;
}

inline std::string Utf8(const wchar_t* text, std::size_t length) {
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text, int(length), nullptr, 0, nullptr, nullptr);
    std::string narrow(std::size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, int(length), narrow.data(), size, nullptr, nullptr);
    return narrow;
}

inline std::string Utf8(const wchar_t* text) {
    return Utf8(text, std::wcslen(text));
}

} // namespace kvd
