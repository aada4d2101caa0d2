#include "serial/PlatformPorts.h"

#include <windows.h>
// SetupAPI after windows.h.
#include <devguid.h>
#include <setupapi.h>

#include <map>

#include "serial/win32/WideText.h"

namespace pellion {

namespace {

// The COM ports the serial drivers registered: the values of HARDWARE\DEVICEMAP\SERIALCOMM,
// each naming a port ("COM3").
std::vector<std::string> registeredPortNames() {
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ,
                        &key) != ERROR_SUCCESS)
        return names;
    for (DWORD index = 0;; ++index) {
        wchar_t valueName[256];
        DWORD nameLength = 256;
        wchar_t data[256];
        DWORD dataBytes = sizeof data - sizeof(wchar_t);
        DWORD type = 0;
        const LONG status = ::RegEnumValueW(key, index, valueName, &nameLength, nullptr, &type,
                                            reinterpret_cast<BYTE*>(data), &dataBytes);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS || type != REG_SZ)
            continue;
        data[dataBytes / sizeof(wchar_t)] = L'\0';
        names.push_back(win32::toUtf8(data));
    }
    ::RegCloseKey(key);
    return names;
}

std::wstring deviceProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    wchar_t text[512];
    DWORD type = 0;
    if (!::SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type,
                                             reinterpret_cast<BYTE*>(text), sizeof text - 2,
                                             nullptr) ||
        type != REG_SZ)
        return {};
    text[511] = L'\0';
    return text;
}

// The friendly names SetupAPI gives the ports' devices ("USB Serial Port (COM3)"), by port name.
std::map<std::string, std::string> friendlyNames() {
    std::map<std::string, std::string> names;
    HDEVINFO set = ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return names;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; ::SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        HKEY key = ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        wchar_t port[64];
        DWORD bytes = sizeof port - sizeof(wchar_t);
        DWORD type = 0;
        const bool named =
            ::RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(port),
                               &bytes) == ERROR_SUCCESS &&
            type == REG_SZ;
        ::RegCloseKey(key);
        if (!named)
            continue;
        port[bytes / sizeof(wchar_t)] = L'\0';
        const std::wstring friendly = deviceProperty(set, device, SPDRP_FRIENDLYNAME);
        if (!friendly.empty())
            names[win32::toUtf8(port)] = win32::toUtf8(friendly);
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return names;
}

}  // namespace

std::vector<SerialPortEntry> MachinePorts(const DiscoverySources&) {
    std::vector<SerialPortEntry> ports;
    const auto friendly = friendlyNames();
    for (const auto& name : registeredPortNames()) {
        SerialPortEntry entry{name, name, false, {}};
        if (const auto it = friendly.find(name); it != friendly.end())
            entry.description = it->second;
        ports.push_back(std::move(entry));
    }
    return ports;
}

std::vector<SerialPortEntry> DirectoryPorts(const std::string&) {
    return {};
}

}  // namespace pellion
