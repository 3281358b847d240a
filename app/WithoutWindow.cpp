#include "app/WithoutWindow.h"

#include <QCoreApplication>
#include <QTimer>
#include <ctime>
#include <functional>

#include "app/NativeSerialPort.h"
#include "capture/CaptureSession.h"
#include "capture/PortMessages.h"
#include "files/ScreenshotFile.h"
#include "flows/ArrivalPump.h"
#include "flows/FolderCapture.h"
#include "platform/ConsoleStop.h"
#include "platform/ConsoleText.h"
#include "platform/Utf8Path.h"
#include "platform/qt/QtDiskWorker.h"
#include "platform/qt/QtPictureLoader.h"

namespace kvd {

namespace {

// The path of each file on standard output, flushed at once for a script that
// follows it; everything else on standard error.
class StandardStreams final : public CaptureReport {
public:
    void saved(const std::string& path) override { WriteText(stdout, path + "\n"); }
    void problem(const std::string& text) override {
        WriteText(stderr, "kvd62-capture: " + text + "\n");
    }
};

// At logoff or shutdown on Windows, while a write runs, the session is held
// up with a word that screenshots are being saved.
class SavingSaid final : public DiskWorker {
public:
    SavingSaid(DiskWorker& disk, ConsoleStop& stop) : disk_(disk), stop_(stop) {}
    void run(const std::function<void()>& write) override {
        stop_.saving(true);
        disk_.run(write);
        stop_.saving(false);
    }

private:
    DiskWorker& disk_;
    ConsoleStop& stop_;
};

} // namespace

int RunWithoutWindow(int argc, char* argv[], const StartOptions& options) {
    QCoreApplication app(argc, argv);
    StandardStreams report;
    // Before the port is opened, nothing can be lost yet.
    if (const Outcome folder = CheckFolderToWriteIn(*options.saveFolder); !folder) {
        report.problem("screenshots cannot be saved to " + Utf8FromPath(*options.saveFolder) +
                       ": " + folder.reason() + ". Give another folder with --save-dir.");
        return 1;
    }
    NativeSerialPort comm;
    QtPictureLoader pictures;
    ArrivalHold hold;
    CaptureSession session(comm, pictures, hold);
    session.choosePort(*options.port, PortChoice::Typed);
    // Another stop asked for while the last screenshots are saved changes
    // nothing: a file being written is always completed. Asked for while the
    // port has not answered yet, it gives up the wait.
    ConsoleStop stop;
    session.waitForPort(
        std::chrono::seconds(5), [&](const std::string& text) { report.problem(text); },
        [&stop] { return stop.asked(); });
    if (!comm.isOpen()) {
        report.problem(NoWindowPortMessage(session.portDescription()));
        return 1;
    }

    QtDiskWorker qtDisk;
    SavingSaid disk(qtDisk, stop);
    FolderCapture capture(session, *options.saveFolder, {disk, report}, options.keepUnreadable,
                          options.count);

    bool stopping = false;
    std::function<void()> endWhenDone;
    ArrivalPump pump(
        session, hold, capture,
        [&app](std::function<void()> step) {
            QMetaObject::invokeMethod(&app, std::move(step), Qt::QueuedConnection);
        },
        [&] { endWhenDone(); });
    // Ends once the count asked for is saved, or, after a stop, once every
    // whole screenshot that came has been tried: those waiting are dealt with
    // in turn, until the folder refuses one.
    endWhenDone = [&] {
        if (stopping) {
            capture.lastTry();
            pump.dealWithTheRest();
        }
        if (capture.done() || stopping)
            app.quit();
    };
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        capture.polled(pump.poll(std::time(nullptr)));
        if (!stop.asked())
            return;
        // That poll took what the port still held; every whole screenshot is
        // saved before the end, after the save under way if there is one.
        poll.stop();
        stopping = true;
        if (!pump.busy())
            endWhenDone();
    });
    poll.start(PollInterval);
    int status = app.exec();
    if (stopping)
        WriteText(stderr, "kvd62-capture: stopped; " + std::to_string(capture.saved()) +
                              " screenshot" + (capture.saved() == 1 ? "" : "s") + " saved.\n");
    if (const std::string lost = capture.neverWritten(); !lost.empty()) {
        WriteText(stderr, "kvd62-capture: " + lost + "\n");
        status = 1;
    }
    return status;
}

} // namespace kvd
