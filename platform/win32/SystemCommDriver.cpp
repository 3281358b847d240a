#include "platform/win32/CommDriver.h"
#include "platform/win32/WideText.h"

#include <devguid.h>
#include <map>
#include <setupapi.h>

namespace kvd {

namespace {

// Device Manager's names of the ports present, by port name: "COM7" ->
// "USB Serial Port (COM7)".
std::map<std::string, std::string> FriendlyNames() {
    std::map<std::string, std::string> names;
    HDEVINFO devices = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE)
        return names;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(devices, i, &device); ++i) {
        wchar_t portName[64] = {};
        HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        DWORD bytes = sizeof portName - sizeof(wchar_t);
        const bool named = RegQueryValueExW(key, L"PortName", nullptr, nullptr,
                                            reinterpret_cast<BYTE*>(portName), &bytes) == 0;
        RegCloseKey(key);
        wchar_t friendly[256] = {};
        if (named && SetupDiGetDeviceRegistryPropertyW(devices, &device, SPDRP_FRIENDLYNAME,
                                                       nullptr, reinterpret_cast<BYTE*>(friendly),
                                                       sizeof friendly - sizeof(wchar_t), nullptr))
            names[Utf8(portName)] = Utf8(friendly);
    }
    SetupDiDestroyDeviceInfoList(devices);
    return names;
}

class System final : public CommDriver {
public:
    HANDLE open(const std::wstring& path) override {
        return CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    BOOL setupComm(HANDLE port, DWORD inQueue) override { return SetupComm(port, inQueue, 0); }
    BOOL getState(HANDLE port, DCB& line) override { return GetCommState(port, &line); }
    BOOL setState(HANDLE port, DCB& line) override { return SetCommState(port, &line); }
    BOOL setTimeouts(HANDLE port, COMMTIMEOUTS& timeouts) override {
        return SetCommTimeouts(port, &timeouts);
    }
    BOOL escape(HANDLE port, DWORD function) override { return EscapeCommFunction(port, function); }
    BOOL clearError(HANDLE port, DWORD& errors, COMSTAT& status) override {
        return ClearCommError(port, &errors, &status);
    }
    BOOL modemStatus(HANDLE port, DWORD& status) override {
        return GetCommModemStatus(port, &status);
    }
    BOOL read(HANDLE port, char* into, DWORD size, DWORD& got) override {
        return ReadFile(port, into, size, &got, nullptr);
    }
    void close(HANDLE port) override { CloseHandle(port); }
    DWORD lastError() override { return GetLastError(); }

    std::vector<ListedPort> ports() override {
        std::vector<ListedPort> found;
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ,
                          &key) != ERROR_SUCCESS)
            return found;
        for (DWORD i = 0;; ++i) {
            wchar_t device[256];
            wchar_t name[64];
            DWORD deviceLength = DWORD(std::size(device));
            DWORD nameBytes = sizeof name - sizeof(wchar_t);
            DWORD type = 0;
            const LONG status = RegEnumValueW(key, i, device, &deviceLength, nullptr, &type,
                                              reinterpret_cast<BYTE*>(name), &nameBytes);
            if (status == ERROR_NO_MORE_ITEMS)
                break;
            if (status != ERROR_SUCCESS || type != REG_SZ)
                continue;
            const int nameLength = int(nameBytes / sizeof(wchar_t));
            name[nameLength] = L'\0';
            found.push_back({Utf8(name), Utf8(device, deviceLength)});
        }
        RegCloseKey(key);
        return found;
    }
    std::map<std::string, std::string> friendlyNames() override { return FriendlyNames(); }
};

} // namespace

CommDriver& SystemCommDriver() {
    static System system;
    return system;
}

} // namespace kvd
