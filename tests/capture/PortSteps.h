#pragma once

#include <QStringList>
#include <QTest>
#include <set>
#include <string>
#include <vector>

#include "tests/fakes/FakeSerialPort.h"

// What the scripted port recorded of an open, read the way the configure and
// probe tests check it.
namespace kvd::test {

using Calls = std::vector<std::string>;

// The port's address and the line's settings: made before the port opens, in any
// order among themselves.
inline bool IsSetting(const std::string& call) {
    static const std::set<std::string> line = {"setRts 1", "setFlowControl none",
                                               "setSettings 57600,N,8,1", "setInputLength 0",
                                               "setInBufferSize 6000"};
    return call.rfind("setPort ", 0) == 0 || line.count(call) == 1;
}

// The calls in order, the settings left out.
inline QStringList Steps(const Calls& calls) {
    QStringList steps;
    for (const auto& call : calls)
        if (!IsSetting(call))
            steps << QString::fromStdString(call);
    return steps;
}

// The settings made before the port first opened, sorted.
inline QStringList SettingsBeforeOpen(const Calls& calls) {
    QStringList settings;
    for (auto call = calls.begin(); call != calls.end() && *call != "open"; ++call)
        if (IsSetting(*call))
            settings << QString::fromStdString(*call);
    settings.sort();
    return settings;
}

inline void VerifyOpenWithLineSettings(const FakeSerialPort& comm, const PortAddress& port) {
    QVERIFY(comm.isOpen());
    QCOMPARE(comm.port, port);
    QCOMPARE(comm.settings, std::string("57600,N,8,1"));
    QCOMPARE(comm.flow, FlowControl::None);
    QVERIFY(comm.rts);
    QVERIFY(!comm.dtr);
    QCOMPARE(comm.inBufferSize, 6000);
    QCOMPARE(comm.inputLength, 0);
}

} // namespace kvd::test
