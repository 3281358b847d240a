#include "flows/FolderCapture.h"

#include "flows/SaveFlow.h"
#include "platform/Utf8Path.h"

namespace kvd {

void FolderCapture::polled(const CaptureSession::Tick& tick) {
    if (tick.portChanged)
        ReportPort();
    if (!tick.lineError.empty())
        writing_.report.problem(tick.lineError + ".");
}

// Its bytes only are kept: the picture is not needed to write them.
void FolderCapture::screenshot(const Arrival& arrival) {
    if (done())
        return;
    unsaved_.push_back({.bytes = arrival.bytes, .arrived = arrival.arrived});
    saveKept();
}

// The screenshots kept, oldest first, until one cannot be written: it stays kept,
// with those after it, and the user is told what to do. Past the most kept, the
// oldest go only then, once the folder has refused them: the newest are the ones
// the user is likeliest to want.
void FolderCapture::saveKept() {
    while (!unsaved_.empty()) {
        const Arrival& next = unsaved_.front();
        if (!SaveIntoFolder(*session_.saveFolder(), next.bytes, next.arrived, writing_.disk,
                            writing_.report)) {
            for (; unsaved_.size() > MostKept; ++droppedLately_, ++dropped_)
                unsaved_.pop_front();
            const std::string folder = Utf8FromPath(*session_.saveFolder());
            const std::string when = " and written when the next one comes or the capture stops";
            const std::size_t others = unsaved_.size() - 1;
            if (droppedLately_ > 0)
                writing_.report.problem("The newest " + std::to_string(unsaved_.size()) +
                                        " screenshots are kept" + when + "; " +
                                        std::to_string(droppedLately_) + " older " +
                                        (droppedLately_ == 1 ? "one was" : "ones were") +
                                        " dropped and will never be written. Make " + folder +
                                        " a folder that can be written to.");
            else
                writing_.report.problem(
                    "The screenshot is kept" +
                    (others == 0 ? std::string{}
                                 : " with " + std::to_string(others) + " that came after it") +
                    when + ": make " + folder + " a folder that can be written to.");
            return;
        }
        ++saved_;
        unsaved_.pop_front();
    }
    droppedLately_ = 0;
}

std::string FolderCapture::neverWritten() const {
    const int lost = unsaved() + dropped_;
    if (lost == 0)
        return {};
    return std::to_string(lost) + " screenshot" +
           (lost == 1 ? " that arrived was" : "s that arrived were") + " never written" +
           (dropped_ == 0 ? std::string{}
                          : " (" + std::to_string(dropped_) + (dropped_ == 1 ? " was" : " were") +
                                " dropped, as only the newest " + std::to_string(MostKept) +
                                " are kept while the folder cannot take them)") +
           ": " + Utf8FromPath(*session_.saveFolder()) + " could not be written to.";
}

void FolderCapture::ReportPort() {
    const PortState state = session_.portState();
    if (state == PortState::Lost && !lost_) {
        // The description says the loss and the wait itself ("DEVICE: lost
        // (REASON), waiting for it to return"): each is said once.
        std::string described = session_.portDescription();
        const std::string lost = ": lost (";
        const std::size_t at = described.find(lost);
        if (at != std::string::npos)
            described.replace(at, lost.size(), ": ");
        else
            described += ")";
        writing_.report.problem("The serial port was lost (" + described + ".");
    } else if (state == PortState::Open && lost_)
        writing_.report.problem("The serial port is back (" + session_.portDescription() + ").");
    lost_ = state == PortState::Lost;
}

void FolderCapture::unreadable(const Arrival& arrival) {
    std::string text = ClockTime(arrival.arrived) + " a block that " +
                       UnreadableReason(arrival.text) + " was dropped";
    if (keepUnreadable_) {
        ScreenshotFolder::Saved kept;
        writing_.disk.run([&] {
            kept = ScreenshotFolder(*session_.saveFolder())
                       .save(arrival.bytes, arrival.arrived, "-unreadable.bin");
        });
        text += kept.outcome ? "; its bytes are in " + Utf8FromPath(kept.path)
                             : "; its bytes could not be kept: " + kept.outcome.reason();
    }
    writing_.report.problem(text + ".");
}

} // namespace kvd
