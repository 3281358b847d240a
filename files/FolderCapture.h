#pragma once

#include <ctime>
#include <deque>
#include <string>

#include "capture/CaptureSession.h"
#include "files/ArrivalLoop.h"
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
// again, before any other, at the next save. The port lost, and back, is said
// once each; the session keeps retrying it.
class FolderCapture final : private ArrivalHandler {
public:
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
};

} // namespace kvd
