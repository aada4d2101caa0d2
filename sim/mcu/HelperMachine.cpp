#include "sim/mcu/HelperMachine.h"

#include <unicorn/unicorn.h>

#include <map>

#include "sim/mcu/ClockController.h"
#include "sim/mcu/FlashController.h"
#include "sim/mcu/PortPins.h"
#include "sim/mcu/SystemControl.h"

namespace pellion::sim::mcu {

namespace {

constexpr std::uint32_t kPageBytes = 0x1000;  // the emulator maps whole 4 KiB pages
constexpr std::uint32_t kSystemMemoryEnd = kOptionBytesBase + kOptionByteCount;
// Polls of unchanged status registers in a row that mean the program is waiting.
constexpr int kIdlePolls = 4;
constexpr std::uint64_t kRunawayCycles = 20'000'000;
constexpr int kRunRounds = 64;

std::uint32_t roundUpToPage(std::uint32_t bytes) {
    return (bytes + kPageBytes - 1) / kPageBytes * kPageBytes;
}

}  // namespace

const char* endingName(HelperMachine::Ending ending) {
    switch (ending) {
        case HelperMachine::Ending::Running:
            return "running";
        case HelperMachine::Ending::Failed:
            return "failed";
        case HelperMachine::Ending::SystemReset:
            return "system-reset";
        case HelperMachine::Ending::ProgramStarted:
            return "program-started";
    }
    return "unknown";
}

struct HelperMachine::Impl {
    struct Region {
        std::uint32_t base;
        std::uint32_t bytes;
        Peripheral* peripheral;
    };
    struct Page {
        Impl* machine;
        std::uint32_t base;
    };
    enum class Wait { None, Event, Host };

    McuContext context;
    ClockController clocks{context};
    PortPins portA{context, clocks};
    SerialPeripheral serial{context, clocks, portA};
    FlashController flash{context, clocks};
    SystemControl system{context, clocks};
    std::vector<Region> regions;
    std::vector<std::unique_ptr<Page>> pages;

    uc_engine* uc = nullptr;
    std::uint32_t pc = 0;
    Ending ending = Ending::Running;
    Wait wait = Wait::None;
    std::optional<McuTime> wakeAt;
    McuTime horizon{};
    std::map<std::uint32_t, std::uint32_t> lastStatus;
    int unchangedPolls = 0;
    std::uint64_t cyclesSinceAccess = 0;
    std::uint64_t picoseconds = 0;
    std::string unmappedAccess;
    bool stopPending = false;

    Impl(ChipMemory& memory, const ChipOptions& options, FaultInjector& faults, ChipStats& stats)
        : context{memory, options, faults, stats, {}, {}} {
        regions = {{kPortABase, 0x400, &portA},
                   {kUsart1Base, 0x400, &serial},
                   {kClockControllerBase, 0x400, &clocks},
                   {kFlashControllerBase, 0x400, &flash},
                   {kSystemControlBase, 0x1000, &system}};
        clocks.onApb2Reset([this](std::uint32_t bits) {
            if (bits & kApb2PortA)
                portA.reset();
            if (bits & kApb2Usart1)
                serial.reset();
        });
    }

    ~Impl() {
        if (uc)
            uc_close(uc);
    }

    void fail(const std::string& message) {
        context.fail(message);
        stop();
    }
    // Stopping inside a block would resume it from its start and run part of it twice: a
    // stop asked for during an access takes effect where the next block begins.
    void stop() { stopPending = true; }

    bool open() {
        if (uc_open(UC_ARCH_ARM, uc_mode(UC_MODE_THUMB | UC_MODE_MCLASS), &uc) != UC_ERR_OK) {
            uc = nullptr;
            context.fail("cannot create the emulated core");
            return false;
        }
        uc_ctl_set_cpu_model(uc, UC_CPU_ARM_CORTEX_M3);
        bool ok = uc_mem_map(uc, kRamBase, kRamBytes, UC_PROT_ALL) == UC_ERR_OK;
        ok = ok && mapPages(kFlashBase, roundUpToPage(context.memory.layout().flashBytes()));
        ok = ok && mapPages(kSystemMemoryBase, kPageBytes);
        for (std::uint32_t base : {0x40010000u, 0x40013000u, 0x40021000u, 0x40022000u})
            ok = ok && mapPages(base, kPageBytes);
        ok = ok && mapPages(kSystemControlBase, kPageBytes);
        uc_hook hook;
        ok = ok &&
             uc_hook_add(uc, &hook, UC_HOOK_BLOCK, (void*)&Impl::onBlock, this, 1, 0) == UC_ERR_OK;
        ok = ok && uc_hook_add(uc, &hook, UC_HOOK_MEM_WRITE, (void*)&Impl::onRamWrite, this,
                               kRamBase, kRamBase + kRamBytes - 1) == UC_ERR_OK;
        ok = ok && uc_hook_add(uc, &hook, UC_HOOK_MEM_UNMAPPED, (void*)&Impl::onUnmapped, this, 1,
                               0) == UC_ERR_OK;
        if (!ok)
            context.fail("cannot map the emulated chip's memory");
        return ok;
    }

    bool mapPages(std::uint32_t base, std::uint32_t bytes) {
        pages.push_back(std::make_unique<Page>(Page{this, base}));
        Page* page = pages.back().get();
        return uc_mmio_map(uc, base, bytes, &Impl::onRead, page, &Impl::onWrite, page) == UC_ERR_OK;
    }

    static std::uint64_t onRead(uc_engine*, std::uint64_t offset, unsigned size, void* user) {
        auto* page = static_cast<Page*>(user);
        return page->machine->read(page->base + std::uint32_t(offset), size);
    }
    static void onWrite(uc_engine*, std::uint64_t offset, unsigned size, std::uint64_t value,
                        void* user) {
        auto* page = static_cast<Page*>(user);
        page->machine->write(page->base + std::uint32_t(offset), std::uint32_t(value), size);
    }
    static void onBlock(uc_engine* uc, std::uint64_t, std::uint32_t size, void* user) {
        auto* machine = static_cast<Impl*>(user);
        if (machine->stopPending)
            uc_emu_stop(uc);
        else
            machine->spend(size / 2);
    }
    // A write that changes RAM is progress: a program that polls between such writes is busy,
    // not waiting. (A poll loop's stack pushes write the same values again.)
    static void onRamWrite(uc_engine* uc, uc_mem_type, std::uint64_t address, int size,
                           std::int64_t value, void* user) {
        std::uint64_t before = 0;
        uc_mem_read(uc, address, &before, std::size_t(size));
        const std::uint64_t mask = size >= 8 ? ~0ull : (1ull << (8 * size)) - 1;
        if ((before & mask) != (std::uint64_t(value) & mask))
            static_cast<Impl*>(user)->unchangedPolls = 0;
    }
    static bool onUnmapped(uc_engine*, uc_mem_type type, std::uint64_t address, int size,
                           std::int64_t, void* user) {
        const char* what = type == UC_MEM_WRITE_UNMAPPED   ? "writes"
                           : type == UC_MEM_FETCH_UNMAPPED ? "jumps to"
                                                           : "reads";
        static_cast<Impl*>(user)->unmappedAccess =
            std::string(what) + " " + hexWord(std::uint32_t(address)) + " (" +
            std::to_string(size) + " bytes), where the chip has nothing";
        return false;
    }

    void spend(std::uint64_t cycles) {
        cyclesSinceAccess += cycles;
        if (context.timed()) {
            picoseconds += cycles * 1'000'000'000'000ull / clocks.coreHz();
            context.now += nanoseconds(picoseconds / 1000);
            picoseconds %= 1000;
        }
        if (cyclesSinceAccess > kRunawayCycles)
            fail("runs " + std::to_string(kRunawayCycles / 1'000'000) +
                 " million cycles without touching the flash or a peripheral");
    }

    Region* regionOf(std::uint32_t address) {
        for (Region& region : regions) {
            if (address >= region.base && address - region.base < region.bytes)
                return &region;
        }
        return nullptr;
    }

    bool inFlash(std::uint32_t address) const { return context.memory.layout().contains(address); }

    std::uint32_t read(std::uint32_t address, unsigned size) {
        cyclesSinceAccess = 0;
        if (inFlash(address)) {
            unchangedPolls = 0;
            return flash.readMemory(address, size);
        }
        if (address >= kSystemMemoryBase && address + size <= kSystemMemoryEnd) {
            unchangedPolls = 0;
            std::uint32_t value = 0;
            const auto bytes = context.memory.read(address, size);
            for (unsigned i = 0; i < size; ++i)
                value |= std::uint32_t(bytes[i]) << (8 * i);
            return value;
        }
        Region* region = regionOf(address);
        if (!region) {
            fail("reads " + hexWord(address) + ", where the model has no peripheral");
            return 0;
        }
        const std::uint32_t offset = address - region->base;
        const std::uint32_t registerOffset = offset & ~3u;
        const auto value = region->peripheral->read(registerOffset);
        if (!value) {
            fail("reads " + hexWord(address) + ", a " + region->peripheral->name() +
                 " register the model does not know");
            return 0;
        }
        if (context.failed())
            stop();
        if (region->peripheral->isStatus(registerOffset))
            notePoll(address, *value, *region->peripheral);
        else
            unchangedPolls = 0;
        return (*value >> (8 * (offset & 3u))) & (size >= 4 ? 0xFFFFFFFFu : (1u << (8 * size)) - 1);
    }

    void write(std::uint32_t address, std::uint32_t value, unsigned size) {
        cyclesSinceAccess = 0;
        unchangedPolls = 0;
        if (inFlash(address)) {
            flash.writeMemory(address, value, size);
        } else if (Region* region = regionOf(address)) {
            if (size != 4)
                context.fail("writes " + std::to_string(size) + " bytes to " + hexWord(address) +
                             "; registers take whole words");
            else if (!region->peripheral->write(address - region->base, value))
                context.fail("writes " + hexWord(value) + " to " + hexWord(address) + ", a " +
                             region->peripheral->name() + " register the model does not know");
        } else {
            context.fail("writes " + hexWord(value) + " to " + hexWord(address) +
                         ", where the model has no peripheral");
        }
        if (context.failed() || system.resetRequested())
            stop();
    }

    // The program reads a status register again and again without it changing: it waits.
    void notePoll(std::uint32_t address, std::uint32_t value, const Peripheral& peripheral) {
        auto [entry, added] = lastStatus.try_emplace(address, value);
        if (!added && entry->second == value) {
            ++unchangedPolls;
        } else {
            unchangedPolls = 0;
            entry->second = value;
        }
        if (unchangedPolls >= kIdlePolls)
            idle(address, peripheral);
    }

    std::optional<McuTime> nextEvent() const {
        std::optional<McuTime> next;
        for (const Region& region : regions)
            next = earliest(next, region.peripheral->nextEvent());
        return next;
    }

    void idle(std::uint32_t address, const Peripheral& peripheral) {
        unchangedPolls = 0;
        if (serial.settle())
            return;  // a byte came in meanwhile: the program has not seen it yet
        const auto next = nextEvent();
        if (next && *next <= horizon) {
            context.now = *next;
        } else if (next) {
            wait = Wait::Event;
            wakeAt = next;
            stop();
        } else if (serial.waitingForHost()) {
            wait = Wait::Host;
            stop();
        } else {
            fail("spins on " + hexWord(address) + " (" + peripheral.name() +
                 ") with nothing left that could change it");
        }
    }

    void finish(Ending how) {
        ending = how;
        std::vector<std::uint8_t>& ram = context.memory.ram();
        uc_mem_read(uc, kRamBase, ram.data(), ram.size());
    }

    void programStarted() {
        if (serial.enabled())
            context.fail("starts the program with USART1 still enabled");
        else if (!clocks.onInternalOscillator())
            context.fail("starts the program with the core still on the PLL");
    }

    void onEmulationError(uc_err error) {
        if ((error == UC_ERR_FETCH_PROT || error == UC_ERR_FETCH_UNMAPPED) && inFlash(pc))
            programStarted();
        else if (!unmappedAccess.empty())
            context.fail(unmappedAccess + " (at pc " + hexWord(pc) + ")");
        else
            context.fail(std::string("stops at pc ") + hexWord(pc) + ": " + uc_strerror(error));
    }

    void runRound() {
        wait = Wait::None;
        wakeAt.reset();
        stopPending = false;
        const uc_err error = uc_emu_start(uc, pc | 1u, 0xFFFFFFFF, 0, 0);
        std::uint32_t at = 0;
        uc_reg_read(uc, UC_ARM_REG_PC, &at);
        pc = at;
        if (error != UC_ERR_OK && !context.failed())
            onEmulationError(error);
        if (context.failed())
            finish(Ending::Failed);
        else if (system.resetRequested())
            finish(Ending::SystemReset);
        else if (error != UC_ERR_OK)
            finish(Ending::ProgramStarted);
    }
};

HelperMachine::HelperMachine(ChipMemory& memory, const ChipOptions& options, FaultInjector& faults,
                             ChipStats& stats)
    : impl_(std::make_unique<Impl>(memory, options, faults, stats)) {}

HelperMachine::~HelperMachine() = default;

void HelperMachine::start(std::uint32_t vectors, McuTime at) {
    Impl& m = *impl_;
    m.context.now = at;
    if (!m.open()) {
        m.ending = Ending::Failed;
        return;
    }
    std::vector<std::uint8_t>& ram = m.context.memory.ram();
    uc_mem_write(m.uc, kRamBase, ram.data(), ram.size());
    const auto word = [&](std::uint32_t address) {
        std::uint32_t value = 0;
        uc_mem_read(m.uc, address, &value, sizeof value);
        return value;
    };
    const std::uint32_t stack = word(vectors);
    m.pc = word(vectors + 4);
    uc_reg_write(m.uc, UC_ARM_REG_SP, &stack);
    if (stack < kRamBase || stack > kRamBase + kRamBytes || stack % 4 != 0)
        m.context.fail("starts with the stack pointer at " + hexWord(stack) + ", outside RAM");
    else if (!(m.pc & 1u))
        m.context.fail("starts at " + hexWord(m.pc) + ", not a Thumb address");
    if (m.context.failed())
        m.finish(Ending::Failed);
}

void HelperMachine::receive(std::uint8_t value, McuTime arrival, std::uint32_t hostBaud) {
    impl_->serial.receive(value, arrival, hostBaud);
}

void HelperMachine::setHostBaud(std::uint32_t baud) {
    impl_->serial.setHostBaud(baud);
}

void HelperMachine::run(McuTime wallNow, McuTime horizon) {
    Impl& m = *impl_;
    if (m.ending != Ending::Running)
        return;
    if (!m.context.timed()) {
        m.context.now = std::max(m.context.now, wallNow);
        horizon = std::max(horizon, m.context.now);
    }
    m.horizon = horizon;
    for (int round = 0; round < kRunRounds && m.ending == Ending::Running; ++round) {
        if (m.wait != Impl::Wait::None) {
            // A host byte may now come before what the program was waiting for.
            const auto due = earliest(m.wakeAt, m.serial.nextArrival());
            if (!due || *due > m.horizon)
                return;
            m.context.now = std::max(m.context.now, *due);
        }
        m.runRound();
    }
}

std::optional<McuTime> HelperMachine::wakeAt() const {
    return impl_->wait == Impl::Wait::Event ? impl_->wakeAt : std::nullopt;
}

std::vector<SerialPeripheral::Sent> HelperMachine::takeSent() {
    return impl_->serial.takeSent();
}

HelperMachine::Ending HelperMachine::ending() const {
    return impl_->ending;
}

const std::string& HelperMachine::error() const {
    return impl_->context.error;
}

McuTime HelperMachine::now() const {
    return impl_->context.now;
}

}  // namespace pellion::sim::mcu
