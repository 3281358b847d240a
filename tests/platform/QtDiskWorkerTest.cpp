#include <QTest>
#include <QTimer>
#include <chrono>
#include <future>

#include "platform/qt/QtDiskWorker.h"
#include "tests/support/TestMain.h"

using namespace kvd;

class QtDiskWorkerTest : public QObject {
    Q_OBJECT

private slots:
    // While a write waits on the disk, the thread that asked for it goes on with
    // its event loop, where the serial port is read: here the write waits for a
    // timer of that thread, which could never fire if the loop stood still.
    void theEventLoopTurnsWhileAWriteWaits() {
        QtDiskWorker disk;
        std::promise<void> ticked;
        std::future<void> tick = ticked.get_future();
        QTimer::singleShot(10, this, [&] { ticked.set_value(); });
        bool sawTheTick = false;
        disk.run([&] {
            sawTheTick = tick.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
        });
        QVERIFY(sawTheTick);
    }
};

KVD_REGISTER_TEST(QtDiskWorkerTest)
#include "QtDiskWorkerTest.moc"
