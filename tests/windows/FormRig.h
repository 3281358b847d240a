#pragma once

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimer>

#include "platform/StdFileSystem.h"
#include "platform/qt/QtExportEncoder.h"
#include "platform/qt/QtPictureLoader.h"
#include "tests/fakes/FakeDialogs.h"
#include "tests/fakes/FakeSerialPort.h"
#include "tests/support/DiskWorkerInPlace.h"
#include "windows/Form1.h"
#include "windows/PictureControl.h"

namespace kvd::test {

// The picture a screenshot's bytes decode to.
inline QImage Decoded(const std::string& frame) {
    return QImage::fromData(QByteArray(frame.data(), qsizetype(frame.size())));
}

// The main window on scripted fakes, its temporary file in a folder of its own
// (`tempImage` names it there). The poll timer is stopped: tests run the ticks
// themselves.
struct FormRig {
    QTemporaryDir dir;
    std::string tempImage;
    FakeSerialPort comm;
    FakeFileDialog dialog;
    FakeFileDialog exportDialog;
    StdFileSystem files;
    FakeMessageBox box;
    FakeInputBox input;
    QtPictureLoader pictures;
    FakeFormPrinter printer;
    DiskWorkerInPlace disk;
    QtExportEncoder encoder;
    Services services{
        comm,     dialog, exportDialog,  files, box,     input,
        pictures, printer, disk,  encoder, dir.path().toStdString() + "/" + tempImage};
    Form1 form{services};

    explicit FormRig(std::set<int> ports = {1, 2}, std::string tempImageName = "kvd62temp.bmp")
        : tempImage(std::move(tempImageName)) {
        form.Timer1->stop();
        comm.present = std::move(ports);
    }

    template <typename T> T* control(const char* name) {
        return form.findChild<T*>(QString::fromLatin1(name));
    }

    // Opens port 1 as start-up does.
    void startUp() { form.StartUp(); }
    // One poll tick with these bytes arriving on the line just before it, and
    // what the tick left for the event loop.
    void tick(const std::string& bytes = {}) {
        comm.arrive(bytes);
        form.OnPollTick();
        QCoreApplication::processEvents();
    }
    // Runs the event loop until no screenshot waits to be shown.
    void settle() {
        for (int turn = 0; turn < 1000 && form.session().waitingCount() > 0; ++turn)
            QCoreApplication::processEvents();
    }
    QImage shown() { return control<PictureControl>("Image1")->picture(); }
    std::string path(const char* name) const { return dir.path().toStdString() + "/" + name; }
};

} // namespace kvd::test
