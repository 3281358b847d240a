#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWindow>
#include <functional>

#include "app/CommandLine.h"
#include "app/ExportFromCommandLine.h"
#include "app/NativeSerialPort.h"
#include "app/WithoutWindow.h"
#include "flows/HeldServices.h"
#include "flows/ShowNewScreenshot.h"
#include "platform/ConsoleText.h"
#include "platform/StdFileSystem.h"
#include "platform/qt/PrivateTempFolder.h"
#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtDiskWorker.h"
#include "platform/qt/QtExportEncoder.h"
#include "platform/qt/QtPictureLoader.h"
#include "windows/Form1.h"
#include "windows/Form2Printer.h"
#ifdef _WIN32
#include "platform/win32/ConsoleClosesWindow.h"
#include "platform/win32/ParentConsole.h"
#else
#include "platform/qt/QtSignalsCloseWindow.h"
#endif

namespace {

// Runs `then` from the event loop once the window is first on screen.
class WhenOnScreen final : public QObject {
public:
    WhenOnScreen(QWindow* window, std::function<void()> then)
        : QObject(window), then_(std::move(then)) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* window = static_cast<QWindow*>(watched);
        if (event->type() == QEvent::Expose && window->isExposed()) {
            window->removeEventFilter(this);
            // After the expose has been painted.
            QTimer::singleShot(0, window, std::move(then_));
            deleteLater();
        }
        return false;
    }

private:
    std::function<void()> then_;
};

// Help and version go to standard output; a refused command line is one line on
// standard error and exit status 2.
int Answer(const kvd::CommandLine& command) {
    const bool refused = command.action == kvd::CommandLine::Action::Refuse;
    kvd::WriteText(refused ? stderr : stdout, command.text + (refused ? "\n" : ""));
    return refused ? 2 : 0;
}

// Once the window is on screen: the port probe (then the port asked for, if any),
// one message should no port be open, and the picture asked for.
void StartUp(kvd::Form1& form, const kvd::StartOptions& options) {
    form.StartUp(options.port);
    form.ReportPortProblems();
    if (options.file)
        form.ShowPictureFileInTurn(*options.file);
}

} // namespace

int main(int argc, char* argv[]) {
    const kvd::CommandLine command = kvd::ReadCommandLine(kvd::CommandLineArguments(argc, argv));
#if defined(_WIN32) && !defined(KVD_CONSOLE_PROGRAM)
    if (kvd::WritesToConsole(command))
        kvd::UseParentConsole();
#endif
    if (command.action != kvd::CommandLine::Action::Run)
        return Answer(command);
    if (command.options.exportTo)
        return kvd::RunExport(argc, argv, *command.options.exportTo);
    if (command.options.noWindow)
        return kvd::RunWithoutWindow(argc, argv, command.options);

    QApplication app(argc, argv);

    kvd::NativeSerialPort comm;
    kvd::QtFileDialog dialog;
    kvd::QtFileDialog exportDialog;
    kvd::StdFileSystem files;
    kvd::QtMessageBox box;
    kvd::QtInputBox input;
    kvd::QtPictureLoader pictures;
    kvd::Form2Printer printer;
    kvd::QtDiskWorker disk;
    kvd::QtExportEncoder encoder;
    // Without a private folder there is no temporary file; screenshots are
    // shown all the same.
    const std::filesystem::path tempFolder = kvd::PrivateTempFolder();
    kvd::ArrivalHold hold;
    kvd::Services raw{
        comm,     dialog,  exportDialog,
        files,    box,     input,
        pictures, printer, disk,
        encoder,  hold,    tempFolder.empty() ? tempFolder : tempFolder / kvd::TempImageName};
    // Every dialog, the printer and the disk hold arrivals while they run.
    kvd::HeldServices services(raw, hold);

    kvd::Form1 form(services.services());
    dialog.setParent(&form);
    exportDialog.setParent(&form);
    box.setParent(&form);
    input.setParent(&form);
    if (command.options.saveFolder)
        form.SaveEveryScreenshotTo(*command.options.saveFolder);

    // The window comes up at once; the ports are probed once it is on screen.
    form.show();
    new WhenOnScreen(form.windowHandle(), [&form, &command] { StartUp(form, command.options); });
#ifdef _WIN32
    const kvd::ConsoleClosesWindow console(reinterpret_cast<HWND>(form.winId()));
#else
    new kvd::SignalsCloseWindow(form); // the form's to delete
#endif
    return app.exec();
}
