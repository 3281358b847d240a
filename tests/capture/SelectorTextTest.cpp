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

        // Each text, and the number it reads as.
        const auto readAs = [](int expected, std::initializer_list<const char*> texts) {
            for (const char* text : texts) {
                QByteArray tag = QByteArray(text).replace('\n', "\\n").replace('\t', "\\t");
                QTest::newRow(tag.replace('\r', "\\r").constData()) << QByteArray(text) << expected;
            }
        };
        readAs(2, {"2", "2a", "&H2", "2.5", "1.5", "2.4999", "25e-1", "2e", "2e+",
                   "0000000000000000000000000000002"});
        readAs(0, {"", "x1", "\r2", "&o8", "&H", "&HG", "&X5", "0.5", ".5", ".", "-", "1e-999"});
        readAs(1, {"1.2.3", ".6", "1."});
        readAs(3, {"2.5001", "+3"});
        readAs(12, {"\t1 \n2 "});
        readAs(20, {"2E+1", "2 e 1"});
        readAs(31, {"&h1f", "& H 1 F", "&O37"});
        readAs(-2, {"-1.5", "-2.5", "- 2"});
        readAs(32767, {"32767", "32767.4", "&H7FFF"});
        readAs(-32768, {"-32768", "-32768.5"});
        readAs(OutOfRange, {"32767.5", "32768", "-32769", "65537", "1e999", "-1e999", "&H8000",
                            "&HFFFFFFFFFFFFFFFFFFFFFFFF", "99999999999999999999999999999999"});
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
