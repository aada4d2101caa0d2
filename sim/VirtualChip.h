#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/BoardPins.h"
#include "sim/BootloaderCore.h"
#include "sim/ChipMemory.h"
#include "sim/ChipOptions.h"
#include "sim/ChipSnapshot.h"
#include "sim/ChipStats.h"
#include "sim/FaultInjector.h"

namespace pellion::sim {

namespace mcu {
class HelperMachine;
}

using SteadyClock = std::chrono::steady_clock;
using TimePoint = SteadyClock::time_point;

enum class ChipState {
    Starting,
    AwaitingSync,
    Synchronised,
    Application,
    Silent,
    Disconnected,
    Helper,        // running a program Go started in RAM
    HelperFailed,  // that program made an error; the summary says which
    InReset,       // RESET held by the lines: the chip does nothing
    Empty,         // no chip in the socket
};
const char* chipStateName(ChipState state);

// One virtual chip serving one file descriptor (the master side of a pseudo-terminal).
//
// Bytes are handled when they are read, but in modelled time: with timing on, each byte
// "arrives" one byte time after the previous one, the chip is busy while its flash works, and
// each answer byte is written to the line only when it would have left a real UART (and passed
// the adapter). The loop that serves the chip asks plan() what to wait for and calls service().
//
// Every public operation is thread-safe: tests inspect and change a chip while it is served.
class VirtualChip {
  public:
    // Takes ownership of `fd` (non-blocking) and of `keeperFd` (a second handle on the slave
    // side that keeps the line alive while no host has it open; -1 for none).
    VirtualChip(const ChipOptions& options, const FlashLayout& layout, int fd, int keeperFd,
                std::string devicePath);
    ~VirtualChip();
    VirtualChip(const VirtualChip&) = delete;
    VirtualChip& operator=(const VirtualChip&) = delete;

    struct Plan {
        int fd = -1;
        short events = 0;
        std::optional<TimePoint> deadline;
    };
    Plan plan() const;
    void service(short revents, TimePoint now);
    // Called (from any thread) when the plan may have changed.
    void setWakeHandler(std::function<void()> wake);
    // Called when the line closes for good, before its device can go to another terminal; with
    // the chip locked, so it must not call the chip.
    void setLineClosingHandler(std::function<void()> closing);

    // The device path a host opens.
    const std::string& devicePath() const { return devicePath_; }
    DeviceCode code() const;
    DeviceGeometry geometry() const;

    std::vector<std::uint8_t> flash() const;
    std::vector<std::uint8_t> readFlash(std::uint32_t address, std::size_t length) const;
    OptionBytes optionBytes() const;
    bool readoutProtected() const;
    std::uint32_t writeProtectionWord() const;
    ChipStats stats() const;
    ChipState state() const;
    // Modelled busy time: the physical lower bound of everything this chip was asked to do.
    std::chrono::nanoseconds busyTime() const;

    void loadFlash(std::uint32_t address, std::span<const std::uint8_t> bytes);
    void setOptionBytes(const OptionBytes& bytes);
    void setReadoutProtected(bool on);
    // Bit i set: 4 KiB region i protected.
    void setWriteProtectedRegions(std::uint32_t regions);
    // Timing, faults, policies, device-code command, application output. The flash geometry,
    // the code and the board (wiring, boot jumper) are fixed at creation. Changed faults restart
    // their random sequence.
    void configure(const std::function<void(ChipOptions&)>& change);
    ChipOptions options() const;

    // The reset button: the chip starts up (deaf for the start-up time) and samples BOOT0, then
    // waits for the sync byte or runs its application. A chip that had gone silent answers
    // again. Nothing happens while the lines hold RESET.
    void reset();
    // Pulls the cable: the line closes and the host's side hangs up.
    void disconnect();

    // The board (the adapter's DTR and RTS, the RESET and BOOT0 pins they drive) and the
    // socket the chip sits in. The device path, the lines and the options belong to the
    // socket; memory, unique id and counters to the chip in it.
    struct BoardState {
        LineLevels lines;
        bool resetHeld = false;
        bool boot0High = false;
        const char* mode = "";  // "bootloader", "application", "reset" or "empty"
    };
    // Sets the lines given (nullopt: as it is); on the release of RESET the chip starts anew.
    // Returns the levels now in effect.
    LineLevels setLines(std::optional<bool> dtr, std::optional<bool> rts);
    BoardState board() const;
    // An operator swaps chips: out of the socket (false when it is empty), a fresh chip in
    // (false when one is there), or both. A fresh chip has the next sequence number, its own
    // unique id and the start state and start mode of the options; it is deaf for its start-up
    // time.
    bool remove();
    bool insert();
    void replace();
    // The chip in the socket now (state "empty" when there is none), and every chip that has
    // left the socket, in the order they left.
    ChipSnapshot snapshot() const;
    std::vector<ChipSnapshot> retiredChips() const;
    UniqueId uniqueId() const;

    // Waits until `condition` holds (tested after each change), at most `timeout`.
    bool waitUntil(const std::function<bool(const VirtualChip&)>& condition,
                   std::chrono::milliseconds timeout) const;

  private:
    struct OutByte {
        TimePoint at;
        std::uint8_t value;
    };

    void receive(const std::uint8_t* bytes, std::size_t count, TimePoint now);
    void receiveByte(std::uint8_t byte, TimePoint now);
    void apply(const Steps& steps, TimePoint at);
    // An answer byte, through the answer faults; `perByte` negative: at the line's speed.
    void sendAnswerByte(std::uint8_t value, TimePoint at,
                        std::chrono::nanoseconds perByte = std::chrono::nanoseconds(-1));
    void transmit(std::uint8_t value, TimePoint at, bool accounted,
                  std::chrono::nanoseconds perByte = std::chrono::nanoseconds(-1));
    // A program in RAM (VirtualChipHelper.cpp).
    void startHelper(std::uint32_t vectors, TimePoint at);
    void runHelper(TimePoint now);
    void endHelper();
    std::uint32_t hostBaud() const;
    void emitApplicationLine(TimePoint at);
    void deliverDue(TimePoint now);
    void flushWrites();
    void readAvailable(TimePoint now);
    void closeLine();
    void startUp(TimePoint at);
    void restart(TimePoint now);
    // VirtualChipSocket.cpp: the board and the socket.
    void loadStartState();
    void holdInReset(TimePoint now);
    void sampleBootMode();  // after a start: the application runs when BOOT0 is low
    void scheduleReplacement(TimePoint programStarted);
    void retire();
    void insertFresh(TimePoint now);
    ChipSnapshot snapshotLocked(bool trimFlash) const;
    bool heard() const { return present_ && !pins_.resetHeld(); }
    std::chrono::nanoseconds byteTime() const;
    bool timed() const { return options_.timing.enabled; }
    void refreshLineBaud();
    void changed();
    ChipState stateLocked() const;

    mutable std::mutex mutex_;
    ChipOptions options_;
    ChipMemory memory_;
    ChipStats stats_;
    FaultInjector faults_;
    BootloaderCore core_;
    std::string devicePath_;
    int fd_;
    int keeperFd_;
    std::uint32_t lineBaud_ = 0;  // what the host set, when following it
    std::unique_ptr<mcu::HelperMachine> helper_;
    bool helperFailed_ = false;
    BoardPins pins_;
    bool present_ = true;
    std::uint32_t sequence_ = 0;
    std::optional<TimePoint> replaceAt_;
    std::vector<ChipSnapshot> retired_;

    // Modelled time.
    TimePoint receiveLineFree_{};
    TimePoint transmitLineFree_{};
    TimePoint chipFree_{};
    TimePoint deafUntil_{};
    std::optional<TimePoint> nextApplicationLine_;
    std::optional<TimePoint> closeAt_;
    bool disconnectPending_ = false;
    // How late the last answer reached the line, and its modelled moment: the host's reply was
    // delayed by that much through no fault of its own, so it is not charged for it.
    std::chrono::nanoseconds unchargedLag_{0};
    TimePoint lastAnswerAt_{};
    TimePoint adapterFlushAt_{};
    int adapterBatch_ = 0;

    std::deque<OutByte> outgoing_;           // on the wire or in the adapter
    std::vector<std::uint8_t> writeBuffer_;  // due, not yet taken by the pty

    std::function<void()> wake_;
    std::function<void()> lineClosing_;
    mutable std::mutex waitMutex_;
    mutable std::condition_variable waitCondition_;
    std::uint64_t generation_ = 0;
};

}  // namespace pellion::sim
