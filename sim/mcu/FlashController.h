#pragma once

#include "sim/mcu/ClockController.h"

namespace pellion::sim::mcu {

inline constexpr std::uint32_t kFlashControllerBase = 0x40022000;

// The flash controller and the flash it guards. Programming is by half-words with the PG bit
// set, erasing by page with PER, AR and STRT, each after unlocking with the two keys; BSY holds
// for the chip's half-word programming or page erase time. Programming a half-word that is not
// erased sets PGERR, touching a write-protected page sets WRPRTERR; neither changes the flash.
// Chips above 512 KiB have a second bank with its own registers 0x40 higher.
class FlashController : public Peripheral {
  public:
    FlashController(McuContext& context, const ClockController& clocks);

    const char* name() const override { return "flash controller"; }
    std::optional<std::uint32_t> read(std::uint32_t offset) override;
    bool write(std::uint32_t offset, std::uint32_t value) override;
    bool isStatus(std::uint32_t offset) const override { return offset == 0x0C || offset == 0x4C; }
    std::optional<McuTime> nextEvent() const override;

    // The flash array, as the core reads and writes it.
    std::uint32_t readMemory(std::uint32_t address, unsigned size);
    void writeMemory(std::uint32_t address, std::uint32_t value, unsigned size);

  private:
    struct Bank {
        bool locked = true;
        bool keyHalfway = false;
        std::uint32_t cr = 0x80;
        std::uint32_t sr = 0;
        std::uint32_t ar = 0;
        McuTime busyUntil{};
    };

    Bank* bankAt(std::uint32_t offset);
    Bank& bankOf(std::uint32_t address);
    bool busy(const Bank& bank) const { return context_.now < bank.busyUntil; }
    void waitFor(const Bank& bank);
    std::uint32_t status(const Bank& bank) const;
    void writeKey(Bank& bank, std::uint32_t value);
    void writeControl(Bank& bank, std::uint32_t value);
    void erasePage(Bank& bank);
    void programHalfWord(Bank& bank, std::uint32_t address, std::uint16_t value);
    void flipBadCell(std::uint32_t address);
    bool powered();
    void checkWaitStates();

    McuContext& context_;
    const ClockController& clocks_;
    std::uint32_t acr_ = 0x30;
    Bank banks_[2];
};

}  // namespace pellion::sim::mcu
