#pragma once

#include <string>

namespace kvd {

// Who a serial device is, beyond the name it has now. Where the system hands
// names out in the order devices come (Linux's /dev/ttyUSB0 and /dev/ttyACM0,
// a pseudo-terminal's /dev/pts/3, Windows' COM5), a name can pass to another
// device while the one the program had is away: its identity tells the two
// apart.
struct DeviceIdentity {
    enum class Kind {
        // Nothing to tell: the name is the device's own (a /dev/serial/by-id
        // link, a link the user made, a board's /dev/ttyS0), or the system
        // cannot say more.
        NotChecked,
        // No device has the name now.
        Absent,
        // A device the system describes: a USB-serial adapter on Linux, any
        // COM port's device on Windows.
        Device,
        // A pseudo-terminal. Closed, it never comes back; its number goes to
        // the next program that asks for one.
        PseudoTerminal,
    };
    Kind kind = Kind::NotChecked;
    // What tells it from every other device: an adapter's vendor, product and
    // serial number (without a serial number, the USB socket it is in);
    // Windows' device instance ID; a pseudo-terminal's device number and the
    // time it was made.
    std::string key;
    // The device in words, for messages: "FTDI FT232R USB UART, serial
    // A50285BI".
    std::string words;

    static DeviceIdentity absent() { return {Kind::Absent, {}, {}}; }

    bool known() const { return kind == Kind::Device || kind == Kind::PseudoTerminal; }
    bool sameAs(const DeviceIdentity& other) const {
        return known() && kind == other.kind && key == other.key;
    }
};

} // namespace kvd
