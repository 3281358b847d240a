#pragma once

#include <cstddef>
#include <ctime>
#include <functional>

#include "capture/ArrivalHold.h"
#include "capture/CaptureSession.h"
#include "flows/ArrivalLoop.h"

namespace kvd {

// The poll and what comes of it, as the window and capture without one run
// them: each poll reads the line; what it cut is dealt with later, from the
// event loop, never inside the poll (Qt never fires a timer again while its own
// handler runs, and a question an arrival asks must not stop the polls that
// drain the port meanwhile). One arrival at a time, each under the hold, and
// none while the hold is taken; when the last hold ends, the next is dealt with.
// One that could not be dealt with (the folder refused it) waits, first in
// line, with those behind it, and is tried again when the next comes off the
// line or at the end.
class ArrivalPump {
public:
    // Runs `step` from the event loop once what runs now is over.
    using Later = std::function<void(std::function<void()> step)>;
    // `dealt` hears after each arrival dealt with.
    ArrivalPump(CaptureSession& session, ArrivalHold& hold, ArrivalHandler& handler, Later later,
                std::function<void()> dealt = {});
    // The hold outlives the pump (main makes it first): it calls no more.
    ~ArrivalPump() { hold_.whenReleased({}); }
    ArrivalPump(const ArrivalPump&) = delete;
    ArrivalPump& operator=(const ArrivalPump&) = delete;

    // One poll of the line, stamped `now`.
    CaptureSession::Tick poll(std::time_t now);
    // A picture file to show once what arrived before it has been dealt with.
    void showPictureFile(std::string path);
    // Whether an arrival, a dialog or a write holds arrivals now.
    bool busy() const { return hold_.taken(); }
    // The end: every one waiting is dealt with now, in turn, until one cannot
    // be. Not while the hold is taken.
    void dealWithTheRest();

private:
    // Deals with what waits, from the event loop, unless a step is queued.
    void dealLater();
    void TakeTurn();

    CaptureSession& session_;
    ArrivalHold& hold_;
    ArrivalHandler& handler_;
    Later later_;
    std::function<void()> dealt_;
    bool queued_ = false;
    // The first waiting could not be dealt with: none is tried until the next
    // comes.
    bool stalled_ = false;
};

} // namespace kvd
