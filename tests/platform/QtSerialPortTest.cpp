#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>
#include <termios.h>
#include <unistd.h>

#include "capture/ConfigurePort.h"
#include "platform/qt/QtSerialPort.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/TestBitmap.h"
#include "tests/support/TestMain.h"

using namespace kvd;

namespace {

// Drains the port the way the poll tick does, until `count` bytes have come.
std::string Receive(QtSerialPort& port, std::size_t count) {
    std::string received;
    QElapsedTimer guard;
    guard.start();
    while (received.size() < count && guard.elapsed() < 20000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (port.bytesWaiting() > 0)
            received += port.read();
    }
    return received;
}

} // namespace

class QtSerialPortTest : public QObject {
    Q_OBJECT

private slots:
    void opensADevicePathWithTheLineSettings() {
        test::PseudoTerminal cable;
        QVERIFY(cable.ok());
        QtSerialPort port;
        const Outcome opened = ConfigurePort(port, PortAddress::device(cable.devicePath()), false);
        QVERIFY2(opened.ok(), opened.reason().c_str());
        QCOMPARE(port.state(), PortState::Open);
        QCOMPARE(port.deviceName(), cable.devicePath());

        termios line{};
        QCOMPARE(tcgetattr(cable.programEnd(), &line), 0);
        QCOMPARE(cfgetispeed(&line), speed_t(B57600));
        QCOMPARE(line.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
        QCOMPARE(line.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), tcflag_t(0));
        QCOMPARE(line.c_lflag & (ICANON | ECHO | ISIG), tcflag_t(0));
    }

    // The start-up probe opens ports before any line settings are given.
    void opensWithoutLineSettings() {
        test::PseudoTerminal cable;
        QtSerialPort port;
        port.setPort(PortAddress::device(cable.devicePath()));
        const Outcome opened = port.open();
        QVERIFY2(opened.ok(), opened.reason().c_str());
        port.close();
        QCOMPARE(port.state(), PortState::Closed);
    }

    void receivesEveryByteUnchanged() {
        test::PseudoTerminal cable;
        QtSerialPort port;
        QVERIFY(ConfigurePort(port, PortAddress::device(cable.devicePath()), true).ok());

        std::string bytes;
        for (int i = 0; i < 512; ++i)
            bytes += static_cast<char>(i % 256);
        bytes += test::TwoColourBitmap(9);
        QVERIFY(cable.send(bytes));
        QVERIFY(Receive(port, bytes.size()) == bytes);
        QCOMPARE(port.bytesWaiting(), 0);
    }

    // A screenshot, then the far end hangs up at once. The port is found lost,
    // by Qt's own report or by the look at the line each tick takes, whichever
    // comes first (Qt 6.8 reports nothing), and what had arrived is read once.
    void anUnpluggedCableLosesThePort() {
        test::PseudoTerminal cable;
        QtSerialPort port;
        QVERIFY(ConfigurePort(port, PortAddress::device(cable.devicePath()), false).ok());
        const std::string screenshot = test::TwoColourBitmap(9);
        QVERIFY(cable.send(screenshot));
        QTRY_COMPARE_WITH_TIMEOUT(cable.unread(), 0, 10000); // taken by the port
        cable.unplug();
        QTRY_COMPARE_WITH_TIMEOUT((port.checkLine(), port.state()), PortState::Lost, 10000);
        QVERIFY(!port.problem().empty());
        QCOMPARE(port.bytesWaiting(), int(screenshot.size()));
        QVERIFY(port.read() == screenshot);
        QCOMPARE(port.bytesWaiting(), 0);
        QVERIFY(port.read().empty());
    }

    // The line goes down and nothing is said (no event loop has run, so Qt has
    // reported nothing): a look at the line finds it, and the port is closed.
    void aLineThatWentDownIsFoundLost_data() {
        QTest::addColumn<bool>("hangUp");
        QTest::addColumn<QString>("reason");
        QTest::newRow("the far end hung up") << true << "the line hung up";
        QTest::newRow("the device node went away") << false << "the device has gone";
    }

    void aLineThatWentDownIsFoundLost() {
        QFETCH(bool, hangUp);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const std::string link = dir.path().toStdString() + "/ttyUSB0";
        test::PseudoTerminal cable;
        QCOMPARE(::symlink(cable.devicePath().c_str(), link.c_str()), 0);
        QtSerialPort port;
        QVERIFY(ConfigurePort(port, PortAddress::device(link), false).ok());
        port.checkLine();
        QCOMPARE(port.state(), PortState::Open);

        hangUp ? cable.unplug() : void(::unlink(link.c_str()));
        QCOMPARE(port.state(), PortState::Open);
        port.checkLine();
        QCOMPARE(port.state(), PortState::Lost);
        QCOMPARE(QString::fromStdString(port.problem()), reason);
        QVERIFY(!port.findChild<QSerialPort*>()->isOpen());
    }

    void portsThatDoNotOpen_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("reason");

        const int device = int(PortAddress::Kind::Device);
        QTest::newRow("a missing device") << device << "/nonexistent/ttyUSB7"
                                          << "there is no such device";
        QTest::newRow("a device that is no terminal") << device << "/dev/null"
                                                      << "";
        QTest::newRow("the program's own terminal")
            << device << "/dev/tty"
            << "it is this program's own terminal, not a serial port";
        QTest::newRow("a folder") << device << "/dev"
                                  << "it is a folder, not a serial device";
        QTest::newRow("a plain file") << device << "/etc/passwd"
                                      << "it is not a serial device";
        QTest::newRow("port 0") << int(PortAddress::Kind::Number) << "0"
                                << "there is no serial port 0";
        QTest::newRow("port 32767") << int(PortAddress::Kind::Number) << "32767"
                                    << "there is no serial port 32767";
        QTest::newRow("an unusable number") << int(PortAddress::Kind::Unusable) << "99999"
                                            << "\"99999\" is not a port number";
    }

    void portsThatDoNotOpen() {
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(QString, reason);
        PortAddress address = PortAddress::unusable(text.toStdString());
        if (kind == int(PortAddress::Kind::Device))
            address = PortAddress::device(text.toStdString());
        else if (kind == int(PortAddress::Kind::Number))
            address = PortAddress::number(text.toInt());

        QtSerialPort port;
        const Outcome opened = ConfigurePort(port, address, false);
        QVERIFY(!opened.ok());
        QVERIFY(!opened.reason().empty());
        QVERIFY2(QString::fromStdString(opened.reason()).startsWith(reason),
                 opened.reason().c_str());
        QCOMPARE(port.problem(), opened.reason());
        QCOMPARE(port.state(), PortState::Closed);
        QCOMPARE(port.bytesWaiting(), 0);
    }
};

KVD_REGISTER_TEST(QtSerialPortTest)
#include "QtSerialPortTest.moc"
