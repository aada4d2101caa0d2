#pragma once

#include <string>

#include "serial/PortDiscovery.h"

namespace pellion {

// What the machine tells about a port beyond its device name, so that an operator can match it
// to a socket and an adapter. Every field is empty when unknown: a port that is not behind USB
// has no USB fields, a machine without udev no links, an adapter without one no serial number.
struct SerialPortDetails {
    // udev's links to the port: by the socket it is plugged into (stable while the adapter
    // stays in that socket) and by the adapter's identity (stable only for adapters with a
    // serial number).
    std::string byPath;  // "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2.3:1.0-port0"
    std::string byId;    // "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KZX3B-if00-port0"
    // The USB device's bus-port path ("1-2.3": bus 1, port 3 of the hub on port 2).
    std::string usbLocation;
    // The port's own place: the interface it hangs off and, for a USB serial adapter, its port
    // number on that interface ("1-2.3:1.0-port0"). Two ports of one adapter differ here; a
    // port keeps it when the kernel renumbers its device name.
    std::string usbPlace;
    std::string vendorId;   // "0403"
    std::string productId;  // "6001"
    std::string manufacturer;
    std::string product;
    std::string serialNumber;
};

// The adapter in one line: "0403:6001 FTDI FT232R USB UART" (ids, maker, product as far as
// known); empty for a port that is not behind USB.
std::string AdapterDescription(const SerialPortDetails& details);

// The details of the port opened through `devicePath` (the device, or any link to it).
SerialPortDetails DescribeSerialPort(const std::string& devicePath,
                                     const DiscoverySources& sources = DiscoverySources());

// The USB device's bus-port path of a port; empty for a port that is not behind USB (an
// on-board UART, a virtual chip) or that sysfs does not know.
std::string UsbLocationOf(const std::string& devicePath,
                          const DiscoverySources& sources = DiscoverySources());

// The device a port name given by an operator stands for: an entry of udev's by-path or by-id
// directory, as a bare name ("pci-0000:00:14.0-usb-0:2.3:1.0-port0") or as a path inside it,
// becomes the device it links to ("/dev/ttyUSB3"). Any other name is returned unchanged.
std::string ResolvePortName(const std::string& name,
                            const DiscoverySources& sources = DiscoverySources());

}  // namespace pellion
