#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "capture/CaptureSession.h"
#include "flows/CaptureView.h"
#include "flows/Services.h"

namespace kvd {

// What is done with each arrival the session hands out: by the window, or by
// capture into a folder without one.
class ArrivalHandler {
public:
    virtual ~ArrivalHandler() = default;
    // An arrival was taken from those waiting (the count of them changed).
    virtual void taken() {}
    // Whether it was dealt with. One that was not (the folder it goes to
    // refused it) waits again, first in line, and the pump tries it again when
    // the next comes.
    virtual bool screenshot(const Arrival& arrival) = 0;
    // A block from the line that does not read; `arrival.text` says why.
    virtual void unreadable(const Arrival& arrival) = 0;
    virtual void pictureFile(const std::string& path) = 0;
    // More came than wait at the most: the oldest `count` were dropped.
    virtual void dropped(std::size_t count) = 0;
};

// What one turn of the arrival loop came to.
enum class Turn {
    // None waits, or the hold is taken already.
    NoneDealtWith,
    DealtWith,
    // The next could not be dealt with: it waits again, first in line.
    PutBack,
};

// One turn of the arrival loop, as the pump runs it for the window and for
// capture without one: the next arrival that waits, in the order it came, is
// dealt with under the hold, so that a question it asks (or a slow write, while
// the event loop turns) holds the next ones back. The session's history hears
// of each block from the line once it is dealt with.
Turn DealWithNext(CaptureSession& session, ArrivalHold& hold, ArrivalHandler& handler);

// The window's way: a screenshot is shown (with the question about the one it
// replaces), an unreadable block only goes into the history, a picture file is
// shown as "Load image" shows it, and what was dropped is said.
class ArrivalsOnScreen final : public ArrivalHandler {
public:
    // `taken` hears when an arrival is taken from those waiting.
    ArrivalsOnScreen(CaptureSession& session, Services& services, CaptureView& view,
                     std::function<void()> taken = {})
        : session_(session), services_(services), view_(view), taken_(std::move(taken)) {}

    void taken() override {
        if (taken_)
            taken_();
    }

    bool screenshot(const Arrival& arrival) override;
    void unreadable(const Arrival&) override {}
    void pictureFile(const std::string& path) override;
    void dropped(std::size_t count) override;

private:
    CaptureSession& session_;
    Services& services_;
    CaptureView& view_;
    std::function<void()> taken_;
};

} // namespace kvd
