#pragma once

// Who a serial device is, as Linux tells it: a USB-serial adapter by what
// /dev/serial/by-id and /dev/serial/by-path show of it, read from /sys; a
// pseudo-terminal by its device node.

#include <filesystem>
#include <string>

#include "platform/DeviceIdentity.h"

namespace kvd {

// Who has the name `device` now, for the names the kernel hands out in the
// order devices come: /dev/ttyUSBn (the usb-serial driver's adapters: FTDI,
// Prolific, CH340, CP210x), /dev/ttyACMn (USB communication devices) and
// /dev/pts/n. An adapter is told by its USB vendor, product and serial number,
// and its interface and port on the adapter (an FT2232 has two); one without a
// serial number, by the USB socket it is in as well. A pseudo-terminal is told
// by its device number and the time it was made: a new one with the same
// number was made later. Any other name is NotChecked: a /dev/serial/by-id
// name carries the identity, and a link the user made or a board's port is
// followed as it stands. `root` is where the system's folders are ("/"); a
// test gives a folder of its own, with /sys/class/tty and /sys/devices laid
// out as the kernel lays them out.
DeviceIdentity ReadDeviceIdentity(const std::string& device,
                                  const std::filesystem::path& root = "/");

// The name ("/dev/ttyUSB1") under which the adapter `identity` is now, when the
// kernel has given it another; empty when it is not plugged in, and for a
// pseudo-terminal, which never comes back.
std::string FindAdapter(const DeviceIdentity& identity, const std::filesystem::path& root = "/");

} // namespace kvd
