#include "flows/ArrivalLoop.h"

#include "flows/LoadImage.h"
#include "flows/ShowNewScreenshot.h"

namespace kvd {

namespace {

// Whether it was dealt with.
bool DealWith(const Arrival& arrival, ArrivalHandler& handler) {
    switch (arrival.kind) {
    case Arrival::Kind::Screenshot:
        return handler.screenshot(arrival);
    case Arrival::Kind::Unreadable:
        handler.unreadable(arrival);
        return true;
    case Arrival::Kind::PictureFile:
        handler.pictureFile(arrival.path);
        return true;
    case Arrival::Kind::Dropped:
        handler.dropped(arrival.dropped);
        return true;
    }
    return true;
}

std::string DroppedNotice(std::size_t dropped) {
    return "More screenshots arrived while a dialog was open than the program keeps "
           "waiting (" +
           std::to_string(WaitingArrivals::Capacity) + "). The oldest " + std::to_string(dropped) +
           (dropped == 1 ? " was" : " were") + " dropped; the others follow.";
}

} // namespace

Turn DealWithNext(CaptureSession& session, ArrivalHold& hold, ArrivalHandler& handler) {
    std::optional<Arrival> arrival = session.nextArrival();
    if (!arrival)
        return Turn::NoneDealtWith;
    handler.taken();
    {
        const ArrivalHold::Taken held = hold.take();
        if (!DealWith(*arrival, handler)) {
            session.putBack(std::move(*arrival));
            return Turn::PutBack;
        }
    }
    session.dealtWith(*arrival);
    return Turn::DealtWith;
}

bool ArrivalsOnScreen::screenshot(const Arrival& arrival) {
    ShowNewScreenshot(session_, arrival, services_, view_);
    return true;
}

void ArrivalsOnScreen::pictureFile(const std::string& path) {
    ShowPictureFile(session_, path, services_, view_);
}

void ArrivalsOnScreen::dropped(std::size_t count) {
    services_.box.tell(DroppedNotice(count), "Incoming data");
}

} // namespace kvd
