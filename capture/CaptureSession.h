#pragma once

#include <chrono>
#include <cstddef>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "capture/ArrivalHold.h"
#include "capture/CaptureState.h"
#include "capture/PortLink.h"
#include "capture/ProbePorts.h"
#include "capture/SessionHistory.h"
#include "capture/ShownPicture.h"
#include "capture/WaitingArrivals.h"
#include "platform/MessageBoxes.h"
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

// How the "Disable Save" box stands after a click.
enum class CheckMark { Unchecked, Checked, Greyed };

// What the port selector lists after start-up, and what its text becomes: none
// when the user has chosen a port meanwhile (the text stands as they left it).
struct PortList {
    std::vector<ProbeReport::Found> found;
    std::optional<std::string> text;
};

// A running capture, from start-up to the end: the capture state and the shown
// picture, what waits to be dealt with, the serial link and the port selector's
// rules. It keeps its record to itself: the flows ask it named questions and
// tell it what happened through the operations below. It decides; the window
// shows what it says and asks the user. Time is handed in, so that every rule
// runs the same in a test.
class CaptureSession {
public:
    using Clock = std::chrono::steady_clock;

    // Blocks cut from the line are read with `pictures` as they are cut, so that
    // a "BM" in line noise that does not read costs no screenshot after it; a
    // screenshot waits with its picture, and is never decoded again. Nothing
    // waiting is handed out while `hold` is taken.
    CaptureSession(SerialPort& comm, PictureLoader& pictures, ArrivalHold& hold)
        : comm_(comm), pictures_(pictures), hold_(hold), link_(comm) {}

    // Start-up: the initial state, then the port probe. With `givenPort` (named
    // on the command line) that port is opened, as if typed; otherwise the first
    // port found. A port the user chose before start-up came to the ports stands:
    // the ports are then only listed, and the selector's text stands. Returns
    // what the selector lists, and its text: the port given, else the first
    // found.
    PortList startUp(const std::optional<std::string>& givenPort);
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
    // Without a window, the port named at start cannot be chosen again: while
    // the system has not answered its open yet (a Bluetooth port waits for the
    // device it is paired with), this waits for the answer, saying so at once
    // and again every `every`, and takes it as the next poll would; it gives up
    // once `givenUp` says so (Ctrl+C).
    void waitForPort(std::chrono::milliseconds every,
                     const std::function<void(const std::string&)>& say,
                     const std::function<bool()>& givenUp);
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
    // The end of the capture (the main window closed): the port is let go at
    // once, not when the program has wound down.
    void end() { comm_.close(); }

    // A picture file to show (picked, dropped, named at start), once what
    // arrived before it has been dealt with.
    void showPictureFileLater(std::string path);
    // Whether something can be dealt with now.
    bool readyToDeal() const { return !hold_.taken() && waiting_.count() > 0; }
    // The next thing to deal with, in arrival order: none while arrivals are held.
    std::optional<Arrival> nextArrival();
    // One that could not be dealt with yet: it waits again, first in line.
    void putBack(Arrival arrival) { waiting_.putBack(std::move(arrival)); }
    std::size_t waitingCount() const { return waiting_.count(); }
    std::size_t screenshotsWaiting() const { return waiting_.count(Arrival::Kind::Screenshot); }
    // Screenshots dealt with from now on are kept in `history` (none: not kept);
    // a block that did not read is kept as dropped, with the reason.
    void keepHistoryIn(SessionHistory* history) { history_ = history; }
    void dealtWith(const Arrival& arrival);

    // What the window's picture shows: what is printed, copied and exported.
    const ShownPicture& shown() const { return shown_; }
    // The current screenshot's bitmap file, as it came off the line: the one
    // shown, or, while a picture file is shown, the last one, which "Save image"
    // and the question on the next arrival still save. Empty before the first.
    const std::string& currentScreenshot() const { return state_.ImageData; }
    // Whether the current screenshot would be lost to the next one: it was
    // neither saved nor declined.
    bool currentUnsaved() const { return !state_.CurrentSaved; }
    // Whether "Disable Save" is ticked.
    bool saveDisabled() const { return state_.SaveDisabled; }
    // Bytes received towards the next screenshot.
    std::size_t bytesReceived() const { return state_.ReceiveBuffer.size(); }
    // Until the first screenshot or picture file.
    void showPlaceholder(Picture picture);
    // A screenshot from the line is shown: it is the current screenshot now, and
    // unsaved.
    void screenshotShown(const Arrival& arrival);
    // A picture file is shown; the current screenshot stays as it was.
    void pictureFileShown(Picture picture);
    // The current screenshot needs no question before the next replaces it: it
    // was saved, or the user said not to.
    void currentSaved() { state_.CurrentSaved = true; }
    // The user answered a question of the save flow.
    void answered(DialogAnswer answer) { state_.Answer = static_cast<std::int16_t>(answer); }
    // "Save image" was pressed (true) and its Save dialog has started (false).
    void saveRequested(bool requested) { state_.SaveRequested = requested; }
    // The bitmap file of the shown screenshot, for the clipboard; nothing while a
    // picture file is shown.
    std::optional<std::string> shownScreenshotFile() const;

    // "Disable Save" was clicked: while checked, new screenshots replace the
    // shown one without a question and "Save image" is off. A greyed box counts
    // as unchecked. Returns whether "Save image" is on.
    bool saveDisabledChanged(CheckMark mark);

    // Every screenshot is saved into `folder` from now on; none when there is no
    // folder. The session is the one place that knows where screenshots go.
    void savingTo(std::optional<std::filesystem::path> folder) { folder_ = std::move(folder); }
    const std::optional<std::filesystem::path>& saveFolder() const { return folder_; }
    // The window's caption: `title`, where every screenshot is saved to in that
    // mode, and how many screenshots wait, while any do.
    std::string caption(const std::string& title) const;

private:
    bool PortChanged();
    std::string DropAfterLineError(const std::string& error, std::time_t now);

    SerialPort& comm_;
    PictureLoader& pictures_;
    ArrivalHold& hold_;
    CaptureState state_;
    ShownPicture shown_;
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
    std::optional<std::filesystem::path> folder_;
    SessionHistory* history_ = nullptr;
};

} // namespace kvd
