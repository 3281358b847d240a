#include <QTest>

#include "capture/ConfigurePort.h"
#include "tests/capture/PortSteps.h"
#include "tests/fakes/FakeSerialPort.h"
#include "tests/support/TestMain.h"

using namespace kvd;
using test::SettingsBeforeOpen;
using test::Steps;
using test::VerifyOpenWithLineSettings;

class ConfigurePortTest : public QObject {
    Q_OBJECT

private slots:
    // All settings are made before the port opens; DTR goes off before it opens
    // when the user typed the port, after it when the port was picked. A port
    // that is open, or was lost under us, is closed first.
    void configureTurnsDtrOffAroundTheOpen_data() {
        QTest::addColumn<bool>("dtrFirst");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QStringList>("steps");
        QTest::newRow("picked from the list, port closed")
            << false << "closed" << QStringList{"open", "setDtr 0"};
        QTest::newRow("picked from the list, port open")
            << false << "open" << QStringList{"close", "open", "setDtr 0"};
        QTest::newRow("picked from the list, port lost")
            << false << "lost" << QStringList{"close", "open", "setDtr 0"};
        QTest::newRow("text edited, port closed")
            << true << "closed" << QStringList{"setDtr 0", "open"};
        QTest::newRow("text edited, port open")
            << true << "open" << QStringList{"close", "setDtr 0", "open"};
    }

    void configureTurnsDtrOffAroundTheOpen() {
        QFETCH(bool, dtrFirst);
        QFETCH(QString, before);
        QFETCH(QStringList, steps);

        test::FakeSerialPort comm;
        comm.present = {1, 2};
        if (before != "closed") {
            comm.setPort(PortAddress::number(1));
            QVERIFY(comm.open().ok());
        }
        if (before == "lost")
            comm.lose();
        comm.calls.clear();
        QVERIFY(ConfigurePort(comm, PortAddress::number(2), dtrFirst).ok());
        QCOMPARE(Steps(comm.calls), steps);
        QCOMPARE(SettingsBeforeOpen(comm.calls),
                 QStringList({"setFlowControl none", "setInBufferSize 6000", "setInputLength 0",
                              "setPort port 2", "setRts 1", "setSettings 57600,N,8,1"}));
        VerifyOpenWithLineSettings(comm, PortAddress::number(2));
    }

    void configureReportsAPortThatWillNotOpen() {
        test::FakeSerialPort comm;
        comm.refused[3] = "Permission denied";
        const Outcome opened = ConfigurePort(comm, PortAddress::number(3), false);
        QVERIFY(!opened.ok());
        QCOMPARE(opened.reason(), std::string("Permission denied"));
        QCOMPARE(comm.state(), PortState::Closed);
    }
};

KVD_REGISTER_TEST(ConfigurePortTest)
#include "ConfigurePortTest.moc"
