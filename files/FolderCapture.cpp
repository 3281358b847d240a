#include "files/FolderCapture.h"

#include "files/SaveFlow.h"
#include "platform/Utf8Path.h"

namespace kvd {

bool FolderCapture::poll(std::time_t now) {
    const CaptureSession::Tick tick = session_.tick(now);
    if (tick.portChanged)
        ReportPort();
    if (!tick.lineError.empty())
        services_.report.problem(tick.lineError + ".");
    return session_.waitingCount() > 0;
}

int FolderCapture::saveWaiting(int most) {
    if (saving_)
        return 0;
    saving_ = true;
    int saved = 0;
    while (most <= 0 || saved < most) {
        const std::optional<Arrival> arrival = session_.nextArrival();
        if (!arrival)
            break;
        if (arrival->kind == Arrival::Kind::Notice) {
            services_.report.problem(arrival->bytes);
            continue;
        }
        std::string whyNot;
        if (!arrival->picture && !services_.pictures.loadBytes(arrival->bytes, whyNot))
            Refuse(arrival->bytes, whyNot, arrival->arrived);
        else if (SaveIntoFolder(*session_.saveFolder(), arrival->bytes, arrival->arrived,
                                services_.disk, services_.report))
            ++saved;
    }
    saving_ = false;
    return saved;
}

void FolderCapture::ReportPort() {
    const PortState state = session_.portState();
    if (state == PortState::Lost && !lost_)
        services_.report.problem("The serial port was lost (" + session_.portDescription() +
                                 "); waiting for it to come back.");
    else if (state == PortState::Open && lost_)
        services_.report.problem("The serial port is back (" + session_.portDescription() + ").");
    lost_ = state == PortState::Lost;
}

void FolderCapture::Refuse(const std::string& frame, const std::string& why, std::time_t now) {
    std::string text = ClockTime(now) + " a block that " + UnreadableReason(why) + " was dropped";
    if (keepUnreadable_) {
        ScreenshotFolder::Saved kept;
        services_.disk.run([&] {
            kept = ScreenshotFolder(*session_.saveFolder()).save(frame, now, "-unreadable.bin");
        });
        text += kept.outcome ? "; its bytes are in " + Utf8FromPath(kept.path)
                             : "; its bytes could not be kept: " + kept.outcome.reason();
    }
    services_.report.problem(text + ".");
}

} // namespace kvd
