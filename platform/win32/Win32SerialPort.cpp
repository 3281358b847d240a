#include "platform/win32/Win32SerialPort.h"

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <utility>

#include "platform/LineSettings.h"

namespace kvd {

namespace {

HANDLE AsHandle(void* handle) {
    return static_cast<HANDLE>(handle);
}

std::wstring Wide(const std::string& text) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(std::size_t(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), size);
    return wide;
}

std::string Utf8(const wchar_t* text, int length) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string narrow(std::size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, narrow.data(), size, nullptr, nullptr);
    return narrow;
}

// The system's own words for an error, without the full stop and line end.
std::string SystemReason(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string reason = length > 0 ? Utf8(text, int(length)) : std::string{};
    LocalFree(text);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                               reason.back() == '.' || reason.back() == ' '))
        reason.pop_back();
    return reason.empty() ? "error " + std::to_string(error) : reason;
}

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
    default:
        return SystemReason(error);
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

bool IsDigits(const std::string& text, std::size_t from) {
    if (text.size() <= from)
        return false;
    for (std::size_t i = from; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

} // namespace

std::string ComDevicePath(int portNumber) {
    return "\\\\.\\COM" + std::to_string(portNumber);
}

std::wstring PortOpenPath(const std::string& device) {
    const bool comName = device.size() > 3 && IsDigits(device, 3) &&
                         (device.compare(0, 3, "COM") == 0 || device.compare(0, 3, "com") == 0);
    return Wide(comName ? ComDevicePath(std::stoi(device.substr(3))) : device);
}

Win32SerialPort::~Win32SerialPort() {
    close();
}

void Win32SerialPort::setPort(const PortAddress& port) {
    if (state_ == PortState::Lost && !(port == address_))
        state_ = PortState::Closed;
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

Outcome Win32SerialPort::open() {
    if (state_ == PortState::Open)
        return Outcome::success();
    leftOver_.clear();
    device_ = ResolveDevice();
    if (device_.empty()) {
        problem_ = "\"" + address_.path() + "\" is not a port number";
        return Outcome::failure(problem_);
    }
    HANDLE handle = CreateFileW(PortOpenPath(device_).c_str(), GENERIC_READ, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        problem_ = WhyNotOpened(GetLastError(), device_);
        return Outcome::failure(problem_);
    }
    handle_ = handle;
    if (Outcome configured = Configure(); !configured) {
        CloseHandle(handle);
        handle_ = nullptr;
        problem_ = configured.reason();
        return configured;
    }
    state_ = PortState::Open;
    problem_.clear();
    ApplyModemLines();
    return Outcome::success();
}

// The input buffer, the line settings and flow control, and reads that return at
// once with what is there.
Outcome Win32SerialPort::Configure() {
    if (inBufferSize_ > 0)
        SetupComm(AsHandle(handle_), DWORD(inBufferSize_), 0);
    DCB line{};
    line.DCBlength = sizeof line;
    if (!GetCommState(AsHandle(handle_), &line))
        return Outcome::failure(device_ + " is not a serial port (" + SystemReason(GetLastError()) +
                                ")");
    if (!settings_.empty()) {
        const auto wanted = ParseLineSettings(settings_);
        if (!wanted)
            return Outcome::failure("unreadable line settings \"" + settings_ + "\"");
        line.BaudRate = DWORD(wanted->baudRate);
        line.ByteSize = BYTE(wanted->dataBits);
        line.Parity = ToParity(wanted->parity);
        line.StopBits = wanted->stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    }
    line.fBinary = TRUE;
    line.fParity = line.Parity != NOPARITY;
    line.fOutxCtsFlow = flow_ == FlowControl::Hardware;
    line.fOutxDsrFlow = FALSE;
    line.fDsrSensitivity = FALSE;
    line.fOutX = line.fInX = flow_ == FlowControl::Software;
    line.fNull = FALSE;
    line.fAbortOnError = FALSE;
    line.fDtrControl = dtr_ ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    line.fRtsControl = flow_ == FlowControl::Hardware ? RTS_CONTROL_HANDSHAKE
                       : rts_                         ? RTS_CONTROL_ENABLE
                                                      : RTS_CONTROL_DISABLE;
    if (!SetCommState(AsHandle(handle_), &line))
        return Outcome::failure("the line settings were refused (" + SystemReason(GetLastError()) +
                                ")");
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    SetCommTimeouts(AsHandle(handle_), &timeouts);
    return Outcome::success();
}

void Win32SerialPort::close() {
    if (handle_ != nullptr)
        CloseHandle(AsHandle(handle_));
    handle_ = nullptr;
    if (state_ == PortState::Open)
        state_ = PortState::Closed;
}

PortTrial Win32SerialPort::tryPort(const PortAddress& port) {
    Win32SerialPort trial;
    trial.setPort(port);
    Outcome opened = trial.open();
    return {std::move(opened), trial.deviceName()};
}

void Win32SerialPort::setFlowControl(FlowControl flow) {
    flow_ = flow;
    if (state_ == PortState::Open)
        Configure();
}

void Win32SerialPort::setRts(bool on) {
    rts_ = on;
    ApplyModemLines();
}

void Win32SerialPort::setDtr(bool on) {
    dtr_ = on;
    ApplyModemLines();
}

// A port without modem lines (Wine's pseudo-terminal, some adapters) refuses
// them, which does not stop it from receiving.
void Win32SerialPort::ApplyModemLines() {
    if (state_ != PortState::Open)
        return;
    if (flow_ != FlowControl::Hardware)
        EscapeCommFunction(AsHandle(handle_), rts_ ? SETRTS : CLRRTS);
    EscapeCommFunction(AsHandle(handle_), dtr_ ? SETDTR : CLRDTR);
}

void Win32SerialPort::checkLine() {
    if (state_ != PortState::Open)
        return;
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(AsHandle(handle_), &errors, &status))
        MarkLost(SystemReason(GetLastError()));
}

int Win32SerialPort::bytesWaiting() {
    if (state_ == PortState::Lost)
        return int(leftOver_.size());
    if (state_ != PortState::Open)
        return 0;
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(AsHandle(handle_), &errors, &status)) {
        MarkLost(SystemReason(GetLastError()));
        return int(leftOver_.size());
    }
    return int(status.cbInQue);
}

std::string Win32SerialPort::read() {
    if (state_ == PortState::Lost)
        return std::exchange(leftOver_, {});
    std::string bytes;
    if (state_ == PortState::Open && !ReadWaiting(bytes))
        MarkLost(SystemReason(GetLastError()));
    return bytes;
}

// Appends what the port holds; false when reading failed.
bool Win32SerialPort::ReadWaiting(std::string& into) {
    char chunk[4096];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(AsHandle(handle_), chunk, sizeof chunk, &got, nullptr))
            return false;
        into.append(chunk, got);
        if (got < sizeof chunk)
            return true;
    }
}

// Closed at once, keeping what had arrived for the next read: a screenshot whose
// last byte came just before the adapter was pulled is still whole.
void Win32SerialPort::MarkLost(const std::string& why) {
    std::string received;
    ReadWaiting(received);
    leftOver_ += received;
    problem_ = why;
    CloseHandle(AsHandle(handle_));
    handle_ = nullptr;
    state_ = PortState::Lost;
}

} // namespace kvd
