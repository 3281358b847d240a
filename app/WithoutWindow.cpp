#include "app/WithoutWindow.h"

#include <QCoreApplication>
#include <QTimer>
#include <csignal>
#include <ctime>

#include "app/NativeSerialPort.h"
#include "capture/CaptureSession.h"
#include "files/FolderCapture.h"
#include "platform/ConsoleText.h"
#include "platform/qt/QtDiskWorker.h"
#include "platform/qt/QtPictureLoader.h"

namespace kvd {

namespace {

volatile std::sig_atomic_t stopAsked = 0;

// A signal only marks the stop: the poll that sees it ends the run between two
// files, so a file being written is always completed.
void AskToStop(int) {
    stopAsked = 1;
}

// The path of each file on standard output, flushed at once for a script that
// follows it; everything else on standard error.
class StandardStreams final : public CaptureReport {
public:
    void saved(const std::string& path) override { WriteText(stdout, path + "\n"); }
    void problem(const std::string& text) override {
        WriteText(stderr, "kvd62-capture: " + text + "\n");
    }
};

} // namespace

int RunWithoutWindow(int argc, char* argv[], const StartOptions& options) {
    QCoreApplication app(argc, argv);
    NativeSerialPort comm;
    CaptureSession session(comm);
    session.choosePort(*options.port, PortChoice::Typed);
    StandardStreams report;
    if (!comm.isOpen()) {
        report.problem("the serial port could not be opened (" + session.portDescription() +
                       "). Check the cable and the port, then start again.");
        return 1;
    }

    QtDiskWorker disk;
    QtPictureLoader pictures;
    FolderCapture capture(session, *options.saveFolder, {disk, pictures, report},
                          options.keepUnreadable);
    std::signal(SIGINT, AskToStop);
    std::signal(SIGTERM, AskToStop);

    int saved = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        if (!stopAsked)
            saved +=
                capture.tick(std::time(nullptr), options.count > 0 ? options.count - saved : 0);
        if (stopAsked || (options.count > 0 && saved >= options.count))
            app.quit();
    });
    poll.start(PollInterval);
    return app.exec();
}

} // namespace kvd
