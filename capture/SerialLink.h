#pragma once

#include <string>
#include <vector>

#include "capture/CaptureState.h"
#include "capture/PortSelector.h"
#include "platform/Outcome.h"
#include "platform/SerialPort.h"

namespace kvd {

// The instrument's line: 57600 bit/s, no parity, 8 data bits, 1 stop bit.
inline constexpr const char* LineSettings = "57600,N,8,1";
// Room the driver keeps for received bytes between two polls.
inline constexpr int InBufferSize = 6000;
// The ports tried at start-up, in order.
inline constexpr int ProbedPorts[] = {1, 2};

// Closes the port if it is open and opens it again on `port` with the fixed line
// settings, no flow control, RTS on and DTR off. With dtrFirst DTR is switched off
// before the port opens (the user edited the selector's text), otherwise after it.
// The link is receive-only: nothing is ever written to the port.
Outcome ConfigurePort(SerialPort& comm, const PortAddress& port, bool dtrFirst);

struct ProbeReport {
    // Ports that could not be opened, with the device tried and the reason.
    struct Failure {
        int port = 0;
        std::string device;
        std::string reason;
    };
    std::vector<Failure> failures;
    // Whether a port ended up open.
    bool opened = false;
};

// Start-up: tries ports 1 and 2, lists those that open in the selector, shows the
// first of them and opens it. When none opens the selector is left as it is and
// the port stays closed; the report says what was tried.
ProbeReport ProbePorts(CaptureState& state, SerialPort& comm, PortSelector& selector);

} // namespace kvd
