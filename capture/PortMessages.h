#pragma once

#include <string>

#include "capture/ProbePorts.h"
#include "platform/DeviceIdentity.h"
#include "platform/PortAddress.h"
#include "platform/SerialPort.h"

namespace kvd {

// A device path as users of this system type it, for messages and help.
#ifdef _WIN32
inline constexpr const char* ExampleDevice = "COM7";
#else
inline constexpr const char* ExampleDevice = "/dev/ttyUSB0";
#endif

// The link's state in a line for the selector's tooltip: the device and how it
// stands, as "/dev/ttyUSB0: open" or "/dev/ttyUSB0: permission denied".
std::string DescribePortState(const SerialPort& comm, const PortAddress& address);

// A port lost under us, for the same tooltip: "/dev/ttyUSB0: lost (the device
// has gone), waiting for it to return". A pseudo-terminal does not return: the
// text says what to do instead.
std::string DescribeLostPort(const std::string& device, const std::string& reason,
                             const DeviceIdentity& identity = {});

// A lost port's name that another device has now, for the same tooltip:
// "/dev/ttyUSB0 is now another device (FTDI FT232R USB UART, serial B); waiting
// for the instrument's adapter (FTDI FT232R USB UART, serial A) to return".
std::string DescribeTakenName(const std::string& device, const DeviceIdentity& now,
                              const DeviceIdentity& lost);

// The one message shown when the start-up probe opened no port: what was tried,
// why each failed, and what to do.
std::string NoPortMessage(const ProbeReport& report);

// The one message shown when the port given at start could not be opened;
// `portState` is the link's state as the tooltip says it.
std::string GivenPortMessage(const std::string& portState);

// What to do about a port that did not open, by the reason in `portState`: close
// the program that has it, or get access to serial devices; empty for any other
// reason.
std::string PortAdvice(const std::string& portState);

// The one line said without a window when the port given could not be opened,
// with what to do.
std::string NoWindowPortMessage(const std::string& portState);

} // namespace kvd
