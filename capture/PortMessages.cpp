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

// The port's own words for a port that another program holds, on either system.
bool IsInUse(const std::string& reason) {
    return reason.find(" is in use by another program") != std::string::npos;
}

// On Windows access is denied to a port another program holds; on Linux, to a
// user outside the group that owns serial devices.
#ifdef _WIN32
constexpr const char* DialoutHint =
    "Another program may be using the port: close it, then try again.";
#else
constexpr const char* DialoutHint =
    "You need access to serial devices. On Debian, join the dialout group "
    "(sudo adduser $USER dialout), then log out and in again.";
#endif
constexpr const char* InUseHint = "Close the program that has the port, then try again.";

// The device's name said once: "/dev/ttyUSB0 is in use by another program", not
// "/dev/ttyUSB0: /dev/ttyUSB0 is in use ...".
std::string DeviceAndProblem(const std::string& device, const std::string& problem) {
    if (!device.empty() && problem.starts_with(device + " "))
        return problem;
    return device + ": " + LowerFirst(problem);
}

constexpr const char* PseudoTerminalGone =
    "a closed pseudo-terminal never comes back, and the system gives its number to the next "
    "program that asks for one. Start the program at its far end (kvd62-simulator) again and "
    "use the device it prints (type it into \"Serial port\", or start a capture without a "
    "window again with it as --port)";

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
    return comm.problem().empty() ? device + ": closed" : DeviceAndProblem(device, comm.problem());
}

std::string DescribeLostPort(const std::string& device, const std::string& reason,
                             const DeviceIdentity& identity) {
    if (identity.kind == DeviceIdentity::Kind::PseudoTerminal)
        return device + ": lost (" + LowerFirst(reason) + "); " + PseudoTerminalGone;
    return device + ": lost (" + LowerFirst(reason) + "), waiting for it to return" +
#ifdef _WIN32
           // An adapter without a serial number is numbered by its USB socket.
           "; plugged into another USB socket, it may have another number: type that";
#else
           "";
#endif
}

std::string DescribeTakenName(const std::string& device, const DeviceIdentity& now,
                              const DeviceIdentity& lost) {
    if (lost.kind == DeviceIdentity::Kind::PseudoTerminal)
        return device +
               " is now another pseudo-terminal, not the one that was lost, and is not "
               "opened: " +
               PseudoTerminalGone;
    return device + " is now another device (" + now.words +
           "); waiting for the instrument's adapter (" + lost.words + ") to return";
}

std::string NoPortMessage(const ProbeReport& report) {
    std::string text = "No serial port could be opened, so no screenshots can be received.\r\n";
    bool permission = false;
    bool inUse = false;
    for (const ProbeReport::Failure& failure : report.failures) {
        text += "\r\nPort " + std::to_string(failure.port);
        if (failure.device.empty())
            text += ": " + LowerFirst(failure.reason) + ".";
        else if (failure.reason.starts_with(failure.device + " "))
            text += ": " + failure.reason + ".";
        else
            text += " (" + failure.device + "): " + LowerFirst(failure.reason) + ".";
        permission = permission || IsPermissionProblem(failure.reason);
        inUse = inUse || IsInUse(failure.reason);
    }
    if (permission)
        text += std::string("\r\n\r\n") + DialoutHint;
    if (inUse)
        text += std::string("\r\n\r\n") + InUseHint;
    return text + WhatToDo;
}

std::string GivenPortMessage(const std::string& portState) {
    std::string text = "The serial port given with --port could not be opened (" + portState +
                       "), so no screenshots can be received.";
    if (const std::string advice = PortAdvice(portState); !advice.empty())
        text += "\r\n\r\n" + advice;
    return text + WhatToDo;
}

std::string PortAdvice(const std::string& portState) {
    if (IsInUse(portState))
        return InUseHint;
    if (IsPermissionProblem(portState))
        return DialoutHint;
    return {};
}

std::string NoWindowPortMessage(const std::string& portState) {
    const std::string advice = PortAdvice(portState);
    return "the serial port could not be opened (" + portState + "). " +
           (advice.empty() ? "Check the cable and the port, then start again." : advice);
}

} // namespace kvd
