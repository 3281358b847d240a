#include "platform/LineSettings.h"

#include <charconv>
#include <string>
#include <vector>

namespace kvd {

namespace {

std::vector<std::string_view> SplitFields(std::string_view text) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        fields.push_back(text.substr(start, comma - start));
        if (comma == std::string_view::npos)
            return fields;
        start = comma + 1;
    }
}

std::optional<int> ReadWhole(std::string_view field) {
    int value = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (error != std::errc{} || end != field.data() + field.size())
        return std::nullopt;
    return value;
}

} // namespace

std::optional<LineSettingsValue> ParseLineSettings(std::string_view text) {
    const auto fields = SplitFields(text);
    if (fields.size() != 4 || fields[1].size() != 1)
        return std::nullopt;
    const auto baud = ReadWhole(fields[0]);
    const auto data = ReadWhole(fields[2]);
    const auto stop = ReadWhole(fields[3]);
    const char parity = static_cast<char>(fields[1][0] & ~0x20);
    const std::string_view parities = "NEOMS";
    if (!baud || *baud <= 0 || !data || *data < 5 || *data > 8 || !stop ||
        (*stop != 1 && *stop != 2) || parities.find(parity) == std::string_view::npos)
        return std::nullopt;
    return LineSettingsValue{*baud, parity, *data, *stop};
}

std::string FormatLineSettings(const LineSettingsValue& line) {
    return std::to_string(line.baudRate) + "," + line.parity + "," + std::to_string(line.dataBits) +
           "," + std::to_string(line.stopBits);
}

} // namespace kvd
