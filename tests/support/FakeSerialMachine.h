#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "serial/PortDiscovery.h"
#include "support/TempDirectory.h"

namespace pellion::test {

// A stand-in for /sys/class/tty, /dev (with udev's serial/by-path and serial/by-id links) and
// sysfs's device tree, in a temporary directory removed with everything in it at the end.
// Device nodes are plain files: enough to be listed and described, not to be opened.
class FakeSerialMachine {
  public:
    FakeSerialMachine();

    std::filesystem::path sys() const { return root() / "sys"; }
    std::filesystem::path dev() const { return root() / "dev"; }
    DiscoverySources sources(const std::string& portDirectory = "") const;

    // A terminal; `withDevice` gives it a backing device, `type` writes the serial core's port
    // type attribute (none when negative), `withNode` makes its node in dev.
    void addTty(const std::string& name, bool withDevice, int type = -1, bool withNode = true);

    // A USB device on port `name` ("1-2.3") of a hub, with the string descriptors it has.
    std::filesystem::path usbDevice(const std::string& name, const std::string& vendorId,
                                    const std::string& productId,
                                    const std::optional<std::string>& serialNumber);
    // A terminal whose device is `node` in the device tree (made as needed), with its node in
    // dev; a usb-serial port also names its number on its interface.
    void plugTty(const std::string& name, const std::filesystem::path& node,
                 std::optional<int> portNumber = std::nullopt);
    void unplugTty(const std::string& name);
    // udev's relative link dev/serial/KIND/NAME to the terminal, replacing an older one.
    void link(const std::string& kind, const std::string& name, const std::string& tty);

  private:
    std::filesystem::path root() const { return directory_.path(); }

    TempDirectory directory_;
};

}  // namespace pellion::test
