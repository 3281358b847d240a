#include "platform/win32/Win32SerialPort.h"

#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "platform/ComName.h"
#include "platform/DeviceOrder.h"
#include "platform/LineSettings.h"
#include "platform/win32/SystemErrorText.h"
#include "platform/win32/WideText.h"

namespace kvd {

namespace {

// Why a port did not open, in the words a user needs: on Windows a port another
// program holds answers "access denied".
std::string WhyNotOpened(DWORD error, const std::string& device) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return "there is no serial port " + device + " on this computer";
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return device + " is in use by another program";
    case ERROR_SEM_TIMEOUT:
        return device + " did not answer: a Bluetooth port waits for the device it is paired "
                        "with; make sure that device is on and in range";
    default:
        return SystemErrorText(error);
    }
}

BYTE ToParity(char parity) {
    switch (parity) {
    case 'E':
        return EVENPARITY;
    case 'O':
        return ODDPARITY;
    case 'M':
        return MARKPARITY;
    case 'S':
        return SPACEPARITY;
    default:
        return NOPARITY;
    }
}

// The errors ClearCommError reports for bytes lost or garbled on the line.
constexpr DWORD LineErrors = CE_OVERRUN | CE_RXOVER | CE_FRAME | CE_RXPARITY | CE_BREAK;

std::string DescribeLineError(DWORD errors) {
    if (errors & CE_OVERRUN)
        return "overrun: the adapter could not keep up";
    if (errors & CE_RXOVER)
        return "the driver's input buffer overflowed";
    if (errors & CE_FRAME)
        return "framing error: the line's speed or wiring is wrong";
    if (errors & CE_RXPARITY)
        return "parity error";
    return "a break on the line";
}

// The devices behind the ports, by port name as the program spells it.
std::map<std::string, PortHardware> HardwareByName(CommDriver& driver) {
    std::map<std::string, PortHardware> byName;
    for (auto& [name, hardware] : driver.hardware())
        if (const std::optional<std::string> comName = ComPortName(name))
            byName[*comName] = std::move(hardware);
    return byName;
}

// The device behind the port `name` by its instance ID, as SetupAPI describes
// it in `hardware`: "USB Serial Port, FTDIBUS\VID_0403+PID_6001+A50285BIA\0000".
// NotChecked for a port SetupAPI does not know.
DeviceIdentity IdentityOf(const std::string& name,
                          const std::map<std::string, PortHardware>& hardware) {
    const auto known = hardware.find(name);
    if (known == hardware.end() || known->second.instanceId.empty())
        return {};
    std::string words = known->second.friendlyName;
    if (const std::string suffix = " (" + name + ")"; words.ends_with(suffix))
        words.erase(words.size() - suffix.size());
    words += (words.empty() ? "" : ", ") + known->second.instanceId;
    return {DeviceIdentity::Kind::Device, known->second.instanceId, words};
}

} // namespace

// A CreateFileW on a thread of its own, and what it gave.
struct PendingOpen {
    std::wstring path;
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool abandoned = false; // nobody will take the handle: it is closed
    HANDLE handle = INVALID_HANDLE_VALUE;
    DWORD error = 0;
};

namespace {

std::shared_ptr<PendingOpen> StartOpen(CommDriver& driver, const std::wstring& path) {
    auto pending = std::make_shared<PendingOpen>();
    pending->path = path;
    std::thread([&driver, pending] {
        HANDLE handle = driver.open(pending->path);
        const DWORD error = handle == INVALID_HANDLE_VALUE ? driver.lastError() : 0;
        const std::lock_guard lock(pending->mutex);
        if (pending->abandoned && handle != INVALID_HANDLE_VALUE) {
            driver.close(handle);
            handle = INVALID_HANDLE_VALUE;
        }
        pending->handle = handle;
        pending->error = error;
        pending->done = true;
        pending->finished.notify_all();
    }).detach();
    return pending;
}

} // namespace

std::string ComDevicePath(int portNumber) {
    return "\\\\.\\COM" + std::to_string(portNumber);
}

std::wstring PortOpenPath(const std::string& device) {
    const std::optional<std::string> name = ComPortName(device);
    return Wide(name ? "\\\\.\\" + *name : device);
}

Win32SerialPort::~Win32SerialPort() {
    close();
    AbandonOpen();
}

// Gives up an open that was not taken: its handle is closed, now or when its
// CreateFileW returns.
void Win32SerialPort::AbandonOpen() {
    const std::shared_ptr<PendingOpen> pending = std::exchange(pending_, nullptr);
    if (!pending)
        return;
    const std::lock_guard lock(pending->mutex);
    pending->abandoned = true;
    if (pending->done && pending->handle != INVALID_HANDLE_VALUE)
        driver_.close(pending->handle);
    pending->handle = INVALID_HANDLE_VALUE;
}

void Win32SerialPort::setPort(const PortAddress& port) {
    state_ = StateWhenPointed(state_, address_, port);
    address_ = port;
    device_.clear();
    leftOver_.clear();
}

// The port's name as users know it: "COM5".
std::string Win32SerialPort::ResolveDevice() const {
    switch (address_.kind()) {
    case PortAddress::Kind::Number:
        return address_.portNumber() >= 1 ? "COM" + std::to_string(address_.portNumber())
                                          : std::string{};
    case PortAddress::Kind::Device:
        return address_.path();
    case PortAddress::Kind::Unusable:
        break;
    }
    return {};
}

// Opens the port's handle and checks that it is a serial port; nothing about
// the line is changed yet. CreateFileW runs on a thread of its own, waited for
// `wait` at the most; an open already under way for the same port is waited for
// instead of starting another.
Outcome Win32SerialPort::OpenHandle(std::chrono::milliseconds wait) {
    leftOver_.clear();
    received_.clear();
    lineError_.clear();
    identity_ = {};
    device_ = ResolveDevice();
    if (device_.empty()) {
        problem_ = "\"" + address_.path() + "\" is not a port number";
        return Outcome::failure(problem_);
    }
    const std::wstring path = PortOpenPath(device_);
    if (pending_ && pending_->path != path)
        AbandonOpen();
    if (!pending_)
        pending_ = StartOpen(driver_, path);
    const std::shared_ptr<PendingOpen> pending = pending_;
    std::unique_lock lock(pending->mutex);
    if (!pending->finished.wait_for(lock, wait, [&] { return pending->done; })) {
        problem_ = device_ + " has not answered yet: a Bluetooth port waits for the device it "
                             "is paired with, and opens once that device answers; make sure "
                             "it is on and in range";
        return Outcome::failure(problem_);
    }
    HANDLE handle = std::exchange(pending->handle, INVALID_HANDLE_VALUE);
    const DWORD error = pending->error;
    lock.unlock();
    pending_.reset();
    if (handle == INVALID_HANDLE_VALUE) {
        problem_ = WhyNotOpened(error, device_);
        return Outcome::failure(problem_);
    }
    DCB line{};
    line.DCBlength = sizeof line;
    if (!driver_.getState(handle, line)) {
        problem_ = Unusable(driver_.lastError());
        driver_.close(handle);
        return Outcome::failure(problem_);
    }
    handle_ = handle;
    return Outcome::success();
}

// Why a port that opened answers no serial port's call: it is none, or it was
// pulled while it opened, which its driver says as drivers say an unplug (see
// CommDriver), or by the port's name leaving the system's list.
std::string Win32SerialPort::Unusable(DWORD error) {
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_COMMAND:
    case ERROR_OPERATION_ABORTED:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
        return device_ + " was unplugged or switched off while it was being opened";
    default:
        break;
    }
    const std::optional<std::string> name = ComPortName(device_);
    const std::vector<ListedPort> listed = name ? driver_.ports() : std::vector<ListedPort>{};
    if (name && std::none_of(listed.begin(), listed.end(), [&](const ListedPort& port) {
            return ComPortName(port.name) == name;
        }))
        return device_ + " was unplugged or switched off while it was being opened";
    return device_ + " is not a serial port (" + SystemErrorText(error) + ")";
}

Outcome Win32SerialPort::open() {
    return Open(openWait_);
}

Outcome Win32SerialPort::reopen() {
    return Open(std::chrono::milliseconds::zero());
}

bool Win32SerialPort::stillOpening(std::chrono::milliseconds wait) {
    const std::shared_ptr<PendingOpen> pending = pending_;
    if (!pending)
        return false;
    std::unique_lock lock(pending->mutex);
    return !pending->finished.wait_for(lock, wait, [&] { return pending->done; });
}

Outcome Win32SerialPort::Open(std::chrono::milliseconds wait) {
    if (state_ == PortState::Open)
        return Outcome::success();
    if (Outcome opened = OpenHandle(wait); !opened)
        return opened;
    if (Outcome configured = Configure(); !configured) {
        driver_.close(handle_);
        handle_ = nullptr;
        problem_ = configured.reason();
        return configured;
    }
    DWORD modem = 0;
    modemAnswers_ = driver_.modemStatus(handle_, modem);
    const std::optional<std::string> name = ComPortName(device_);
    listedAs_.clear();
    const std::vector<ListedPort> listed = driver_.ports();
    for (const ListedPort& port : listed)
        if (name && ComPortName(port.name) == name)
            listedAs_ = *name;
    // Asked afresh: another adapter of the same make has the same driver's
    // device ("\Device\VCP0"), so the list may not show that it was swapped.
    identity_ =
        listedAs_.empty() ? DeviceIdentity{} : IdentityOf(listedAs_, SeenHardware(listed, true));
    state_ = PortState::Open;
    problem_.clear();
    ApplyModemLines();
    return Outcome::success();
}

// The input buffer, the line settings and flow control, and reads that return at
// once with what is there. A port that refuses any of them is not used: with
// the driver's own timeouts left in place, a read could wait for 4096 bytes.
Outcome Win32SerialPort::Configure() {
    const PortSettings& given = settings();
    if (given.inBufferSize > 0)
        driver_.setupComm(handle_, DWORD(given.inBufferSize));
    DCB line{};
    line.DCBlength = sizeof line;
    if (!driver_.getState(handle_, line))
        return Outcome::failure(Unusable(driver_.lastError()));
    if (const std::optional<LineSettingsValue>& wanted = given.line) {
        line.BaudRate = DWORD(wanted->baudRate);
        line.ByteSize = BYTE(wanted->dataBits);
        line.Parity = ToParity(wanted->parity);
        line.StopBits = wanted->stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    }
    line.fBinary = TRUE;
    line.fParity = line.Parity != NOPARITY;
    line.fOutxCtsFlow = given.flow == FlowControl::Hardware;
    line.fOutxDsrFlow = FALSE;
    line.fDsrSensitivity = FALSE;
    line.fOutX = line.fInX = given.flow == FlowControl::Software;
    line.fNull = FALSE;
    line.fAbortOnError = FALSE;
    line.fDtrControl = given.dtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    line.fRtsControl = given.flow == FlowControl::Hardware ? RTS_CONTROL_HANDSHAKE
                       : given.rts                         ? RTS_CONTROL_ENABLE
                                                           : RTS_CONTROL_DISABLE;
    if (!driver_.setState(handle_, line))
        return Outcome::failure("the line settings were refused (" +
                                SystemErrorText(driver_.lastError()) + ")");
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    if (!driver_.setTimeouts(handle_, timeouts))
        return Outcome::failure("the port's read timeouts were refused (" +
                                SystemErrorText(driver_.lastError()) + ")");
    return Outcome::success();
}

void Win32SerialPort::close() {
    if (handle_ != nullptr)
        driver_.close(handle_);
    handle_ = nullptr;
    if (state_ == PortState::Open)
        state_ = PortState::Closed;
}

// Only opened and closed again: a port that is not kept keeps its line settings
// and modem lines as they were.
PortTrial Win32SerialPort::tryPort(const PortAddress& port) {
    Win32SerialPort trial(driver_);
    return TryOnItsOwn(trial, port,
                       [this](Win32SerialPort& own) { return own.OpenHandle(openWait_); });
}

// The first two of the ports start-up may try, by what SetupAPI says of each.
std::vector<int> Win32SerialPort::probedPorts() {
    const std::map<std::string, PortHardware> hardware = HardwareByName(driver_);
    std::vector<ComPortDevice> listed;
    for (const ListedPort& port : driver_.ports()) {
        const std::optional<std::string> name = ComPortName(port.name);
        if (!name)
            continue;
        const auto known = hardware.find(*name);
        ComPortDevice& device = listed.emplace_back();
        device.name = *name;
        device.driverDevice = port.device;
        if (known != hardware.end()) {
            device.instanceId = known->second.instanceId;
            device.setupClass = known->second.setupClass;
            device.parents = known->second.parents;
        }
    }
    std::vector<int> numbers;
    for (const std::string& name : ComPortsToTry(listed)) {
        int number = 0;
        const char* end = name.data() + name.size();
        if (std::from_chars(name.data() + 3, end, number).ptr == end && number >= 1 &&
            number <= 32767)
            numbers.push_back(number);
        if (numbers.size() == 2)
            break;
    }
    return numbers;
}

std::string Win32SerialPort::friendlyName(const std::string& device) {
    const std::optional<std::string> name = ComPortName(device);
    if (!name)
        return device;
    const std::map<std::string, PortHardware> hardware = HardwareByName(driver_);
    const auto known = hardware.find(*name);
    return known != hardware.end() && !known->second.friendlyName.empty()
               ? known->second.friendlyName
               : device;
}

// The devices SetupAPI found behind the ports while the system listed them as
// `listed`, asked again when the list has changed since, or `afresh`.
const std::map<std::string, PortHardware>&
Win32SerialPort::SeenHardware(const std::vector<ListedPort>& listed, bool afresh) {
    if (afresh || !seenHardware_ || listed != seenPorts_) {
        seenHardware_ = HardwareByName(driver_);
        seenPorts_ = listed;
    }
    return *seenHardware_;
}

DeviceIdentity Win32SerialPort::identify(const std::string& device) {
    const std::optional<std::string> name = ComPortName(device);
    if (!name)
        return {};
    const std::vector<ListedPort> listed = driver_.ports();
    for (const ListedPort& port : listed)
        if (ComPortName(port.name) == name) {
            const DeviceIdentity who = IdentityOf(*name, SeenHardware(listed, false));
            if (!who.known())
                seenHardware_.reset(); // perhaps not installed yet: asked again next time
            return who;
        }
    return DeviceIdentity::absent();
}

std::string Win32SerialPort::findDevice(const DeviceIdentity& identity) {
    if (identity.kind != DeviceIdentity::Kind::Device)
        return {};
    const std::vector<ListedPort> listed = driver_.ports();
    const std::map<std::string, PortHardware>& hardware = SeenHardware(listed, false);
    for (const ListedPort& port : listed)
        if (const std::optional<std::string> name = ComPortName(port.name);
            name && IdentityOf(*name, hardware).sameAs(identity))
            return *name;
    return {};
}

// The line settings, the input buffer and the input length wait for the next
// open (every read returns all that is waiting, which is what the program asks
// for).
void Win32SerialPort::settingChanged(Part part) {
    switch (part) {
    case Part::Flow:
        if (state_ == PortState::Open)
            Configure();
        break;
    case Part::Rts:
    case Part::Dtr:
        ApplyModemLines();
        break;
    case Part::Line:
    case Part::InBufferSize:
    case Part::InputLength:
        break;
    }
}

// A port without modem lines (Wine's pseudo-terminal, some adapters) refuses
// them, which does not stop it from receiving.
void Win32SerialPort::ApplyModemLines() {
    if (state_ != PortState::Open)
        return;
    if (settings().flow != FlowControl::Hardware)
        driver_.escape(handle_, settings().rts ? SETRTS : CLRRTS);
    driver_.escape(handle_, settings().dtr ? SETDTR : CLRDTR);
}

// Whether the port's name is still in the system's list, for a port that was
// in it: an unplugged adapter's name leaves, whatever its driver says.
bool Win32SerialPort::StillListed() {
    if (listedAs_.empty())
        return true;
    for (const ListedPort& port : driver_.ports())
        if (ComPortName(port.name) == listedAs_)
            return true;
    return false;
}

// Every poll: the line's errors, the modem lines and a read, any of which is
// how one driver or another says that its device has gone.
void Win32SerialPort::checkLine() {
    if (state_ == PortState::Closed && pending_)
        Open(std::chrono::milliseconds::zero()); // the answer, if it has come
    if (state_ != PortState::Open)
        return;
    DWORD errors = 0;
    COMSTAT status{};
    if (!driver_.clearError(handle_, errors, status))
        return MarkLost(SystemErrorText(driver_.lastError()));
    if ((errors & LineErrors) != 0 && lineError_.empty())
        lineError_ = DescribeLineError(errors);
    DWORD modem = 0;
    if (modemAnswers_ && !driver_.modemStatus(handle_, modem))
        return MarkLost(SystemErrorText(driver_.lastError()));
    if (!StillListed())
        return MarkLost("the port has gone from this computer's list");
    if (!ReadWaiting(received_))
        MarkLost(SystemErrorText(driver_.lastError()));
}

// What checkLine read on this poll.
int Win32SerialPort::bytesWaiting() {
    if (state_ == PortState::Lost)
        return int(leftOver_.size());
    return state_ == PortState::Open ? int(received_.size()) : 0;
}

std::string Win32SerialPort::read() {
    if (state_ == PortState::Lost)
        return std::exchange(leftOver_, {});
    return std::exchange(received_, {});
}

std::string Win32SerialPort::takeLineError() {
    return std::exchange(lineError_, {});
}

// Appends what the port holds; false when reading failed. The timeouts make a
// read return at once with what is there, or nothing.
bool Win32SerialPort::ReadWaiting(std::string& into) {
    char chunk[4096];
    for (;;) {
        DWORD got = 0;
        if (!driver_.read(handle_, chunk, sizeof chunk, got))
            return false;
        into.append(chunk, got);
        if (got < sizeof chunk)
            return true;
    }
}

// Closed at once, keeping what had arrived for the next read: a screenshot whose
// last byte came just before the adapter was pulled is still whole.
void Win32SerialPort::MarkLost(const std::string& why) {
    problem_ = why;
    leftOver_ += std::exchange(received_, {});
    driver_.close(handle_);
    handle_ = nullptr;
    state_ = PortState::Lost;
}

} // namespace kvd
