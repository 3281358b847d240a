#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kvd {

// Paths travel through the program as UTF-8 text (what Qt's dialogs give and its
// messages take). They become file-system paths only through these, never
// through std::filesystem's narrow conversion, which on Windows reads the text
// in the ANSI code page and so mangles a name such as Messung_Übersicht.bmp.
inline std::filesystem::path PathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(
        std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

inline std::string Utf8FromPath(const std::filesystem::path& path) {
    const std::u8string utf8 = path.u8string();
    return std::string(reinterpret_cast<const char*>(utf8.data()), utf8.size());
}

} // namespace kvd
