#include <QTest>

#include "capture/PortNumber.h"
#include "capture/SerialLink.h"
#include "platform/win32/Win32SerialPort.h"
#include "tests/support/TestMain.h"

using namespace kvd;

// The line itself is tried end to end by scripts/windows.sh, which hands the
// program a pseudo-terminal as a COM port through Wine.
class Win32SerialPortTest : public QObject {
    Q_OBJECT

private slots:
    // Ports above COM9 open only through the device namespace.
    void comPortsOpenByTheirDevicePath_data() {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("path");
        QTest::newRow("COM1") << 1 << R"(\\.\COM1)";
        QTest::newRow("COM9") << 9 << R"(\\.\COM9)";
        QTest::newRow("COM10") << 10 << R"(\\.\COM10)";
        QTest::newRow("COM256") << 256 << R"(\\.\COM256)";
    }
    void comPortsOpenByTheirDevicePath() {
        QFETCH(int, number);
        QFETCH(QString, path);
        QCOMPARE(QString::fromStdString(ComDevicePath(number)), path);
    }

    // A port that is not there says which, and in words that do not send a
    // Windows user looking for Linux's serial-device group.
    void aMissingPortSaysWhich_data() {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("device");
        QTest::newRow("number") << "187"
                                << "COM187";
        QTest::newRow("name") << "COM188"
                              << "COM188";
        QTest::newRow("device path") << R"(\\.\COM189)"
                                     << R"(\\.\COM189)";
    }
    void aMissingPortSaysWhich() {
        QFETCH(QString, given);
        QFETCH(QString, device);
        Win32SerialPort port;
        const Outcome opened = ConfigurePort(port, ReadPortAddress(given.toStdString()), true);
        QVERIFY(!opened.ok());
        QCOMPARE(port.state(), PortState::Closed);
        QCOMPARE(QString::fromStdString(port.deviceName()), device);
        QCOMPARE(QString::fromStdString(port.problem()),
                 QString("there is no serial port %1 on this computer").arg(device));
        QCOMPARE(port.bytesWaiting(), 0);
        QVERIFY(port.read().empty());
    }
};

KVD_REGISTER_TEST(Win32SerialPortTest)
#include "Win32SerialPortTest.moc"
