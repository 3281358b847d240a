#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "platform/DeviceIdentity.h"
#include "platform/LineSettings.h"
#include "platform/Outcome.h"
#include "platform/PortAddress.h"
#include "platform/PortSettings.h"

namespace kvd {

// Where the link stands. Lost means the port was open and then failed under us
// (an adapter unplugged, a device gone): it has been closed so that nothing spins.
// A lost port stays lost, through closes and failed opens, until it opens again
// or is pointed at another port.
enum class PortState { Closed, Open, Lost };

// Whether a port could be opened, and the device it names.
struct PortTrial {
    Outcome opened;
    std::string device;
};

// A port's state once it is pointed at `to` from `from`: a lost port stays lost
// (through closes and failed opens) until it opens again or is pointed at
// another port. Every port's setPort keeps this rule through here.
inline PortState StateWhenPointed(PortState state, const PortAddress& from, const PortAddress& to) {
    return state == PortState::Lost && !(from == to) ? PortState::Closed : state;
}

// Tries `address` on `trial`, a port object of the caller's own, with `open`
// (the port's open, or a lighter one that changes nothing on the line), and lets
// it go: the port in use is left as it is.
template <typename Port, typename Open>
PortTrial TryOnItsOwn(Port& trial, const PortAddress& address, Open open) {
    trial.setPort(address);
    Outcome opened = open(trial);
    return {std::move(opened), trial.deviceName()};
}

// The serial port as the program uses it: receive-only, polled. Settings given
// while the port is closed are kept and applied when it opens.
class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Which port to use; takes effect at the next open.
    virtual void setPort(const PortAddress& port) = 0;
    virtual PortState state() const = 0;
    bool isOpen() const { return state() == PortState::Open; }
    // Opens the port the user has just chosen. Where the system takes long to
    // answer an open (a Bluetooth port waits for the device it is paired with,
    // for seconds), it waits a moment for the answer, then goes on without it:
    // the port stays closed, says that it has not answered yet, and the open
    // goes on by itself (stillOpening).
    virtual Outcome open() = 0;
    // Opens the port again after it was lost, at a poll: as open(), but it never
    // waits for the system's answer. An open still under way is only looked
    // at, and a later reopen takes its answer.
    virtual Outcome reopen() { return open(); }
    // Whether the last open is still waiting for the system's answer, after
    // waiting up to `wait` for it. That answer is taken by the next open or
    // reopen of the same port, or by checkLine while the port is closed.
    virtual bool stillOpening(std::chrono::milliseconds wait) {
        (void)wait;
        return false;
    }
    virtual void close() = 0;
    // Opens `port` on a handle of its own and closes it again at once, leaving
    // the port in use as it is.
    virtual PortTrial tryPort(const PortAddress& port) = 0;

    // Line settings, already read and checked: the port only applies them. Each
    // is kept in settings() and applied when the port opens; an open port
    // applies it at once where its system lets it (settingChanged).
    void setSettings(const LineSettingsValue& line) { Keep(settings_.line, line, Part::Line); }
    void setFlowControl(FlowControl flow) { Keep(settings_.flow, flow, Part::Flow); }
    void setRts(bool on) { Keep(settings_.rts, on, Part::Rts); }
    void setDtr(bool on) { Keep(settings_.dtr, on, Part::Dtr); }
    void setInBufferSize(int bytes) { Keep(settings_.inBufferSize, bytes, Part::InBufferSize); }
    void setInputLength(int bytes) { Keep(settings_.inputLength, bytes, Part::InputLength); }
    const PortSettings& settings() const { return settings_; }

    // Looks at an open port's line: when its device has gone or the line has
    // hung up, the port is closed and becomes Lost, whether or not the system
    // reported an error for it. A closed port whose open the system has answered
    // since (stillOpening) takes that answer here: it opens, or says why not.
    virtual void checkLine() = 0;

    virtual int bytesWaiting() = 0;
    // Returns and removes the waiting bytes.
    virtual std::string read() = 0;
    // A line error the driver reported since last asked (an overrun: bytes were
    // lost between those received), in a few words, and forgets it; empty when
    // there was none. The bytes waiting then have a gap somewhere.
    virtual std::string takeLineError() { return {}; }

    // The port numbers start-up tries, in order: the first two ports the system
    // lists. Where port n is the n-th listed device, that is 1 and 2.
    virtual std::vector<int> probedPorts() { return {1, 2}; }
    // A device as the system's own tools name it, for the selector's list
    // ("USB Serial Port (COM7)" on Windows); the device itself where it has no
    // other name.
    virtual std::string friendlyName(const std::string& device) { return device; }

    // The device the last open tried for the current port ("/dev/ttyUSB0"), or
    // empty when the port names no device or was not opened yet.
    virtual std::string deviceName() const = 0;
    // Who the device the port last opened is, as it was when it opened: what
    // tells it from a device that takes its name later. NotChecked where the
    // name is the device's own or the system cannot tell.
    virtual DeviceIdentity identity() const { return {}; }
    // Who has the name `device` now: Absent when no device has it.
    virtual DeviceIdentity identify(const std::string& device) {
        (void)device;
        return {};
    }
    // The name the device `identity` has now, when it has come back under
    // another one; empty when it is not there, or is not looked for.
    virtual std::string findDevice(const DeviceIdentity& identity) {
        (void)identity;
        return {};
    }
    // Why the port is not open, in a few words ("Permission denied"); empty when
    // it is open or was never tried.
    virtual std::string problem() const = 0;

protected:
    using Part = PortSettings::Part;

    // `part` of settings() was just given: an open port applies it here where it
    // can; anything else waits for the next open.
    virtual void settingChanged(Part part) = 0;

private:
    template <typename Value, typename Given>
    void Keep(Value& kept, const Given& given, Part part) {
        kept = given;
        settingChanged(part);
    }

    PortSettings settings_;
};

} // namespace kvd
