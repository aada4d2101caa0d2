#include "serial/PortDiscovery.h"

#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "support/FakeSerialMachine.h"
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

using FakeMachine = pellion::test::FakeSerialMachine;

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
