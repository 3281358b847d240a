#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <chrono>
#include <thread>

#include "platform/win32/Win32SerialPort.h"
#include "tools/InstrumentLine.h"

namespace kvd {

namespace {

std::string Reason(DWORD error) {
    return "Windows error " + std::to_string(error);
}

} // namespace

InstrumentLine::~InstrumentLine() {
    if (handle_ != nullptr)
        CloseHandle(static_cast<HANDLE>(handle_));
}

bool InstrumentLine::open(const std::string& device) {
    if (device.empty()) {
        error_ = "Windows has no pseudo-terminals: give the COM port to send on with --device "
                 "(for example one end of a virtual null-modem pair)";
        return false;
    }
    deviceName_ = device;
    // Setting the line needs read access too (Wine refuses it without).
    HANDLE handle = CreateFileW(PortOpenPath(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        error_ = "cannot open " + device + ": " +
                 (error == ERROR_FILE_NOT_FOUND  ? "there is no such port"
                  : error == ERROR_ACCESS_DENIED ? "another program holds it"
                                                 : Reason(error));
        return false;
    }
    handle_ = handle;
    DCB line{};
    line.DCBlength = sizeof line;
    GetCommState(handle, &line);
    line.BaudRate = CBR_57600;
    line.ByteSize = 8;
    line.Parity = NOPARITY;
    line.StopBits = ONESTOPBIT;
    line.fBinary = TRUE;
    line.fOutxCtsFlow = line.fOutxDsrFlow = line.fOutX = line.fInX = FALSE;
    line.fDtrControl = DTR_CONTROL_ENABLE;
    line.fRtsControl = RTS_CONTROL_ENABLE;
    if (!SetCommState(handle, &line)) {
        error_ = "cannot set " + device + " to 57600 bit/s: " + Reason(GetLastError());
        return false;
    }
    return true;
}

// The port itself sends at the line's pace: a write returns once the driver has
// the bytes.
bool InstrumentLine::send(std::string_view bytes) {
    DWORD written = 0;
    if (WriteFile(static_cast<HANDLE>(handle_), bytes.data(), DWORD(bytes.size()), &written,
                  nullptr) &&
        written == bytes.size())
        return true;
    error_ = "the line stopped taking bytes: " + Reason(GetLastError());
    return false;
}

void InstrumentLine::finish() {
    FlushFileBuffers(static_cast<HANDLE>(handle_));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
}

} // namespace kvd
