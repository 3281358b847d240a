#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/SerialPort.h"
#include "platform/win32/CommDriver.h"

namespace kvd {

struct PendingOpen;

// The name Windows opens a COM port by: "\\.\COM10". Ports above 9 open only
// this way, and the lower ones too.
std::string ComDevicePath(int portNumber);

// What CreateFileW opens for a port's name ("COM12" as "\\.\COM12") or a device
// path given as it stands, in UTF-16.
std::wstring PortOpenPath(const std::string& device);

// The serial port on Windows' own communications API, through a CommDriver. A
// port number n is COMn; a device text is a port's name ("COM12", in any case) or
// a device path ("\\.\COM12"). Reads never wait: the port is polled, as the
// program does twice a second, and every poll reads, so that a driver which
// reports an unplug only through ReadFile is heard. Any failed ClearCommError,
// GetCommModemStatus or ReadFile, or a port whose name has left the system's
// list, means the port is lost: it is closed at once and its state becomes Lost;
// what it had received by then can still be read once. Line errors (overrun,
// framing) are handed to the session, which drops the screenshot in progress.
class Win32SerialPort final : public SerialPort {
public:
    explicit Win32SerialPort(CommDriver& driver = SystemCommDriver()) : driver_(driver) {}
    ~Win32SerialPort() override;
    Win32SerialPort(const Win32SerialPort&) = delete;
    Win32SerialPort& operator=(const Win32SerialPort&) = delete;

    void setPort(const PortAddress& port) override;
    PortState state() const override { return state_; }
    Outcome open() override;
    // Never waits: a lost port is retried at every poll.
    Outcome reopen() override;
    bool stillOpening(std::chrono::milliseconds wait) override;
    void close() override;
    PortTrial tryPort(const PortAddress& port) override;

    // Every poll reads here, whatever ClearCommError says waits.
    void checkLine() override;
    // What the poll's checkLine read.
    int bytesWaiting() override;
    std::string read() override;
    std::string takeLineError() override;
    // The first two COM ports Windows lists that start-up may try: adapters
    // before the board's own, never Bluetooth's or a modem's (ComPortsToTry).
    std::vector<int> probedPorts() override;
    // Device Manager's name: "USB Serial Port (COM7)".
    std::string friendlyName(const std::string& device) override;
    // A COM port's device by its instance ID, as SetupAPI knows it: a port
    // SetupAPI does not know (Wine's) is NotChecked. SetupAPI walks every
    // device, so a port's identity is asked of it when the port opens, and
    // otherwise only when the system's list of ports has changed since it was
    // last asked.
    DeviceIdentity identity() const override { return identity_; }
    DeviceIdentity identify(const std::string& device) override;
    std::string findDevice(const DeviceIdentity& identity) override;

    // How long the user's open waits for CreateFileW, which on an outgoing
    // Bluetooth port waits for the paired device, for seconds. An open that
    // takes longer goes on on a thread of its own without holding the window;
    // the port reports that it has not answered yet, and the next poll
    // (checkLine), or the next open of the same port, takes its answer.
    void setOpenWait(std::chrono::milliseconds wait) { openWait_ = wait; }

    std::string deviceName() const override { return device_; }
    std::string problem() const override { return problem_; }

protected:
    void settingChanged(Part part) override;

private:
    std::string ResolveDevice() const;
    Outcome Open(std::chrono::milliseconds wait);
    Outcome OpenHandle(std::chrono::milliseconds wait);
    std::string Unusable(DWORD error);
    Outcome Configure();
    void ApplyModemLines();
    bool ReadWaiting(std::string& into);
    bool StillListed();
    const std::map<std::string, PortHardware>& SeenHardware(const std::vector<ListedPort>& listed,
                                                            bool afresh);
    void MarkLost(const std::string& why);
    void AbandonOpen();

    CommDriver& driver_;
    HANDLE handle_ = nullptr; // null while closed
    PortAddress address_ = PortAddress::number(1);
    std::string device_;
    PortState state_ = PortState::Closed;
    std::string problem_;
    // Read from the port and not yet handed out; once lost, what it had.
    std::string received_;
    std::string leftOver_;
    std::string lineError_;
    // The port's name as the system listed it when it opened; empty when it was
    // not listed (a device path, or Wine's ports added by hand).
    std::string listedAs_;
    // Who the port's device was when it opened.
    DeviceIdentity identity_;
    // The ports as last listed, and the devices SetupAPI found behind them then;
    // none while that list is not to be trusted.
    std::vector<ListedPort> seenPorts_;
    std::optional<std::map<std::string, PortHardware>> seenHardware_;
    // Whether the port answered GetCommModemStatus when it opened: one without
    // modem lines (Wine's pseudo-terminal, some adapters) never does, and its
    // failing then says nothing of an unplug.
    bool modemAnswers_ = false;
    // The CreateFileW still running, or finished and not yet taken.
    std::shared_ptr<PendingOpen> pending_;
    std::chrono::milliseconds openWait_{500};
};

} // namespace kvd
