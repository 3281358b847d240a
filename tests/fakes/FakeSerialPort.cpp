#include "tests/fakes/FakeSerialPort.h"

namespace kvd::test {

void FakeSerialPort::lose() {
    calls.push_back("lost");
    state_ = PortState::Lost;
    problem_ = "device removed";
    unplugged = true;
}

void FakeSerialPort::setPort(const PortAddress& address) {
    calls.push_back("setPort " + address.describe());
    if (state_ == PortState::Lost && !(address == port))
        state_ = PortState::Closed;
    port = address;
}

Outcome FakeSerialPort::open() {
    calls.push_back("open");
    const bool isNumber = port.kind() == PortAddress::Kind::Number;
    if (state_ == PortState::Lost && unplugged)
        problem_ = "no such device";
    else if (isNumber && refused.count(port.portNumber()))
        problem_ = refused.at(port.portNumber());
    else if (!isNumber || !present.count(port.portNumber()))
        problem_ = "no such device";
    else
        problem_.clear();
    if (!problem_.empty())
        return Outcome::failure(problem_);
    state_ = PortState::Open;
    return Outcome::success();
}

void FakeSerialPort::close() {
    calls.push_back("close");
    if (state_ == PortState::Open)
        state_ = PortState::Closed;
}

void FakeSerialPort::setSettings(const std::string& text) {
    calls.push_back("setSettings " + text);
    settings = text;
}

void FakeSerialPort::setFlowControl(FlowControl value) {
    calls.push_back(value == FlowControl::None ? "setFlowControl none" : "setFlowControl on");
    flow = value;
}

void FakeSerialPort::setRts(bool on) {
    calls.push_back(on ? "setRts 1" : "setRts 0");
    rts = on;
}

void FakeSerialPort::setDtr(bool on) {
    calls.push_back(on ? "setDtr 1" : "setDtr 0");
    dtr = on;
}

void FakeSerialPort::setInBufferSize(int bytes) {
    calls.push_back("setInBufferSize " + std::to_string(bytes));
    inBufferSize = bytes;
}

void FakeSerialPort::setInputLength(int bytes) {
    calls.push_back("setInputLength " + std::to_string(bytes));
    inputLength = bytes;
}

int FakeSerialPort::bytesWaiting() {
    return state_ == PortState::Open ? static_cast<int>(waiting.size()) : 0;
}

std::string FakeSerialPort::read() {
    if (state_ != PortState::Open)
        return {};
    std::string bytes;
    bytes.swap(waiting);
    return bytes;
}

std::string FakeSerialPort::deviceName() const {
    if (port.kind() == PortAddress::Kind::Device)
        return port.path();
    if (port.kind() == PortAddress::Kind::Unusable)
        return {};
    return "/dev/ttyFAKE" + std::to_string(port.portNumber());
}

} // namespace kvd::test
