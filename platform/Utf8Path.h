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

// Whether `text` is UTF-8 (a name from the command line may be Latin-1): each
// lead byte followed by as many continuation bytes as it announces.
inline bool IsUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const std::size_t length = lead < 0x80   ? 1
                                   : lead < 0xC2 ? 0
                                   : lead < 0xE0 ? 2
                                   : lead < 0xF0 ? 3
                                   : lead < 0xF5 ? 4
                                                 : 0;
        if (length == 0 || at + length > text.size())
            return false;
        for (std::size_t next = at + 1; next < at + length; ++next)
            if ((static_cast<unsigned char>(text[next]) & 0xC0) != 0x80)
                return false;
        at += length;
    }
    return true;
}

inline std::string Utf8FromPath(const std::filesystem::path& path) {
    const std::u8string utf8 = path.u8string();
    return std::string(reinterpret_cast<const char*>(utf8.data()), utf8.size());
}

} // namespace kvd
