#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/SerialPort.h"

namespace kvd::test {

// A serial port scripted by the test: which ports exist, what arrives on the line,
// when the device is lost. It records every call in order, so tests can check
// the exact sequence of a configuration.
class FakeSerialPort final : public SerialPort {
public:
    // Port numbers that open; any other fails with "no such device".
    std::set<int> present;
    // Ports that exist but refuse to open, with the reason given.
    std::map<int, std::string> refused;
    // Every call, in order: "close", "setPort 2", "setRts 1", "open", ...
    std::vector<std::string> calls;

    // The settings as last given.
    PortAddress port = PortAddress::number(0);
    std::string settings;
    FlowControl flow = FlowControl::Hardware;
    bool rts = false;
    bool dtr = true;
    int inBufferSize = 0;
    int inputLength = -1;

    // Bytes that arrived on the line and wait to be read.
    std::string waiting;

    void arrive(const std::string& bytes) { waiting += bytes; }
    // The device fails under an open port, as an unplugged adapter does; it
    // cannot be opened again until plugged back in.
    void lose();
    void plugBackIn() { unplugged = false; }
    bool unplugged = false;

    void setPort(const PortAddress& address) override;
    PortState state() const override { return state_; }
    Outcome open() override;
    void close() override;
    void setSettings(const std::string& text) override;
    void setFlowControl(FlowControl value) override;
    void setRts(bool on) override;
    void setDtr(bool on) override;
    void setInBufferSize(int bytes) override;
    void setInputLength(int bytes) override;
    int bytesWaiting() override;
    std::string read() override;
    std::string deviceName() const override;
    std::string problem() const override { return problem_; }

private:
    PortState state_ = PortState::Closed;
    std::string problem_;
};

} // namespace kvd::test
