#include "platform/win32/CommDriver.h"
#include "platform/win32/WideText.h"

#include <cfgmgr32.h>
#include <devguid.h>
#include <initguid.h>
#include <map>
#include <setupapi.h>
#include <winioctl.h>

namespace kvd {

namespace {

// A text property of a device ("" when it has none).
std::string TextProperty(HDEVINFO devices, SP_DEVINFO_DATA& device, DWORD property) {
    wchar_t text[256] = {};
    if (!SetupDiGetDeviceRegistryPropertyW(devices, &device, property, nullptr,
                                           reinterpret_cast<BYTE*>(text),
                                           sizeof text - sizeof(wchar_t), nullptr))
        return {};
    return Utf8(text);
}

// The COM port a device is ("COM7"), from its "PortName" value; "" for none.
std::string PortNameOf(HDEVINFO devices, SP_DEVINFO_DATA& device) {
    HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE)
        return {};
    wchar_t portName[64] = {};
    DWORD bytes = sizeof portName - sizeof(wchar_t);
    DWORD type = 0;
    const bool named = RegQueryValueExW(key, L"PortName", nullptr, &type,
                                        reinterpret_cast<BYTE*>(portName), &bytes) == 0;
    RegCloseKey(key);
    return named && type == REG_SZ ? Utf8(portName) : std::string{};
}

// The instance IDs of the devices `device` hangs on, nearest first, up to the
// first on USB: a USB-serial driver may put a bus of its own between its ports
// and the USB device.
std::vector<std::string> ParentsOf(DEVINST device) {
    std::vector<std::string> parents;
    for (int depth = 0; depth < 8 && CM_Get_Parent(&device, device, 0) == CR_SUCCESS; ++depth) {
        wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
        if (CM_Get_Device_IDW(device, id, ULONG(std::size(id)), 0) != CR_SUCCESS)
            break;
        parents.push_back(Utf8(id));
        if (parents.back().starts_with("USB\\"))
            break;
    }
    return parents;
}

// Adds the COM ports of one set of devices that are not known yet: a device
// class (Ports, Modem) or the COM port interface, which some drivers give
// devices of other classes.
void AddPortsOf(const GUID& set, DWORD flags, const char* className,
                std::map<std::string, PortHardware>& found) {
    HDEVINFO devices = SetupDiGetClassDevsW(&set, nullptr, nullptr, DIGCF_PRESENT | flags);
    if (devices == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(devices, i, &device); ++i) {
        const std::string name = PortNameOf(devices, device);
        if (name.empty() || found.contains(name))
            continue;
        PortHardware& port = found[name];
        port.friendlyName = TextProperty(devices, device, SPDRP_FRIENDLYNAME);
        port.setupClass = TextProperty(devices, device, SPDRP_CLASS);
        if (port.setupClass.empty())
            port.setupClass = className;
        wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
        if (SetupDiGetDeviceInstanceIdW(devices, &device, id, DWORD(std::size(id)), nullptr))
            port.instanceId = Utf8(id);
        port.parents = ParentsOf(device.DevInst);
    }
    SetupDiDestroyDeviceInfoList(devices);
}

// The devices behind the COM ports present, by port name, as Qt's
// QSerialPortInfo finds them on Windows.
std::map<std::string, PortHardware> PortDevices() {
    std::map<std::string, PortHardware> found;
    AddPortsOf(GUID_DEVCLASS_PORTS, 0, "Ports", found);
    AddPortsOf(GUID_DEVCLASS_MODEM, 0, "Modem", found);
    AddPortsOf(GUID_DEVINTERFACE_COMPORT, DIGCF_DEVICEINTERFACE, "", found);
    return found;
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
    std::map<std::string, PortHardware> hardware() override { return PortDevices(); }
};

} // namespace

CommDriver& SystemCommDriver() {
    static System system;
    return system;
}

} // namespace kvd
