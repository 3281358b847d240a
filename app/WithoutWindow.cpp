#include "app/WithoutWindow.h"

#include <QCoreApplication>
#include <QTimer>
#include <ctime>

#include "app/NativeSerialPort.h"
#include "capture/CaptureSession.h"
#include "capture/PortMessages.h"
#include "flows/FolderCapture.h"
#include "files/ScreenshotFile.h"
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
    CaptureSession session(comm, pictures);
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

    QtDiskWorker disk;
    FolderCapture capture(session, *options.saveFolder, {disk, report}, options.keepUnreadable);

    int saved = 0;
    bool stopping = false;
    bool saveQueued = false;
    // Saving runs apart from the poll: Qt never fires a timer again while its own
    // handler runs, and the polls must go on reading the line while a slow disk
    // holds a write.
    const auto saveWaiting = [&] {
        saveQueued = false;
        stop.saving(true);
        saved += capture.saveWaiting(options.count > 0 ? options.count - saved : 0);
        stop.saving(false);
        if (stopping || (options.count > 0 && saved >= options.count))
            app.quit();
    };
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        if (stop.asked()) {
            // One last read takes what the port still holds; every whole
            // screenshot is saved before the end, by the save under way if there
            // is one.
            poll.stop();
            stopping = true;
            capture.poll(std::time(nullptr));
            if (!capture.saving())
                saveWaiting();
            return;
        }
        if (capture.poll(std::time(nullptr)) && !capture.saving() && !saveQueued) {
            saveQueued = true;
            QMetaObject::invokeMethod(&app, saveWaiting, Qt::QueuedConnection);
        }
    });
    poll.start(PollInterval);
    int status = app.exec();
    if (stopping)
        WriteText(stderr, "kvd62-capture: stopped; " + std::to_string(saved) + " screenshot" +
                              (saved == 1 ? "" : "s") + " saved.\n");
    if (const std::string lost = capture.neverWritten(); !lost.empty()) {
        WriteText(stderr, "kvd62-capture: " + lost + "\n");
        status = 1;
    }
    return status;
}

} // namespace kvd
