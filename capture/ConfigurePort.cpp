#include "capture/ConfigurePort.h"

namespace kvd {

Outcome ConfigurePort(SerialPort& comm, const PortAddress& port, bool dtrFirst) {
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
    Outcome opened = comm.open();
    if (!dtrFirst)
        comm.setDtr(false);
    return opened;
}

} // namespace kvd
