#include "flows/ArrivalPump.h"

#include <utility>

namespace kvd {

ArrivalPump::ArrivalPump(CaptureSession& session, ArrivalHold& hold, ArrivalHandler& handler,
                         Later later, std::function<void()> dealt)
    : session_(session), hold_(hold), handler_(handler), later_(std::move(later)),
      dealt_(std::move(dealt)) {
    hold_.whenReleased([this] { dealLater(); });
}

CaptureSession::Tick ArrivalPump::poll(std::time_t now) {
    const CaptureSession::Tick tick = session_.tick(now);
    if (tick.cut != 0) {
        stalled_ = false;
        dealLater();
    }
    return tick;
}

void ArrivalPump::showPictureFile(std::string path) {
    session_.showPictureFileLater(std::move(path));
    dealLater();
}

void ArrivalPump::dealLater() {
    if (queued_ || stalled_ || !session_.readyToDeal())
        return;
    queued_ = true;
    later_([this] { TakeTurn(); });
}

// A dialog opened by a click handled before this ran holds it back; the end of
// the hold each arrival is dealt with under brings the next here.
void ArrivalPump::TakeTurn() {
    queued_ = false;
    if (stalled_)
        return;
    const Turn turn = DealWithNext(session_, hold_, handler_);
    stalled_ = turn == Turn::PutBack;
    if (turn != Turn::NoneDealtWith && dealt_)
        dealt_();
}

void ArrivalPump::dealWithTheRest() {
    Turn turn = Turn::DealtWith;
    while (turn == Turn::DealtWith)
        turn = DealWithNext(session_, hold_, handler_);
    stalled_ = turn == Turn::PutBack;
}

} // namespace kvd
