#include "capture/ProbePorts.h"

namespace kvd {

namespace {

// One probe step. The port that is to stay open is opened with the line
// settings (DTR first for a port the user named); any other is only tried.
void TryPort(int n, SerialPort& comm, bool keep, bool named, ProbeReport& report) {
    const PortAddress port = PortAddress::number(n);
    PortTrial trial{Outcome::success(), {}};
    if (keep) {
        trial.opened = ConfigurePort(comm, port, named);
        trial.device = comm.deviceName();
        if (trial.opened)
            report.opened = port;
    } else {
        trial = comm.tryPort(port);
    }
    if (trial.opened)
        report.found.push_back({n, comm.friendlyName(trial.device)});
    else
        report.failures.push_back({n, trial.device, trial.opened.reason()});
}

} // namespace

ProbeReport ProbePorts(CaptureState& state, SerialPort& comm,
                       const std::optional<PortAddress>& wanted, bool openOne) {
    ProbeReport report;
    bool wantedProbed = false;
    for (int n : comm.probedPorts()) {
        state.Answer = static_cast<std::int16_t>(n);
        const bool isWanted = wanted && *wanted == PortAddress::number(n);
        wantedProbed = wantedProbed || isWanted;
        if (!openOne && isWanted && comm.isOpen()) { // in use: it opened already
            report.found.push_back({n, comm.friendlyName(comm.deviceName())});
            continue;
        }
        TryPort(n, comm, openOne && (wanted ? isWanted : !report.opened), isWanted, report);
    }
    if (openOne && wanted && !wantedProbed && ConfigurePort(comm, *wanted, true))
        report.opened = *wanted;
    return report;
}

} // namespace kvd
