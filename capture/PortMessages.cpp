#include "capture/PortMessages.h"

#include <cctype>

namespace kvd {

namespace {

std::string LowerFirst(std::string text) {
    if (!text.empty() && std::isupper(static_cast<unsigned char>(text[0])) &&
        (text.size() < 2 || !std::isupper(static_cast<unsigned char>(text[1]))))
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

bool IsPermissionProblem(const std::string& reason) {
    return reason.find("ermission") != std::string::npos ||
           reason.find("ccess denied") != std::string::npos;
}

// On Windows access is denied to a port another program holds; on Linux, to a
// user outside the group that owns serial devices.
#ifdef _WIN32
constexpr const char* DialoutHint =
    "\r\n\r\nAnother program may be using the port: close it, then try again.";
#else
constexpr const char* DialoutHint =
    "\r\n\r\nYou need access to serial devices. On Debian, join the dialout group "
    "(sudo adduser $USER dialout), then log out and in again.";
#endif
const std::string WhatToDo =
    std::string("\r\n\r\nConnect the instrument's cable, then type its port number or device "
                "path (such as ") +
    ExampleDevice + ") into \"Serial port\".";

} // namespace

std::string DescribePortState(const SerialPort& comm, const PortAddress& address) {
    const std::string device = comm.deviceName().empty() ? address.describe() : comm.deviceName();
    switch (comm.state()) {
    case PortState::Open:
        return device + ": open";
    case PortState::Lost:
        return DescribeLostPort(device, comm.problem());
    case PortState::Closed:
        break;
    }
    return device + ": " + (comm.problem().empty() ? "closed" : LowerFirst(comm.problem()));
}

std::string DescribeLostPort(const std::string& device, const std::string& reason) {
    return device + ": lost (" + LowerFirst(reason) + "), waiting for it to return" +
#ifdef _WIN32
           // An adapter without a serial number is numbered by its USB socket.
           "; plugged into another USB socket, it may have another number: type that";
#else
           "";
#endif
}

std::string NoPortMessage(const ProbeReport& report) {
    std::string text = "No serial port could be opened, so no screenshots can be received.\r\n";
    bool permission = false;
    for (const ProbeReport::Failure& failure : report.failures) {
        text += "\r\nPort " + std::to_string(failure.port);
        if (!failure.device.empty())
            text += " (" + failure.device + ")";
        text += ": " + LowerFirst(failure.reason) + ".";
        permission = permission || IsPermissionProblem(failure.reason);
    }
    if (permission)
        text += DialoutHint;
    return text + WhatToDo;
}

std::string GivenPortMessage(const std::string& portState) {
    std::string text = "The serial port given with --port could not be opened (" + portState +
                       "), so no screenshots can be received.";
    if (IsPermissionProblem(portState))
        text += DialoutHint;
    return text + WhatToDo;
}

} // namespace kvd
