#include <QTest>
#include <set>

#include "capture/ProbePorts.h"
#include "capture/SelectorText.h"
#include "tests/capture/PortSteps.h"
#include "tests/fakes/FakeSerialPort.h"
#include "tests/support/TestMain.h"

using namespace kvd;

class ProbePortsTest : public QObject {
    Q_OBJECT

private slots:
    // The probe lists the ports that open, keeps one open (the first found, or
    // the one named on the command line), opens each port once at most, and says
    // why each port it tried did not open. `refused`: a port that is there but
    // refuses to open (0: none). `failures`: "port device: reason".
    void probeListsAndOpensThePortsPresent_data() {
        QTest::addColumn<QList<int>>("present");
        QTest::addColumn<int>("refused");
        QTest::addColumn<QString>("given");
        QTest::addColumn<QStringList>("found");
        QTest::addColumn<QString>("opened");
        QTest::addColumn<QStringList>("failures");

        const QString missing1 = "1 /dev/ttyFAKE1: no such device";
        const QString missing2 = "2 /dev/ttyFAKE2: no such device";
        QTest::newRow("ports 1 and 2")
            << QList<int>{1, 2} << 0 << "" << QStringList{"1", "2"} << "1" << QStringList{};
        QTest::newRow("only port 1")
            << QList<int>{1} << 0 << "" << QStringList{"1"} << "1" << QStringList{missing2};
        QTest::newRow("only port 2")
            << QList<int>{2} << 0 << "" << QStringList{"2"} << "2" << QStringList{missing1};
        QTest::newRow("ports 1 to 3")
            << QList<int>{1, 2, 3} << 0 << "" << QStringList{"1", "2"} << "1" << QStringList{};
        QTest::newRow("no port") << QList<int>{} << 0 << "" << QStringList{} << ""
                                 << QStringList{missing1, missing2};
        QTest::newRow("no port, port 1 refused")
            << QList<int>{} << 1 << "" << QStringList{} << ""
            << QStringList{"1 /dev/ttyFAKE1: Permission denied", missing2};
        QTest::newRow("only port 7")
            << QList<int>{7} << 0 << "" << QStringList{} << "" << QStringList{missing1, missing2};
        QTest::newRow("port 2 given")
            << QList<int>{1, 2} << 0 << "2" << QStringList{"1", "2"} << "2" << QStringList{};
        QTest::newRow("port 7 given")
            << QList<int>{1, 2, 7} << 0 << "7" << QStringList{"1", "2"} << "7" << QStringList{};
        QTest::newRow("a missing port given")
            << QList<int>{1, 2} << 0 << "5" << QStringList{"1", "2"} << "" << QStringList{};
#ifndef _WIN32 // the stand-in port's devices have Linux's names
        QTest::newRow("a device path given")
            << QList<int>{1, 2, 3} << 0 << "/dev/ttyFAKE3" << QStringList{"1", "2"}
            << "/dev/ttyFAKE3" << QStringList{};
#endif
    }

    void probeListsAndOpensThePortsPresent() {
        QFETCH(QList<int>, present);
        QFETCH(int, refused);
        QFETCH(QString, given);
        QFETCH(QStringList, found);
        QFETCH(QString, opened);
        QFETCH(QStringList, failures);

        test::FakeSerialPort comm;
        comm.present = std::set<int>(present.begin(), present.end());
        if (refused != 0)
            comm.refused[refused] = "Permission denied";
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
        QStringList failed;
        for (const ProbeReport::Failure& failure : report.failures)
            failed << QString::fromStdString(std::to_string(failure.port) + " " + failure.device +
                                             ": " + failure.reason);
        QCOMPARE(failed, failures);
        QCOMPARE(state.Answer, std::int16_t(2));
        const std::set<std::string> once(comm.opened.begin(), comm.opened.end());
        QCOMPARE(once.size(), comm.opened.size());
        if (opened.isEmpty()) {
            QVERIFY(!comm.isOpen());
            QVERIFY(!report.opened);
            return;
        }
        const PortAddress address = ReadPortAddress(opened.toStdString());
        QCOMPARE(report.opened, std::optional(address));
        test::VerifyOpenWithLineSettings(comm, address);
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
        QCOMPARE(test::Steps(comm.calls), expected);
    }
};

KVD_REGISTER_TEST(ProbePortsTest)
#include "ProbePortsTest.moc"
