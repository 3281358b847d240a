#include "platform/qt/QtSerialPort.h"

#include <QSerialPortInfo>
#include <QTimer>
#include <utility>

#include "platform/DeviceOrder.h"
#include "platform/LineSettings.h"
#include "platform/posix/DeviceCheck.h"
#include "platform/posix/PortHolder.h"
#include "platform/posix/SysfsIdentity.h"

namespace kvd {

namespace {

QSerialPort::Parity ToQtParity(char parity) {
    switch (parity) {
    case 'E':
        return QSerialPort::EvenParity;
    case 'O':
        return QSerialPort::OddParity;
    case 'M':
        return QSerialPort::MarkParity;
    case 'S':
        return QSerialPort::SpaceParity;
    default:
        return QSerialPort::NoParity;
    }
}

QSerialPort::FlowControl ToQtFlow(FlowControl flow) {
    switch (flow) {
    case FlowControl::Hardware:
        return QSerialPort::HardwareControl;
    case FlowControl::Software:
        return QSerialPort::SoftwareControl;
    case FlowControl::None:
        break;
    }
    return QSerialPort::NoFlowControl;
}

// Whether Qt opens a device by this very name. Qt takes a port's name as text:
// it opens the device by that text in UTF-8 and names its lock file
// (/run/lock/LCK..ttyUSB0) after it, so a name in another encoding (a link
// named in Latin-1) would be checked here as one device and locked and opened
// as another, its bytes taken for UTF-8.
bool QtKeeps(const std::string& name) {
    return QString::fromStdString(name).toStdString() == name;
}

} // namespace

std::vector<SerialDevice> ListSerialDevices() {
    std::vector<SerialDevice> devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        devices.push_back({info.systemLocation().toStdString(),
                           info.hasVendorIdentifier() && info.hasProductIdentifier()});
    return devices;
}

QtSerialPort::QtSerialPort(QObject* parent, DeviceLister listDevices)
    : QObject(parent), port_(new QSerialPort(this)), listDevices_(std::move(listDevices)) {
    connect(port_, &QSerialPort::errorOccurred, this, &QtSerialPort::OnError);
}

// The system's serial devices, listed once for all the opens of one user action
// or of start-up (listing walks every tty the system has): the list is dropped
// when the event loop next turns.
const std::vector<SerialDevice>& QtSerialPort::Devices() {
    if (!devices_) {
        devices_ = listDevices_();
        QTimer::singleShot(0, this, [this] { devices_.reset(); });
    }
    return *devices_;
}

PortTrial QtSerialPort::tryPort(const PortAddress& port) {
    QtSerialPort trial(nullptr, listDevices_);
    return TryOnItsOwn(trial, port, [](QtSerialPort& own) { return own.open(); });
}

// The device a port address stands for; empty when it names none. A device path
// Qt would not keep is taken as the device it leads to, which the kernel names
// in ASCII (/dev/pts/3, /dev/ttyUSB0), and checked, locked and opened by that
// one name.
std::string QtSerialPort::ResolveDevice() {
    switch (address_.kind()) {
    case PortAddress::Kind::Device: {
        if (QtKeeps(address_.path()))
            return address_.path();
        std::string real = RealName(address_.path());
        return QtKeeps(real) ? real : std::string();
    }
    case PortAddress::Kind::Number:
        return NthDevice(Devices(), address_.portNumber());
    case PortAddress::Kind::Unusable:
        break;
    }
    return {};
}

std::string QtSerialPort::NoDeviceReason() {
    switch (address_.kind()) {
    case PortAddress::Kind::Device:
        if (std::string why = WhyNotASerialDevice(address_.path()); !why.empty())
            return why;
        return "it is named in another encoding than UTF-8, and so is the device it leads to, "
               "but a serial port can only be opened by a UTF-8 name: make a link to the device "
               "with such a name (ln -s) and give that instead";
    case PortAddress::Kind::Unusable:
        return "\"" + address_.path() + "\" is not a port number";
    case PortAddress::Kind::Number:
        break;
    }
    return "there is no serial port " + std::to_string(address_.portNumber()) +
           " (this computer lists " + std::to_string(Devices().size()) + ")";
}

void QtSerialPort::setPort(const PortAddress& port) {
    state_ = StateWhenPointed(state_, address_, port);
    address_ = port;
    device_.clear(); // found again, in the system's current list, when opened
    leftOver_.clear();
}

Outcome QtSerialPort::open() {
    if (state_ == PortState::Open)
        return Outcome::success();
    leftOver_.clear();
    identity_ = {};
    device_ = ResolveDevice();
    if (device_.empty()) {
        problem_ = NoDeviceReason();
        return Outcome::failure(problem_);
    }
    // A listed device may be the terminal the program runs in too (a login on
    // a serial console).
    problem_ = address_.kind() == PortAddress::Kind::Device ? WhyNotASerialDevice(device_)
                                                            : WhyNotTheInstrumentsLine(device_);
    if (!problem_.empty())
        return Outcome::failure(problem_);
    port_->setPortName(QString::fromStdString(device_));
    problem_ = WhyTheLockFileIsPlanted(device_, LockFileName(LockName()));
    if (!problem_.empty())
        return Outcome::failure(problem_);
    if (Outcome settings = ApplyLineSettings(); !settings) {
        problem_ = settings.reason();
        return settings;
    }
    if (!port_->open(QIODevice::ReadOnly)) {
        problem_ = WhyNotOpened();
        port_->clearError();
        return Outcome::failure(problem_);
    }
    state_ = PortState::Open;
    identity_ = ReadDeviceIdentity(device_);
    problem_.clear();
    ApplyModemLines();
    // Setting the modem lines can find the device already gone.
    if (state_ != PortState::Open)
        return Outcome::failure(problem_);
    return Outcome::success();
}

// The port's name as Qt names its lock file after it ("ttyUSB0", "pts/3").
std::string QtSerialPort::LockName() const {
    return port_->portName().toLocal8Bit().toStdString();
}

// Qt's word for a held lock file and for a device another program has open
// alone is "permission", as for a device this user may not open: only the
// last is a matter of permission.
std::string QtSerialPort::WhyNotOpened() const {
    const std::string said = port_->errorString().toStdString();
    if (port_->error() != QSerialPort::PermissionError)
        return said;
    return WhyRefused(device_, LockFileName(LockName()), said);
}

DeviceIdentity QtSerialPort::identify(const std::string& device) {
    return ReadDeviceIdentity(device);
}

std::string QtSerialPort::findDevice(const DeviceIdentity& identity) {
    return FindAdapter(identity);
}

void QtSerialPort::close() {
    if (port_->isOpen())
        port_->close();
    port_->clearError();
    if (state_ == PortState::Open)
        state_ = PortState::Closed;
}

// The flow control and the read buffer's size are Qt's to keep while the port is
// closed; the line settings are set on opening (ApplyLineSettings). Qt's reads
// always return everything waiting, whatever the input length.
void QtSerialPort::settingChanged(Part part) {
    switch (part) {
    case Part::Flow:
        port_->setFlowControl(ToQtFlow(settings().flow));
        break;
    case Part::Rts:
    case Part::Dtr:
        ApplyModemLines();
        break;
    case Part::InBufferSize:
        port_->setReadBufferSize(settings().inBufferSize);
        break;
    case Part::Line:
    case Part::InputLength:
        break;
    }
}

void QtSerialPort::checkLine() {
    if (state_ != PortState::Open)
        return;
    if (const std::string why = WhyLineIsDown(device_, port_->handle()); !why.empty())
        MarkLost(why);
}

int QtSerialPort::bytesWaiting() {
    if (state_ == PortState::Lost)
        return static_cast<int>(leftOver_.size());
    return state_ == PortState::Open ? static_cast<int>(port_->bytesAvailable()) : 0;
}

std::string QtSerialPort::read() {
    if (state_ == PortState::Lost)
        return std::exchange(leftOver_, {});
    if (state_ != PortState::Open)
        return {};
    const QByteArray bytes = port_->readAll();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// Without line settings the port opens with the ones it has.
Outcome QtSerialPort::ApplyLineSettings() {
    const std::optional<LineSettingsValue>& line = settings().line;
    if (!line)
        return Outcome::success();
    port_->setBaudRate(line->baudRate);
    port_->setDataBits(static_cast<QSerialPort::DataBits>(line->dataBits));
    port_->setParity(ToQtParity(line->parity));
    port_->setStopBits(line->stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
    port_->setFlowControl(ToQtFlow(settings().flow));
    return Outcome::success();
}

// The modem lines can only be set on an open port; they are applied on opening
// and on every change while open. A device without modem lines (a pseudo-terminal)
// refuses them, which does not stop it from receiving.
void QtSerialPort::ApplyModemLines() {
    if (state_ != PortState::Open)
        return;
    if (settings().flow != FlowControl::Hardware)
        port_->setRequestToSend(settings().rts);
    port_->setDataTerminalReady(settings().dtr);
    port_->clearError();
}

void QtSerialPort::OnError(QSerialPort::SerialPortError error) {
    if (state_ != PortState::Open ||
        (error != QSerialPort::ResourceError && error != QSerialPort::ReadError))
        return;
    MarkLost(port_->errorString().toStdString());
}

// Closed at once, so that nothing spins on a dead device. What Qt had already
// received is kept for the next read: a screenshot whose last byte came just
// before the instrument was switched off or the adapter pulled is still whole.
// (The system drops what it still held itself when the line hangs up.)
void QtSerialPort::MarkLost(const std::string& why) {
    const QByteArray received = port_->readAll();
    leftOver_.assign(received.constData(), static_cast<std::size_t>(received.size()));
    problem_ = why;
    port_->close();
    port_->clearError();
    state_ = PortState::Lost;
}

} // namespace kvd
