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
    // refuses to open (0: none). `failures`: "port device: reason". `line`: what
    // the device of the port kept open saw; a port named at start opens with DTR
    // off first, as a typed one does, and any other is only tried, beside it.
    void probeListsAndOpensThePortsPresent_data() {
        QTest::addColumn<QList<int>>("present");
        QTest::addColumn<int>("refused");
        QTest::addColumn<QString>("given");
        QTest::addColumn<QStringList>("found");
        QTest::addColumn<QString>("opened");
        QTest::addColumn<QStringList>("failures");
        QTest::addColumn<QStringList>("line");

        const QString missing1 = "1 /dev/ttyFAKE1: no such device";
        const QString missing2 = "2 /dev/ttyFAKE2: no such device";
        const QStringList picked = {test::OpenedForTheInstrument(true), "DTR off"};
        const QStringList named = {test::OpenedForTheInstrument(false)};
        QTest::newRow("only port 1") << QList<int>{1} << 0 << "" << QStringList{"1"} << "1"
                                     << QStringList{missing2} << picked;
        // Port 1's open failed with DTR already off.
        QTest::newRow("only port 2")
            << QList<int>{2} << 0 << "" << QStringList{"2"} << "2" << QStringList{missing1}
            << QStringList{test::OpenedForTheInstrument(false), "DTR off"};
        QTest::newRow("ports 1 to 3: the first two")
            << QList<int>{1, 2, 3} << 0 << "" << QStringList{"1", "2"} << "1" << QStringList{}
            << picked;
        QTest::newRow("no port, port 1 refused")
            << QList<int>{} << 1 << "" << QStringList{} << ""
            << QStringList{"1 /dev/ttyFAKE1: Permission denied", missing2} << QStringList{};
        QTest::newRow("no port 1 or 2, only port 7")
            << QList<int>{7} << 0 << "" << QStringList{} << "" << QStringList{missing1, missing2}
            << QStringList{};
        QTest::newRow("port 2 given") << QList<int>{1, 2} << 0 << "2" << QStringList{"1", "2"}
                                      << "2" << QStringList{} << named;
        QTest::newRow("port 7 given") << QList<int>{1, 2, 7} << 0 << "7" << QStringList{"1", "2"}
                                      << "7" << QStringList{} << named;
        QTest::newRow("a missing port given")
            << QList<int>{1, 2} << 0 << "5" << QStringList{"1", "2"} << "" << QStringList{}
            << QStringList{};
#ifndef _WIN32 // the stand-in port's devices have Linux's names
        QTest::newRow("a device path given")
            << QList<int>{1, 2, 3} << 0 << "/dev/ttyFAKE3" << QStringList{"1", "2"}
            << "/dev/ttyFAKE3" << QStringList{} << named;
#endif
    }

    void probeListsAndOpensThePortsPresent() {
        QFETCH(QList<int>, present);
        QFETCH(int, refused);
        QFETCH(QString, given);
        QFETCH(QStringList, found);
        QFETCH(QString, opened);
        QFETCH(QStringList, failures);
        QFETCH(QStringList, line);

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
        const std::set<std::string> once(comm.opened.begin(), comm.opened.end());
        QCOMPARE(once.size(), comm.opened.size());
        QCOMPARE(test::LineSaw(comm), line);
        QCOMPARE(comm.isOpen(), !opened.isEmpty());
        if (opened.isEmpty()) {
            QVERIFY(!report.opened);
            return;
        }
        const PortAddress address = ReadPortAddress(opened.toStdString());
        QCOMPARE(report.opened, std::optional(address));
        QCOMPARE(comm.port, address);
    }
};

KVD_REGISTER_TEST(ProbePortsTest)
#include "ProbePortsTest.moc"
