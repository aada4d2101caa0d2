#include "sim/VirtualChip.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>

#include "sim/LineSpeed.h"
#include "sim/mcu/HelperMachine.h"

namespace pellion::sim {

namespace {

// A USB-serial adapter sends a full packet at once, whatever its latency timer says.
constexpr int kAdapterPacketBytes = 62;
// Application text is dropped rather than queued without bound when nobody reads the line.
constexpr std::size_t kApplicationBacklogLimit = 4096;

}  // namespace

const char* chipStateName(ChipState state) {
    switch (state) {
        case ChipState::Starting:
            return "starting";
        case ChipState::AwaitingSync:
            return "awaiting-sync";
        case ChipState::Synchronised:
            return "synchronised";
        case ChipState::Application:
            return "application";
        case ChipState::Silent:
            return "silent";
        case ChipState::Disconnected:
            return "disconnected";
        case ChipState::Helper:
            return "helper";
        case ChipState::HelperFailed:
            return "helper-failed";
        case ChipState::InReset:
            return "in-reset";
        case ChipState::Empty:
            return "empty";
    }
    return "unknown";
}

VirtualChip::VirtualChip(const ChipOptions& options, const FlashLayout& layout, int fd,
                         int keeperFd, std::string devicePath)
    : options_(options),
      memory_(layout, makeUniqueId(options.uniqueIdSeed, options.serialNumber, 0)),
      faults_(options.faults),
      core_(memory_, options_, faults_, stats_),
      devicePath_(std::move(devicePath)),
      fd_(fd),
      keeperFd_(keeperFd),
      pins_(options.wiring, !options.startInApplication) {
    loadStartState();
    refreshLineBaud();
    sampleBootMode();  // powered long before any host came: no start-up left
}

VirtualChip::~VirtualChip() {
    if (fd_ >= 0)
        ::close(fd_);
    if (keeperFd_ >= 0)
        ::close(keeperFd_);
}

void VirtualChip::setWakeHandler(std::function<void()> wake) {
    std::lock_guard lock(mutex_);
    wake_ = std::move(wake);
}

void VirtualChip::setLineClosingHandler(std::function<void()> closing) {
    std::lock_guard lock(mutex_);
    lineClosing_ = std::move(closing);
}

VirtualChip::Plan VirtualChip::plan() const {
    std::lock_guard lock(mutex_);
    Plan plan;
    if (fd_ < 0)
        return plan;
    plan.fd = fd_;
    plan.events = short((disconnectPending_ ? 0 : POLLIN) | (writeBuffer_.empty() ? 0 : POLLOUT));
    auto consider = [&plan](TimePoint at) {
        if (!plan.deadline || at < *plan.deadline)
            plan.deadline = at;
    };
    if (!outgoing_.empty())
        consider(outgoing_.front().at);
    if (nextApplicationLine_)
        consider(*nextApplicationLine_);
    if (closeAt_)
        consider(*closeAt_);
    if (replaceAt_)
        consider(*replaceAt_);
    if (timed() && deafUntil_ > SteadyClock::now())
        consider(deafUntil_);  // so that waiters see the start-up end
    if (helper_ && helper_->wakeAt())
        consider(*helper_->wakeAt());
    return plan;
}

void VirtualChip::service(short revents, TimePoint now) {
    {
        std::lock_guard lock(mutex_);
        if (fd_ < 0)
            return;
        if ((revents & (POLLIN | POLLHUP | POLLERR)) && !disconnectPending_)
            readAvailable(now);
        runHelper(now);
        const auto interval = std::max<std::chrono::nanoseconds>(options_.applicationInterval,
                                                                 std::chrono::milliseconds(1));
        while (nextApplicationLine_ && *nextApplicationLine_ <= now) {
            emitApplicationLine(*nextApplicationLine_);
            // A loop that fell far behind does not print a burst to catch up.
            *nextApplicationLine_ = std::max(*nextApplicationLine_ + interval, now - interval);
        }
        deliverDue(now);
        flushWrites();
        if (closeAt_ && *closeAt_ <= now)
            closeLine();
        if (replaceAt_ && *replaceAt_ <= now && fd_ >= 0) {
            retire();
            insertFresh(now);
        }
    }
    std::lock_guard lock(waitMutex_);
    ++generation_;
    waitCondition_.notify_all();
}

void VirtualChip::readAvailable(TimePoint now) {
    std::uint8_t buffer[4096];
    for (int round = 0; round < 16 && fd_ >= 0 && !disconnectPending_; ++round) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n > 0) {
            receive(buffer, std::size_t(n), now);
            unchargedLag_ = std::chrono::nanoseconds(0);  // forgiven once, for the reply
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;  // EAGAIN, or EIO while no host has the line open
    }
}

void VirtualChip::receive(const std::uint8_t* bytes, std::size_t count, TimePoint now) {
    const std::int64_t limit = options_.faults.disconnectAfterBytes;
    if (helper_)
        refreshLineBaud();  // a program in RAM may have switched the line's speed
    for (std::size_t i = 0; i < count && !disconnectPending_; ++i) {
        if (limit >= 0 && stats_.bytesReceived >= std::uint64_t(limit)) {
            disconnectPending_ = true;
            closeAt_ = timed() ? std::max(now, receiveLineFree_) : now;
            return;
        }
        receiveByte(bytes[i], now);
        if (limit >= 0 && stats_.bytesReceived >= std::uint64_t(limit)) {
            disconnectPending_ = true;
            closeAt_ = timed() ? receiveLineFree_ : now;
        }
    }
}

void VirtualChip::receiveByte(std::uint8_t byte, TimePoint now) {
    if (!heard()) {
        stats_.bytesIgnoredInReset += present_ ? 1 : 0;
        return;
    }
    // A real chip measures the line speed on the sync byte itself.
    if (byte == kSync && core_.state() == CoreState::AwaitingSync)
        refreshLineBaud();
    const auto perByte = byteTime();
    ++stats_.bytesReceived;
    stats_.busy.wireReceive += perByte;
    TimePoint arrival = now;
    if (timed()) {
        // The host answered a late answer late; it is timed as if the answer had been on time.
        TimePoint sent = std::max(now - unchargedLag_, lastAnswerAt_);
        if (helper_)  // a program in RAM may have run ahead to a moment the host has not seen
            sent = std::max(sent, helper_->now());
        arrival = std::max(sent, receiveLineFree_) + perByte;
        receiveLineFree_ = arrival;
        if (arrival < deafUntil_) {
            ++stats_.bytesIgnoredWhileStarting;
            return;
        }
    }
    if (faults_.options().parityBlindAdapter && std::popcount(byte) % 2 == 0) {
        ++stats_.parityDiscards;
        return;
    }
    if (helper_) {
        helper_->receive(byte, arrival, hostBaud());
        return;
    }
    const TimePoint at = timed() ? std::max(arrival, chipFree_) : now;
    apply(core_.feed(byte), at);
}

void VirtualChip::apply(const Steps& steps, TimePoint at) {
    TimePoint t = at;
    for (const Step& step : steps) {
        switch (step.kind) {
            case Step::Kind::Send:
                for (std::uint8_t value : step.bytes)
                    sendAnswerByte(value, t);
                break;
            case Step::Kind::Program:
            case Step::Kind::Erase:
                (step.kind == Step::Kind::Program ? stats_.busy.programming
                                                  : stats_.busy.erasing) += step.duration;
                if (timed())
                    t += step.duration;
                break;
            case Step::Kind::Reset:
                ++stats_.resets;
                nextApplicationLine_.reset();
                startUp(timed() ? std::max(t, transmitLineFree_) : t);
                sampleBootMode();
                // Programmed and then protected: the end of this chip's programming.
                if (memory_.readoutProtected() && stats_.bytesProgrammed > 0)
                    scheduleReplacement(t);
                break;
            case Step::Kind::RunApplication:
                if (memory_.isRam(step.address)) {
                    startHelper(step.address, timed() ? std::max(t, transmitLineFree_) : t);
                    break;
                }
                scheduleReplacement(t);
                if (!options_.applicationText.empty()) {
                    nextApplicationLine_ =
                        (timed() ? std::max(t, transmitLineFree_) : t) +
                        std::max<std::chrono::nanoseconds>(options_.applicationInterval,
                                                           std::chrono::milliseconds(1));
                }
                break;
        }
    }
    if (timed())
        chipFree_ = std::max(chipFree_, t);
}

void VirtualChip::startUp(TimePoint at) {
    stats_.busy.startup += options_.timing.startup;
    if (timed()) {
        deafUntil_ = at + options_.timing.startup;
        chipFree_ = std::max(chipFree_, deafUntil_);
    }
}

void VirtualChip::sendAnswerByte(std::uint8_t value, TimePoint at,
                                 std::chrono::nanoseconds perByte) {
    const std::int64_t index = std::int64_t(stats_.bytesSent + stats_.droppedBytes);
    if (faults_.dropAnswerByte() || index == faults_.options().dropAnswerByteAt) {
        ++stats_.droppedBytes;
        return;
    }
    if (faults_.corruptAnswerByte()) {
        value ^= faults_.corruptionMask();
        ++stats_.corruptedBytes;
    }
    if (std::int64_t(stats_.bytesSent) == faults_.options().corruptAnswerByteAt) {
        value ^= 0x01;
        ++stats_.corruptedBytes;
    }
    transmit(value, at, true, perByte);
}

void VirtualChip::transmit(std::uint8_t value, TimePoint at, bool accounted,
                           std::chrono::nanoseconds perByte) {
    if (perByte.count() < 0)
        perByte = byteTime();
    if (accounted) {
        ++stats_.bytesSent;
        stats_.busy.wireTransmit += perByte;
    }
    TimePoint done = at;
    if (timed()) {
        done = std::max(at, transmitLineFree_) + perByte;
        transmitLineFree_ = done;
    }
    TimePoint deliverAt = done;
    const auto latency = options_.timing.adapterLatency;
    if (timed() && latency.count() > 0) {
        if (adapterBatch_ == 0 || adapterFlushAt_ < done) {
            adapterFlushAt_ = done + latency;
            adapterBatch_ = 0;
        }
        ++adapterBatch_;
        deliverAt = adapterFlushAt_;
        if (adapterBatch_ == kAdapterPacketBytes) {
            // A full packet leaves as soon as its last byte is in.
            for (int i = 0; i < kAdapterPacketBytes - 1; ++i)
                outgoing_[outgoing_.size() - 1 - i].at = done;
            deliverAt = done;
            adapterBatch_ = 0;
        }
    }
    outgoing_.push_back({deliverAt, value});
}

void VirtualChip::emitApplicationLine(TimePoint at) {
    if (writeBuffer_.size() + outgoing_.size() > kApplicationBacklogLimit)
        return;
    for (char c : options_.applicationText + "\r\n")
        transmit(std::uint8_t(c), at, false);
}

void VirtualChip::deliverDue(TimePoint now) {
    if (outgoing_.empty() || outgoing_.front().at > now)
        return;
    TimePoint last = outgoing_.front().at;
    while (!outgoing_.empty() && outgoing_.front().at <= now) {
        last = outgoing_.front().at;
        writeBuffer_.push_back(outgoing_.front().value);
        outgoing_.pop_front();
    }
    if (timed()) {
        const auto lag = now - last;
        ++stats_.deliveries;
        stats_.deliveryLag += lag;
        stats_.worstDeliveryLag = std::max<std::chrono::nanoseconds>(stats_.worstDeliveryLag, lag);
        unchargedLag_ = lag;
        lastAnswerAt_ = last;
    }
}

void VirtualChip::flushWrites() {
    std::size_t done = 0;
    while (done < writeBuffer_.size()) {
        const ssize_t n = ::write(fd_, writeBuffer_.data() + done, writeBuffer_.size() - done);
        if (n > 0) {
            done += std::size_t(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            break;
        } else {
            done = writeBuffer_.size();  // the line is gone; nobody will read these
        }
    }
    writeBuffer_.erase(writeBuffer_.begin(), writeBuffer_.begin() + std::ptrdiff_t(done));
}

void VirtualChip::closeLine() {
    if (lineClosing_)
        lineClosing_();
    if (fd_ >= 0)
        ::close(fd_);
    if (keeperFd_ >= 0)
        ::close(keeperFd_);
    fd_ = -1;
    keeperFd_ = -1;
    stats_.disconnected = true;
    outgoing_.clear();
    writeBuffer_.clear();
    nextApplicationLine_.reset();
    closeAt_.reset();
}

std::chrono::nanoseconds VirtualChip::byteTime() const {
    return ChipTiming::byteTime(options_.timing.baud != 0 ? options_.timing.baud : lineBaud_);
}

void VirtualChip::refreshLineBaud() {
    if (options_.timing.baud == 0 && fd_ >= 0)
        lineBaud_ = lineBaudOf(fd_).value_or(0);
}

void VirtualChip::changed() {
    {
        std::lock_guard lock(waitMutex_);
        ++generation_;
    }
    waitCondition_.notify_all();
    std::function<void()> wake;
    {
        std::lock_guard lock(mutex_);
        wake = wake_;
    }
    if (wake)
        wake();
}

DeviceCode VirtualChip::code() const {
    std::lock_guard lock(mutex_);
    return options_.code;
}

DeviceGeometry VirtualChip::geometry() const {
    std::lock_guard lock(mutex_);
    return memory_.layout().geometry();
}

std::vector<std::uint8_t> VirtualChip::flash() const {
    std::lock_guard lock(mutex_);
    return memory_.flash();
}

std::vector<std::uint8_t> VirtualChip::readFlash(std::uint32_t address, std::size_t length) const {
    std::lock_guard lock(mutex_);
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint32_t at = address + std::uint32_t(i);
        if (!memory_.layout().contains(at))
            break;
        bytes.push_back(memory_.flash()[at - kFlashBase]);
    }
    return bytes;
}

OptionBytes VirtualChip::optionBytes() const {
    std::lock_guard lock(mutex_);
    return memory_.optionBytes();
}

bool VirtualChip::readoutProtected() const {
    std::lock_guard lock(mutex_);
    return memory_.readoutProtected();
}

std::uint32_t VirtualChip::writeProtectionWord() const {
    std::lock_guard lock(mutex_);
    return memory_.writeProtectionWord();
}

ChipStats VirtualChip::stats() const {
    std::lock_guard lock(mutex_);
    return stats_;
}

std::chrono::nanoseconds VirtualChip::busyTime() const {
    std::lock_guard lock(mutex_);
    return stats_.busy.total();
}

ChipState VirtualChip::state() const {
    std::lock_guard lock(mutex_);
    return stateLocked();
}

ChipState VirtualChip::stateLocked() const {
    if (fd_ < 0)
        return ChipState::Disconnected;
    if (!present_)
        return ChipState::Empty;
    if (pins_.resetHeld())
        return ChipState::InReset;
    if (timed() && SteadyClock::now() < deafUntil_)
        return ChipState::Starting;
    if (helper_)
        return ChipState::Helper;
    if (helperFailed_)
        return ChipState::HelperFailed;
    switch (core_.state()) {
        case CoreState::AwaitingSync:
            return ChipState::AwaitingSync;
        case CoreState::AwaitingCommand:
        case CoreState::ReceivingFrame:
            return ChipState::Synchronised;
        case CoreState::Application:
            return ChipState::Application;
        case CoreState::Silent:
            return ChipState::Silent;
    }
    return ChipState::AwaitingSync;
}

void VirtualChip::loadFlash(std::uint32_t address, std::span<const std::uint8_t> bytes) {
    {
        std::lock_guard lock(mutex_);
        memory_.loadFlash(address, bytes);
    }
    changed();
}

void VirtualChip::setOptionBytes(const OptionBytes& bytes) {
    {
        std::lock_guard lock(mutex_);
        memory_.setOptionBytes(bytes);
    }
    changed();
}

void VirtualChip::setReadoutProtected(bool on) {
    {
        std::lock_guard lock(mutex_);
        OptionBytes bytes = memory_.optionBytes();
        bytes[0] = on ? 0x00 : kReadoutUnprotectedKey;
        bytes[1] = std::uint8_t(~bytes[0]);
        memory_.setOptionBytes(bytes);
    }
    changed();
}

void VirtualChip::setWriteProtectedRegions(std::uint32_t regions) {
    {
        std::lock_guard lock(mutex_);
        memory_.setWriteProtectionWord(~regions);
    }
    changed();
}

void VirtualChip::configure(const std::function<void(ChipOptions&)>& change) {
    {
        std::lock_guard lock(mutex_);
        const FaultOptions before = options_.faults;
        const DeviceCode code = options_.code;
        change(options_);
        options_.code = code;
        if (!(before == options_.faults))
            faults_.setOptions(options_.faults);
        refreshLineBaud();
    }
    changed();
}

ChipOptions VirtualChip::options() const {
    std::lock_guard lock(mutex_);
    return options_;
}

void VirtualChip::reset() {
    {
        std::lock_guard lock(mutex_);
        if (heard())
            restart(SteadyClock::now());
    }
    changed();
}

void VirtualChip::restart(TimePoint now) {
    core_.powerOn();
    endHelper();
    ++stats_.resets;
    outgoing_.clear();  // a UART that resets drops what it was sending
    adapterBatch_ = 0;
    nextApplicationLine_.reset();
    receiveLineFree_ = std::min(receiveLineFree_, now);
    transmitLineFree_ = std::min(transmitLineFree_, now);
    chipFree_ = std::min(chipFree_, now);
    startUp(now);
    sampleBootMode();
}

void VirtualChip::disconnect() {
    {
        std::lock_guard lock(mutex_);
        closeLine();
    }
    changed();
}

bool VirtualChip::waitUntil(const std::function<bool(const VirtualChip&)>& condition,
                            std::chrono::milliseconds timeout) const {
    const auto deadline = SteadyClock::now() + timeout;
    while (true) {
        std::uint64_t seen;
        {
            std::lock_guard lock(waitMutex_);
            seen = generation_;
        }
        if (condition(*this))
            return true;
        std::unique_lock lock(waitMutex_);
        if (!waitCondition_.wait_until(lock, deadline, [&] { return generation_ != seen; }))
            return condition(*this);
    }
}

}  // namespace pellion::sim
