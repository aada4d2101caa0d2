#include "serial/PortDiscovery.h"

#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "support/PtyPair.h"

namespace fs = std::filesystem;
using pellion::DiscoverySources;
using pellion::EnumerateSerialPorts;
using pellion::naturalLess;
using pellion::SerialPortEntry;

namespace {

class TempDir {
  public:
    TempDir() {
        char name[] = "/tmp/pellion-discovery-XXXXXX";
        path_ = ::mkdtemp(name);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

// A stand-in for /sys/class/tty and /dev: `device` gives an entry a backing device, `type`
// writes the serial core's port type attribute, and a node is made in the device directory.
class FakeMachine {
  public:
    FakeMachine() {
        fs::create_directories(sys());
        fs::create_directories(dev());
    }
    fs::path sys() const { return dir_.path() / "sys"; }
    fs::path dev() const { return dir_.path() / "dev"; }

    void addTty(const std::string& name, bool withDevice, int type = -1, bool withNode = true) {
        fs::create_directories(sys() / name);
        if (withDevice)
            fs::create_directories(sys() / name / "device");
        if (type >= 0)
            std::ofstream(sys() / name / "type") << type << "\n";
        if (withNode)
            std::ofstream(dev() / name) << "";
    }
    DiscoverySources sources(const std::string& portDir = "") const {
        return {sys().string(), dev().string(), portDir};
    }

  private:
    TempDir dir_;
};

std::vector<std::string> names(const std::vector<SerialPortEntry>& ports) {
    std::vector<std::string> out;
    for (const auto& p : ports)
        out.push_back(p.displayName);
    return out;
}

}  // namespace

TEST(NaturalOrder, ComparesDigitRunsAsNumbers) {
    EXPECT_TRUE(naturalLess("ttyUSB2", "ttyUSB10"));
    EXPECT_FALSE(naturalLess("ttyUSB10", "ttyUSB2"));
    EXPECT_TRUE(naturalLess("ttyACM9", "ttyS0"));
    EXPECT_TRUE(naturalLess("ttyS1", "ttyUSB0"));
    EXPECT_TRUE(naturalLess("chip", "chip0"));
    EXPECT_TRUE(naturalLess("chip9", "chip10a"));
    EXPECT_TRUE(naturalLess("chip10", "chip10a"));
    EXPECT_TRUE(naturalLess("chip1", "chip01"));
    EXPECT_FALSE(naturalLess("chip3", "chip3"));
    EXPECT_TRUE(naturalLess("x99999999999999999999998", "x99999999999999999999999"));
}

TEST(PortDiscovery, ListsDeviceBackedTerminalsInNaturalOrderWithoutPlaceholderUarts) {
    FakeMachine m;
    m.addTty("ttyUSB10", true);
    m.addTty("ttyUSB2", true);
    m.addTty("ttyACM0", true);
    m.addTty("ttyS0", true, 4);  // a 16550A that is there
    m.addTty("ttyS1", true, 0);  // registered, never found
    m.addTty("ttyS3", true, 0);
    m.addTty("tty0", false);  // a virtual console
    m.addTty("ptmx", false);
    m.addTty("ttyUSB5", true, -1, false);  // no device node: nothing to open

    const auto ports = EnumerateSerialPorts(m.sources());
    EXPECT_EQ(names(ports), (std::vector<std::string>{"ttyACM0", "ttyS0", "ttyUSB2", "ttyUSB10"}));
    ASSERT_FALSE(ports.empty());
    EXPECT_EQ(ports[0].devicePath, (m.dev() / "ttyACM0").string());
    EXPECT_FALSE(ports[0].isVirtual);
}

TEST(PortDiscovery, ListsThePortDirectoryAfterTheMachinesPorts) {
    FakeMachine m;
    m.addTty("ttyUSB0", true);
    TempDir links;
    std::vector<std::unique_ptr<pellion::test::PtyPair>> ptys;
    for (const char* name : {"chip10", "chip2", "chip0"}) {
        ptys.push_back(std::make_unique<pellion::test::PtyPair>());
        ASSERT_TRUE(ptys.back()->ok());
        fs::create_symlink(ptys.back()->slavePath(), links.path() / name);
    }
    fs::create_symlink("/dev/pellion-gone", links.path() / "chip5");  // dangling
    std::ofstream(links.path() / "notes.txt") << "not a port";
    std::ofstream(links.path() / ".hidden") << "";

    const auto ports = EnumerateSerialPorts(m.sources(links.path().string()));
    EXPECT_EQ(names(ports), (std::vector<std::string>{"ttyUSB0", "chip0", "chip2", "chip10"}));
    ASSERT_EQ(ports.size(), 4u);
    EXPECT_EQ(ports[1].devicePath, (links.path() / "chip0").string());
    EXPECT_TRUE(ports[1].isVirtual);
    // The path opens the pseudo-terminal the link points at.
    EXPECT_EQ(fs::canonical(ports[3].devicePath), fs::canonical(ptys[0]->slavePath()));
}

TEST(PortDiscovery, TakesThePortDirectoryFromTheEnvironment) {
    TempDir links;
    pellion::test::PtyPair pty;
    ASSERT_TRUE(pty.ok());
    fs::create_symlink(pty.slavePath(), links.path() / "chip0");

    ::setenv(pellion::kPortDirVariable, links.path().c_str(), 1);
    const auto ports = EnumerateSerialPorts();
    ::unsetenv(pellion::kPortDirVariable);
    ASSERT_FALSE(ports.empty());
    EXPECT_EQ(ports.back().displayName, "chip0");
    EXPECT_TRUE(ports.back().isVirtual);
    for (const auto& p : ports)
        EXPECT_TRUE(fs::exists(p.devicePath)) << p.devicePath;

    EXPECT_TRUE(DiscoverySources::fromEnvironment().portDirectory.empty());
}

TEST(PortDiscovery, AMissingSourceGivesNoPortsRatherThanAnError) {
    const auto ports =
        EnumerateSerialPorts({"/nonexistent/sys", "/nonexistent/dev", "/nonexistent/links"});
    EXPECT_TRUE(ports.empty());
}

// sysfs links a tty's device into the USB tree: through the usb-serial port of an adapter
// (ttyUSB), or straight to the interface of a modem-class device (ttyACM).
TEST(PortDiscovery, UsbAdaptersAreLocatedByTheirBusPortPath) {
    FakeMachine machine;
    TempDir tree;
    const fs::path hub = tree.path() / "devices/pci0000:00/usb1/1-2";
    const std::pair<const char*, fs::path> devices[] = {
        {"ttyUSB0", hub / "1-2.3/1-2.3:1.0/ttyUSB0"},
        {"ttyACM0", hub / "1-2.14/1-2.14:1.0"},
        {"ttyS0", tree.path() / "devices/platform/serial8250"},
    };
    for (const auto& [name, target] : devices) {
        machine.addTty(name, false);
        fs::create_directories(target);
        fs::create_directory_symlink(target, machine.sys() / name / "device");
    }
    const auto locate = [&](const std::string& name) {
        return pellion::UsbLocationOf((machine.dev() / name).string(), machine.sources());
    };
    EXPECT_EQ(locate("ttyUSB0"), "1-2.3");
    EXPECT_EQ(locate("ttyACM0"), "1-2.14");
    EXPECT_EQ(locate("ttyS0"), "");

    // A link to the device (udev's by-id names, the port directory) finds the same place;
    // a pseudo-terminal has none.
    fs::create_symlink(machine.dev() / "ttyUSB0", machine.dev() / "by-id-adapter");
    EXPECT_EQ(locate("by-id-adapter"), "1-2.3");
    pellion::test::PtyPair pty;
    ASSERT_TRUE(pty.ok());
    EXPECT_EQ(pellion::UsbLocationOf(pty.slavePath(), machine.sources()), "");
    EXPECT_EQ(pellion::UsbLocationOf("/nonexistent/ttyUSB9"), "");
}
