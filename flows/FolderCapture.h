#pragma once

#include <ctime>
#include <deque>
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
// written (the folder removed, the disk full) is kept and tried again, before
// any other, when the next one comes or at the stop; no more are kept than the
// window keeps waiting, and past that the oldest is dropped, said and counted.
// The port lost, and back, is said once each; the session keeps retrying it.
class FolderCapture final : public ArrivalHandler {
public:
    // Screenshots kept unwritten at the most, as many as the window keeps
    // waiting: their bytes only, about 275 KB, however long the disk stays full.
    static constexpr std::size_t MostKept = WaitingArrivals::Capacity;

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
    // The screenshots kept unwritten, tried again as the next screenshot would:
    // at the stop, when no other comes.
    void saveKept();
    // Screenshots kept because they could not be written, not yet saved.
    int unsaved() const { return int(unsaved_.size()); }
    // What the end says of the screenshots never written, those still kept and
    // those dropped; empty when every one that came was written.
    std::string neverWritten() const;

    void screenshot(const Arrival& arrival) override;
    void unreadable(const Arrival& arrival) override;
    void pictureFile(const std::string&) override {}
    void notice(const std::string& text) override { writing_.report.problem(text); }

private:
    void ReportPort();

    CaptureSession& session_;
    Writing writing_;
    bool keepUnreadable_;
    int count_;
    bool lost_ = false;
    int saved_ = 0;
    std::deque<Arrival> unsaved_;
    // Dropped since the kept ones were last all written, and in all.
    int droppedLately_ = 0;
    int dropped_ = 0;
};

} // namespace kvd
