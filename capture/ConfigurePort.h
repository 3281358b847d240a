#pragma once

#include "platform/Outcome.h"
#include "platform/SerialPort.h"

namespace kvd {

// The instrument's line: 57600 bit/s, no parity, 8 data bits, 1 stop bit, read
// once here; the ports take the value.
inline constexpr const char* LineSettings = "57600,N,8,1";
inline const LineSettingsValue InstrumentLine = *ParseLineSettings(LineSettings);
// Room the driver keeps for received bytes between two polls.
inline constexpr int InBufferSize = 6000;

// Closes the port if it is open and opens it again on `port` with the fixed line
// settings, no flow control, RTS on and DTR off. With dtrFirst DTR is switched off
// before the port opens (the user edited the selector's text), otherwise after it.
// The link is receive-only: nothing is ever written to the port.
Outcome ConfigurePort(SerialPort& comm, const PortAddress& port, bool dtrFirst);

// ConfigurePort for a lost port retried at a poll, DTR after the open: the open
// never waits for the system's answer (SerialPort::reopen), so that no poll does.
Outcome RetryPort(SerialPort& comm, const PortAddress& port);

} // namespace kvd
