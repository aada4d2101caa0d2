#include "support/FakeSerialMachine.h"

#include <fstream>

namespace pellion::test {

namespace fs = std::filesystem;

FakeSerialMachine::FakeSerialMachine() {
    fs::create_directories(sys());
    fs::create_directories(dev());
}

DiscoverySources FakeSerialMachine::sources(const std::string& portDirectory) const {
    return {sys().string(), dev().string(), portDirectory};
}

void FakeSerialMachine::addTty(const std::string& name, bool withDevice, int type, bool withNode) {
    fs::create_directories(sys() / name);
    if (withDevice)
        fs::create_directories(sys() / name / "device");
    if (type >= 0)
        std::ofstream(sys() / name / "type") << type << "\n";
    if (withNode)
        std::ofstream(dev() / name) << "";
}

fs::path FakeSerialMachine::usbDevice(const std::string& name, const std::string& vendorId,
                                      const std::string& productId,
                                      const std::optional<std::string>& serialNumber) {
    const fs::path device = root() / "devices/pci0000:00/0000:00:14.0/usb1/1-2" / name;
    fs::create_directories(device);
    std::ofstream(device / "idVendor") << vendorId << "\n";
    std::ofstream(device / "idProduct") << productId << "\n";
    std::ofstream(device / "product") << "USB Serial\n";
    if (serialNumber)
        std::ofstream(device / "serial") << *serialNumber << "\n";
    return device;
}

void FakeSerialMachine::plugTty(const std::string& name, const fs::path& node,
                                std::optional<int> portNumber) {
    fs::create_directories(sys() / name);
    fs::create_directories(node);
    fs::create_directory_symlink(node, sys() / name / "device");
    if (portNumber)
        std::ofstream(node / "port_number") << *portNumber << "\n";
    std::ofstream(dev() / name) << "";
}

void FakeSerialMachine::unplugTty(const std::string& name) {
    fs::remove_all(sys() / name);
    fs::remove(dev() / name);
}

void FakeSerialMachine::link(const std::string& kind, const std::string& name,
                             const std::string& tty) {
    const fs::path directory = dev() / "serial" / kind;
    fs::create_directories(directory);
    fs::remove(directory / name);
    fs::create_symlink("../../" + tty, directory / name);
}

}  // namespace pellion::test
