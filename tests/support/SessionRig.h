#pragma once

#include <QTemporaryDir>
#include <any>

#include "flows/ArrivalPump.h"
#include "tests/support/FakeServices.h"
#include "tests/support/TestBitmap.h"

namespace kvd::test {

// A block that starts like a screenshot but is no bitmap.
inline const std::string Unreadable = PlainFrame('\x7f');

// A capture session on the fake services with the flows that take what it hands
// out, pumped as the window pumps them; the temporary file in a folder of its own.
struct SessionRig : FakeServices {
    QTemporaryDir dir;
    FakeCaptureView view;
    CaptureSession session{comm, pictures, hold};
    ArrivalsOnScreen arrivals{session, services, view};
    ArrivalPump pump{session, hold, arrivals, queueLater()};
    SessionHistory history;
    // Each tick is one second after the one before.
    std::time_t clock = 0;

    SessionRig() {
        services.tempImagePath = path("kvd62temp.bmp");
        comm.present = {1};
        session.startUp(std::nullopt);
        session.keepHistoryIn(&history);
    }
    void disableSave(bool checked) {
        view.saveEnabled =
            session.saveDisabledChanged(checked ? CheckMark::Checked : CheckMark::Unchecked);
    }
    std::string path(const std::string& name) const {
        return dir.path().toStdString() + "/" + name;
    }
    // One poll tick with these bytes arriving just before it, then the event loop.
    void tick(const std::string& bytes = {}) {
        comm.arrive(bytes);
        pump.poll(++clock);
        runLater();
    }
    // The bytes of the picture the view shows (the fake loader's picture).
    std::string shown() const {
        return view.picture ? std::any_cast<std::string>(view.picture->image) : std::string{};
    }
};

} // namespace kvd::test
