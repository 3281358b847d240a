#pragma once

#include "platform/win32/WindowsApi.h"

#include <map>
#include <string>
#include <vector>

namespace kvd {

// A COM port as Windows lists it (the SERIALCOMM key): its name ("COM7") and its
// driver's device ("\Device\VCP0" for an FTDI adapter, "\Device\Serial0" for a
// port on the board).
struct ListedPort {
    std::string name;
    std::string device;

    bool operator==(const ListedPort&) const = default;
};

// The device behind a COM port, as SetupAPI describes it.
struct PortHardware {
    // What Device Manager calls it: "USB Serial Port (COM7)".
    std::string friendlyName;
    // Its device instance ID, which begins with the bus that found it:
    // "FTDIBUS\VID_0403+PID_6001+A50285BIA\0000", "USB\VID_067B&PID_2303\5&1A2B3C&0&2",
    // "BTHENUM\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0002\7&2E1F&0&0_C00000000",
    // "ACPI\PNP0501\1".
    std::string instanceId;
    // Its setup class: "Ports", or "Modem" for a modem.
    std::string setupClass;
    // The instance IDs of the devices it hangs on (CM_Get_Parent), nearest
    // first, as far as the first on USB: "USB\VID_2890&PID_0213\5&1A2B3C&0&2".
    std::vector<std::string> parents = {};
};

// The Win32 calls the serial port makes, and nothing else. A seam, because what
// the program must survive is drivers' behaviour that Wine's COM port (a
// pseudo-terminal) never shows: each USB-serial driver reports an unplug its own
// way (FTDI's ReadFile fails with ERROR_OPERATION_ABORTED, Prolific's with
// ERROR_BAD_COMMAND, some with ERROR_ACCESS_DENIED or ERROR_DEVICE_REMOVED, and
// some keep answering ClearCommError on a dead handle), overruns drop bytes
// (CE_OVERRUN, CE_RXOVER), and calls the documentation allows to fail do. Tests
// play those answers back through a scripted driver; the program uses the
// system's.
class CommDriver {
public:
    virtual ~CommDriver() = default;

    // CreateFileW for reading; INVALID_HANDLE_VALUE on failure.
    virtual HANDLE open(const std::wstring& path) = 0;
    virtual BOOL setupComm(HANDLE port, DWORD inQueue) = 0;
    virtual BOOL getState(HANDLE port, DCB& line) = 0;
    virtual BOOL setState(HANDLE port, DCB& line) = 0;
    virtual BOOL setTimeouts(HANDLE port, COMMTIMEOUTS& timeouts) = 0;
    virtual BOOL escape(HANDLE port, DWORD function) = 0;
    virtual BOOL clearError(HANDLE port, DWORD& errors, COMSTAT& status) = 0;
    virtual BOOL modemStatus(HANDLE port, DWORD& status) = 0;
    virtual BOOL read(HANDLE port, char* into, DWORD size, DWORD& got) = 0;
    virtual void close(HANDLE port) = 0;
    // GetLastError after a call that failed.
    virtual DWORD lastError() = 0;
    // The COM ports the system has now, as the SERIALCOMM key lists them: cheap
    // enough to ask on every poll.
    virtual std::vector<ListedPort> ports() = 0;
    // The devices behind the ports present, by port name ("COM7"), as SetupAPI
    // knows them: Wine's SetupAPI knows none. It walks every device, so only at
    // start-up and when a list is filled.
    virtual std::map<std::string, PortHardware> hardware() = 0;
};

// The system's own calls.
CommDriver& SystemCommDriver();

} // namespace kvd
