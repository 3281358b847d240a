// CPU the program spends after the instrument's line hangs up: a pseudo-terminal
// stands in for the adapter, the real serial port and link are polled as the
// window polls them, and the far end is closed. Prints the CPU time used in the
// three seconds after that; asserts nothing.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <pty.h>
#include <sys/resource.h>
#include <unistd.h>

#include "capture/PortLink.h"
#include "capture/ReceiveBuffer.h"
#include "platform/qt/QtSerialPort.h"

namespace {

double CpuMs() {
    rusage used{};
    getrusage(RUSAGE_SELF, &used);
    return (used.ru_utime.tv_sec + used.ru_stime.tv_sec) * 1e3 +
           (used.ru_utime.tv_usec + used.ru_stime.tv_usec) / 1e3;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    int instrument = -1, program = -1;
    if (openpty(&instrument, &program, nullptr, nullptr, nullptr) != 0)
        return 1;
    kvd::QtSerialPort comm;
    kvd::PortLink link(comm);
    kvd::CaptureState state;
    kvd::WaitingArrivals waiting;
    if (!link.choose(kvd::PortAddress::device(ttyname(program)), false))
        return 1;

    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        link.keepUp();
        kvd::DrainPort(state, comm);
        kvd::CutScreenshots(state, waiting);
    });
    tick.start(500);
    ::close(instrument); // the cable is pulled

    const double before = CpuMs();
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(3000, &app, &QCoreApplication::quit);
    app.exec();
    std::printf("after the hang-up: %.0f ms of CPU in %.1f s; the link is %s\n", CpuMs() - before,
                wall.elapsed() / 1000.0,
                link.state() == kvd::PortState::Lost ? "lost" : "not lost");
    return 0;
}
