#include "platform/posix/SysfsIdentity.h"

#include <fstream>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace kvd {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view AdapterNames[] = {"ttyUSB", "ttyACM"};
constexpr std::string_view PseudoTerminals = "/dev/pts/";
// How far /sys/devices may lie above a tty's port: the port, its interface,
// the USB device, and hubs between them and the bus (USB allows five).
constexpr int MostLevels = 12;

bool AllDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// "ttyUSB0" for "/dev/ttyUSB0": a name the kernel hands out in the order
// adapters come.
std::optional<std::string> AdapterName(std::string_view device) {
    constexpr std::string_view dev = "/dev/";
    if (!device.starts_with(dev))
        return std::nullopt;
    device.remove_prefix(dev.size());
    for (const std::string_view prefix : AdapterNames)
        if (device.starts_with(prefix) && AllDigits(device.substr(prefix.size())))
            return std::string(device);
    return std::nullopt;
}

// The first line of a file of /sys, without its line end; empty when it has
// none.
std::string ReadLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

DeviceIdentity PseudoTerminal(const fs::path& node) {
    struct stat made {};
    if (::stat(node.c_str(), &made) != 0)
        return DeviceIdentity::absent();
    if (!S_ISCHR(made.st_mode))
        return {};
    return {DeviceIdentity::Kind::PseudoTerminal,
            "pts " + std::to_string(major(made.st_rdev)) + ":" +
                std::to_string(minor(made.st_rdev)) + " inode " + std::to_string(made.st_ino) +
                " made " + std::to_string(made.st_ctim.tv_sec) + "." +
                std::to_string(made.st_ctim.tv_nsec),
            "a pseudo-terminal"};
}

// An adapter as Linux shows it under /sys/class/tty/NAME: its `device` link
// leads to the tty's port (ttyUSB) or interface (ttyACM), below the USB device,
// the folder with the vendor and product IDs.
DeviceIdentity Adapter(const std::string& name, const fs::path& root) {
    std::error_code error;
    const fs::path tty = root / "sys/class/tty" / name;
    if (!fs::exists(tty, error))
        return DeviceIdentity::absent();
    const fs::path port = fs::canonical(tty / "device", error);
    if (error)
        return {};
    const fs::path top = fs::canonical(root / "sys", error);
    if (error)
        return {};
    fs::path interface;
    fs::path usb;
    fs::path at = port;
    for (int level = 0; level < MostLevels && at != top && at.has_relative_path();
         ++level, at = at.parent_path()) {
        if (fs::exists(at / "idVendor", error)) {
            usb = at;
            break;
        }
        interface = at;
    }
    if (usb.empty() || interface.empty())
        return {};
    const std::string vendor = ReadLine(usb / "idVendor");
    const std::string product = ReadLine(usb / "idProduct");
    const std::string serial = ReadLine(usb / "serial");
    // "1-1.2:1.0": the USB device's place on the bus, then its configuration
    // and interface.
    const std::string place = interface.filename().string();
    const std::size_t colon = place.find(':');
    const std::string onAdapter =
        " interface " + (colon == std::string::npos ? place : place.substr(colon + 1)) + " port " +
        (port == interface ? "0" : ReadLine(port / "port_number"));
    const std::string ids = "usb " + vendor + ":" + product;
    const std::string key = serial.empty()
                                ? ids + " in socket " + usb.filename().string() + onAdapter
                                : ids + " serial " + serial + onAdapter;

    const std::string maker = ReadLine(usb / "manufacturer");
    const std::string model = ReadLine(usb / "product");
    std::string words = maker.empty() || model.starts_with(maker) ? model
                        : model.empty()                           ? maker
                                                                  : maker + " " + model;
    if (words.empty())
        words = "USB device " + vendor + ":" + product;
    words += serial.empty() ? ", no serial number, in USB socket " + usb.filename().string()
                            : ", serial " + serial;
    return {DeviceIdentity::Kind::Device, key, words};
}

} // namespace

DeviceIdentity ReadDeviceIdentity(const std::string& device, const fs::path& root) {
    if (device.starts_with(PseudoTerminals) &&
        AllDigits(std::string_view(device).substr(PseudoTerminals.size())))
        return PseudoTerminal(root / device.substr(1));
    if (const std::optional<std::string> name = AdapterName(device))
        return Adapter(*name, root);
    return {};
}

std::string FindAdapter(const DeviceIdentity& identity, const fs::path& root) {
    if (identity.kind != DeviceIdentity::Kind::Device)
        return {};
    std::error_code error;
    for (const fs::directory_entry& tty : fs::directory_iterator(root / "sys/class/tty", error)) {
        const std::string device = "/dev/" + tty.path().filename().string();
        if (AdapterName(device) && ReadDeviceIdentity(device, root).sameAs(identity))
            return device;
    }
    return {};
}

} // namespace kvd
