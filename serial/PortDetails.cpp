#include "serial/PortDetails.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>
#include <vector>

namespace pellion {

namespace fs = std::filesystem;

namespace {

constexpr const char* kLinkKinds[] = {"by-path", "by-id"};

bool allDigits(const std::string& text) {
    if (text.empty())
        return false;
    for (const char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    }
    return true;
}

// A USB device's sysfs name: bus, '-', then the port numbers joined by '.' ("1-2.3"). Its
// interfaces ("1-2.3:1.0") and the root hubs ("usb1") do not match.
bool isUsbDeviceName(const std::string& name) {
    const auto dash = name.find('-');
    if (dash == std::string::npos || !allDigits(name.substr(0, dash)))
        return false;
    std::size_t start = dash + 1;
    while (true) {
        const auto dot = name.find('.', start);
        if (!allDigits(name.substr(start, dot - start)))
            return false;
        if (dot == std::string::npos)
            return true;
        start = dot + 1;
    }
}

// A USB interface's sysfs name: its device's name, ':', configuration '.' interface.
bool isUsbInterfaceName(const std::string& name) {
    const auto colon = name.find(':');
    if (colon == std::string::npos || !isUsbDeviceName(name.substr(0, colon)))
        return false;
    const auto dot = name.find('.', colon);
    return dot != std::string::npos && allDigits(name.substr(colon + 1, dot - colon - 1)) &&
           allDigits(name.substr(dot + 1));
}

// A sysfs attribute's first line; empty when the attribute is not there.
std::string attribute(const fs::path& node, const char* name) {
    std::ifstream in(node / name);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
        line.pop_back();
    return line;
}

// The device node behind a path, links followed.
std::optional<fs::path> deviceNode(const std::string& devicePath) {
    std::error_code ec;
    fs::path device = fs::canonical(devicePath, ec);
    if (ec)
        return std::nullopt;
    return device;
}

// The sysfs node of the tty's device: the usb-serial port of an adapter (ttyUSB), the
// interface of a modem-class device (ttyACM), a platform device (an on-board UART).
std::optional<fs::path> sysfsDeviceOf(const fs::path& device, const DiscoverySources& sources) {
    std::error_code ec;
    fs::path node = fs::canonical(fs::path(sources.sysClassTty) / device.filename() / "device", ec);
    if (ec)
        return std::nullopt;
    return node;
}

// The first entry of `directory` that links to `device`, in name order; empty when none does.
std::string linkTo(const fs::path& directory, const fs::path& device) {
    std::vector<std::string> links;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(directory, ec)) {
        std::error_code targetError;
        if (fs::canonical(entry.path(), targetError) == device && !targetError)
            links.push_back(entry.path().string());
    }
    if (links.empty())
        return {};
    return *std::min_element(links.begin(), links.end());
}

void describeUsb(const fs::path& sysfsDevice, SerialPortDetails& details) {
    std::string interface;
    for (fs::path node = sysfsDevice; !node.empty() && node != node.root_path();
         node = node.parent_path()) {
        const std::string name = node.filename().string();
        if (interface.empty() && isUsbInterfaceName(name))
            interface = name;
        if (!isUsbDeviceName(name))
            continue;
        details.usbLocation = name;
        details.vendorId = attribute(node, "idVendor");
        details.productId = attribute(node, "idProduct");
        details.manufacturer = attribute(node, "manufacturer");
        details.product = attribute(node, "product");
        details.serialNumber = attribute(node, "serial");
        break;
    }
    if (details.usbLocation.empty())
        return;
    details.usbPlace = interface.empty() ? details.usbLocation : interface;
    // A usb-serial port says which of its interface's ports it is; ACM devices have one.
    if (const std::string port = attribute(sysfsDevice, "port_number"); allDigits(port))
        details.usbPlace += "-port" + port;
}

}  // namespace

SerialPortDetails DescribeSerialPort(const std::string& devicePath,
                                     const DiscoverySources& sources) {
    SerialPortDetails details;
    const auto device = deviceNode(devicePath);
    if (!device)
        return details;
    const fs::path serialLinks = fs::path(sources.devDirectory) / "serial";
    details.byPath = linkTo(serialLinks / "by-path", *device);
    details.byId = linkTo(serialLinks / "by-id", *device);
    if (const auto node = sysfsDeviceOf(*device, sources))
        describeUsb(*node, details);
    return details;
}

std::string AdapterDescription(const SerialPortDetails& details) {
    std::string text;
    if (!details.vendorId.empty() || !details.productId.empty())
        text = details.vendorId + ":" + details.productId;
    for (const std::string* part : {&details.manufacturer, &details.product}) {
        if (!part->empty())
            text += (text.empty() ? "" : " ") + *part;
    }
    return text;
}

std::string UsbLocationOf(const std::string& devicePath, const DiscoverySources& sources) {
    return DescribeSerialPort(devicePath, sources).usbLocation;
}

std::string ResolvePortName(const std::string& name, const DiscoverySources& sources) {
    const fs::path serialLinks = fs::path(sources.devDirectory) / "serial";
    for (const char* kind : kLinkKinds) {
        const fs::path directory = serialLinks / kind;
        fs::path link;
        std::error_code ec;
        if (name.empty() || name == "." || name == "..") {
            break;
        } else if (name.find('/') == std::string::npos) {
            link = directory / name;
        } else if (fs::equivalent(fs::path(name).parent_path(), directory, ec) && !ec) {
            link = name;
        } else {
            continue;
        }
        if (const auto device = deviceNode(link.string()))
            return device->string();
    }
    return name;
}

}  // namespace pellion
