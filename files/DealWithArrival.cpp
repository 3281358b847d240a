#include "files/DealWithArrival.h"

namespace kvd {

void DealWithArrival(const Arrival& arrival, CaptureSession& session, ArrivalServices& arrivals,
                     LoadServices& load, CaptureView& view) {
    switch (arrival.kind) {
    case Arrival::Kind::Screenshot: {
        const Outcome shown =
            ShowNewScreenshot(session.state(), arrival, session.saveFolder(), arrivals, view);
        if (shown)
            session.shown(arrival.kind);
        session.dealtWith(arrival, shown ? std::string{} : UnreadableReason(shown.reason()));
        return;
    }
    case Arrival::Kind::PictureFile:
        if (ShowPictureFile(arrival.bytes, load, view))
            session.shown(arrival.kind);
        return;
    case Arrival::Kind::Notice:
        load.box.tell(arrival.bytes, "Incoming data");
        return;
    }
}

bool DealWithNext(CaptureSession& session, ArrivalServices& arrivals, LoadServices& load,
                  CaptureView& view, const std::function<void()>& taken) {
    const std::optional<Arrival> arrival = session.nextArrival();
    if (!arrival)
        return false;
    if (taken)
        taken();
    session.dialogOpened();
    DealWithArrival(*arrival, session, arrivals, load, view);
    session.dialogClosed();
    return true;
}

} // namespace kvd
