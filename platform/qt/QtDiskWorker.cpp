#include "platform/qt/QtDiskWorker.h"

#include <QEventLoop>
#include <thread>

namespace kvd {

void QtDiskWorker::run(const std::function<void()>& write) {
    QEventLoop loop;
    std::thread worker([&] {
        write();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    // Normally done already; when the loop was ended by the application quitting,
    // this waits for the write to finish.
    worker.join();
}

} // namespace kvd
