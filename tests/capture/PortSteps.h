#pragma once

#include <QStringList>
#include <string>

#include "tests/fakes/FakeSerialPort.h"

namespace kvd::test {

// What the scripted port's device saw when the port opened with the
// instrument's settings (ConfigurePort), DTR as it then was.
inline QString OpenedForTheInstrument(bool dtrOn) {
    return QString("open 57600,N,8,1, flow none, RTS on, DTR %1, buffer 6000")
        .arg(dtrOn ? "on" : "off");
}

inline QStringList LineSaw(const FakeSerialPort& comm) {
    QStringList seen;
    for (const std::string& event : comm.line)
        seen << QString::fromStdString(event);
    return seen;
}

} // namespace kvd::test
