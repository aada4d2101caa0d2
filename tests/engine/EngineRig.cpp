#include "EngineRig.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>

namespace pellion::test {

namespace {
std::atomic<int> imageCounter{0};
}

std::vector<std::uint8_t> patternImage(std::size_t size, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        auto value = std::uint8_t((i * 7 + seed + (i >> 8) * 13) & 0xFF);
        bytes[i] = value == 0xFF ? 0x5A : value;
    }
    return bytes;
}

std::vector<std::uint8_t> unprotectedOptionBytes(std::uint8_t user) {
    std::vector<std::uint8_t> bytes{0xA5, 0x5A, user, static_cast<std::uint8_t>(~user)};
    while (bytes.size() < 16) {
        bytes.insert(bytes.end(), {0xFF, 0x00});
    }
    return bytes;
}

EngineRig::EngineRig() {
    // Short waits keep silent-chip cases quick; still far above a pty's round trip.
    timing.resyncDelay = std::chrono::milliseconds(50);
    timing.answerMargin = std::chrono::milliseconds(400);
    timing.perErasedPage = std::chrono::milliseconds(5);
    timing.programBlock = std::chrono::milliseconds(50);
    timing.massErase = std::chrono::milliseconds(500);
    timing.optionWrite = std::chrono::milliseconds(100);
    imagePath = "/tmp/pellion-engine-test-" + std::to_string(::getpid()) + "-" +
                std::to_string(imageCounter++) + ".bin";
}

EngineRig::~EngineRig() {
    if (control)
        control->ShutdownPorts();
    control.reset();
    table.FreePortTable();
    chips.stop();
    ::unlink(imagePath.c_str());
}

sim::VirtualChip& EngineRig::addChip(const sim::ChipOptions& options) {
    auto added = chips.addChip(options);
    if (!added.chip)
        throw std::runtime_error(added.error);
    return *added.chip;
}

sim::VirtualChip& EngineRig::addChip(const char (&code)[5]) {
    sim::ChipOptions options;
    options.code = DeviceCode(code);
    return addChip(options);
}

void EngineRig::build() {
    std::vector<PortIdentity> ports;
    std::vector<std::string> names;
    for (std::size_t i = 0; i < chips.size(); ++i) {
        names.push_back("COM" + std::to_string(i + 1));
        ports.push_back({names.back(), chips.chip(i).devicePath()});
    }
    for (const auto& device : extraDevices) {
        names.push_back("COM" + std::to_string(names.size() + 1));
        ports.push_back({names.back(), device});
    }
    table.BuildPortTable(ports);
    host = std::make_unique<MemoryRunHost>(names);
    control = std::make_unique<RunControl>(loop, table, catalogue, *host);
    control->setTiming(timing);
}

void EngineRig::tick(std::int32_t slot) {
    host->row(slot).ticked = true;
    control->OnPortCheckClick(slot);
}

void EngineRig::untick(std::int32_t slot) {
    host->row(slot).ticked = false;
    control->OnPortCheckClick(slot);
}

bool EngineRig::waitIdentified(std::int32_t slot, std::chrono::milliseconds timeout) {
    return runUntil(
        [&] {
            const PortSlot& s = table.slot(slot);
            return s.cycle.state == Ready || s.cycle.state == Failed || s.chip.awaitingModel;
        },
        timeout);
}

void EngineRig::tickAllAndIdentify() {
    for (std::int32_t i = 0; i < table.slotCount(); ++i)
        tick(i);
    for (std::int32_t i = 0; i < table.slotCount(); ++i)
        waitIdentified(i);
}

void EngineRig::setImage(const std::vector<std::uint8_t>& bytes, std::uint32_t address) {
    std::ofstream out(imagePath, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    out.close();
    host->downloadFilePath = imagePath;
    char text[16];
    std::snprintf(text, sizeof text, "%x", address);
    host->startAddressText = text;
}

bool EngineRig::run(std::chrono::milliseconds timeout) {
    const auto endedBefore = host->runsEnded;
    control->StartRun();
    return runUntil([&] { return host->runsEnded > endedBefore; }, timeout);
}

bool EngineRig::runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    return loop.runUntil(done, timeout);
}

void EngineRig::serveFor(std::chrono::milliseconds duration) {
    loop.runUntil([] { return false; }, duration);
}

bool EngineRig::remarked(std::int32_t slot, const std::string& text) const {
    const auto& remarks = host->row(slot).remarks;
    return std::find(remarks.begin(), remarks.end(), text) != remarks.end();
}

std::vector<std::uint8_t> EngineRig::flashOf(std::size_t chip, std::uint32_t address,
                                             std::size_t length) const {
    return chips.chip(chip).readFlash(address, length);
}

}  // namespace pellion::test
