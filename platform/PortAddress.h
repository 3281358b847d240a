#pragma once

#include <string>
#include <utility>

namespace kvd {

// Which serial port to use: a port number (1 for the first port the system has),
// a device path opened as it stands (/dev/serial/by-id/..., a pseudo-terminal,
// COM7), or a text that names no port at all, which can never be opened.
class PortAddress {
public:
    enum class Kind { Number, Device, Unusable };

    static PortAddress number(int n) { return PortAddress{Kind::Number, n, {}}; }
    static PortAddress device(std::string path) {
        return PortAddress{Kind::Device, 0, std::move(path)};
    }
    static PortAddress unusable(std::string text) {
        return PortAddress{Kind::Unusable, 0, std::move(text)};
    }

    Kind kind() const { return kind_; }
    int portNumber() const { return number_; }
    // The device path, or for an unusable address the text it was read from.
    const std::string& path() const { return path_; }

    // How the address reads in messages: "port 2", "/dev/ttyUSB0", "port 99999".
    std::string describe() const {
        switch (kind_) {
        case Kind::Number:
            return "port " + std::to_string(number_);
        case Kind::Device:
            return path_;
        case Kind::Unusable:
            break;
        }
        return "port " + path_;
    }

    bool operator==(const PortAddress&) const = default;

private:
    PortAddress(Kind kind, int n, std::string path)
        : kind_(kind), number_(n), path_(std::move(path)) {}

    Kind kind_ = Kind::Number;
    int number_ = 0;
    std::string path_;
};

} // namespace kvd
