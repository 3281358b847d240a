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
std::vector<SerialDevice> InPortOrder(std::vector<SerialDevice> devices);

// A COM port as Windows describes it: its name ("COM5") and its driver's device
// in the SERIALCOMM list ("\Device\VCP0"); where SetupAPI knows the device
// behind it, its instance ID, which begins with the bus that found it
// ("FTDIBUS\VID_0403+PID_6001+A50285BIA\0000"), its setup class ("Ports",
// "Modem"), and the instance IDs of the devices it hangs on, nearest first, as
// far as the first on USB ("USB\VID_2890&PID_0213\5&1A2B3C&0&2"). All are empty
// for a port SetupAPI does not know, as none of Wine's.
struct ComPortDevice {
    std::string name;
    std::string driverDevice;
    std::string instanceId;
    std::string setupClass;
    std::vector<std::string> parents = {};
};

// The COM ports start-up tries, in the order it tries them: USB-serial adapters
// (USB\..., FTDIBUS\..., or under a bus of their driver's own that hangs on
// USB) first, where the instrument's cable is, then the ports built into the
// computer (ACPI\..., PCI\..., or serial.sys's \Device\SerialN where SetupAPI
// does not know the port), each in COM-number order. Bluetooth ports
// (BTHENUM\..., \Device\BthModemN), modems, other software's ports and Intel
// AMT's Serial-over-LAN port (a management console's line on office PCs) are
// never tried: opening one can wait seconds for a paired phone, pick up a line
// or write into someone's console. They can still be opened by name.
std::vector<std::string> ComPortsToTry(const std::vector<ComPortDevice>& ports);

} // namespace kvd
