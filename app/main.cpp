#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWindow>
#include <functional>

#include "capture/CaptureState.h"
#include "platform/StdFileSystem.h"
#include "platform/qt/PrivateTempFolder.h"
#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtFormPrinter.h"
#include "platform/qt/QtPictureLoader.h"
#include "platform/qt/QtSerialPort.h"
#include "windows/Form1.h"

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

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);

    kvd::QtSerialPort comm;
    kvd::QtFileDialog dialog;
    kvd::StdFileSystem files;
    kvd::QtMessageBox box;
    kvd::QtInputBox input;
    kvd::QtPictureLoader pictures;
    kvd::QtFormPrinter printer;
    kvd::Services services{
        comm,  dialog,   files,   box,
        input, pictures, printer, kvd::PrivateTempFolder() / std::string(kvd::TempImageName)};

    kvd::Form1 form(services);
    dialog.setParent(&form);
    box.setParent(&form);
    input.setParent(&form);

    // The window comes up at once; the ports are probed once it is on screen,
    // and a start-up without any port says so after that.
    form.show();
    new WhenOnScreen(form.windowHandle(), [&form] {
        form.StartUp();
        form.ReportPortProblems();
    });
    return app.exec();
}
