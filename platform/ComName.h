#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kvd {

// A COM port's name as Windows reads it: "COM" in any case followed by digits,
// with or without the device namespace ("\\.\COM12"). Gives the name as Windows
// spells it ("com7" and "\\.\Com7" give "COM7"), or nothing for any other text.
// The digits are kept as text, never converted, so no length of them can
// overflow anything.
inline std::optional<std::string> ComPortName(std::string_view text) {
    constexpr std::string_view deviceNamespace = "\\\\.\\";
    if (text.starts_with(deviceNamespace))
        text.remove_prefix(deviceNamespace.size());
    if (text.size() < 4)
        return std::nullopt;
    for (std::size_t i = 0; i < 3; ++i)
        if ((text[i] & ~0x20) != "COM"[i])
            return std::nullopt;
    for (const char c : text.substr(3))
        if (c < '0' || c > '9')
            return std::nullopt;
    return "COM" + std::string(text.substr(3));
}

} // namespace kvd
