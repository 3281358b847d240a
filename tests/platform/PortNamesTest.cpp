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

// Devices in /dev, as listed; "usb:" marks one the system says is on USB.
std::vector<SerialDevice> Devices(const QString& list) {
    std::vector<SerialDevice> devices;
    for (const std::string& item : Split(list)) {
        const bool usb = item.starts_with("usb:");
        devices.push_back({"/dev/" + (usb ? item.substr(4) : item), usb});
    }
    return devices;
}

} // namespace

class PortNamesTest : public QObject {
    Q_OBJECT

private slots:
    // `order`: the devices as ports 1, 2, ... count through them; past the
    // last, and below 1, there is none.
    void picksTheNthDeviceAdaptersFirst_data() {
        QTest::addColumn<QString>("devices");
        QTest::addColumn<QString>("order");
        const auto row = [](const char* name, const char* devices, const char* order) {
            QTest::newRow(name) << QString(devices) << QString(order);
        };
        row("no devices", "", "");
        row("one adapter", "ttyUSB0", "ttyUSB0");
        row("S2 before S10", "ttyS10 ttyUSB0 ttyS2 ttyACM0 ttyS0",
            "ttyACM0 ttyS0 ttyS2 ttyS10 ttyUSB0");
        row("USB9 before USB10", "ttyUSB10 ttyUSB9 ttyUSB100", "ttyUSB9 ttyUSB10 ttyUSB100");
        row("long numbers", "tty99999999999999999999 tty100000000000000000000",
            "tty99999999999999999999 tty100000000000000000000");
        row("leading zeros", "tty010 tty9", "tty9 tty010");
        row("equal numbers, names that start others", "tty1 tty01 ttyS ttyS1 tty a",
            "a tty tty01 tty1 ttyS ttyS1");
        // A board's own serial port lists first, but the adapter is port 1.
        row("a desktop board", "ttyS0 usb:ttyUSB0", "ttyUSB0 ttyS0");
        row("a laptop's USB modem", "usb:ttyACM0 usb:ttyACM1 usb:ttyUSB0",
            "ttyUSB0 ttyACM0 ttyACM1");
        row("a Raspberry Pi", "ttyAMA0 ttyS0 usb:ttyUSB0", "ttyUSB0 ttyAMA0 ttyS0");
        row("two adapters, then the board's", "ttyS0 usb:ttyUSB10 usb:ttyUSB2",
            "ttyUSB2 ttyUSB10 ttyS0");
        row("a USB board before a built-in port", "ttyS0 usb:ttyACM0", "ttyACM0 ttyS0");
    }

    void picksTheNthDeviceAdaptersFirst() {
        QFETCH(QString, devices);
        QFETCH(QString, order);
        // Natural order is strict: sorting by it means nothing otherwise.
        for (const SerialDevice& a : Devices(devices))
            for (const SerialDevice& b : Devices(devices))
                QVERIFY2(NaturallyBefore(a.path, b.path) !=
                             (a.path == b.path || NaturallyBefore(b.path, a.path)),
                         qPrintable(QString::fromStdString(a.path + " " + b.path)));
        const std::vector<std::string> ports = Split(order);
        for (int n = -1; n <= int(ports.size()) + 1; ++n)
            QVERIFY2(
                NthDevice(Devices(devices), n) ==
                    (n >= 1 && n <= int(ports.size()) ? "/dev/" + ports[std::size_t(n - 1)] : ""),
                qPrintable(QString("port %1").arg(n)));
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

    // A COM port's name as Windows reads it, whatever its case, with or
    // without the device namespace; the digits are never converted.
    void readsComPortNames_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("name");
        const auto row = [](const char* name, const char* text, const char* read) {
            QTest::newRow(name) << QString(text) << QString(read);
        };
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

    // `read`: the settings read, as written back; empty for a text refused.
    void readsLineSettings_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("read");
        const auto row = [](const char* name, const char* text, const char* read) {
            QTest::newRow(name) << QString(text) << QString(read);
        };
        row("the instrument's line", "57600,N,8,1", "57600,N,8,1");
        row("lower case parity", "9600,e,7,2", "9600,E,7,2");
        row("odd parity", "1200,O,5,1", "1200,O,5,1");
        row("empty", "", "");
        row("missing field", "57600,N,8", "");
        row("extra field", "57600,N,8,1,1", "");
        row("unknown parity", "57600,X,8,1", "");
        row("nine data bits", "57600,N,9,1", "");
        row("three stop bits", "57600,N,8,3", "");
        row("zero baud", "0,N,8,1", "");
        row("blank in a number", "57600 ,N,8,1", "");
    }

    void readsLineSettings() {
        QFETCH(QString, text);
        QFETCH(QString, read);
        const auto parsed = ParseLineSettings(text.toStdString());
        QCOMPARE(parsed.has_value(), !read.isEmpty());
        if (!parsed)
            return;
        const QStringList fields = read.split(',');
        QCOMPARE(parsed->baudRate, fields[0].toInt());
        QCOMPARE(QString(QChar(parsed->parity)), fields[1]);
        QCOMPARE(parsed->dataBits, fields[2].toInt());
        QCOMPARE(parsed->stopBits, fields[3].toInt());
        QCOMPARE(QString::fromStdString(FormatLineSettings(*parsed)), read);
    }
};

KVD_REGISTER_TEST(PortNamesTest)
#include "PortNamesTest.moc"
