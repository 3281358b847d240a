#include "platform/DeviceOrder.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace kvd {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view TakeRun(std::string_view text, std::size_t& at) {
    const std::size_t start = at;
    const bool digits = IsDigit(text[at]);
    while (at < text.size() && IsDigit(text[at]) == digits)
        ++at;
    return text.substr(start, at - start);
}

// Compares two runs of digits by value, however long they are.
int CompareNumbers(std::string_view a, std::string_view b) {
    while (a.size() > 1 && a.front() == '0')
        a.remove_prefix(1);
    while (b.size() > 1 && b.front() == '0')
        b.remove_prefix(1);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

// Where a kind of device stands in the port numbering: 0 for an adapter on the
// usb-serial driver, 1 for any other USB device, 2 for a built-in port.
int Rank(const SerialDevice& device) {
    if (!device.usb)
        return 2;
    const std::string_view name = std::string_view(device.path).substr(device.path.rfind('/') + 1);
    return name.starts_with("ttyUSB") ? 0 : 1;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; };
        if (upper(text[i]) != upper(prefix[i]))
            return false;
    }
    return true;
}

// Intel's own serial port on the PCI bus is, on the PCs this program meets, the
// management engine's Serial-over-LAN port (Intel AMT, "PCI bus 0, device 22,
// function 3"): a management console's line, which office PCs have with no
// adapter plugged in.
bool IsManagementPort(std::string_view id) {
    return StartsWithNoCase(id, "PCI\\VEN_8086&");
}

bool IsBluetooth(std::string_view id) {
    return StartsWithNoCase(id, "BTHENUM\\") || StartsWithNoCase(id, "BTH\\");
}

// Where a COM port stands among those start-up tries: 0 for a USB-serial
// adapter, 1 for a port built into the computer (or on a card in it); nothing
// for one it never tries. A port on a bus of its driver's own, as FTDI's
// FTDIBUS, is an adapter when it hangs on a USB device, unless Bluetooth comes
// first on the way there (a Bluetooth radio is often a USB device).
std::optional<int> ComRank(const ComPortDevice& port) {
    if (port.setupClass.size() == 5 && StartsWithNoCase(port.setupClass, "Modem"))
        return std::nullopt;
    const std::string_view id = port.instanceId;
    if (IsBluetooth(id) || StartsWithNoCase(port.driverDevice, "\\Device\\BthModem"))
        return std::nullopt;
    if (id.empty()) // unknown to SetupAPI, as Wine's: serial.sys's own are built in
        return StartsWithNoCase(port.driverDevice, "\\Device\\Serial") ? std::optional(1)
                                                                       : std::nullopt;
    if (StartsWithNoCase(id, "USB\\") || StartsWithNoCase(id, "FTDIBUS\\"))
        return 0;
    if (IsManagementPort(id))
        return std::nullopt;
    if (StartsWithNoCase(id, "ACPI\\") || StartsWithNoCase(id, "PCI\\"))
        return 1;
    for (const std::string& parent : port.parents) {
        if (IsBluetooth(parent))
            break;
        if (StartsWithNoCase(parent, "USB\\"))
            return 0;
    }
    return std::nullopt; // BTHENUM\, ROOT\ and other software's
}

} // namespace

bool NaturallyBefore(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const bool bothNumbers = IsDigit(a[i]) && IsDigit(b[j]);
        const std::string_view runA = TakeRun(a, i);
        const std::string_view runB = TakeRun(b, j);
        const int order = bothNumbers ? CompareNumbers(runA, runB) : runA.compare(runB);
        if (order != 0)
            return order < 0;
    }
    return a.size() - i < b.size() - j || (a.size() - i == b.size() - j && a < b);
}

std::vector<SerialDevice> InPortOrder(std::vector<SerialDevice> devices) {
    std::sort(devices.begin(), devices.end(), [](const SerialDevice& a, const SerialDevice& b) {
        if (Rank(a) != Rank(b))
            return Rank(a) < Rank(b);
        return NaturallyBefore(a.path, b.path);
    });
    return devices;
}

std::string NthDevice(std::vector<SerialDevice> devices, int n) {
    if (n < 1 || static_cast<std::size_t>(n) > devices.size())
        return {};
    return InPortOrder(std::move(devices))[static_cast<std::size_t>(n) - 1].path;
}

std::vector<std::string> ComPortsToTry(const std::vector<ComPortDevice>& ports) {
    std::vector<std::pair<int, std::string>> ranked;
    for (const ComPortDevice& port : ports)
        if (const std::optional<int> rank = ComRank(port))
            ranked.emplace_back(*rank, port.name);
    std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : NaturallyBefore(a.second, b.second);
    });
    std::vector<std::string> names;
    for (auto& [rank, name] : ranked)
        names.push_back(std::move(name));
    return names;
}

} // namespace kvd
