#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kvd {

struct LineSettingsValue {
    int baudRate = 0;
    char parity = 'N'; // N, E, O, M or S
    int dataBits = 8;  // 5 to 8
    int stopBits = 1;  // 1 or 2
};

// Reads a line-settings text such as "57600,N,8,1"; gives nothing when the text
// is not of that form.
std::optional<LineSettingsValue> ParseLineSettings(std::string_view text);
// The settings as that text again.
std::string FormatLineSettings(const LineSettingsValue& line);

} // namespace kvd
