#include "capture/SelectorText.h"

#include <cctype>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "platform/ComName.h"

namespace kvd {

namespace {

bool isSkipped(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string withoutBlanks(std::string_view text) {
    std::string kept;
    for (char c : text)
        if (!isSkipped(c))
            kept += c;
    return kept;
}

int digitValue(char c, int radix) {
    int value = -1;
    if (isDigit(c))
        value = c - '0';
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    return value < radix ? value : -1;
}

// Digits after &H or &O. The value saturates: anything that large is out of range.
double readRadixNumber(std::string_view digits, int radix) {
    double value = 0;
    for (char c : digits) {
        const int d = digitValue(c, radix);
        if (d < 0)
            break;
        value = std::min(value * radix + d, 1e300);
    }
    return value;
}

std::size_t countDigits(std::string_view text, std::size_t from) {
    std::size_t n = 0;
    while (from + n < text.size() && isDigit(text[from + n]))
        ++n;
    return n;
}

// Reads digits as a whole number that saturates, for exponents of any length.
long SaturatedWhole(std::string_view digits) {
    long value = 0;
    for (char c : digits)
        value = std::min(value * 10 + (c - '0'), 1000000L);
    return value;
}

// The longest prefix that forms a decimal number: sign, digits, fraction, exponent.
double readDecimalNumber(std::string_view text) {
    std::size_t end = 0;
    if (end < text.size() && (text[end] == '+' || text[end] == '-'))
        ++end;
    const std::size_t intStart = end;
    const std::size_t intDigits = countDigits(text, end);
    end += intDigits;
    std::size_t fracDigits = 0;
    if (end < text.size() && text[end] == '.') {
        fracDigits = countDigits(text, end + 1);
        end += 1 + fracDigits;
    }
    if (intDigits + fracDigits == 0)
        return 0;
    const std::size_t mantissaEnd = end;

    long exponent = 0;
    if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        std::size_t expStart = end + 1;
        const bool negative = expStart < text.size() && text[expStart] == '-';
        if (expStart < text.size() && (text[expStart] == '+' || negative))
            ++expStart;
        const std::size_t expDigits = countDigits(text, expStart);
        if (expDigits > 0) {
            exponent = SaturatedWhole(text.substr(expStart, expDigits));
            exponent = negative ? -exponent : exponent;
            end = expStart + expDigits;
        }
    }

    std::string number(text.substr(text[0] == '+' ? 1 : 0, end - (text[0] == '+' ? 1 : 0)));
    double value = 0;
    const auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec != std::errc::result_out_of_range)
        return value;

    // Beyond what a double holds: either far too large for a port, or a fraction
    // of a fraction that rounds to 0. The decimal order of magnitude tells which.
    const std::string_view mantissa = text.substr(intStart, mantissaEnd - intStart);
    const std::size_t firstSignificant = mantissa.find_first_of("123456789");
    if (firstSignificant == std::string_view::npos)
        return 0;
    const long shift = firstSignificant < intDigits ? long(intDigits - firstSignificant) - 1
                                                    : -long(firstSignificant - intDigits);
    if (shift + exponent < 0)
        return 0;
    return text[0] == '-' ? -1e300 : 1e300;
}

double roundHalfToEven(double value) {
    const double below = std::floor(value);
    const double fraction = value - below;
    if (fraction < 0.5)
        return below;
    if (fraction > 0.5)
        return below + 1;
    return std::fmod(below, 2.0) == 0 ? below : below + 1;
}

bool startsWithPrefix(std::string_view text, char letter) {
    return text.size() >= 2 && text[0] == '&' && (text[1] == letter || text[1] == letter + 32);
}

} // namespace

std::optional<std::int16_t> ReadPortNumber(std::string_view text) {
    const std::string kept = withoutBlanks(text);
    const std::string_view number = kept;
    double value = 0;
    if (startsWithPrefix(number, 'H'))
        value = readRadixNumber(number.substr(2), 16);
    else if (startsWithPrefix(number, 'O'))
        value = readRadixNumber(number.substr(2), 8);
    else
        value = readDecimalNumber(number);

    if (!std::isfinite(value))
        return std::nullopt;
    const double rounded = roundHalfToEven(value);
    if (rounded < std::numeric_limits<std::int16_t>::min() ||
        rounded > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isSkipped(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && (isSkipped(text.back()) || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

bool isDevicePath(std::string_view text) {
#ifdef _WIN32
    return ComPortName(text).has_value();
#else
    return !text.empty() && text.front() == '/';
#endif
}

} // namespace

bool IsGivenPort(std::string_view text) {
    const std::string_view candidate = trimmed(text);
    if (isDevicePath(candidate))
        return true;
    if (candidate.empty() || countDigits(candidate, 0) != candidate.size())
        return false;
    const long port = SaturatedWhole(candidate);
    return port >= 1 && port <= 32767;
}

bool StartsLikeDevicePath(std::string_view text) {
    const std::string_view candidate = trimmed(text);
    if (candidate.empty())
        return false;
#ifdef _WIN32
    return std::isalpha(static_cast<unsigned char>(candidate.front())) != 0 ||
           candidate.front() == '\\';
#else
    return candidate.front() == '/';
#endif
}

PortAddress ReadPortAddress(std::string_view text) {
    const std::string_view candidate = trimmed(text);
    if (isDevicePath(candidate))
        return PortAddress::device(std::string(candidate));
    if (const auto n = ReadPortNumber(text))
        return PortAddress::number(*n);
    return PortAddress::unusable(std::string(candidate));
}

} // namespace kvd
