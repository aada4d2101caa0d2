#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "sim/ChipMemory.h"
#include "sim/ChipOptions.h"
#include "sim/ChipStats.h"
#include "sim/FaultInjector.h"

namespace pellion::sim {

inline constexpr std::uint8_t kSync = 0x7F;
inline constexpr std::uint8_t kAck = 0x79;
inline constexpr std::uint8_t kNack = 0x1F;
inline constexpr std::uint8_t kBootloaderVersion = 0x22;

namespace command {
inline constexpr std::uint8_t Get = 0x00;
inline constexpr std::uint8_t GetVersion = 0x01;
inline constexpr std::uint8_t GetId = 0x02;
inline constexpr std::uint8_t GetDeviceCode = 0x06;
inline constexpr std::uint8_t ReadMemory = 0x11;
inline constexpr std::uint8_t Go = 0x21;
inline constexpr std::uint8_t WriteMemory = 0x31;
inline constexpr std::uint8_t Erase = 0x43;
inline constexpr std::uint8_t ExtendedErase = 0x44;
inline constexpr std::uint8_t WriteProtect = 0x63;
inline constexpr std::uint8_t WriteUnprotect = 0x73;
inline constexpr std::uint8_t ReadoutProtect = 0x82;
inline constexpr std::uint8_t ReadoutUnprotect = 0x92;
}  // namespace command

// The name a command is counted under in the chip's statistics.
const char* commandName(std::uint8_t code);

// One thing the chip does in answer to a byte, in order. Time passes only in Program and
// Erase (the flash is busy) and after Reset (start-up); Send bytes go out on the line.
struct Step {
    enum class Kind { Send, Program, Erase, Reset, RunApplication };
    Kind kind = Kind::Send;
    std::vector<std::uint8_t> bytes;       // Send
    std::chrono::nanoseconds duration{0};  // Program, Erase
    std::uint32_t address = 0;             // RunApplication: where Go jumps
};
using Steps = std::vector<Step>;

enum class CoreState { AwaitingSync, AwaitingCommand, ReceivingFrame, Application, Silent };

// The bootloader's protocol, byte by byte, without time or I/O: each received byte yields the
// steps the chip takes. Memory, options, faults and counters belong to the chip.
class BootloaderCore {
  public:
    BootloaderCore(ChipMemory& memory, const ChipOptions& options, FaultInjector& faults,
                   ChipStats& stats);

    Steps feed(std::uint8_t byte);
    // A reset: waits for the sync byte again. Memory is kept.
    void reset();
    // Power on: as reset, and a chip that had gone silent answers again.
    void powerOn();
    // Started with BOOT0 low: the application runs and the bootloader hears nothing.
    void startApplication() { state_ = CoreState::Application; }
    CoreState state() const { return state_; }

  private:
    using Continuation = void (BootloaderCore::*)(Steps&);

    void onSyncByte(std::uint8_t byte, Steps& steps);
    void onCommandByte(std::uint8_t byte, Steps& steps);
    void dispatch(std::uint8_t code, Steps& steps);
    void expect(std::size_t count, Continuation then);
    void finish() { state_ = CoreState::AwaitingCommand; }

    void send(Steps& steps, std::vector<std::uint8_t> bytes);
    void ack(Steps& steps);
    void nack(Steps& steps);  // and back to waiting for a command
    // The command's first ACK, unless a fault turns it into a NACK.
    bool accept(Steps& steps);
    bool refusedWhileReadoutProtected(Steps& steps);
    void busy(Steps& steps, Step::Kind kind, std::chrono::nanoseconds duration);
    void resetAfterwards(Steps& steps);
    std::chrono::nanoseconds optionRewriteTime() const;

    void answerGet(Steps& steps);
    void readAddress(Steps& steps);
    void readCount(Steps& steps);
    void writeAddress(Steps& steps);
    void writeLength(Steps& steps);
    void writeData(Steps& steps);
    void writeOptionBytes(Steps& steps, std::span<const std::uint8_t> data);
    void eraseCount(Steps& steps);
    void eraseGlobal(Steps& steps);
    void erasePageList(Steps& steps);
    void extendedEraseCount(Steps& steps);
    void extendedEraseSpecial(Steps& steps);
    void extendedErasePageList(Steps& steps);
    void finishErase(Steps& steps, const FlashOutcome& outcome, std::chrono::nanoseconds time);
    void goAddress(Steps& steps);
    void writeProtectCount(Steps& steps);
    void writeProtectSectors(Steps& steps);
    void flipRandomProgrammedBit(std::uint32_t address, std::size_t length);

    bool addressFrameValid() const;
    std::uint32_t addressFromFrame() const;

    ChipMemory& memory_;
    const ChipOptions& options_;
    FaultInjector& faults_;
    ChipStats& stats_;

    CoreState state_ = CoreState::AwaitingSync;
    bool haveFirstCommandByte_ = false;
    std::uint8_t firstCommandByte_ = 0;
    std::int64_t commandsServed_ = 0;

    std::vector<std::uint8_t> frame_;
    std::size_t frameNeeded_ = 0;
    Continuation then_ = nullptr;

    // Carried from one frame of a command to the next.
    std::uint32_t address_ = 0;
    std::vector<std::uint8_t> countBytes_;
};

}  // namespace pellion::sim
