#include "serial/PortDetails.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/FakeSerialMachine.h"
#include "support/PtyPair.h"

namespace pellion {
namespace {

namespace fs = std::filesystem;
using test::FakeSerialMachine;

// sysfs links a tty's device into the USB tree: through the usb-serial port of an adapter
// (ttyUSB), or straight to the interface of a modem-class device (ttyACM).
TEST(PortDetails, UsbAdaptersAreDescribedAndLocatedByTheirSocket) {
    FakeSerialMachine m;
    const fs::path withSerial = m.usbDevice("1-2.3", "0403", "6001", "A10KZX3B");
    std::ofstream(withSerial / "manufacturer") << "FTDI\n";
    m.plugTty("ttyUSB0", withSerial / "1-2.3:1.0/ttyUSB0", 0);
    const fs::path twoPorts = m.usbDevice("1-2.4", "1a86", "7523", std::nullopt);
    m.plugTty("ttyUSB1", twoPorts / "1-2.4:1.0/ttyUSB1", 0);
    m.plugTty("ttyUSB2", twoPorts / "1-2.4:1.1/ttyUSB2", 1);
    m.plugTty("ttyACM0", m.usbDevice("1-2.14", "0483", "5740", "STM32") / "1-2.14:1.0");
    m.addTty("ttyS0", true, 4);  // an on-board UART
    const std::string byPath = "pci-0000:00:14.0-usb-0:2.3:1.0-port0";
    m.link("by-path", byPath, "ttyUSB0");
    m.link("by-id", "usb-FTDI_USB_Serial_A10KZX3B-if00-port0", "ttyUSB0");

    const auto describe = [&](const std::string& name) {
        return DescribeSerialPort((m.dev() / name).string(), m.sources());
    };
    const auto adapter = describe("ttyUSB0");
    EXPECT_EQ(adapter.byPath, (m.dev() / "serial/by-path" / byPath).string());
    EXPECT_EQ(adapter.byId,
              (m.dev() / "serial/by-id/usb-FTDI_USB_Serial_A10KZX3B-if00-port0").string());
    EXPECT_EQ(adapter.usbLocation, "1-2.3");
    EXPECT_EQ(adapter.usbPlace, "1-2.3:1.0-port0");
    EXPECT_EQ(adapter.serialNumber, "A10KZX3B");
    EXPECT_EQ(AdapterDescription(adapter), "0403:6001 FTDI USB Serial");
    // Found the same through a link to the device.
    EXPECT_EQ(DescribeSerialPort(adapter.byPath, m.sources()).usbPlace, adapter.usbPlace);

    // Two ports of one adapter without a serial number differ by their place alone.
    const auto first = describe("ttyUSB1");
    const auto second = describe("ttyUSB2");
    EXPECT_EQ(first.serialNumber, "");
    EXPECT_EQ(first.byPath, "");  // no udev link for it
    EXPECT_EQ(AdapterDescription(first), "1a86:7523 USB Serial");
    EXPECT_EQ(first.usbPlace, "1-2.4:1.0-port0");
    EXPECT_EQ(second.usbPlace, "1-2.4:1.1-port1");
    EXPECT_EQ(second.usbLocation, "1-2.4");

    const auto acm = describe("ttyACM0");
    EXPECT_EQ(acm.usbLocation, "1-2.14");
    EXPECT_EQ(acm.usbPlace, "1-2.14:1.0");
    EXPECT_EQ(acm.serialNumber, "STM32");
    const auto uart = describe("ttyS0");
    EXPECT_EQ(uart.usbPlace, "");
    EXPECT_EQ(AdapterDescription(uart), "");
    test::PtyPair pty;
    ASSERT_TRUE(pty.ok());
    EXPECT_EQ(UsbLocationOf(pty.slavePath(), m.sources()), "");
    EXPECT_EQ(UsbLocationOf("/nonexistent/ttyUSB9"), "");

    // After a reboot the kernel names the adapter ttyUSB5: its place and by-path stay.
    m.unplugTty("ttyUSB0");
    m.plugTty("ttyUSB5", withSerial / "1-2.3:1.0/ttyUSB5", 0);
    m.link("by-path", byPath, "ttyUSB5");
    const auto renamed = describe("ttyUSB5");
    EXPECT_EQ(renamed.usbPlace, adapter.usbPlace);
    EXPECT_EQ(renamed.byPath, adapter.byPath);
    EXPECT_EQ(UsbLocationOf((m.dev() / "ttyUSB5").string(), m.sources()), "1-2.3");
}

TEST(PortDetails, ByPathAndByIdNamesResolveToTheirDevice) {
    FakeSerialMachine m;
    m.plugTty("ttyUSB3", m.usbDevice("1-2.3", "0403", "6001", std::nullopt) / "1-2.3:1.0/ttyUSB3");
    const std::string byPath = "pci-0000:00:14.0-usb-0:2.3:1.0-port0";
    m.link("by-path", byPath, "ttyUSB3");
    m.link("by-id", "usb-FTDI-if00-port0", "ttyUSB3");
    const std::string device = (m.dev() / "ttyUSB3").string();
    const auto resolve = [&](const std::string& name) {
        return ResolvePortName(name, m.sources());
    };
    EXPECT_EQ(resolve(byPath), device);
    EXPECT_EQ(resolve((m.dev() / "serial/by-path" / byPath).string()), device);
    EXPECT_EQ(resolve("usb-FTDI-if00-port0"), device);
    EXPECT_EQ(resolve((m.dev() / "serial/by-id/usb-FTDI-if00-port0").string()), device);
    // Anything else is left as the operator wrote it, to be opened or refused as it is.
    for (const std::string& other : {device, std::string("pci-unplugged-port0"), std::string(),
                                     std::string(".."), std::string("/tmp/chips/chip0")}) {
        EXPECT_EQ(resolve(other), other);
    }
}

}  // namespace
}  // namespace pellion
