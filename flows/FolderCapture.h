#pragma once

#include <ctime>
#include <deque>
#include <string>

#include "capture/CaptureSession.h"
#include "capture/WaitingArrivals.h"
#include "flows/ArrivalLoop.h"
#include "files/ScreenshotFolder.h"
#include "platform/DiskWorker.h"

namespace kvd {

// Capture into a folder without a window: each poll reads the line and cuts out
// every whole screenshot; saving them is a step of its own, run apart from the
// poll, so that the polls go on reading the line while a slow disk holds a write
// (the disk worker keeps the event loop turning). Each screenshot is written into
// the folder as the window's save folder does, and each file reported. A block
// that starts like a screenshot but is not a readable bitmap is reported with its
// time and reason, and kept as kvd62-...-unreadable.bin when asked. A screenshot
// that cannot be written (the folder removed, the disk full) is kept and tried
// again, before any other, at the next save; no more are kept than the window
// keeps waiting, and past that the oldest is dropped, said and counted. The port
// lost, and back, is said once each; the session keeps retrying it.
class FolderCapture final : private ArrivalHandler {
public:
    // Screenshots kept unwritten at the most, as many as the window keeps
    // waiting: their bytes only, about 275 KB, however long the disk stays full.
    static constexpr std::size_t MostKept = WaitingArrivals::Capacity;

    struct Services {
        DiskWorker& disk;
        CaptureReport& report;
    };

    // The session saves into `folder` from now on.
    FolderCapture(CaptureSession& session, const std::filesystem::path& folder, Services services,
                  bool keepUnreadable)
        : session_(session), services_(services), keepUnreadable_(keepUnreadable) {
        session_.savingTo(folder);
    }

    // One poll: reads the line. True when screenshots wait to be saved.
    bool poll(std::time_t now);
    // Saves what waits, in the order it came, also what the polls cut out
    // meanwhile, by the same arrival loop as the window's; returns how many it
    // saved, `most` at the most (0: no limit). What arrived beyond that is left
    // waiting. A call while a save is under way saves nothing: the one under way
    // takes what waits.
    int saveWaiting(int most = 0);
    bool saving() const { return session_.arrivalsHeld(); }
    // Screenshots kept because they could not be written, not yet saved.
    int unsaved() const { return int(unsaved_.size()); }
    // What the end says of the screenshots never written, those still kept and
    // those dropped; empty when every one that came was written.
    std::string neverWritten() const;

private:
    void screenshot(const Arrival& arrival) override;
    void unreadable(const Arrival& arrival) override;
    void pictureFile(const std::string&) override {}
    void notice(const std::string& text) override { services_.report.problem(text); }
    void ReportPort();
    void SaveKept();

    CaptureSession& session_;
    Services services_;
    bool keepUnreadable_;
    bool lost_ = false;
    int saved_ = 0;
    std::deque<Arrival> unsaved_;
    // Dropped since the kept ones were last all written, and in all.
    int droppedLately_ = 0;
    int dropped_ = 0;
};

} // namespace kvd
