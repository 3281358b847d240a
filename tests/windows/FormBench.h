#pragma once

#include <QTemporaryDir>
#include <QTimer>

#include "platform/StdFileSystem.h"
#include "tests/fakes/FakeDialogs.h"
#include "tests/fakes/FakeSerialPort.h"
#include "windows/Form1.h"

namespace kvd::test {

// The main window on scripted fakes, its temporary file in a folder of its own.
// The poll timer is stopped: tests run the ticks themselves.
struct FormBench {
    QTemporaryDir dir;
    FakeSerialPort comm;
    FakeFileDialog dialog;
    StdFileSystem files;
    FakeMessageBox box;
    FakeInputBox input;
    FakePictureLoader pictures;
    FakeFormPrinter printer;
    Services services{comm,  dialog,   files,   box,
                      input, pictures, printer, dir.path().toStdString() + "/kvd62temp.bmp"};
    Form1 form{services};

    explicit FormBench(std::set<int> ports = {1, 2}) {
        form.Timer1->stop();
        comm.present = std::move(ports);
    }

    template <typename T> T* control(const char* name) {
        return form.findChild<T*>(QString::fromLatin1(name));
    }
};

} // namespace kvd::test
