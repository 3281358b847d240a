#pragma once

#include <string>

#include "platform/SerialPort.h"

namespace kvd {

// The name Windows opens a COM port by: "\\.\COM10". Ports above 9 open only
// this way, and the lower ones too.
std::string ComDevicePath(int portNumber);

// What CreateFileW opens for a port's name ("COM12" as "\\.\COM12") or a device
// path given as it stands, in UTF-16.
std::wstring PortOpenPath(const std::string& device);

// The serial port on Windows' own communications API. A port number n is COMn; a
// device text is a port's name ("COM12") or a device path ("\\.\COM12"). Reads
// never wait: the port is polled, as the program does twice a second. When the
// port fails under us (an adapter unplugged) it is closed at once and its state
// becomes Lost; what it had received by then can still be read once.
class Win32SerialPort final : public SerialPort {
public:
    Win32SerialPort() = default;
    ~Win32SerialPort() override;
    Win32SerialPort(const Win32SerialPort&) = delete;
    Win32SerialPort& operator=(const Win32SerialPort&) = delete;

    void setPort(const PortAddress& port) override;
    PortState state() const override { return state_; }
    Outcome open() override;
    void close() override;
    PortTrial tryPort(const PortAddress& port) override;

    void setSettings(const std::string& settings) override { settings_ = settings; }
    void setFlowControl(FlowControl flow) override;
    void setRts(bool on) override;
    void setDtr(bool on) override;
    void setInBufferSize(int bytes) override { inBufferSize_ = bytes; }
    // Every read returns all that is waiting, which is what the program asks for.
    void setInputLength(int) override {}

    void checkLine() override;
    int bytesWaiting() override;
    std::string read() override;

    std::string deviceName() const override { return device_; }
    std::string problem() const override { return problem_; }

private:
    std::string ResolveDevice() const;
    Outcome Configure();
    void ApplyModemLines();
    bool ReadWaiting(std::string& into);
    void MarkLost(const std::string& why);

    void* handle_ = nullptr; // a HANDLE; null while closed
    PortAddress address_ = PortAddress::number(1);
    std::string device_;
    std::string settings_;
    FlowControl flow_ = FlowControl::None;
    bool rts_ = false;
    bool dtr_ = false;
    int inBufferSize_ = 0;
    PortState state_ = PortState::Closed;
    std::string problem_;
    std::string leftOver_;
};

} // namespace kvd
