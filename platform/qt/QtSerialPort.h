#pragma once

#include <QObject>
#include <QSerialPort>
#include <functional>
#include <optional>
#include <vector>

#include "platform/DeviceOrder.h"
#include "platform/SerialPort.h"

namespace kvd {

// The serial devices the system lists.
std::vector<SerialDevice> ListSerialDevices();

// The serial port on Qt's QSerialPort, on Linux (Windows has its own, in
// platform/win32). A port number n is the n-th serial device the system lists,
// USB-serial adapters first (NthDevice); a device path is opened as it stands, or, named in
// another encoding than UTF-8, as the device it leads to (ResolveDevice). Reading needs the
// event loop to run, which it does on the user-interface thread between ticks. When the device
// fails under an open port (unplugged, gone, a read error, a hang-up found by checkLine) the port
// is closed at once and its state becomes Lost; what it had received by then can still be read
// once. A device path that is not a serial device is not opened, nor is any device that is the
// terminal the program runs in, the console or the pseudo-terminal master
// (WhyNotTheInstrumentsLine).
class QtSerialPort final : public QObject, public SerialPort {
    Q_OBJECT

public:
    // Lists the serial devices port numbers count through.
    using DeviceLister = std::function<std::vector<SerialDevice>()>;

    explicit QtSerialPort(QObject* parent = nullptr, DeviceLister listDevices = ListSerialDevices);

    void setPort(const PortAddress& port) override;
    PortState state() const override { return state_; }
    Outcome open() override;
    void close() override;
    PortTrial tryPort(const PortAddress& port) override;

    void checkLine() override;
    int bytesWaiting() override;
    std::string read() override;

    std::string deviceName() const override { return device_; }
    // An adapter or pseudo-terminal as Linux tells it (ReadDeviceIdentity).
    DeviceIdentity identity() const override { return identity_; }
    DeviceIdentity identify(const std::string& device) override;
    std::string findDevice(const DeviceIdentity& identity) override;
    std::string problem() const override { return problem_; }

protected:
    void settingChanged(Part part) override;

private:
    const std::vector<SerialDevice>& Devices();
    std::string ResolveDevice();
    std::string NoDeviceReason();
    Outcome ApplyLineSettings();
    void ApplyModemLines();
    std::string WhyNotOpened() const;
    std::string LockName() const;
    void OnError(QSerialPort::SerialPortError error);
    void MarkLost(const std::string& why);

    QSerialPort* port_;
    DeviceLister listDevices_;
    PortAddress address_ = PortAddress::number(1);
    std::string device_;
    PortState state_ = PortState::Closed;
    DeviceIdentity identity_;
    std::string problem_;
    // What the port had received when it was lost, handed to the next read.
    std::string leftOver_;
    std::optional<std::vector<SerialDevice>> devices_;
};

} // namespace kvd
