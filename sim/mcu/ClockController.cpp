#include "sim/mcu/ClockController.h"

#include <cstdio>

namespace pellion::sim::mcu {

namespace {

constexpr std::uint32_t kInternalHz = 8'000'000;
constexpr std::uint32_t kMaxSystemHz = 72'000'000;
constexpr std::uint32_t kMaxApb1Hz = 36'000'000;
constexpr std::chrono::microseconds kPllLockTime{200};
constexpr std::uint32_t kPllConfigurationBits = 0x3F0000;  // source, prescaler, multiplier

std::uint32_t ahbDivider(std::uint32_t field) {
    static constexpr std::uint32_t kDividers[8] = {2, 4, 8, 16, 64, 128, 256, 512};
    return field & 8u ? kDividers[field & 7u] : 1;
}

std::uint32_t apbDivider(std::uint32_t field) {
    return field & 4u ? 2u << (field & 3u) : 1;
}

}  // namespace

std::string hexWord(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

ClockController::ClockController(McuContext& context) : context_(context) {}

std::uint32_t ClockController::pllHz() const {
    const std::uint32_t multiplier = std::min<std::uint32_t>(((cfgr_ >> 18) & 0xFu) + 2u, 16u);
    return kInternalHz / 2 * multiplier;
}

std::uint32_t ClockController::systemHz() const {
    return (cfgr_ & 3u) == 2u ? pllHz() : kInternalHz;
}

std::uint32_t ClockController::coreHz() const {
    return systemHz() / ahbDivider((cfgr_ >> 4) & 0xFu);
}

std::uint32_t ClockController::apb1Hz() const {
    return coreHz() / apbDivider((cfgr_ >> 8) & 7u);
}

std::uint32_t ClockController::apb2Hz() const {
    return coreHz() / apbDivider((cfgr_ >> 11) & 7u);
}

std::optional<std::uint32_t> ClockController::read(std::uint32_t offset) {
    switch (offset) {
        case 0x00:
            return (cr_ & ~(1u << 25)) | (pllLocked() ? 1u << 25 : 0u);
        case 0x04:
            return (cfgr_ & ~0xCu) | (cfgr_ & 3u) << 2;  // the switch follows at once
        case 0x08:
            return 0;
        case 0x0C:
            return apb2rstr_;
        case 0x10:
            return apb1rstr_;
        case 0x14:
            return ahbenr_;
        case 0x18:
            return apb2enr_;
        case 0x1C:
            return apb1enr_;
        default:
            return std::nullopt;
    }
}

bool ClockController::write(std::uint32_t offset, std::uint32_t value) {
    switch (offset) {
        case 0x00:
            return writeControl(value);
        case 0x04:
            return writeConfiguration(value);
        case 0x0C:
            apb2rstr_ = value;
            if (value && onApb2Reset_)
                onApb2Reset_(value);
            return true;
        case 0x10:
            apb1rstr_ = value;
            return true;
        case 0x14:
            ahbenr_ = value;
            return true;
        case 0x18:
            apb2enr_ = value;
            return true;
        case 0x1C:
            apb1enr_ = value;
            return true;
        default:
            return false;
    }
}

bool ClockController::writeControl(std::uint32_t value) {
    const bool pllWasOn = cr_ & kPllOn;
    const bool pllOn = value & kPllOn;
    if (!(value & 1u) && (onInternalOscillator() || (cfgr_ & 3u) == 2u))
        context_.fail("turns the internal oscillator off while the core runs on it");
    if (pllWasOn && !pllOn && (cfgr_ & 3u) == 2u)
        context_.fail("turns the PLL off while the core runs on it");
    if (!pllWasOn && pllOn)
        pllLockedAt_ = context_.now + context_.lasting(kPllLockTime);
    // Writable: oscillator on, trim, crystal on and bypass, clock security, PLL on.
    constexpr std::uint32_t kWritable = 0x010D00F9;
    cr_ = (cr_ & ~kWritable) | (value & kWritable);
    return true;
}

bool ClockController::writeConfiguration(std::uint32_t value) {
    if ((cr_ & kPllOn) && ((value ^ cfgr_) & kPllConfigurationBits))
        context_.fail("changes the PLL's configuration while it runs");
    if (value & (1u << 16))
        context_.fail("feeds the PLL from the crystal oscillator, which this chip has not got");
    switch (value & 3u) {
        case 1:
            context_.fail(
                "switches the core to the crystal oscillator, which this chip has not got");
            break;
        case 2:
            if (!pllLocked())
                context_.fail("switches the core to the PLL before it has locked");
            break;
        case 3:
            context_.fail("selects a reserved system clock source");
            break;
    }
    cfgr_ = value & ~0xCu;
    checkFrequencies();
    return true;
}

void ClockController::checkFrequencies() {
    if (systemHz() > kMaxSystemHz)
        context_.fail("runs the core at " + std::to_string(systemHz() / 1'000'000) +
                      " MHz, above the chip's 72 MHz");
    if (apb1Hz() > kMaxApb1Hz)
        context_.fail("runs APB1 at " + std::to_string(apb1Hz() / 1'000'000) +
                      " MHz, above its 36 MHz");
}

std::optional<McuTime> ClockController::nextEvent() const {
    if (!(cr_ & kPllOn))
        return std::nullopt;
    return ahead(pllLockedAt_, context_.now);
}

}  // namespace pellion::sim::mcu
