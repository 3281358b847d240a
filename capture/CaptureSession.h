#pragma once

#include <chrono>
#include <cstddef>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>

#include "capture/CaptureState.h"
#include "capture/PortLink.h"
#include "capture/ProbePorts.h"
#include "capture/SessionHistory.h"
#include "capture/WaitingArrivals.h"
#include "platform/Picture.h"

namespace kvd {

// How long the typing of a device path pauses before the path is opened.
inline constexpr std::chrono::milliseconds TypingPause{700};
// How often the port is read: twice a second, well within what the driver's
// buffer holds at the line's rate.
inline constexpr std::chrono::milliseconds PollInterval{500};

// How the user named a port in the selector: typed into its text (DTR goes off
// before the port opens) or picked from its list (after).
enum class PortChoice { Typed, Picked };

// A running capture, from start-up to the end: the capture state, what waits to
// be dealt with, the serial link and the port selector's rules. It decides; the
// window shows what it says and asks the user. Time is handed in, so that every
// rule runs the same in a test.
class CaptureSession {
public:
    using Clock = std::chrono::steady_clock;

    explicit CaptureSession(SerialPort& comm) : comm_(comm), link_(comm) {}

    // Start-up: the initial state, then the port probe. With `givenPort` (named
    // on the command line) that port is opened, as if typed; otherwise the first
    // port found. A port the user chose before start-up came to the ports stands:
    // the ports are then only listed. Returns what the probe found, for the
    // selector's list.
    const ProbeReport& startUp(const std::optional<std::string>& givenPort);
    // The one message to show after start-up when no port is open, or nothing
    // (also when the user has chosen a port: the selector shows how it stands).
    std::optional<std::string> portProblem() const;
    // Whether the user has typed or picked a port.
    bool portChosen() const { return portChosen_; }

    // The selector: reopens the link on the port `text` names. Bytes received
    // from the port before never join those of the one after. The text is taken
    // by value: the typed path it is often given is the session's own, which
    // choosing forgets.
    void choosePort(std::string text, PortChoice how);
    // The selector's text was edited. A port number is opened at once. A device
    // path is opened once the typing pauses: on the way to /dev/ttyUSB0 the text
    // passes through /dev/tty, to /dev/ttyS10 through /dev/ttyS1 (and on Windows
    // to COM10 through COM1). Returns how
    // long to wait before asking typingPaused(), or zero when nothing waits.
    std::chrono::milliseconds selectorEdited(const std::string& text, Clock::time_point now);
    // Opens the typed path when the typing has paused long enough; otherwise
    // returns how much longer to wait.
    std::chrono::milliseconds typingPaused(Clock::time_point now);
    PortState portState() const { return link_.state(); }
    // The device and how it stands, for the selector's tooltip, with the last
    // line error since the port was chosen.
    std::string portDescription() const { return link_.describe() + lineNote_; }

    struct Tick {
        // Whole screenshots cut out of what came.
        std::size_t cut = 0;
        // Whether the port's state or description changed since last shown.
        bool portChanged = false;
        // What was said of a line error in this tick (bytes lost on the line),
        // or empty.
        std::string lineError;
    };
    // The poll tick: keeps the link up (a lost port is retried quietly, as the
    // same device, until it comes back), drains the port and cuts every whole
    // screenshot out of what came, to wait its turn, stamped `now`. After a line
    // error the screenshot in progress is dropped with what the port holds (the
    // gap is in there), so that none is made of pieces of two.
    Tick tick(std::time_t now = std::time(nullptr));

    // While a dialog is open, arrivals wait; they are dealt with once the last
    // one closes, so no question is stacked on another.
    void dialogOpened() { waiting_.dialogOpened(); }
    void dialogClosed() { waiting_.dialogClosed(); }
    // A picture file to show (picked, dropped, named at start), once what
    // arrived before it has been dealt with.
    void showPictureFileLater(std::string path);
    // Whether something can be dealt with now.
    bool readyToDeal() const { return !waiting_.dialogOpen() && waiting_.count() > 0; }
    // The next thing to deal with, in arrival order: none while a dialog is open.
    std::optional<Arrival> nextArrival();
    std::size_t waitingCount() const { return waiting_.count(); }
    // What the picture control shows now: a received screenshot, or a picture file.
    void shown(Arrival::Kind kind) { showingScreenshot_ = kind == Arrival::Kind::Screenshot; }
    // Screenshots dealt with from now on are kept in `history` (none: not kept),
    // with `dropReason` for one that was dropped as unreadable.
    void keepHistoryIn(SessionHistory* history) { history_ = history; }
    void dealtWith(const Arrival& arrival, std::string dropReason = {});
    // Blocks cut from the line are read with `pictures` as they are cut (none:
    // only their headers are checked), so that a "BM" in line noise that does
    // not read costs no screenshot after it; a screenshot waits with its
    // picture, and is not decoded again.
    void readBlocksWith(PictureLoader* pictures) { pictures_ = pictures; }
    // The bitmap file of the shown screenshot, for the clipboard; nothing while a
    // picture file is shown.
    std::optional<std::string> shownScreenshotFile() const;

    // "Disable Save" changed: while checked, new screenshots replace the shown
    // one without a question and "Save image" is off. Returns whether "Save
    // image" is on.
    bool saveDisabledChanged(bool checked);

    // Every screenshot is saved into `folder` from now on; none when there is no
    // folder. The session is the one place that knows where screenshots go.
    void savingTo(std::optional<std::filesystem::path> folder) { folder_ = std::move(folder); }
    const std::optional<std::filesystem::path>& saveFolder() const { return folder_; }
    // The window's caption: `title`, where every screenshot is saved to in that
    // mode, and how many screenshots wait, while any do.
    std::string caption(const std::string& title) const;

    CaptureState& state() { return state_; }
    const CaptureState& state() const { return state_; }

private:
    bool PortChanged();
    std::string DropAfterLineError(const std::string& error, std::time_t now);

    SerialPort& comm_;
    CaptureState state_;
    PortLink link_;
    WaitingArrivals waiting_;
    ProbeReport probe_;
    bool portGiven_ = false;
    bool portChosen_ = false;
    PortState shownState_ = PortState::Closed;
    std::string shownPort_;
    // Said in the tooltip after a line error, until another port is chosen.
    std::string lineNote_;
    // The device path being typed, and when it was last edited.
    std::optional<std::string> typing_;
    Clock::time_point typedAt_;
    bool showingScreenshot_ = false;
    std::optional<std::filesystem::path> folder_;
    SessionHistory* history_ = nullptr;
    PictureLoader* pictures_ = nullptr;
};

} // namespace kvd
