#include "capture/SerialLink.h"

#include "capture/PortNumber.h"

namespace kvd {

Outcome ConfigurePort(SerialPort& comm, const PortAddress& port, bool dtrFirst) {
    if (comm.state() != PortState::Closed)
        comm.close();
    comm.setPort(port);
    comm.setRts(true);
    comm.setFlowControl(FlowControl::None);
    comm.setSettings(LineSettings);
    comm.setInputLength(0);
    comm.setInBufferSize(InBufferSize);
    if (dtrFirst)
        comm.setDtr(false);
    Outcome opened = comm.open();
    if (!dtrFirst)
        comm.setDtr(false);
    return opened;
}

namespace {

// One probe step: the port is listed when it opens, and closed again at once.
void TryPort(int n, SerialPort& comm, PortSelector& selector, ProbeReport& report) {
    comm.setPort(PortAddress::number(n));
    const Outcome opened = comm.open();
    if (!opened) {
        report.failures.push_back({n, comm.deviceName(), opened.reason()});
        return;
    }
    selector.addPort(std::to_string(n), comm.deviceName());
    comm.close();
}

} // namespace

ProbeReport ProbePorts(CaptureState& state, SerialPort& comm, PortSelector& selector) {
    ProbeReport report;
    for (int n : ProbedPorts) {
        state.Answer = static_cast<std::int16_t>(n);
        TryPort(n, comm, selector, report);
    }
    const std::string first = selector.firstPort();
    if (first.empty())
        return report;

    selector.setText(first);
    report.opened = ConfigurePort(comm, ReadPortAddress(first), false).ok();
    return report;
}

} // namespace kvd
