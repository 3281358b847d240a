#include "tests/fakes/FakeSerialPort.h"

#include <algorithm>

namespace kvd::test {

const auto Level = [](bool on) { return std::string(on ? "on" : "off"); };

void FakeSerialPort::lose() {
    hangUpSilently();
    calls.push_back("lost");
    state_ = PortState::Lost;
    problem_ = "device removed";
}

void FakeSerialPort::hangUpSilently() {
    hungUp_ = true;
    unplugged = true;
    unpluggedDevice_ = device_;
}

void FakeSerialPort::checkLine() {
    if (state_ != PortState::Open || !hungUp_)
        return;
    calls.push_back("lost");
    state_ = PortState::Lost;
    problem_ = "the line hung up";
}

std::string FakeSerialPort::Resolve() const {
    if (port.kind() == PortAddress::Kind::Device)
        return opensAs.contains(port.path()) ? opensAs.at(port.path()) : port.path();
    if (port.kind() == PortAddress::Kind::Unusable)
        return {};
    const int n = port.portNumber();
    if (listed.empty())
        return "/dev/ttyFAKE" + std::to_string(n);
    return n >= 1 && std::size_t(n) <= listed.size() ? listed[std::size_t(n) - 1] : "";
}

bool FakeSerialPort::Exists(const std::string& device) const {
    if (!listed.empty())
        return std::find(listed.begin(), listed.end(), device) != listed.end();
    for (int n : present)
        if (device == "/dev/ttyFAKE" + std::to_string(n))
            return true;
    return false;
}

bool FakeSerialPort::Opens(const std::string& device) const {
    return Exists(device) && !(unplugged && device == unpluggedDevice_);
}

DeviceIdentity FakeSerialPort::identify(const std::string& device) {
    if (!Opens(device))
        return DeviceIdentity::absent();
    const auto known = identities.find(device);
    return known == identities.end() ? DeviceIdentity{} : known->second;
}

std::string FakeSerialPort::findDevice(const DeviceIdentity& identity) {
    for (const auto& [device, who] : identities)
        if (who.sameAs(identity) && Opens(device))
            return device;
    return {};
}

void FakeSerialPort::setPort(const PortAddress& address) {
    calls.push_back("setPort " + address.describe());
    state_ = StateWhenPointed(state_, port, address);
    port = address;
    device_.clear(); // found again when opened, as the real port does
}

// The trial opens a port of its own, on the same devices; its open counts.
PortTrial FakeSerialPort::tryPort(const PortAddress& address) {
    calls.push_back("tryPort " + address.describe());
    FakeSerialPort trial = *this;
    trial.state_ = PortState::Closed;
    PortTrial result = TryOnItsOwn(trial, address, [](FakeSerialPort& own) { return own.open(); });
    if (result.opened)
        opened.push_back(result.device);
    return result;
}

Outcome FakeSerialPort::open() {
    calls.push_back("open");
    if (state_ == PortState::Lost)
        waiting.clear(); // what was left at the loss went with the old port
    device_ = Resolve();
    if (unplugged && device_ == unpluggedDevice_)
        problem_ = "no such device";
    else if (port.kind() == PortAddress::Kind::Number && refused.count(port.portNumber()))
        problem_ = refused.at(port.portNumber());
    else if (!Exists(device_))
        problem_ = "no such device";
    else
        problem_.clear();
    if (!problem_.empty())
        return Outcome::failure(problem_);
    state_ = PortState::Open;
    const PortSettings& given = settings();
    line.push_back("open " + (given.line ? FormatLineSettings(*given.line) : "as it was") +
                   ", flow " + (given.flow == FlowControl::None ? "none" : "on") + ", RTS " +
                   Level(given.rts) + ", DTR " + Level(given.dtr) + ", buffer " +
                   std::to_string(given.inBufferSize));
    hungUp_ = false;
    identity_ = identify(device_);
    opened.push_back(device_);
    return Outcome::success();
}

void FakeSerialPort::close() {
    calls.push_back("close");
    if (state_ != PortState::Open)
        return;
    state_ = PortState::Closed;
    line.push_back("close");
}

// The modem lines reach an open port's device at once; the rest waits for the
// next open.
void FakeSerialPort::settingChanged(Part part) {
    if (state_ != PortState::Open)
        return;
    if (part == Part::Rts)
        line.push_back("RTS " + Level(settings().rts));
    else if (part == Part::Dtr)
        line.push_back("DTR " + Level(settings().dtr));
}

// A port that hung up says nothing until its line is checked; once lost, what it
// had received can still be read, as from the real port.
int FakeSerialPort::bytesWaiting() {
    const bool readable = (state_ == PortState::Open && !hungUp_) || state_ == PortState::Lost;
    return readable ? static_cast<int>(waiting.size()) : 0;
}

std::string FakeSerialPort::read() {
    if (state_ == PortState::Closed)
        return {};
    std::string bytes;
    bytes.swap(waiting);
    return bytes;
}

} // namespace kvd::test
