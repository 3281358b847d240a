#include "flows/ArrivalLoop.h"

#include "flows/LoadImage.h"
#include "flows/ShowNewScreenshot.h"

namespace kvd {

namespace {

void DealWith(const Arrival& arrival, ArrivalHandler& handler) {
    switch (arrival.kind) {
    case Arrival::Kind::Screenshot:
        handler.screenshot(arrival);
        return;
    case Arrival::Kind::Unreadable:
        handler.unreadable(arrival);
        return;
    case Arrival::Kind::PictureFile:
        handler.pictureFile(arrival.path);
        return;
    case Arrival::Kind::Notice:
        handler.notice(arrival.text);
        return;
    }
}

} // namespace

bool DealWithNext(CaptureSession& session, ArrivalHold& hold, ArrivalHandler& handler) {
    const std::optional<Arrival> arrival = session.nextArrival();
    if (!arrival)
        return false;
    handler.taken();
    {
        const ArrivalHold::Taken held = hold.take();
        DealWith(*arrival, handler);
    }
    session.dealtWith(*arrival);
    return true;
}

void ArrivalsOnScreen::screenshot(const Arrival& arrival) {
    ShowNewScreenshot(session_, arrival, services_, view_);
}

void ArrivalsOnScreen::pictureFile(const std::string& path) {
    ShowPictureFile(session_, path, services_, view_);
}

void ArrivalsOnScreen::notice(const std::string& text) {
    services_.box.tell(text, "Incoming data");
}

} // namespace kvd
