#include <QTest>

#include "capture/ConfigurePort.h"
#include "tests/capture/PortSteps.h"
#include "tests/fakes/FakeSerialPort.h"
#include "tests/support/TestMain.h"

using namespace kvd;
using test::LineSaw;
using test::OpenedForTheInstrument;

class ConfigurePortTest : public QObject {
    Q_OBJECT

private slots:
    // The port opens with the instrument's settings. A port the user typed never
    // shows DTR on: it goes off before the port opens; a port picked from the
    // list has it switched off just after. A port that is open is closed first;
    // one that does not open says why, and stays closed.
    void configureTurnsDtrOffAroundTheOpen_data() {
        QTest::addColumn<bool>("typed");
        QTest::addColumn<bool>("wasOpen");
        QTest::addColumn<QString>("refused");
        QTest::addColumn<QStringList>("line");
        QTest::newRow("picked from the list, port closed")
            << false << false << "" << QStringList{OpenedForTheInstrument(true), "DTR off"};
        QTest::newRow("picked from the list, port open")
            << false << true << "" << QStringList{"close", OpenedForTheInstrument(true), "DTR off"};
        QTest::newRow("text edited, port open")
            << true << true << "" << QStringList{"close", OpenedForTheInstrument(false)};
        QTest::newRow("refused, port open")
            << false << true << "Permission denied" << QStringList{"close"};
    }

    void configureTurnsDtrOffAroundTheOpen() {
        QFETCH(bool, typed);
        QFETCH(bool, wasOpen);
        QFETCH(QString, refused);
        QFETCH(QStringList, line);

        test::FakeSerialPort comm;
        comm.present = {1, 2};
        if (!refused.isEmpty())
            comm.refused[2] = refused.toStdString();
        if (wasOpen) {
            comm.setPort(PortAddress::number(1));
            QVERIFY(comm.open().ok());
            comm.line.clear();
        }
        const Outcome opened = ConfigurePort(comm, PortAddress::number(2), typed);
        QCOMPARE(QString::fromStdString(opened.reason()), refused);
        QCOMPARE(comm.state(), refused.isEmpty() ? PortState::Open : PortState::Closed);
        QCOMPARE(comm.port, PortAddress::number(2));
        QCOMPARE(LineSaw(comm), line);
    }
};

KVD_REGISTER_TEST(ConfigurePortTest)
#include "ConfigurePortTest.moc"
