#pragma once

#include <ctime>
#include <string>

#include "capture/CaptureSession.h"
#include "capture/WaitingArrivals.h"
#include "files/ScreenshotFolder.h"
#include "flows/ArrivalLoop.h"
#include "platform/DiskWorker.h"

namespace kvd {

// Capture into a folder without a window, as the arrival pump hands out what
// came (ArrivalPump.h): each screenshot is written into the folder as the
// window's save folder does, and each file reported. A block that starts like a
// screenshot but is not a readable bitmap is reported with its time and reason,
// and kept as kvd62-...-unreadable.bin when asked. A screenshot that cannot be
// written (the folder removed, the disk full) waits, first in line, and is
// tried again when the next one comes or at the stop; no more wait than the
// window keeps waiting, and past that the oldest is dropped, said and counted.
// The port lost, and back, is said once each; the session keeps retrying it.
class FolderCapture final : public ArrivalHandler {
public:
    // Where the files are written, and who hears of them.
    struct Writing {
        DiskWorker& disk;
        CaptureReport& report;
    };

    // The session saves into `folder` from now on; `count` screenshots at the
    // most (0: no limit).
    FolderCapture(CaptureSession& session, const std::filesystem::path& folder, Writing writing,
                  bool keepUnreadable, int count = 0)
        : session_(session), writing_(writing), keepUnreadable_(keepUnreadable), count_(count) {
        session_.savingTo(folder);
    }

    // What a poll found that is said: the port lost or back, a line error.
    void polled(const CaptureSession::Tick& tick);
    // Screenshots written so far.
    int saved() const { return saved_; }
    // Whether the count asked for is written: no other is saved then.
    bool done() const { return count_ > 0 && saved_ >= count_; }
    // The stop: those waiting are tried once more, and what is not written is
    // said at the end, not as kept.
    void lastTry() { lastTry_ = true; }
    // Screenshots waiting, not yet written.
    int unsaved() const { return int(session_.screenshotsWaiting()); }
    // What the end says of the screenshots never written, those still waiting
    // and those dropped; empty when every one that came was written.
    std::string neverWritten() const;

    bool screenshot(const Arrival& arrival) override;
    void unreadable(const Arrival& arrival) override;
    void pictureFile(const std::string&) override {}
    void dropped(std::size_t count) override;

private:
    void ReportPort();

    CaptureSession& session_;
    Writing writing_;
    bool keepUnreadable_;
    int count_;
    bool lost_ = false;
    bool lastTry_ = false;
    int saved_ = 0;
    int dropped_ = 0;
};

} // namespace kvd
