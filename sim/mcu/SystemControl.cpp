#include "sim/mcu/SystemControl.h"

namespace pellion::sim::mcu {

namespace {

constexpr std::uint32_t kEnable = 0x1, kInterrupt = 0x2, kCoreClock = 0x4;
constexpr std::uint32_t kCountFlag = 1u << 16;
constexpr std::uint32_t kCpuId = 0x411FC231;  // a Cortex-M3, revision 1
constexpr std::uint32_t kResetKey = 0x05FA;
constexpr std::uint32_t kSystemResetRequest = 0x4;

}  // namespace

SystemControl::SystemControl(McuContext& context, const ClockController& clocks)
    : context_(context), clocks_(clocks) {}

double SystemControl::tickHz() const {
    return csr_ & kCoreClock ? clocks_.coreHz() : clocks_.coreHz() / 8.0;
}

std::uint64_t SystemControl::ticksSinceStart() const {
    const auto elapsed = std::chrono::duration<double>(context_.now - started_).count();
    return elapsed > 0 ? std::uint64_t(elapsed * tickHz()) : 0;
}

std::uint64_t SystemControl::wraps() const {
    if (!(csr_ & kEnable) || reload_ == 0)
        return wrapsSeen_;
    return ticksSinceStart() / (std::uint64_t(reload_) + 1);
}

void SystemControl::restart() {
    started_ = context_.now;
    wrapsSeen_ = 0;
}

std::optional<std::uint32_t> SystemControl::read(std::uint32_t offset) {
    switch (offset) {
        case 0x10: {
            const std::uint64_t now = wraps();
            const bool counted = now > wrapsSeen_;
            wrapsSeen_ = now;
            return csr_ | (counted ? kCountFlag : 0u);
        }
        case 0x14:
            return reload_;
        case 0x18:
            if (!(csr_ & kEnable) || reload_ == 0)
                return 0;
            return reload_ - std::uint32_t(ticksSinceStart() % (std::uint64_t(reload_) + 1));
        case 0x1C:
            return 0;
        case 0xD00:
            return kCpuId;
        case 0xD08:
            return vtor_;
        case 0xD0C:
            return kResetKey << 16;
        default:
            return std::nullopt;
    }
}

bool SystemControl::write(std::uint32_t offset, std::uint32_t value) {
    switch (offset) {
        case 0x10:
            if (value & kInterrupt)
                context_.fail("enables the system timer's interrupt; the helper has no handlers");
            if ((value & kEnable) && !(csr_ & kEnable))
                restart();
            csr_ = value & (kEnable | kInterrupt | kCoreClock);
            return true;
        case 0x14:
            reload_ = value & 0xFFFFFF;
            return true;
        case 0x18:
            restart();
            return true;
        case 0xD08:
            vtor_ = value;
            return true;
        case 0xD0C:
            if (value >> 16 != kResetKey)
                context_.fail("writes AIRCR without its key");
            else if (value & kSystemResetRequest)
                resetRequested_ = true;
            return true;
        default:
            return false;
    }
}

std::optional<McuTime> SystemControl::nextEvent() const {
    if (!(csr_ & kEnable) || reload_ == 0)
        return std::nullopt;
    const double seconds = double(wrapsSeen_ + 1) * (double(reload_) + 1) / tickHz();
    const auto at =
        started_ + std::chrono::duration_cast<nanoseconds>(std::chrono::duration<double>(seconds)) +
        nanoseconds(1);
    return ahead(at, context_.now);
}

}  // namespace pellion::sim::mcu
