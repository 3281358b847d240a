#include <QTest>
#include <set>

#include "capture/ConfigurePort.h"
#include "capture/ProbePorts.h"
#include "capture/ReadPort.h"
#include "tests/fakes/FakeSerialPort.h"
#include "tests/support/TestMain.h"

using namespace kvd;
using Calls = std::vector<std::string>;

namespace {

// The port's address and the line's settings: made before the port opens, in any
// order among themselves.
bool IsSetting(const std::string& call) {
    static const std::set<std::string> line = {"setRts 1", "setFlowControl none",
                                               "setSettings 57600,N,8,1", "setInputLength 0",
                                               "setInBufferSize 6000"};
    return call.rfind("setPort ", 0) == 0 || line.count(call) == 1;
}

// The calls in order, the settings left out.
QStringList Steps(const Calls& calls) {
    QStringList steps;
    for (const auto& call : calls)
        if (!IsSetting(call))
            steps << QString::fromStdString(call);
    return steps;
}

// The settings made before the port first opened, sorted.
QStringList SettingsBeforeOpen(const Calls& calls) {
    QStringList settings;
    for (auto call = calls.begin(); call != calls.end() && *call != "open"; ++call)
        if (IsSetting(*call))
            settings << QString::fromStdString(*call);
    settings.sort();
    return settings;
}

void VerifyOpenWithLineSettings(const test::FakeSerialPort& comm, int port) {
    QVERIFY(comm.isOpen());
    QCOMPARE(comm.port, PortAddress::number(port));
    QCOMPARE(comm.settings, std::string("57600,N,8,1"));
    QCOMPARE(comm.flow, FlowControl::None);
    QVERIFY(comm.rts);
    QVERIFY(!comm.dtr);
    QCOMPARE(comm.inBufferSize, 6000);
    QCOMPARE(comm.inputLength, 0);
}

} // namespace

class ConfigurePortTest : public QObject {
    Q_OBJECT

private slots:
    // All settings are made before the port opens; DTR goes off before it opens
    // when the user typed the port, after it when the port was picked.
    void configureTurnsDtrOffAroundTheOpen_data() {
        QTest::addColumn<bool>("dtrFirst");
        QTest::addColumn<bool>("wasOpen");
        QTest::addColumn<QStringList>("steps");
        QTest::newRow("picked from the list, port closed")
            << false << false << QStringList{"open", "setDtr 0"};
        QTest::newRow("picked from the list, port open")
            << false << true << QStringList{"close", "open", "setDtr 0"};
        QTest::newRow("text edited, port closed")
            << true << false << QStringList{"setDtr 0", "open"};
        QTest::newRow("text edited, port open")
            << true << true << QStringList{"close", "setDtr 0", "open"};
    }

    void configureTurnsDtrOffAroundTheOpen() {
        QFETCH(bool, dtrFirst);
        QFETCH(bool, wasOpen);
        QFETCH(QStringList, steps);

        test::FakeSerialPort comm;
        comm.present = {1, 2};
        if (wasOpen) {
            comm.setPort(PortAddress::number(1));
            QVERIFY(comm.open().ok());
        }
        comm.calls.clear();
        QVERIFY(ConfigurePort(comm, PortAddress::number(2), dtrFirst).ok());
        QCOMPARE(Steps(comm.calls), steps);
        QCOMPARE(SettingsBeforeOpen(comm.calls),
                 QStringList({"setFlowControl none", "setInBufferSize 6000", "setInputLength 0",
                              "setPort port 2", "setRts 1", "setSettings 57600,N,8,1"}));
        VerifyOpenWithLineSettings(comm, 2);
    }

    void configureReportsAPortThatWillNotOpen() {
        test::FakeSerialPort comm;
        comm.refused[3] = "Permission denied";
        const Outcome opened = ConfigurePort(comm, PortAddress::number(3), false);
        QVERIFY(!opened.ok());
        QCOMPARE(opened.reason(), std::string("Permission denied"));
        QCOMPARE(comm.state(), PortState::Closed);
    }

    void configureReopensALostPort() {
        test::FakeSerialPort comm;
        comm.present = {1};
        QVERIFY(ConfigurePort(comm, PortAddress::number(1), false).ok());
        comm.lose();
        QVERIFY(!ConfigurePort(comm, PortAddress::number(1), false).ok());
        QCOMPARE(comm.state(), PortState::Lost);
        comm.plugBackIn();
        comm.calls.clear();
        QVERIFY(ConfigurePort(comm, PortAddress::number(1), false).ok());
        QCOMPARE(comm.calls.front(), std::string("close"));
        VerifyOpenWithLineSettings(comm, 1);
    }

    void aLostPortPointedElsewhereIsNoLongerLost() {
        test::FakeSerialPort comm;
        comm.present = {1};
        QVERIFY(ConfigurePort(comm, PortAddress::number(1), false).ok());
        comm.lose();
        QVERIFY(!ConfigurePort(comm, PortAddress::number(2), false).ok());
        QCOMPARE(comm.state(), PortState::Closed);
    }

    // The probe lists the ports that open, keeps one open (the first found, or
    // the one named on the command line) and opens each port once at most.
    void probeListsAndOpensThePortsPresent_data() {
        QTest::addColumn<QList<int>>("present");
        QTest::addColumn<QString>("given");
        QTest::addColumn<QStringList>("found");
        QTest::addColumn<int>("openPort");
        QTest::addColumn<int>("failures");

        QTest::newRow("ports 1 and 2") << QList<int>{1, 2} << "" << QStringList{"1", "2"} << 1 << 0;
        QTest::newRow("only port 1") << QList<int>{1} << "" << QStringList{"1"} << 1 << 1;
        QTest::newRow("only port 2") << QList<int>{2} << "" << QStringList{"2"} << 2 << 1;
        QTest::newRow("ports 1 to 3")
            << QList<int>{1, 2, 3} << "" << QStringList{"1", "2"} << 1 << 0;
        QTest::newRow("no port") << QList<int>{} << "" << QStringList{} << 0 << 2;
        QTest::newRow("only port 7") << QList<int>{7} << "" << QStringList{} << 0 << 2;
        QTest::newRow("port 2 given") << QList<int>{1, 2} << "2" << QStringList{"1", "2"} << 2 << 0;
        QTest::newRow("port 7 given")
            << QList<int>{1, 2, 7} << "7" << QStringList{"1", "2"} << 7 << 0;
        QTest::newRow("a missing port given")
            << QList<int>{1, 2} << "5" << QStringList{"1", "2"} << 0 << 0;
    }

    void probeListsAndOpensThePortsPresent() {
        QFETCH(QList<int>, present);
        QFETCH(QString, given);
        QFETCH(QStringList, found);
        QFETCH(int, openPort);
        QFETCH(int, failures);

        test::FakeSerialPort comm;
        comm.present = std::set<int>(present.begin(), present.end());
        CaptureState state;
        std::optional<PortAddress> wanted;
        if (!given.isEmpty())
            wanted = ReadPortAddress(given.toStdString());

        const ProbeReport report = ProbePorts(state, comm, wanted);

        QStringList listed;
        for (const ProbeReport::Found& port : report.found) {
            listed << QString::number(port.port);
            QCOMPARE(port.device, "/dev/ttyFAKE" + std::to_string(port.port));
        }
        QCOMPARE(listed, found);
        QCOMPARE(int(report.failures.size()), failures);
        QCOMPARE(state.Answer, std::int16_t(2));
        const std::set<std::string> once(comm.opened.begin(), comm.opened.end());
        QCOMPARE(once.size(), comm.opened.size());
        if (openPort == 0) {
            QVERIFY(!comm.isOpen());
            QVERIFY(!report.opened);
            return;
        }
        QCOMPARE(report.opened, std::optional(PortAddress::number(openPort)));
        VerifyOpenWithLineSettings(comm, openPort);
    }

    // Both ports present: port 1 opens with the line settings and stays open;
    // port 2 is only tried, beside it. A port named at start opens with DTR off
    // first, as a typed one does.
    void probeRunsItsStepsInOrder_data() {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("start-up") << "" << QStringList{"open", "setDtr 0", "tryPort port 2"};
        QTest::newRow("port 2 given") << "2" << QStringList{"tryPort port 1", "setDtr 0", "open"};
    }

    void probeRunsItsStepsInOrder() {
        QFETCH(QString, given);
        QFETCH(QStringList, expected);
        test::FakeSerialPort comm;
        comm.present = {1, 2};
        CaptureState state;
        std::optional<PortAddress> wanted;
        if (!given.isEmpty())
            wanted = ReadPortAddress(given.toStdString());
        ProbePorts(state, comm, wanted);
        QCOMPARE(Steps(comm.calls), expected);
    }

    void probeReportsWhyEachPortFailed() {
        test::FakeSerialPort comm;
        comm.refused[1] = "Permission denied";
        CaptureState state;
        const ProbeReport report = ProbePorts(state, comm);
        QCOMPARE(report.failures.size(), std::size_t(2));
        QCOMPARE(report.failures[0].port, 1);
        QCOMPARE(report.failures[0].device, std::string("/dev/ttyFAKE1"));
        QCOMPARE(report.failures[0].reason, std::string("Permission denied"));
        QCOMPARE(report.failures[1].port, 2);
        QCOMPARE(report.failures[1].reason, std::string("no such device"));
    }
};

KVD_REGISTER_TEST(ConfigurePortTest)
#include "ConfigurePortTest.moc"
