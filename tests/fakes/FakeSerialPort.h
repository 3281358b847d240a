#pragma once

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/SerialPort.h"

namespace kvd::test {

// A serial port scripted by the test: which ports exist, what arrives, when the
// device is lost. It records the calls that choose and open ports, and what the
// device at the far end saw of the settings.
class FakeSerialPort final : public SerialPort {
public:
    // A port fresh from the system has DTR on until told otherwise.
    FakeSerialPort() { setDtr(true); }

    // Port numbers that open (port n is /dev/ttyFAKEn); others: "no such device".
    std::set<int> present;
    // When not empty, the devices the system lists instead, in order: port n is
    // the n-th, so removing one moves those after it up a number.
    std::vector<std::string> listed;
    // Links the port opens by the device's own name (link names not UTF-8).
    std::map<std::string, std::string> opensAs;
    // The device of every open that succeeded, in order.
    std::vector<std::string> opened;
    // Ports that exist but refuse to open, with the reason given.
    std::map<int, std::string> refused;
    // The calls that choose and open ports, in order: "close", "setPort port 2",
    // "open", "tryPort port 2", and "lost" when the device went.
    std::vector<std::string> calls;
    // What the device saw, in order: each open with the settings it applied
    // ("open 57600,N,8,1, flow none, RTS on, DTR off, buffer 6000"), a modem
    // line changed while open ("DTR off"), and "close".
    std::vector<std::string> line;

    PortAddress port = PortAddress::number(0); // as last given
    std::string waiting;                       // arrived, not yet read

    void arrive(const std::string& bytes) { waiting += bytes; }
    // The device fails under an open port, as an unplugged adapter does, and
    // the port says so; it cannot be opened again until plugged back in.
    void lose();
    // The same, but nothing is said: the line just goes quiet until checked.
    void hangUpSilently();
    void plugBackIn() { unplugged = false; }
    bool unplugged = false;
    // A line error the driver reports at the next ask, as after an overrun.
    std::string lineError;
    // Who each device is, by name. One not in it is NotChecked; one that cannot
    // be opened now is Absent.
    std::map<std::string, DeviceIdentity> identities;

    void setPort(const PortAddress& address) override;
    PortState state() const override { return state_; }
    Outcome open() override;
    void close() override;
    PortTrial tryPort(const PortAddress& address) override;
    void checkLine() override;
    int bytesWaiting() override;
    std::string read() override;
    std::string takeLineError() override { return std::exchange(lineError, {}); }
    std::string deviceName() const override { return device_; }
    DeviceIdentity identity() const override { return identity_; }
    DeviceIdentity identify(const std::string& device) override;
    std::string findDevice(const DeviceIdentity& identity) override;
    std::string problem() const override { return problem_; }

protected:
    void settingChanged(Part part) override;

private:
    std::string Resolve() const;
    bool Exists(const std::string& device) const;
    bool Opens(const std::string& device) const;

    PortState state_ = PortState::Closed;
    std::string problem_;
    std::string device_;
    std::string unpluggedDevice_;
    bool hungUp_ = false;
    DeviceIdentity identity_;
};

} // namespace kvd::test
