// The ports Windows reports: the values of the registry's SERIALCOMM list, in natural order,
// with the names SetupAPI gives their devices. Under Wine the tests may write that list and
// install a device themselves (they run as the administrator there).
#include <windows.h>
// SetupAPI after windows.h.
#include <devguid.h>
#include <setupapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "serial/PortDiscovery.h"

namespace pellion {
namespace {

constexpr const wchar_t* kSerialComm = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

// Registers ports as a serial driver would, and takes them out again.
class RegisteredPorts {
  public:
    explicit RegisteredPorts(const std::vector<std::wstring>& ports) {
        if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSerialComm, 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_READ | KEY_WRITE, nullptr, &key_, nullptr) != ERROR_SUCCESS) {
            key_ = nullptr;
            return;
        }
        for (const auto& port : ports) {
            const std::wstring device = L"\\Device\\PellionTest" + port;
            ::RegSetValueExW(key_, device.c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(port.c_str()),
                             static_cast<DWORD>((port.size() + 1) * sizeof(wchar_t)));
            devices_.push_back(device);
        }
    }
    ~RegisteredPorts() {
        if (key_ == nullptr)
            return;
        for (const auto& device : devices_)
            ::RegDeleteValueW(key_, device.c_str());
        ::RegCloseKey(key_);
    }
    bool ok() const { return key_ != nullptr; }

  private:
    HKEY key_ = nullptr;
    std::vector<std::wstring> devices_;
};

// A device of the Ports class as its driver's installation leaves it: the port's name in the
// device's key and a friendly name. Removed again at the end.
class InstalledPortDevice {
  public:
    InstalledPortDevice(const std::wstring& port, const std::wstring& friendlyName) {
        set_ = ::SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_PORTS, nullptr);
        device_.cbSize = sizeof device_;
        if (set_ == INVALID_HANDLE_VALUE ||
            !::SetupDiCreateDeviceInfoW(set_, L"PellionTestPort", &GUID_DEVCLASS_PORTS, nullptr,
                                        nullptr, DICD_GENERATE_ID, &device_) ||
            !::SetupDiRegisterDeviceInfo(set_, &device_, 0, nullptr, nullptr, nullptr))
            return;
        registered_ = true;
        HKEY key = ::SetupDiCreateDevRegKeyW(set_, &device_, DICS_FLAG_GLOBAL, 0, DIREG_DEV,
                                             nullptr, nullptr);
        if (key == INVALID_HANDLE_VALUE)
            return;
        const bool named = setText(key, L"PortName", port);
        ::RegCloseKey(key);
        ok_ = named && ::SetupDiSetDeviceRegistryPropertyW(
                           set_, &device_, SPDRP_FRIENDLYNAME,
                           reinterpret_cast<const BYTE*>(friendlyName.c_str()),
                           static_cast<DWORD>((friendlyName.size() + 1) * sizeof(wchar_t)));
    }
    ~InstalledPortDevice() {
        if (registered_)
            ::SetupDiRemoveDevice(set_, &device_);
        if (set_ != INVALID_HANDLE_VALUE)
            ::SetupDiDestroyDeviceInfoList(set_);
    }
    bool ok() const { return ok_; }

  private:
    static bool setText(HKEY key, const wchar_t* name, const std::wstring& text) {
        return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) ==
               ERROR_SUCCESS;
    }

    HDEVINFO set_ = INVALID_HANDLE_VALUE;
    SP_DEVINFO_DATA device_{};
    bool registered_ = false;
    bool ok_ = false;
};

// What `pellion-cli.exe ports` prints (its standard output and error), run from this build.
std::string portsListing() {
    wchar_t self[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder(self, length);
    folder.erase(folder.find_last_of(L"\\/") + 1);
    std::wstring command = L"\"" + folder + PELLION_CLI_FROM_TESTS + L"\" ports";
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherited, 0))
        return {};
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process{};
    const bool started = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0,
                                          nullptr, nullptr, &startup, &process);
    ::CloseHandle(writeEnd);
    std::string output;
    char buffer[4096];
    DWORD count = 0;
    while (started && ::ReadFile(readEnd, buffer, sizeof buffer, &count, nullptr) && count > 0)
        output.append(buffer, count);
    ::CloseHandle(readEnd);
    if (started) {
        ::WaitForSingleObject(process.hProcess, 30000);
        ::CloseHandle(process.hProcess);
        ::CloseHandle(process.hThread);
    }
    std::erase(output, '\r');  // text mode's line ends
    return output;
}

TEST(Win32PortDiscovery, ListsTheRegisteredPortsInNaturalOrder) {
    RegisteredPorts registered({L"COM10", L"COM3", L"COM201", L"COM22"});
    if (!registered.ok())
        GTEST_SKIP() << "the SERIALCOMM list cannot be written here (not the administrator)";

    std::vector<std::string> names;
    for (const auto& port : EnumerateSerialPorts()) {
        EXPECT_EQ(port.devicePath, port.displayName);  // opened by its COM name
        EXPECT_FALSE(port.isVirtual);
        names.push_back(port.displayName);
    }
    std::vector<std::string> ours;
    for (const auto& name : names) {
        if (name == "COM3" || name == "COM10" || name == "COM22" || name == "COM201")
            ours.push_back(name);
    }
    EXPECT_EQ(ours, std::vector<std::string>({"COM3", "COM10", "COM22", "COM201"}));
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end(), naturalLess));
}

TEST(Win32PortDiscovery, NamesAPortAsSetupApiDoesAndTheCommandLineShowsIt) {
    RegisteredPorts registered({L"COM37"});
    InstalledPortDevice device(L"COM37", L"Pellion 测试串口 (COM37)");
    if (!registered.ok() || !device.ok())
        GTEST_SKIP() << "no port device can be installed here (not the administrator)";

    const auto ports = EnumerateSerialPorts();
    const auto port = std::find_if(ports.begin(), ports.end(),
                                   [](const auto& p) { return p.displayName == "COM37"; });
    ASSERT_NE(port, ports.end());
    EXPECT_EQ(port->description, "Pellion 测试串口 (COM37)");

    // The port's line, then the name as its first detail.
    const std::string listing = portsListing();
    const auto line = listing.find("\nCOM37 ");
    ASSERT_NE(line, std::string::npos) << listing;
    const auto next = listing.find('\n', line + 1);
    EXPECT_EQ(listing.substr(next + 1, listing.find('\n', next + 1) - next - 1),
              std::string(17, ' ') + "name:    Pellion 测试串口 (COM37)")
        << listing;
}

}  // namespace
}  // namespace pellion
