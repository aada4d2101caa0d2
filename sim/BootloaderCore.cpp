#include "sim/BootloaderCore.h"

#include <algorithm>

namespace pellion::sim {

namespace {

std::uint8_t xorOf(std::span<const std::uint8_t> bytes) {
    std::uint8_t x = 0;
    for (std::uint8_t b : bytes)
        x ^= b;
    return x;
}

}  // namespace

const char* commandName(std::uint8_t code) {
    switch (code) {
        case command::Get:
            return "get";
        case command::GetVersion:
            return "getVersion";
        case command::GetId:
            return "getId";
        case command::GetDeviceCode:
            return "getDeviceCode";
        case command::ReadMemory:
            return "readMemory";
        case command::Go:
            return "go";
        case command::WriteMemory:
            return "writeMemory";
        case command::Erase:
            return "erase";
        case command::ExtendedErase:
            return "extendedErase";
        case command::WriteProtect:
            return "writeProtect";
        case command::WriteUnprotect:
            return "writeUnprotect";
        case command::ReadoutProtect:
            return "readoutProtect";
        case command::ReadoutUnprotect:
            return "readoutUnprotect";
        default:
            return "unknown";
    }
}

BootloaderCore::BootloaderCore(ChipMemory& memory, const ChipOptions& options,
                               FaultInjector& faults, ChipStats& stats)
    : memory_(memory), options_(options), faults_(faults), stats_(stats) {}

void BootloaderCore::reset() {
    if (state_ != CoreState::Silent)
        state_ = CoreState::AwaitingSync;
    haveFirstCommandByte_ = false;
    frame_.clear();
    frameNeeded_ = 0;
    then_ = nullptr;
}

void BootloaderCore::powerOn() {
    state_ = CoreState::AwaitingSync;
    commandsServed_ = 0;
    reset();
}

Steps BootloaderCore::feed(std::uint8_t byte) {
    Steps steps;
    switch (state_) {
        case CoreState::AwaitingSync:
            onSyncByte(byte, steps);
            break;
        case CoreState::AwaitingCommand:
            onCommandByte(byte, steps);
            break;
        case CoreState::ReceivingFrame:
            frame_.push_back(byte);
            if (frame_.size() == frameNeeded_) {
                state_ = CoreState::AwaitingCommand;  // a continuation may ask for more
                (this->*then_)(steps);
            }
            break;
        case CoreState::Application:
        case CoreState::Silent:
            break;
    }
    return steps;
}

void BootloaderCore::onSyncByte(std::uint8_t byte, Steps& steps) {
    if (byte != kSync)
        return;  // noise before synchronisation is ignored
    ++stats_.syncs;
    if (faults_.options().strayZeroBeforeSyncAck) {
        ++stats_.strayZeros;
        send(steps, {0x00});
    }
    ack(steps);
    state_ = CoreState::AwaitingCommand;
}

void BootloaderCore::onCommandByte(std::uint8_t byte, Steps& steps) {
    if (!haveFirstCommandByte_) {
        firstCommandByte_ = byte;
        haveFirstCommandByte_ = true;
        return;
    }
    haveFirstCommandByte_ = false;
    if (std::uint8_t(firstCommandByte_ ^ 0xFF) != byte) {
        ++stats_.badCommandFrames;
        nack(steps);
        return;
    }
    ++commandsServed_;
    const std::int64_t silentAfter = faults_.options().silentAfterCommands;
    if (silentAfter >= 0 && commandsServed_ > silentAfter) {
        stats_.silenced = true;
        state_ = CoreState::Silent;
        return;
    }
    ++stats_.commands[commandName(firstCommandByte_)];
    dispatch(firstCommandByte_, steps);
}

void BootloaderCore::dispatch(std::uint8_t code, Steps& steps) {
    using namespace command;
    switch (code) {
        case Get:
            if (accept(steps))
                answerGet(steps);
            return;
        case GetVersion:
            if (accept(steps)) {
                send(steps, {kBootloaderVersion, 0x00, 0x00});
                ack(steps);
            }
            return;
        case GetId:
            if (accept(steps)) {
                send(steps, {0x01, std::uint8_t(options_.productId >> 8),
                             std::uint8_t(options_.productId)});
                ack(steps);
            }
            return;
        case GetDeviceCode:
            if (!options_.deviceCodeCommand) {
                nack(steps);
            } else if (accept(steps)) {
                const auto& code4 = options_.code.bytes;
                send(steps, {0x03, code4[0], code4[1], code4[2], code4[3]});
                ack(steps);
            }
            return;
        case ReadMemory:
            if (!refusedWhileReadoutProtected(steps) && accept(steps))
                expect(5, &BootloaderCore::readAddress);
            return;
        case WriteMemory:
            if (!refusedWhileReadoutProtected(steps) && accept(steps))
                expect(5, &BootloaderCore::writeAddress);
            return;
        case Go:
            if (!refusedWhileReadoutProtected(steps) && accept(steps))
                expect(5, &BootloaderCore::goAddress);
            return;
        case Erase:
        case ExtendedErase: {
            const bool extended = code == ExtendedErase;
            if (refusedWhileReadoutProtected(steps))
                return;
            if (extended != memory_.layout().usesExtendedErase()) {
                nack(steps);  // a chip knows only the erase command of its flash
                return;
            }
            if (accept(steps)) {
                expect(extended ? 2 : 1, extended ? &BootloaderCore::extendedEraseCount
                                                  : &BootloaderCore::eraseCount);
            }
            return;
        }
        case WriteProtect:
            if (!refusedWhileReadoutProtected(steps) && accept(steps))
                expect(1, &BootloaderCore::writeProtectCount);
            return;
        case WriteUnprotect:
            if (refusedWhileReadoutProtected(steps) || !accept(steps))
                return;
            busy(steps, Step::Kind::Program, optionRewriteTime());
            memory_.setWriteProtectionWord(0xFFFFFFFF);
            ack(steps);
            resetAfterwards(steps);
            return;
        case ReadoutProtect:
            if (refusedWhileReadoutProtected(steps) || !accept(steps))
                return;
            busy(steps, Step::Kind::Program, optionRewriteTime());
            {
                OptionBytes bytes = memory_.optionBytes();
                bytes[0] = 0x00;
                bytes[1] = 0xFF;
                memory_.setOptionBytes(bytes);
            }
            ack(steps);
            resetAfterwards(steps);
            return;
        case ReadoutUnprotect:
            if (!accept(steps))
                return;
            busy(steps, Step::Kind::Erase, options_.timing.massErase);
            memory_.eraseUnconditionally();
            busy(steps, Step::Kind::Program, optionRewriteTime());
            memory_.setOptionBytes(ChipMemory::factoryOptionBytes());
            ack(steps);
            resetAfterwards(steps);
            return;
        default:
            nack(steps);
            return;
    }
}

void BootloaderCore::expect(std::size_t count, Continuation then) {
    frame_.clear();
    frameNeeded_ = count;
    then_ = then;
    state_ = CoreState::ReceivingFrame;
}

void BootloaderCore::send(Steps& steps, std::vector<std::uint8_t> bytes) {
    if (!steps.empty() && steps.back().kind == Step::Kind::Send) {
        auto& last = steps.back().bytes;
        last.insert(last.end(), bytes.begin(), bytes.end());
        return;
    }
    Step step;
    step.kind = Step::Kind::Send;
    step.bytes = std::move(bytes);
    steps.push_back(std::move(step));
}

void BootloaderCore::ack(Steps& steps) {
    ++stats_.acks;
    send(steps, {kAck});
}

void BootloaderCore::nack(Steps& steps) {
    ++stats_.nacks;
    send(steps, {kNack});
    finish();
}

bool BootloaderCore::accept(Steps& steps) {
    if (faults_.injectNack()) {
        ++stats_.injectedNacks;
        nack(steps);
        return false;
    }
    ack(steps);
    return true;
}

bool BootloaderCore::refusedWhileReadoutProtected(Steps& steps) {
    if (!memory_.readoutProtected())
        return false;
    nack(steps);
    return true;
}

void BootloaderCore::busy(Steps& steps, Step::Kind kind, std::chrono::nanoseconds duration) {
    Step step;
    step.kind = kind;
    step.duration = duration;
    steps.push_back(std::move(step));
}

void BootloaderCore::resetAfterwards(Steps& steps) {
    Step step;
    step.kind = Step::Kind::Reset;
    steps.push_back(std::move(step));
    reset();
}

std::chrono::nanoseconds BootloaderCore::optionRewriteTime() const {
    return options_.timing.pageErase + options_.timing.halfWordProgram * (kOptionByteCount / 2);
}

void BootloaderCore::answerGet(Steps& steps) {
    using namespace command;
    std::vector<std::uint8_t> codes = {Get, GetVersion, GetId};
    if (options_.deviceCodeCommand)
        codes.push_back(GetDeviceCode);
    codes.insert(codes.end(), {ReadMemory, Go, WriteMemory});
    codes.push_back(memory_.layout().usesExtendedErase() ? ExtendedErase : Erase);
    codes.insert(codes.end(), {WriteProtect, WriteUnprotect, ReadoutProtect, ReadoutUnprotect});
    std::vector<std::uint8_t> answer = {std::uint8_t(codes.size()), kBootloaderVersion};
    answer.insert(answer.end(), codes.begin(), codes.end());
    send(steps, std::move(answer));
    ack(steps);
}

bool BootloaderCore::addressFrameValid() const {
    return xorOf(std::span(frame_).first(4)) == frame_[4];
}

std::uint32_t BootloaderCore::addressFromFrame() const {
    return std::uint32_t(frame_[0]) << 24 | std::uint32_t(frame_[1]) << 16 |
           std::uint32_t(frame_[2]) << 8 | frame_[3];
}

void BootloaderCore::readAddress(Steps& steps) {
    if (!addressFrameValid() || !memory_.isReadable(addressFromFrame())) {
        nack(steps);
        return;
    }
    address_ = addressFromFrame();
    ack(steps);
    expect(2, &BootloaderCore::readCount);
}

void BootloaderCore::readCount(Steps& steps) {
    const std::uint32_t count = std::uint32_t(frame_[0]) + 1;
    if (std::uint8_t(frame_[0] ^ 0xFF) != frame_[1] || !memory_.isReadable(address_, count)) {
        nack(steps);
        return;
    }
    ack(steps);
    send(steps, memory_.read(address_, count));
    finish();
}

void BootloaderCore::writeAddress(Steps& steps) {
    const std::uint32_t address = addressFromFrame();
    const bool flashTarget = memory_.layout().contains(address) && address % 4 == 0;
    const bool ramTarget = memory_.isLoadableRam(address) && address % 4 == 0;
    if (!addressFrameValid() || !(flashTarget || ramTarget || address == kOptionBytesBase)) {
        nack(steps);
        return;
    }
    address_ = address;
    ack(steps);
    expect(1, &BootloaderCore::writeLength);
}

void BootloaderCore::writeLength(Steps&) {
    countBytes_ = frame_;
    expect(std::size_t(frame_[0]) + 2, &BootloaderCore::writeData);
}

void BootloaderCore::writeData(Steps& steps) {
    const std::size_t count = std::size_t(countBytes_[0]) + 1;
    const std::span<const std::uint8_t> data(frame_.data(), count);
    if (std::uint8_t(countBytes_[0] ^ xorOf(data)) != frame_[count] || count % 4 != 0) {
        nack(steps);
        return;
    }
    if (address_ == kOptionBytesBase) {
        writeOptionBytes(steps, data);
        return;
    }
    if (memory_.isRam(address_)) {
        if (!memory_.isRam(address_, std::uint32_t(count))) {
            nack(steps);
            return;
        }
        memory_.writeRam(address_, data);
        ack(steps);
        finish();
        return;
    }
    const FlashOutcome outcome = memory_.program(address_, data, options_.protectedWrites);
    stats_.bytesProgrammed += std::uint64_t(outcome.bytesProgrammed);
    busy(steps, Step::Kind::Program,
         options_.timing.halfWordProgram * ((outcome.bytesProgrammed + 1) / 2));
    if (outcome.ok && outcome.bytesProgrammed > 0 && faults_.badCell())
        flipRandomProgrammedBit(address_, count);
    if (outcome.ok) {
        ack(steps);
        finish();
    } else {
        nack(steps);
    }
}

void BootloaderCore::writeOptionBytes(Steps& steps, std::span<const std::uint8_t> data) {
    if (data.size() > std::size_t(kOptionByteCount)) {
        nack(steps);
        return;
    }
    busy(steps, Step::Kind::Program,
         options_.timing.pageErase + options_.timing.halfWordProgram * (data.size() / 2));
    memory_.rewriteOptionBytes(data);
    ack(steps);
    resetAfterwards(steps);
}

void BootloaderCore::flipRandomProgrammedBit(std::uint32_t address, std::size_t length) {
    std::vector<std::uint32_t> candidates;
    for (std::size_t i = 0; i < length; ++i) {
        if (!memory_.isWriteProtected(address + std::uint32_t(i)))
            candidates.push_back(address + std::uint32_t(i));
    }
    if (candidates.empty())
        return;
    const std::uint32_t at = candidates[faults_.pick(std::uint32_t(candidates.size()))];
    const int bit = int(faults_.pick(8));
    memory_.flipBit(at, bit);
    stats_.flippedBits.push_back({at, bit});
}

void BootloaderCore::eraseCount(Steps&) {
    countBytes_ = frame_;
    if (frame_[0] == 0xFF)
        expect(1, &BootloaderCore::eraseGlobal);
    else
        expect(std::size_t(frame_[0]) + 2, &BootloaderCore::erasePageList);
}

void BootloaderCore::eraseGlobal(Steps& steps) {
    if (frame_[0] != 0x00) {
        nack(steps);
        return;
    }
    finishErase(steps, memory_.eraseAll(options_.protectedWrites), options_.timing.massErase);
}

void BootloaderCore::erasePageList(Steps& steps) {
    const std::size_t count = std::size_t(countBytes_[0]) + 1;
    const std::span<const std::uint8_t> pageBytes(frame_.data(), count);
    if (std::uint8_t(countBytes_[0] ^ xorOf(pageBytes)) != frame_[count]) {
        nack(steps);
        return;
    }
    std::vector<int> pages(pageBytes.begin(), pageBytes.end());
    const FlashOutcome outcome = memory_.erasePages(pages, options_.protectedWrites);
    finishErase(steps, outcome, options_.timing.pageErase * outcome.pagesErased);
}

void BootloaderCore::extendedEraseCount(Steps&) {
    countBytes_ = frame_;
    const unsigned count = unsigned(frame_[0]) << 8 | frame_[1];
    if (count >= 0xFFF0)
        expect(1, &BootloaderCore::extendedEraseSpecial);
    else
        expect(2 * (std::size_t(count) + 1) + 1, &BootloaderCore::extendedErasePageList);
}

void BootloaderCore::extendedEraseSpecial(Steps& steps) {
    if (std::uint8_t(countBytes_[0] ^ countBytes_[1]) != frame_[0]) {
        nack(steps);
        return;
    }
    const unsigned code = unsigned(countBytes_[0]) << 8 | countBytes_[1];
    FlashOutcome outcome;
    switch (code) {
        case 0xFFFF:
            outcome = memory_.eraseAll(options_.protectedWrites);
            break;
        case 0xFFFE:
            outcome = memory_.eraseBank(1, options_.protectedWrites);
            break;
        case 0xFFFD:
            outcome = memory_.eraseBank(2, options_.protectedWrites);
            break;
        default:
            nack(steps);
            return;
    }
    finishErase(steps, outcome, options_.timing.massErase);
}

void BootloaderCore::extendedErasePageList(Steps& steps) {
    const std::size_t pageBytes = frame_.size() - 1;
    const std::uint8_t checksum =
        countBytes_[0] ^ countBytes_[1] ^ xorOf(std::span(frame_).first(pageBytes));
    if (checksum != frame_.back()) {
        nack(steps);
        return;
    }
    std::vector<int> pages;
    for (std::size_t i = 0; i < pageBytes; i += 2)
        pages.push_back(int(frame_[i]) << 8 | frame_[i + 1]);
    const FlashOutcome outcome = memory_.erasePages(pages, options_.protectedWrites);
    finishErase(steps, outcome, options_.timing.pageErase * outcome.pagesErased);
}

void BootloaderCore::finishErase(Steps& steps, const FlashOutcome& outcome,
                                 std::chrono::nanoseconds time) {
    if (outcome.pagesErased > 0)
        busy(steps, Step::Kind::Erase, time);
    if (outcome.ok) {
        ack(steps);
        finish();
    } else {
        nack(steps);
    }
}

void BootloaderCore::goAddress(Steps& steps) {
    if (!addressFrameValid() || !memory_.isExecutable(addressFromFrame())) {
        nack(steps);
        return;
    }
    ack(steps);
    Step step;
    step.kind = Step::Kind::RunApplication;
    step.address = addressFromFrame();
    steps.push_back(std::move(step));
    state_ = CoreState::Application;
}

void BootloaderCore::writeProtectCount(Steps&) {
    countBytes_ = frame_;
    expect(std::size_t(frame_[0]) + 2, &BootloaderCore::writeProtectSectors);
}

void BootloaderCore::writeProtectSectors(Steps& steps) {
    const std::size_t count = std::size_t(countBytes_[0]) + 1;
    const std::span<const std::uint8_t> sectors(frame_.data(), count);
    if (std::uint8_t(countBytes_[0] ^ xorOf(sectors)) != frame_[count]) {
        nack(steps);
        return;
    }
    std::uint32_t word = memory_.writeProtectionWord();
    for (std::uint8_t sector : sectors) {
        if (std::uint64_t(sector) * kProtectionRegionBytes >= memory_.layout().flashBytes()) {
            nack(steps);
            return;
        }
        word &= ~(1u << std::min<int>(sector, 31));
    }
    busy(steps, Step::Kind::Program, optionRewriteTime());
    memory_.setWriteProtectionWord(word);
    ack(steps);
    resetAfterwards(steps);
}

}  // namespace pellion::sim
