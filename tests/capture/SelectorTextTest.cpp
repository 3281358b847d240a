#include <QTest>

#include "capture/SelectorText.h"
#include "tests/support/TestMain.h"

using namespace kvd;

namespace {
constexpr int OutOfRange = 100000; // stands for "no number" in the table
}

class SelectorTextTest : public QObject {
    Q_OBJECT

private slots:
    void readsNumbers_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("expected");

        const auto row = [](const char* text, int expected) {
            QByteArray tag = QByteArray(text).replace('\n', "\\n").replace('\t', "\\t");
            QTest::newRow(tag.replace('\r', "\\r").constData()) << QByteArray(text) << expected;
        };
        row("2", 2);
        row(" 2", 2);
        row("2a", 2);
        row("&H2", 2);
        row("2.5", 2);
        row("1.5", 2);
        row("1 2", 12);
        row("\t1\n2 ", 12);
        row("", 0);
        row("   ", 0);
        row("abc", 0);
        row("x1", 0);
        row("\r2", 0);
        row("&h1f", 31);
        row("&HFF", 255);
        row("& H 1 0", 16);
        row("&O17", 15);
        row("&o8", 0);
        row("&H", 0);
        row("&HG", 0);
        row("&X5", 0);
        row("0.5", 0);
        row("3.5", 4);
        row("4.5", 4);
        row("2.4999", 2);
        row("2.5001", 3);
        row("-1.5", -2);
        row("-2.5", -2);
        row("- 3", -3);
        row("+3", 3);
        row("2e1", 20);
        row("2E+1", 20);
        row("25e-1", 2);
        row("35E-1", 4);
        row("2e", 2);
        row("2e+", 2);
        row("2 e 1", 20);
        row("1.2.3", 1);
        row(".5", 0);
        row(".6", 1);
        row("1.", 1);
        row(".", 0);
        row("-", 0);
        row("32767", 32767);
        row("32767.4", 32767);
        row("32767.5", OutOfRange);
        row("32768", OutOfRange);
        row("-32768", -32768);
        row("-32768.5", -32768);
        row("-32769", OutOfRange);
        row("65537", OutOfRange);
        row("1e10", OutOfRange);
        row("1e999", OutOfRange);
        row("-1e999", OutOfRange);
        row("1e-999", 0);
        row("&HFFFFFFFFFFFFFFFFFFFFFFFF", OutOfRange);
        row("&H7FFF", 32767);
        row("&H8000", OutOfRange);
        row("99999999999999999999999999999999", OutOfRange);
        row("0000000000000000000000000000002", 2);
    }

    void readsNumbers() {
        QFETCH(QByteArray, text);
        QFETCH(int, expected);
        const auto n = ReadPortNumber(text.toStdString());
        QCOMPARE(n.has_value() ? int(*n) : OutOfRange, expected);
    }

    // `described`: the address as messages name it.
    void readsAddresses_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("described");

        const auto row = [](const char* text, PortAddress::Kind kind, const char* described) {
            const QByteArray tag = QByteArray(text).replace('\n', "\\n");
            QTest::newRow(tag.constData())
                << QByteArray(text) << int(kind) << QByteArray(described);
        };
        row("2", PortAddress::Kind::Number, "port 2");
        row("", PortAddress::Kind::Number, "port 0");
        row("99999", PortAddress::Kind::Unusable, "port 99999");
        row(" 1e9 ", PortAddress::Kind::Unusable, "port 1e9");
#ifdef _WIN32
        row("COM3", PortAddress::Kind::Device, "COM3");
        row("  com12 \n", PortAddress::Kind::Device, "com12");
        row(R"(\\.\COM12)", PortAddress::Kind::Device, R"(\\.\COM12)");
        row("COMX", PortAddress::Kind::Number, "port 0");
        // Windows reads port names in any case, and a number too long for any
        // integer is still a name (which opens no port), never a crash.
        row("Com7", PortAddress::Kind::Device, "Com7");
        row("cOM7", PortAddress::Kind::Device, "cOM7");
        row("COM99999999999", PortAddress::Kind::Device, "COM99999999999");
#else
        row("/dev/ttyUSB0", PortAddress::Kind::Device, "/dev/ttyUSB0");
        row("  /dev/serial/by-id/usb-FTDI if00 \n", PortAddress::Kind::Device,
            "/dev/serial/by-id/usb-FTDI if00");
        row("/dev/pts/3", PortAddress::Kind::Device, "/dev/pts/3");
        row("COM3", PortAddress::Kind::Number, "port 0");
#endif
    }

    void readsAddresses() {
        QFETCH(QByteArray, text);
        QFETCH(int, kind);
        QFETCH(QByteArray, described);
        const PortAddress address = ReadPortAddress(text.toStdString());
        QCOMPARE(int(address.kind()), kind);
        QCOMPARE(QByteArray::fromStdString(address.describe()), described);
    }
};

KVD_REGISTER_TEST(SelectorTextTest)
#include "SelectorTextTest.moc"
