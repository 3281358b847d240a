#pragma once

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimer>

#include "platform/qt/QtExportEncoder.h"
#include "platform/qt/QtPictureLoader.h"
#include "tests/support/FakeServices.h"
#include "tests/support/TestFiles.h"
#include "windows/Form1.h"
#include "windows/PictureControl.h"

namespace kvd::test {

// The picture a screenshot's bytes decode to.
inline QImage Decoded(const std::string& frame) {
    return QImage::fromData(AsBytes(frame));
}

// The main window on the fake services with the real picture loader and encoder,
// its temporary file `tempImage` in a folder of its own. The poll timer is
// stopped: tests run the ticks.
template <typename Pictures = QtPictureLoader, typename Port = FakeSerialPort>
struct FormRigOf : ServicesOf<Pictures, QtExportEncoder, Port> {
    QTemporaryDir dir;
    std::string tempImage;
    Form1 form{this->services};

    explicit FormRigOf(std::set<int> ports = {1, 2}, std::string tempImageName = "kvd62temp.bmp")
        : tempImage(std::move(tempImageName)) {
        form.Timer1->stop();
        this->services.tempImagePath = path(tempImage.c_str());
        if constexpr (std::is_same_v<Port, FakeSerialPort>)
            this->comm.present = std::move(ports);
    }

    template <typename T> T* control(const char* name) {
        return form.findChild<T*>(QString::fromLatin1(name));
    }

    // Opens port 1 as start-up does.
    void startUp() { form.StartUp(); }
    // One poll tick with these bytes arriving just before it, then the event loop.
    void tick(const std::string& bytes = {}) {
        this->comm.arrive(bytes);
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

using FormRig = FormRigOf<>;

} // namespace kvd::test
