#include "sim/mcu/FlashController.h"

namespace pellion::sim::mcu {

namespace {

constexpr std::uint32_t kKey1 = 0x45670123;
constexpr std::uint32_t kKey2 = 0xCDEF89AB;
constexpr std::uint32_t kBusy = 0x01, kProgramError = 0x04, kProtectionError = 0x10, kEnd = 0x20;
constexpr std::uint32_t kProgram = 0x01, kPageErase = 0x02, kStart = 0x40, kLock = 0x80;
constexpr std::uint32_t kSecondBankRegisters = 0x40;

}  // namespace

FlashController::FlashController(McuContext& context, const ClockController& clocks)
    : context_(context), clocks_(clocks) {}

FlashController::Bank* FlashController::bankAt(std::uint32_t offset) {
    if (offset < kSecondBankRegisters)
        return &banks_[0];
    return context_.memory.layout().hasTwoBanks() ? &banks_[1] : nullptr;
}

FlashController::Bank& FlashController::bankOf(std::uint32_t address) {
    return banks_[address >= kUniformPagesBase && context_.memory.layout().hasTwoBanks() ? 1 : 0];
}

void FlashController::waitFor(const Bank& bank) {
    // The core stalls on a flash access while its bank is busy.
    if (busy(bank))
        context_.now = bank.busyUntil;
}

std::uint32_t FlashController::status(const Bank& bank) const {
    return busy(bank) ? (bank.sr & ~kEnd) | kBusy : bank.sr;
}

std::optional<std::uint32_t> FlashController::read(std::uint32_t offset) {
    if (offset == 0x00)
        return acr_;
    if (offset == 0x1C)  // option byte status: readout protection in bit 1
        return context_.memory.readoutProtected() ? 0x2u : 0x0u;
    if (offset == 0x20)
        return context_.memory.writeProtectionWord();
    Bank* bank = bankAt(offset);
    if (!bank)
        return std::nullopt;
    switch (offset % kSecondBankRegisters) {
        case 0x04:
            return 0;
        case 0x0C:
            return status(*bank);
        case 0x10:
            return bank->cr;
        case 0x14:
            return bank->ar;
        default:
            return std::nullopt;
    }
}

bool FlashController::write(std::uint32_t offset, std::uint32_t value) {
    if (offset == 0x00) {
        acr_ = value & 0x1F;
        if ((acr_ & 7u) > 2)
            context_.fail("sets a reserved flash latency");
        return true;
    }
    Bank* bank = bankAt(offset);
    if (!bank || offset == 0x08 + kSecondBankRegisters)
        return false;
    switch (offset % kSecondBankRegisters) {
        case 0x04:
            writeKey(*bank, value);
            return true;
        case 0x0C:
            bank->sr &= ~(value & (kProgramError | kProtectionError | kEnd));
            return true;
        case 0x10:
            writeControl(*bank, value);
            return true;
        case 0x14:
            bank->ar = value;
            return true;
        default:
            return false;
    }
}

void FlashController::writeKey(Bank& bank, std::uint32_t value) {
    if (!bank.keyHalfway && value == kKey1) {
        bank.keyHalfway = true;
    } else if (bank.keyHalfway && value == kKey2) {
        bank.keyHalfway = false;
        bank.locked = false;
        bank.cr &= ~kLock;
    } else {
        context_.fail("writes a wrong flash key " + hexWord(value));
    }
}

void FlashController::writeControl(Bank& bank, std::uint32_t value) {
    if (busy(bank)) {
        context_.fail("writes the flash control register while the flash is busy");
        return;
    }
    if (bank.locked) {
        if (value != bank.cr)
            context_.fail("writes the flash control register while it is locked");
        return;
    }
    constexpr std::uint32_t kModelled = kProgram | kPageErase | kStart | kLock;
    if (value & ~kModelled)
        context_.fail("sets flash control bits " + hexWord(value & ~kModelled) +
                      " (mass erase, option bytes, interrupts), which the helper must not use");
    if ((value & kProgram) && (value & kPageErase))
        context_.fail("sets programming and page erase at once");
    bank.cr = value & (kProgram | kPageErase | kLock);
    if (value & kLock)
        bank.locked = true;
    if (value & kStart) {
        if (value & kPageErase)
            erasePage(bank);
        else
            context_.fail("starts the flash controller without an erase selected");
    }
}

bool FlashController::powered() {
    if (clocks_.internalOscillatorOn())
        return true;
    context_.fail("works the flash while the internal oscillator is off");
    return false;
}

void FlashController::erasePage(Bank& bank) {
    const FlashLayout& layout = context_.memory.layout();
    std::optional<PageSpan> span;
    for (int number = 0; number < layout.geometry().pageCount && !span; ++number) {
        auto page = layout.page(number);
        if (page && bank.ar >= page->address && bank.ar - page->address < page->bytes)
            span = page;
    }
    if (!span || &bankOf(bank.ar) != &bank) {
        context_.fail("erases at " + hexWord(bank.ar) + ", outside this bank's flash");
        return;
    }
    if (!powered())
        return;
    if (context_.memory.isPageWriteProtected(*span)) {
        bank.sr |= kProtectionError;
        return;
    }
    const std::vector<std::uint8_t> erased(span->bytes, 0xFF);
    context_.memory.loadFlash(span->address, erased);
    context_.stats.busy.erasing += context_.options.timing.pageErase;
    bank.busyUntil = context_.now + context_.lasting(context_.options.timing.pageErase);
    bank.sr |= kEnd;
}

void FlashController::writeMemory(std::uint32_t address, std::uint32_t value, unsigned size) {
    Bank& bank = bankOf(address);
    waitFor(bank);
    if (!(bank.cr & kProgram)) {
        context_.fail("writes flash at " + hexWord(address) + " without the programming bit");
        return;
    }
    if (size != 2 || address % 2 != 0) {
        context_.fail("programs flash at " + hexWord(address) + " with a " + std::to_string(size) +
                      "-byte store; the flash takes half-words");
        return;
    }
    if (powered())
        programHalfWord(bank, address, std::uint16_t(value));
}

void FlashController::programHalfWord(Bank& bank, std::uint32_t address, std::uint16_t value) {
    ChipMemory& memory = context_.memory;
    if (memory.isWriteProtected(address)) {
        bank.sr |= kProtectionError;
        return;
    }
    const auto& flash = memory.flash();
    const std::uint32_t at = address - kFlashBase;
    if (flash[at] != 0xFF || flash[at + 1] != 0xFF) {
        bank.sr |= kProgramError;
        return;
    }
    const std::uint8_t bytes[2] = {std::uint8_t(value), std::uint8_t(value >> 8)};
    memory.loadFlash(address, bytes);
    context_.stats.bytesProgrammed += 2;
    if (context_.faults.badCell())
        flipBadCell(address);
    context_.stats.busy.programming += context_.options.timing.halfWordProgram;
    bank.busyUntil = context_.now + context_.lasting(context_.options.timing.halfWordProgram);
    bank.sr |= kEnd;
}

void FlashController::flipBadCell(std::uint32_t address) {
    const std::uint32_t bit = context_.faults.pick(16);
    const std::uint32_t at = address + bit / 8;
    context_.memory.flipBit(at, int(bit % 8));
    context_.stats.flippedBits.push_back({at, int(bit % 8)});
}

void FlashController::checkWaitStates() {
    const std::uint32_t hz = clocks_.systemHz();
    const std::uint32_t needed = hz <= 24'000'000 ? 0 : hz <= 48'000'000 ? 1 : 2;
    if ((acr_ & 7u) < needed)
        context_.fail("reads flash at " + std::to_string(hz / 1'000'000) + " MHz with " +
                      std::to_string(acr_ & 7u) + " wait states; it needs " +
                      std::to_string(needed));
}

std::uint32_t FlashController::readMemory(std::uint32_t address, unsigned size) {
    waitFor(bankOf(address));
    checkWaitStates();
    const auto& flash = context_.memory.flash();
    std::uint32_t value = 0;
    for (unsigned i = 0; i < size; ++i) {
        const std::uint32_t at = address + i - kFlashBase;
        value |= std::uint32_t(at < flash.size() ? flash[at] : 0xFF) << (8 * i);
    }
    return value;
}

std::optional<McuTime> FlashController::nextEvent() const {
    return earliest(ahead(banks_[0].busyUntil, context_.now),
                    ahead(banks_[1].busyUntil, context_.now));
}

}  // namespace pellion::sim::mcu
