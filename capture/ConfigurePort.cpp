#include "capture/ConfigurePort.h"

namespace kvd {

namespace {

template <typename Open>
Outcome Configure(SerialPort& comm, const PortAddress& port, bool dtrFirst, Open open) {
    if (comm.state() != PortState::Closed)
        comm.close();
    comm.setPort(port);
    comm.setRts(true);
    comm.setFlowControl(FlowControl::None);
    comm.setSettings(InstrumentLine);
    comm.setInputLength(0);
    comm.setInBufferSize(InBufferSize);
    if (dtrFirst)
        comm.setDtr(false);
    Outcome opened = open(comm);
    if (!dtrFirst)
        comm.setDtr(false);
    return opened;
}

} // namespace

Outcome ConfigurePort(SerialPort& comm, const PortAddress& port, bool dtrFirst) {
    return Configure(comm, port, dtrFirst, [](SerialPort& own) { return own.open(); });
}

Outcome RetryPort(SerialPort& comm, const PortAddress& port) {
    return Configure(comm, port, false, [](SerialPort& own) { return own.reopen(); });
}

} // namespace kvd
