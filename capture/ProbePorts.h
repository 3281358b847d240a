#pragma once

#include <optional>
#include <string>
#include <vector>

#include "capture/CaptureState.h"
#include "capture/ConfigurePort.h"
#include "platform/SerialPort.h"

namespace kvd {

struct ProbeReport {
    // Ports that opened, in probe order, with the device each names (as the
    // system's own tools name it).
    struct Found {
        int port = 0;
        std::string device;
    };
    // Ports that could not be opened, with the device tried and the reason.
    struct Failure {
        int port = 0;
        std::string device;
        std::string reason;
    };
    std::vector<Found> found;
    std::vector<Failure> failures;
    // The port left open: the first found, or the one asked for.
    std::optional<PortAddress> opened;
};

// Start-up: tries the ports the system lists first (SerialPort::probedPorts:
// ports 1 and 2 on Linux) and reports those that open. The first port that
// opens is opened for good with ConfigurePort and stays open; the ports after it
// are only tried, on a handle of their own. With `wanted` (a port named on the
// command line) that port is the one opened for good instead, whether it is one
// of those probed or not. Without `openOne` the port in use is left as it is
// (listed when it is `wanted` and open) and every other port is only tried.
// Each port is opened once at most.
ProbeReport ProbePorts(CaptureState& state, SerialPort& comm,
                       const std::optional<PortAddress>& wanted = std::nullopt,
                       bool openOne = true);

} // namespace kvd
