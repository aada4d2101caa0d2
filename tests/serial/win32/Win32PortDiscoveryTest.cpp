// The ports Windows reports: the values of the registry's SERIALCOMM list, in natural order.
// Under Wine the test may write that list itself (it runs as the administrator there).
#include <windows.h>

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

}  // namespace
}  // namespace pellion
