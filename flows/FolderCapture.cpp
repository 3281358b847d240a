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

// Until the folder takes it, it waits with those that came after it: the
// user is told what to do.
bool FolderCapture::screenshot(const Arrival& arrival) {
    if (done())
        return true;
    if (!SaveIntoFolder(*session_.saveFolder(), arrival.bytes, arrival.arrived, writing_.disk,
                        writing_.report)) {
        if (lastTry_)
            return false;
        const std::size_t others = session_.screenshotsWaiting();
        const std::string folder = Utf8FromPath(*session_.saveFolder());
        writing_.report.problem(
            "The screenshot is kept" +
            (others == 0 ? std::string{}
                         : " with " + std::to_string(others) + " that came after it") +
            " and written when the next one comes or the capture stops: make room on the disk "
            "that holds " +
            folder + ", or make it a folder that can be written to.");
        return false;
    }
    ++saved_;
    return true;
}

// Past the most that wait, the oldest go: the newest are the ones the user is
// likeliest to want.
void FolderCapture::dropped(std::size_t count) {
    dropped_ += int(count);
    writing_.report.problem("The oldest " + std::to_string(count) +
                            (count == 1 ? " screenshot was" : " screenshots were") +
                            " dropped and will never be written: no more than the newest " +
                            std::to_string(WaitingArrivals::Capacity) + " wait to be written.");
}

std::string FolderCapture::neverWritten() const {
    const int lost = unsaved() + dropped_;
    if (lost == 0)
        return {};
    return std::to_string(lost) + " screenshot" +
           (lost == 1 ? " that arrived was" : "s that arrived were") + " never written" +
           (dropped_ == 0
                ? std::string{}
                : " (" + std::to_string(dropped_) + (dropped_ == 1 ? " was" : " were") +
                      " dropped, as only the newest " + std::to_string(WaitingArrivals::Capacity) +
                      " wait while the folder cannot take them)") +
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
