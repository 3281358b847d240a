#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kvd {

// A serial device as the system lists it.
struct SerialDevice {
    std::string path;
    // Whether the system says it hangs on USB (it has a USB vendor and product).
    bool usb = false;
};

// True when device path a comes before b in natural order: runs of digits compare
// by their value, so /dev/ttyS2 comes before /dev/ttyS10.
bool NaturallyBefore(std::string_view a, std::string_view b);

// The device of port n (1 for the first) among the system's serial devices; empty
// when there are fewer than n. USB-serial adapters come first, where the
// instrument's cable is: those on the kernel's usb-serial driver (ttyUSB: FTDI,
// Prolific, CH340, CP210x), then other USB devices (ttyACM: modems, boards), then
// the ports built into the computer (ttyS, ttyAMA). Within each, natural order.
// So a single adapter is port 1 even where the board has a serial port of its own.
std::string NthDevice(std::vector<SerialDevice> devices, int n);

// The devices in the order port numbers count through them, as NthDevice does.
// On Windows the same order (add-on drivers' ports first, then in COM-number
// order) chooses the ports start-up tries.
std::vector<SerialDevice> InPortOrder(std::vector<SerialDevice> devices);

} // namespace kvd
