#include <QTest>

#include "platform/ComName.h"
#include "platform/DeviceOrder.h"
#include "platform/LineSettings.h"
#include "tests/support/TestMain.h"

using namespace kvd;

namespace {

std::vector<std::string> Split(const QString& list) {
    std::vector<std::string> items;
    for (const QString& item : list.split(' ', Qt::SkipEmptyParts))
        items.push_back(item.toStdString());
    return items;
}

// Devices as the system lists them; "usb:" marks one the system says is on USB.
std::vector<SerialDevice> Devices(const QString& list) {
    std::vector<SerialDevice> devices;
    for (const std::string& item : Split(list)) {
        const bool usb = item.starts_with("usb:");
        devices.push_back({usb ? item.substr(4) : item, usb});
    }
    return devices;
}

} // namespace

class PortNamesTest : public QObject {
    Q_OBJECT

private slots:
    void picksTheNthDeviceAdaptersFirst_data() {
        QTest::addColumn<QString>("devices");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("expected");

        const QString mixed = "/dev/ttyS10 /dev/ttyUSB0 /dev/ttyS2 /dev/ttyACM0 /dev/ttyS0";
        QTest::newRow("one adapter is port 1") << "/dev/ttyUSB0" << 1 << "/dev/ttyUSB0";
        QTest::newRow("no port 2 with one adapter") << "/dev/ttyUSB0" << 2 << "";
        QTest::newRow("no devices") << "" << 1 << "";
        QTest::newRow("port 0") << "/dev/ttyS0" << 0 << "";
        QTest::newRow("negative port") << "/dev/ttyS0" << -1 << "";
        QTest::newRow("mixed, port 1") << mixed << 1 << "/dev/ttyACM0";
        QTest::newRow("mixed, port 2") << mixed << 2 << "/dev/ttyS0";
        QTest::newRow("S2 before S10") << mixed << 3 << "/dev/ttyS2";
        QTest::newRow("S10 after S2") << mixed << 4 << "/dev/ttyS10";
        QTest::newRow("mixed, port 5") << mixed << 5 << "/dev/ttyUSB0";
        QTest::newRow("USB9 before USB10")
            << "/dev/ttyUSB10 /dev/ttyUSB9 /dev/ttyUSB100" << 1 << "/dev/ttyUSB9";
        QTest::newRow("long numbers")
            << "/dev/tty99999999999999999999 /dev/tty100000000000000000000" << 1
            << "/dev/tty99999999999999999999";
        QTest::newRow("leading zeros") << "/dev/tty010 /dev/tty9" << 1 << "/dev/tty9";
        // A board's own serial port lists first, but the adapter is port 1.
        QTest::newRow("a desktop board: the adapter before ttyS0")
            << "/dev/ttyS0 usb:/dev/ttyUSB0" << 1 << "/dev/ttyUSB0";
        QTest::newRow("a desktop board: ttyS0 after the adapter")
            << "/dev/ttyS0 usb:/dev/ttyUSB0" << 2 << "/dev/ttyS0";
        QTest::newRow("a laptop's USB modem: the adapter before ttyACM0")
            << "usb:/dev/ttyACM0 usb:/dev/ttyACM1 usb:/dev/ttyUSB0" << 1 << "/dev/ttyUSB0";
        QTest::newRow("a Raspberry Pi: the adapter before ttyAMA0")
            << "/dev/ttyAMA0 /dev/ttyS0 usb:/dev/ttyUSB0" << 1 << "/dev/ttyUSB0";
        QTest::newRow("two adapters in natural order, then the board's")
            << "/dev/ttyS0 usb:/dev/ttyUSB10 usb:/dev/ttyUSB2" << 2 << "/dev/ttyUSB10";
        QTest::newRow("a USB board before a built-in port")
            << "/dev/ttyS0 usb:/dev/ttyACM0" << 1 << "/dev/ttyACM0";
    }

    void picksTheNthDeviceAdaptersFirst() {
        QFETCH(QString, devices);
        QFETCH(int, n);
        QFETCH(QString, expected);
        QCOMPARE(QString::fromStdString(NthDevice(Devices(devices), n)), expected);
    }

    // The COM ports start-up tries, by what Windows says of the hardware behind
    // each: "name=driver's device[=SetupAPI's instance ID=setup class[=the
    // devices it hangs on, nearest first, apart by ;]]".
    void triesComPortsByTheirHardware_data() {
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QString>("tried");
        const QString ftdi = R"(=FTDIBUS\VID_0403+PID_6001+A50285BIA\0000=Ports)";
        const QString bluetooth =
            R"(=BTHENUM\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0002\7&2E1F&0&0_C00000000=Ports)";
        QTest::newRow("a laptop: Bluetooth's COM3 and COM4, an FTDI on COM5")
            << QStringList{R"(COM3=\Device\BthModem0)" + bluetooth,
                           R"(COM4=\Device\BthModem1)" + bluetooth, R"(COM5=\Device\VCP0)" + ftdi}
            << "COM5";
        QTest::newRow("adapters, then the board's and a card's, each in number order")
            << QStringList{R"(COM2=\Device\Serial1=PCI\VEN_9710&DEV_9865&SUBSYS_10001000\4&2A&0&E4=Ports)",
                           R"(COM10=\Device\ProlificSerial0=USB\VID_067B&PID_2303\5&1&0&2=Ports)",
                           R"(COM1=\Device\Serial0=ACPI\PNP0501\1=Ports)",
                           R"(COM3=\Device\VCP0)" + ftdi}
            << "COM3 COM10 COM1 COM2";
        // The management engine's Serial-over-LAN port, on many office PCs.
        QTest::newRow("Intel AMT's port on the PCI bus: never")
            << QStringList{R"(COM3=\Device\Serial2=PCI\VEN_8086&DEV_A13D&SUBSYS_07A11028\3&11583659&0&B3=Ports)",
                           R"(COM1=\Device\Serial0=ACPI\PNP0501\0=Ports)"}
            << "COM1";
        QTest::newRow("an adapter whose driver numbers its ports on a bus of its own")
            << QStringList{R"(COM1=\Device\Serial0=ACPI\PNP0501\0=Ports)",
                           R"(COM9=\Device\UPort0=UPORTBUS\PORT_1\7&2E1F&0&1=Ports=)"
                           R"(UPORTBUS\ROOT\6&1&0;USB\VID_110A&PID_1150\5&1A2B3C&0&4)"}
            << "COM9 COM1";
        QTest::newRow("a Bluetooth stack's own port, on a USB radio: never")
            << QStringList{R"(COM4=\Device\BtPort0=BTSTACK\SPP\8&1&0&1=Ports=)"
                           R"(BTH\MS_BTHBRB\7&1&0&1;USB\VID_8087&PID_0026\5&1&0&10)"}
            << "";
        QTest::newRow("unknown to SetupAPI, as Wine's: serial.sys's are the board's")
            << QStringList{R"(COM10=\Device\Serial9)", R"(COM1=\Device\Serial0)",
                           R"(COM4=\Device\BthModem0)", R"(COM7=\Device\VCP0)"}
            << "COM1 COM10";
        QTest::newRow("a USB modem, a software port, Bluetooth: never")
            << QStringList{R"(COM6=\Device\USBSER000=usb\vid_1199&pid_9071&mi_03\6&1&0&3=modem)",
                           R"(COM8=\Device\com0com10=COM0COM\PORT\CNCA0=CNCPorts)",
                           R"(COM9=\Device\Serial8=ROOT\PORTS\0000=Ports)",
                           R"(COM3=\Device\BthModem0)" + bluetooth}
            << "";
    }
    void triesComPortsByTheirHardware() {
        QFETCH(QStringList, listed);
        QFETCH(QString, tried);
        std::vector<ComPortDevice> ports;
        for (const QString& port : listed) {
            ComPortDevice& device = ports.emplace_back(ComPortDevice{
                port.section('=', 0, 0).toStdString(), port.section('=', 1, 1).toStdString(),
                port.section('=', 2, 2).toStdString(), port.section('=', 3, 3).toStdString()});
            for (const QString& parent : port.section('=', 4).split(';', Qt::SkipEmptyParts))
                device.parents.push_back(parent.toStdString());
        }
        QStringList names;
        for (const std::string& name : ComPortsToTry(ports))
            names << QString::fromStdString(name);
        QCOMPARE(names.join(' '), tried);
    }

    void naturalOrderIsStrict() {
        const auto names = Split("/dev/tty1 /dev/tty01 /dev/ttyS /dev/ttyS1 /dev/tty /dev/a");
        for (const auto& a : names) {
            QVERIFY(!NaturallyBefore(a, a));
            for (const auto& b : names)
                if (a != b)
                    QVERIFY2(NaturallyBefore(a, b) != NaturallyBefore(b, a), (a + " " + b).c_str());
        }
    }

    // A COM port's name as Windows reads it, whatever its case, with or
    // without the device namespace; the digits are never converted.
    void readsComPortNames_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("name");
        const auto row = [](const char* name, const char* text, const char* read) {
            QTest::newRow(name) << QString(text) << QString(read);
        };
        row("COM7", "COM7", "COM7");
        row("any case", "cOm7", "COM7");
        row("the device namespace", R"(\\.\Com12)", "COM12");
        row("more digits than any integer holds", "COM99999999999999999999",
            "COM99999999999999999999");
        row("no digits", "COM", "");
        row("a letter after the digits", "COM7x", "");
        row("another name", "LPT1", "");
        row("a Linux device", "/dev/ttyS0", "");
    }
    void readsComPortNames() {
        QFETCH(QString, text);
        QFETCH(QString, name);
        QCOMPARE(QString::fromStdString(ComPortName(text.toStdString()).value_or("")), name);
    }

    void readsLineSettings_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("baud");
        QTest::addColumn<QString>("parity");
        QTest::addColumn<int>("dataBits");
        QTest::addColumn<int>("stopBits");

        QTest::newRow("the instrument's line") << "57600,N,8,1" << true << 57600 << "N" << 8 << 1;
        QTest::newRow("lower case parity") << "9600,e,7,2" << true << 9600 << "E" << 7 << 2;
        QTest::newRow("odd parity") << "1200,O,5,1" << true << 1200 << "O" << 5 << 1;
        QTest::newRow("empty") << "" << false << 0 << "" << 0 << 0;
        QTest::newRow("missing field") << "57600,N,8" << false << 0 << "" << 0 << 0;
        QTest::newRow("extra field") << "57600,N,8,1,1" << false << 0 << "" << 0 << 0;
        QTest::newRow("unknown parity") << "57600,X,8,1" << false << 0 << "" << 0 << 0;
        QTest::newRow("nine data bits") << "57600,N,9,1" << false << 0 << "" << 0 << 0;
        QTest::newRow("three stop bits") << "57600,N,8,3" << false << 0 << "" << 0 << 0;
        QTest::newRow("zero baud") << "0,N,8,1" << false << 0 << "" << 0 << 0;
        QTest::newRow("blank in a number") << "57600 ,N,8,1" << false << 0 << "" << 0 << 0;
    }

    void readsLineSettings() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        const auto parsed = ParseLineSettings(text.toStdString());
        QCOMPARE(parsed.has_value(), valid);
        if (!valid)
            return;
        QFETCH(int, baud);
        QFETCH(QString, parity);
        QFETCH(int, dataBits);
        QFETCH(int, stopBits);
        QCOMPARE(parsed->baudRate, baud);
        QCOMPARE(QString(QChar(parsed->parity)), parity);
        QCOMPARE(parsed->dataBits, dataBits);
        QCOMPARE(parsed->stopBits, stopBits);
        QCOMPARE(QString::fromStdString(FormatLineSettings(*parsed)), // and back, as written
                 QString("%1,%2,%3,%4").arg(baud).arg(parity).arg(dataBits).arg(stopBits));
    }
};

KVD_REGISTER_TEST(PortNamesTest)
#include "PortNamesTest.moc"
