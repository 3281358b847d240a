#pragma once

#include <QTemporaryDir>

#include "files/DealWithArrival.h"
#include "platform/StdFileSystem.h"
#include "tests/fakes/FakeDialogs.h"
#include "tests/fakes/FakeSerialPort.h"
#include "tests/support/DiskWorkerInPlace.h"
#include "tests/support/TestBitmap.h"

namespace kvd::test {

// A block that starts like a screenshot but is no bitmap.
inline const std::string Unreadable = PlainFrame('\x7f');

// A capture session on scripted fakes with the flows that deal with what it
// hands out, as the window runs them; the temporary file in a folder of its own.
struct SessionRig {
    QTemporaryDir dir;
    FakeSerialPort comm;
    FakeFileDialog dialog;
    StdFileSystem files;
    FakeMessageBox box;
    FakePictureLoader pictures;
    FakeCaptureView view;
    DiskWorkerInPlace disk;
    SaveServices save{dialog, files, box, disk};
    ArrivalServices arrivals{save, pictures, path("kvd62temp.bmp")};
    LoadServices load{dialog, pictures, box};
    CaptureSession session{comm};
    SessionHistory history;
    // Each tick is one second after the one before.
    std::time_t clock = 0;

    SessionRig() {
        comm.present = {1};
        session.startUp(std::nullopt);
        session.keepHistoryIn(&history);
    }
    std::string path(const std::string& name) const {
        return dir.path().toStdString() + "/" + name;
    }
    // One poll tick with these bytes arriving just before it, then everything
    // ready dealt with by the window's own arrival loop.
    void tick(const std::string& bytes = {}) {
        comm.arrive(bytes);
        session.tick(++clock);
        dealWithAll();
    }
    void dealWithAll() {
        while (DealWithNext(session, arrivals, load, view)) {
        }
    }
    // The bytes of the picture the view shows (the fake loader's picture is
    // the file's bytes).
    std::string shown() const {
        return view.picture ? std::any_cast<std::string>(view.picture->image) : std::string{};
    }
};

} // namespace kvd::test
