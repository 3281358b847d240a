#include "capture/CaptureSession.h"

#include <algorithm>
#include <string>
#include <utility>

#include "capture/PortMessages.h"
#include "capture/ReceiveBuffer.h"
#include "capture/ScreenshotFormat.h"
#include "capture/SelectorText.h"
#include "platform/Utf8Path.h"

namespace kvd {

PortList CaptureSession::startUp(const std::optional<std::string>& givenPort) {
    // The window is up before start-up comes to the ports: a port the user has
    // chosen meanwhile stands, and the ports are only listed.
    if (portChosen_) {
        probe_ = ProbePorts(state_, comm_, link_.chosen(), false);
        return {probe_.found, std::nullopt};
    }
    state_ = CaptureState{};
    portGiven_ = givenPort.has_value();
    std::optional<PortAddress> wanted;
    if (givenPort)
        wanted = ReadPortAddress(*givenPort);
    probe_ = ProbePorts(state_, comm_, wanted);
    if (wanted || probe_.opened)
        link_.adopt(wanted ? *wanted : *probe_.opened);
    else // the selector still shows the first port tried (port 1 when none was)
        link_.choose(PortAddress::number(probe_.failures.empty() ? 1 : probe_.failures[0].port),
                     false);
    PortChanged();
    // A name the selector cannot show (not UTF-8) is shown as the device it
    // opened, so that choosing it again opens the same.
    if (givenPort)
        return {probe_.found,
                IsUtf8(*givenPort) || !comm_.isOpen() ? *givenPort : comm_.deviceName()};
    if (!probe_.found.empty())
        return {probe_.found, std::to_string(probe_.found.front().port)};
    return {probe_.found, std::nullopt};
}

std::optional<std::string> CaptureSession::portProblem() const {
    if (comm_.isOpen() || portChosen_)
        return std::nullopt;
    return portGiven_ ? GivenPortMessage(link_.describe()) : NoPortMessage(probe_);
}

void CaptureSession::choosePort(std::string text, PortChoice how) {
    portChosen_ = true;
    typing_.reset();
    lineNote_.clear();
    state_.ReceiveBuffer.clear();
    link_.choose(ReadPortAddress(text), how == PortChoice::Typed);
    PortChanged();
}

std::chrono::milliseconds CaptureSession::selectorEdited(const std::string& text,
                                                         Clock::time_point now) {
    if (!StartsLikeDevicePath(text)) {
        choosePort(text, PortChoice::Typed);
        return std::chrono::milliseconds::zero();
    }
    portChosen_ = true;
    typing_ = text;
    typedAt_ = now;
    return TypingPause;
}

std::chrono::milliseconds CaptureSession::typingPaused(Clock::time_point now) {
    if (!typing_)
        return std::chrono::milliseconds::zero();
    const auto paused = std::chrono::duration_cast<std::chrono::milliseconds>(now - typedAt_);
    if (paused < TypingPause)
        return TypingPause - paused;
    choosePort(std::move(*typing_), PortChoice::Typed);
    return std::chrono::milliseconds::zero();
}

void CaptureSession::waitForPort(std::chrono::milliseconds every,
                                 const std::function<void(const std::string&)>& say,
                                 const std::function<bool()>& givenUp) {
    if (!comm_.stillOpening(std::chrono::milliseconds::zero()))
        return;
    say(portDescription() + ". Waiting for it; Ctrl+C gives up.");
    while (comm_.stillOpening(every)) {
        if (givenUp())
            return;
        say("still waiting for " + comm_.deviceName() + " to answer.");
    }
    link_.keepUp();
}

CaptureSession::Tick CaptureSession::tick(std::time_t now) {
    Tick result;
    const bool lost = link_.keepUp();
    if (const std::string error = comm_.takeLineError(); !error.empty())
        result.lineError = DropAfterLineError(error, now);
    DrainPort(state_, comm_);
    result.cut =
        CutScreenshots(state_, waiting_, now, [this](std::string_view block, std::string& whyNot) {
            return pictures_.loadBytes(block, whyNot);
        });
    // The piece of a screenshot the loss cut off is dropped, so it is never
    // completed by the first bytes after the return; it waits its turn as an
    // unreadable block, listed in the history as every dropped block is.
    if (lost && state_.ReceiveBuffer.starts_with(ScreenshotMarker)) {
        const std::size_t size = state_.ReceiveBuffer.size();
        waiting_.add({.kind = Arrival::Kind::Unreadable,
                      .bytes = std::exchange(state_.ReceiveBuffer, {}),
                      .arrived = now,
                      .text = "it is cut short after " + std::to_string(size) +
                              " bytes, where the line was lost"});
        ++result.cut;
    }
    if (lost)
        state_.ReceiveBuffer.clear();
    result.portChanged = PortChanged();
    return result;
}

// What came since the last tick holds the gap somewhere, so it goes with the
// screenshot in progress: at most the one after goes too, never a picture made
// of two. Kept in the history as dropped, and said in the tooltip.
std::string CaptureSession::DropAfterLineError(const std::string& error, std::time_t now) {
    std::string dropped = std::exchange(state_.ReceiveBuffer, {});
    if (comm_.bytesWaiting() != 0)
        dropped += comm_.read();
    const std::string lost = "lost on the line (" + error + ")";
    lineNote_ = "\nBytes were " + lost + ": the screenshot in progress was dropped";
    if (history_ != nullptr && !dropped.empty()) // read as "dropped: it was cut short: ..."
        history_->add(std::move(dropped), now, "was cut short: bytes were " + lost);
    return lineNote_.substr(1);
}

bool CaptureSession::PortChanged() {
    const PortState state = link_.state();
    std::string described = portDescription();
    if (state == shownState_ && described == shownPort_)
        return false;
    shownState_ = state;
    shownPort_ = std::move(described);
    return true;
}

void CaptureSession::showPictureFileLater(std::string path) {
    waiting_.add({.kind = Arrival::Kind::PictureFile, .path = std::move(path)});
}

std::optional<Arrival> CaptureSession::nextArrival() {
    if (hold_.taken())
        return std::nullopt;
    return waiting_.next();
}

void CaptureSession::dealtWith(const Arrival& arrival) {
    if (history_ == nullptr || !arrival.fromLine())
        return;
    history_->add(arrival.bytes, arrival.arrived,
                  arrival.kind == Arrival::Kind::Unreadable ? UnreadableReason(arrival.text)
                                                            : std::string{});
}

void CaptureSession::showPlaceholder(Picture picture) {
    shown_ = {ShownPicture::Kind::Placeholder, std::move(picture)};
}

void CaptureSession::screenshotShown(const Arrival& arrival) {
    state_.ImageData = arrival.bytes;
    state_.CurrentSaved = false;
    shown_ = {ShownPicture::Kind::Screenshot, arrival.picture.value_or(Picture{})};
}

void CaptureSession::pictureFileShown(Picture picture) {
    shown_ = {ShownPicture::Kind::PictureFile, std::move(picture)};
}

std::optional<std::string> CaptureSession::shownScreenshotFile() const {
    if (shown_.kind != ShownPicture::Kind::Screenshot)
        return std::nullopt;
    return state_.ImageData;
}

bool CaptureSession::saveDisabledChanged(CheckMark mark) {
    state_.SaveDisabled = mark == CheckMark::Checked;
    return !state_.SaveDisabled;
}

std::string CaptureSession::caption(const std::string& title) const {
    std::string caption = title;
    if (folder_)
        caption += " - saving to " + Utf8FromPath(*folder_);
    if (const std::size_t count = waiting_.count(Arrival::Kind::Screenshot); count > 0)
        caption +=
            " - " + std::to_string(count) + " screenshot" + (count == 1 ? "" : "s") + " waiting";
    return caption;
}

} // namespace kvd
