#include <QTest>

#include "capture/PollCycle.h"
#include "tests/fakes/FakeSerialPort.h"
#include "tests/support/TestBitmap.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

using namespace kvd;

class PollCycleTest : public QObject {
    Q_OBJECT

private slots:
    void boundsTheReceiveBuffer_data() {
        QTest::addColumn<QByteArray>("buffer");
        QTest::addColumn<QByteArray>("kept");

        const std::string frame = test::TwoColourBitmap(2);
        const std::string noise(MaxMarkerPosition, 'n');
        const auto row = [](const char* name, const std::string& buffer, const std::string& kept) {
            QTest::newRow(name) << test::AsBytes(buffer) << test::AsBytes(kept);
        };
        row("empty", "", "");
        row("short noise is kept", "noise", "noise");
        row("noise up to the limit is kept", noise, noise);
        row("noise past the limit is dropped", noise + "x", "");
        row("a last B is kept", noise + "xB", "B");
        row("a last M is not", noise + "BxM", "");
        row("a marker at the limit keeps everything", noise.substr(1) + "BM" + "abc",
            noise.substr(1) + "BMabc");
        row("a marker past the limit drops what is before it", noise + "BM" + "abc", "BMabc");
        row("a marker far past the limit", noise + noise + frame.substr(0, 100),
            frame.substr(0, 100));
        row("a whole frame and more keeps just the frame", "xy" + frame + "BMnext", "xy" + frame);
        row("a partial frame is kept whole", "xy" + frame.substr(0, 2749),
            "xy" + frame.substr(0, 2749));
        row("a marker past the limit, then a whole frame and more", noise + frame + "tail", frame);
    }

    void boundsTheReceiveBuffer() {
        QFETCH(QByteArray, buffer);
        QFETCH(QByteArray, kept);
        std::string received(buffer.constData(), std::size_t(buffer.size()));
        BoundReceiveBuffer(received);
        QCOMPARE(test::AsBytes(received), kept);
    }

    void takesAScreenshotOnceAllOfItHasCome() {
        const std::string frame = test::TwoColourBitmap(8);
        test::FakeSerialPort comm;
        comm.present = {1};
        comm.setPort(PortAddress::number(1));
        QVERIFY(comm.open().ok());
        CaptureState state;

        DrainPort(state, comm);
        QVERIFY(!TakeScreenshot(state));
        QCOMPARE(state.MarkerPosition, std::int16_t(0));

        comm.arrive("zz" + frame.substr(0, 1500));
        DrainPort(state, comm);
        QVERIFY(!TakeScreenshot(state));
        QCOMPARE(state.MarkerPosition, std::int16_t(3));
        QCOMPARE(state.ReceiveBuffer.size(), std::size_t(1502));

        comm.arrive(frame.substr(1500) + "BMnext");
        DrainPort(state, comm);
        const auto taken = TakeScreenshot(state);
        QVERIFY(taken);
        QVERIFY(*taken == frame);
        QVERIFY(state.ReceiveBuffer.empty());
        QVERIFY(comm.waiting.empty());
    }

    // A line that never stops sending noise keeps the buffer within a bound.
    void endlessNoiseStaysBounded() {
        test::FakeSerialPort comm;
        comm.present = {1};
        comm.setPort(PortAddress::number(1));
        QVERIFY(comm.open().ok());
        CaptureState state;
        std::size_t largest = 0;
        for (int tick = 0; tick < 2000; ++tick) {
            comm.arrive(std::string(2880, char('a' + tick % 26)) + (tick % 3 ? "B" : "M"));
            DrainPort(state, comm);
            QVERIFY(!TakeScreenshot(state));
            largest = std::max(largest, state.ReceiveBuffer.size());
        }
        QVERIFY(largest <= MaxMarkerPosition);
    }
};

KVD_REGISTER_TEST(PollCycleTest)
#include "PollCycleTest.moc"
