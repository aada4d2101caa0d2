#include "engine/PortStateMachine.h"

#include <algorithm>
#include <cstdio>

namespace pellion {

namespace {

using std::chrono::milliseconds;

// Column texts.
constexpr const char* kTextYes = "Y";
constexpr const char* kTextReadingInfo = "正在读取芯片信息,请稍后....";
constexpr const char* kTextInitialising = "正在初始化,请稍后.....";
constexpr const char* kTextChooseModelByHand = "请手动为该芯片选择正确的型号";
constexpr const char* kTextIdentified = "识别设备成功,可以进行下一步操作";
constexpr const char* kTextUnknownDevice = "未识别的设备";
constexpr const char* kTextChooseModel = "请选择设备型号，否则无法下载";
constexpr const char* kTextErasing = "正在擦除芯片,请稍后.....";
constexpr const char* kTextRemovingWriteProtection = "正在去除写保护,请稍后.....";
constexpr const char* kTextErased = "擦除成功";
constexpr const char* kTextDownloading = "正在下载.....";
constexpr const char* kTextDownloaded = "下载完成";
constexpr const char* kTextStarted = "下载完成后成功跳转";
constexpr const char* kTextWriteUnprotected = "去除写保护成功";
constexpr const char* kTextReadUnprotected = "去除读保护成功";
constexpr const char* kTextProtected = "下载完成，设置读保护成功";
constexpr const char* kTextProtectFailed = "下载完成，设置读保护失败";
constexpr const char* kTextVerifying = "正在校验,请稍后.....";
constexpr const char* kTextVerified = "校验成功";
constexpr const char* kReasonNoAnswer = ",芯片无应答";
constexpr const char* kReasonRefused = ",芯片多次拒绝";

std::string hexAddress(std::uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", address);
    return text;
}

}  // namespace

std::string FailedStepText(std::int32_t state) {
    switch (state) {
        case SyncSent:
            return "初始化失败";
        case CodeRequested:
            return "读取芯片信息失败";
        case OptReadCmd:
        case OptReadAddr:
        case OptReadData:
            return "读取选项字节失败";
        case EraseCmd:
        case ErasePages:
            return "擦除失败";
        case WriteCmd:
        case WriteAddr:
        case WriteData:
        case ResyncAfterOptionWrite:
            return "下载失败";
        case GoCmd:
        case GoAddr:
            return "跳转失败";
        case UnprotectWriteCmd:
        case UnprotectWriteDone:
        case ResyncAfterWriteUnprotect:
            return "去除写保护失败";
        case UnprotectReadCmd:
        case UnprotectReadDone:
        case ResyncAfterReadUnprotect:
            return "去除读保护失败";
        case ProtectCmd:
        case ProtectAddr:
        case ProtectData:
            return kTextProtectFailed;
        case VerifyCmd:
        case VerifyAddr:
        case VerifyData:
            return "校验失败";
        default:
            return "下载失败";
    }
}

PortStateMachine::PortStateMachine(OwnerLoop& loop, PortTable& table,
                                   const DeviceCatalogue& catalogue, RunHost& host)
    : loop_(loop), table_(table), catalogue_(catalogue), host_(host) {}

PortStateMachine::~PortStateMachine() {
    CancelAll();
}

// ---------------------------------------------------------------- entering the machine

void PortStateMachine::BeginIdentification(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    stopTimers(slot);
    s.run = SlotRun{};
    s.run.session = nextSession_++;
    s.state = SyncSent;
    sendSync(slot);
}

void PortStateMachine::BeginRun(std::int32_t slot, bool verify) {
    PortSlot& s = slotAt(slot);
    stopTimers(slot);
    const std::uint32_t start = table_.image.startAddress;
    SlotRun& run = s.run;
    run.session = nextSession_++;
    run.repeats = 0;
    run.readUnprotectRounds = 0;
    run.writeUnprotectRounds = 0;
    run.verify = verify;
    run.verified = false;
    run.optionWritten = false;
    run.inRun = true;
    run.outcome = SlotOutcome::Running;
    run.started = SteadyClock::now();
    run.ended = {};
    run.endAddress = isOptionDownload()
                         ? start + kOptionByteCount - 1
                         : start + std::max<std::uint32_t>(table_.image.imageSize, 1) - 1;
    run.verifyAddress = start;
    run.writtenAddress = start;
    s.imageCursor = 0;
    s.writeAddress = start;
    s.state = OptReadCmd;
    sendCommand(slot, BootloaderCommand::ReadMemory);
}

void PortStateMachine::FailSlot(std::int32_t slot, const std::string& remark) {
    PortSlot& s = slotAt(slot);
    stopTimers(slot);
    s.state = Failed;
    s.run.awaitingModel = false;
    setRemark(slot, remark);
    if (s.run.outcome == SlotOutcome::Running) {
        s.run.outcome = SlotOutcome::Failed;
        s.run.ended = SteadyClock::now();
        if (onRunEnded)
            onRunEnded(slot);
    }
}

void PortStateMachine::CancelSlot(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    stopTimers(slot);
    s.run.session = nextSession_++;
    s.run.awaitingModel = false;
    if (s.run.outcome == SlotOutcome::Running) {
        s.run.outcome = SlotOutcome::Cancelled;
        s.run.ended = SteadyClock::now();
        if (onRunEnded)
            onRunEnded(slot);
    }
}

void PortStateMachine::CancelAll() {
    for (std::int32_t i = 0; i < table_.slotCount(); ++i)
        stopTimers(i);
}

void PortStateMachine::finishSlot(std::int32_t slot, bool succeeded) {
    PortSlot& s = slotAt(slot);
    stopTimers(slot);
    if (s.run.outcome != SlotOutcome::Running)
        return;
    s.run.outcome = succeeded ? SlotOutcome::Succeeded : SlotOutcome::Failed;
    s.run.ended = SteadyClock::now();
    if (onRunEnded)
        onRunEnded(slot);
}

// ---------------------------------------------------------------- sending and waiting

// A longer answer may arrive in pieces (a USB adapter's latency timer, a busy line): the
// pieces are joined before the answer is examined. An answer that does not start with ACK is
// examined at once; only ACK is followed by data.
const std::uint8_t* PortStateMachine::assembleAnswer(PortSlot& s, const std::uint8_t* answer) {
    SlotRun& run = s.run;
    const int expected = run.expectedBytes;
    if (expected <= 1)
        return answer;
    int count = s.ports.lastReadCount;
    if (count <= 0 || count > expected)
        count = expected;
    if (run.pending.empty() && (answer[0] != ACK || count >= expected))
        return answer;
    const int wanted = expected - int(run.pending.size());
    run.pending.insert(run.pending.end(), answer, answer + std::min(count, wanted));
    if (int(run.pending.size()) < expected) {
        s.ports.readLength = expected - int(run.pending.size());
        return nullptr;
    }
    ++run.joinedAnswers;
    run.assembled.assign(run.pending.begin(), run.pending.end());
    run.pending.clear();
    return run.assembled.data();
}

void PortStateMachine::send(std::int32_t slot, const Frame& frame, int answerBytes,
                            milliseconds chipWork) {
    PortSlot& s = slotAt(slot);
    s.run.expectedBytes = answerBytes;
    s.run.pending.clear();
    s.ports.readLength = answerBytes;
    s.ports.QueueWrite(frame.data(), frame.length);
    armAnswerTimer(slot, AnswerTimeout(timing_, s.ports.Baud(), s.ports.writePause, frame.length,
                                       answerBytes, chipWork));
}

void PortStateMachine::sendCommand(std::int32_t slot, std::uint8_t code, int answerBytes,
                                   milliseconds chipWork) {
    Frame frame;
    MakeCommandFrame(code, frame);
    send(slot, frame, answerBytes, chipWork);
}

void PortStateMachine::sendAddress(std::int32_t slot, std::uint32_t address) {
    Frame frame;
    MakeAddressFrame(address, frame);
    send(slot, frame, 1);
}

void PortStateMachine::sendSync(std::int32_t slot) {
    Frame frame;
    MakeSyncFrame(frame);
    send(slot, frame, 1);
}

void PortStateMachine::armAnswerTimer(std::int32_t slot, milliseconds timeout) {
    SlotRun& run = slotAt(slot).run;
    if (run.answerTimer != 0)
        loop_.stopTimer(run.answerTimer);
    const std::uint64_t session = run.session;
    run.answerTimer = loop_.startTimer(timeout, false, [this, slot, session] {
        if (slot >= table_.slotCount() || slotAt(slot).run.session != session)
            return;
        slotAt(slot).run.answerTimer = 0;
        onAnswerTimeout(slot);
    });
}

void PortStateMachine::armAnswerTimerFor(std::int32_t slot, int answerBytes,
                                         milliseconds chipWork) {
    PortSlot& s = slotAt(slot);
    armAnswerTimer(
        slot, AnswerTimeout(timing_, s.ports.Baud(), s.ports.writePause, 0, answerBytes, chipWork));
}

void PortStateMachine::stopTimers(std::int32_t slot) {
    SlotRun& run = slotAt(slot).run;
    if (run.answerTimer != 0)
        loop_.stopTimer(run.answerTimer);
    if (run.delayTimer != 0)
        loop_.stopTimer(run.delayTimer);
    run.answerTimer = 0;
    run.delayTimer = 0;
}

void PortStateMachine::onAnswerTimeout(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    switch (s.state) {
        case SyncSent:
        case ResyncAfterReadUnprotect:
        case ResyncAfterWriteUnprotect:
        case ResyncAfterOptionWrite:
            // An already synchronised bootloader takes a lone SYNC as half a command and
            // stays silent; the next SYNC completes the pair (and is refused).
            if (++s.run.repeats > timing_.maxRepeats) {
                FailSlot(slot, FailedStepText(s.state) + kReasonNoAnswer);
                return;
            }
            if (s.state == SyncSent)
                setRemark(slot, kTextInitialising);
            sendSync(slot);
            return;
        default:
            FailSlot(slot, FailedStepText(s.state) + kReasonNoAnswer);
            return;
    }
}

// The 2000 ms wait after an unprotect (or an option-byte write) is a timer: no other slot
// stalls while this chip restarts.
void PortStateMachine::resyncLater(std::int32_t slot, PortState state) {
    PortSlot& s = slotAt(slot);
    s.state = state;
    s.run.repeats = 0;
    if (s.run.answerTimer != 0)
        loop_.stopTimer(s.run.answerTimer);
    s.run.answerTimer = 0;
    const std::uint64_t session = s.run.session;
    s.run.delayTimer = loop_.startTimer(timing_.resyncDelay, false, [this, slot, session] {
        if (slot >= table_.slotCount() || slotAt(slot).run.session != session)
            return;
        slotAt(slot).run.delayTimer = 0;
        sendSync(slot);
    });
}

bool PortStateMachine::mayRepeat(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    if (++s.run.repeats > timing_.maxRepeats) {
        FailSlot(slot, FailedStepText(s.state) + kReasonRefused);
        return false;
    }
    return true;
}

bool PortStateMachine::mayUnprotect(std::int32_t slot, bool readout) {
    PortSlot& s = slotAt(slot);
    std::int32_t& rounds = readout ? s.run.readUnprotectRounds : s.run.writeUnprotectRounds;
    if (++rounds > timing_.maxUnprotectRounds) {
        FailSlot(slot, FailedStepText(s.state) + kReasonRefused);
        return false;
    }
    return true;
}

milliseconds PortStateMachine::eraseWork(int pages) const {
    return timing_.perErasedPage * std::max(pages, 1);
}

milliseconds PortStateMachine::massEraseWork(const PortSlot& slot) const {
    return std::max(timing_.massErase,
                    timing_.perErasedPage * std::max(slot.geometry.pageCount, 1));
}

// ---------------------------------------------------------------- row updates

void PortStateMachine::setText(std::int32_t slot, std::int32_t column, const std::string& text) {
    if (column == ColumnRemark)
        slotAt(slot).run.remark = text;
    host_.SetRowText({slot, column, text});
}

void PortStateMachine::setProgressMaximum(std::int32_t slot) {
    const PortSlot& s = slotAt(slot);
    const std::uint32_t start = table_.image.startAddress;
    host_.SetRowProgress({slot, ColumnProgress, 0, ProgressMaximum(s, start)});
    host_.SetRowProgress({slot, ColumnProgress, 0, 0});
}

std::int32_t PortStateMachine::ProgressMaximum(const PortSlot& slot, std::uint32_t startAddress) {
    const std::uint32_t span = slot.run.endAddress - startAddress;
    // With read-back the bar covers writing and reading: full only once verified.
    return std::int32_t(slot.run.verify ? 2 * (span + 1) - 1 : span);
}

std::int32_t PortStateMachine::ProgressPosition(const PortSlot& slot, std::uint32_t startAddress) {
    std::uint32_t position = slot.writeAddress - startAddress;
    if (slot.run.verify)
        position += slot.run.verifyAddress - startAddress;
    return std::int32_t(position);
}

// ---------------------------------------------------------------- the transition table

void PortStateMachine::HandlePortAnswer(std::int32_t slot, const std::uint8_t* answer) {
    if (slot < 0 || slot >= table_.slotCount())
        return;
    PortSlot& s = slotAt(slot);
    ++s.run.answers;
    answer = assembleAnswer(s, answer);
    if (answer == nullptr)
        return;  // more of it is on its way
    const std::uint8_t b = answer[0];
    const bool ack = b == ACK;
    const bool nack = b == NACK;
    if (s.run.inRun && s.run.outcome != SlotOutcome::Running)
        return;  // its run has ended
    if (!ack && !nack && s.state != WriteCmd)
        return;  // neither: ignored (one exception)

    switch (s.state) {
        case SyncSent:
            onSyncSent(slot, b);
            break;
        case CodeRequested:
            onCodeRequested(slot, b, answer);
            break;

        case OptReadCmd:
            if (ack) {
                s.state = OptReadAddr;
                sendAddress(slot, kOptionBytesAddress);
            } else if (mayUnprotect(slot, true)) {
                // A chip under readout protection refuses reading.
                s.state = UnprotectReadCmd;
                sendCommand(slot, BootloaderCommand::ReadoutUnprotect);
            }
            break;
        case OptReadAddr:
        case OptReadData:
            if (ack && s.state == OptReadAddr) {
                s.state = OptReadData;
                Frame frame;
                MakeReadCountFrame(kOptionByteCount, frame);
                send(slot, frame, 1 + kOptionByteCount);
            } else if (ack) {
                onOptionBytes(slot, answer);
            } else if (mayRepeat(slot)) {
                s.state = OptReadCmd;
                sendCommand(slot, BootloaderCommand::ReadMemory);
            }
            break;

        case EraseCmd:
            if (ack) {
                s.state = ErasePages;
                setRemark(slot, kTextErasing);
                sendPageList(slot);
            } else {
                // A refused erase is taken as protection: readout first, then write.
                const bool readout = s.readUnprotectAllowed != 0;
                if (!mayUnprotect(slot, readout))
                    break;
                s.state = readout ? UnprotectReadCmd : UnprotectWriteCmd;
                sendCommand(slot, readout ? BootloaderCommand::ReadoutUnprotect
                                          : BootloaderCommand::WriteUnprotect);
                setRemark(slot, kTextRemovingWriteProtection);
            }
            break;
        case ErasePages:
            if (ack) {
                s.run.repeats = 0;
                setRemark(slot, kTextErased);
                startWriting(slot);
            } else if (mayRepeat(slot)) {
                s.state = EraseCmd;
                sendEraseCommand(slot);
            }
            break;

        case WriteCmd:
            if (ack) {
                s.state = WriteAddr;
                sendAddress(slot, s.writeAddress);
            } else if (mayRepeat(slot)) {
                sendCommand(slot, BootloaderCommand::WriteMemory);
            }
            break;
        case WriteAddr:
            if (ack) {
                sendNextBlock(slot);
            } else if (mayRepeat(slot)) {
                s.state = WriteCmd;
                sendCommand(slot, BootloaderCommand::WriteMemory);
            }
            break;
        case WriteData:
            if (ack) {
                onBlockWritten(slot);
            } else {
                // Without this the run would wait for this slot's write address for ever.
                FailSlot(slot, std::string(FailedStepText(WriteData)) + ",地址" +
                                   hexAddress(s.run.blockAddress) + "的数据被拒绝");
            }
            break;

        case GoCmd:
            if (ack) {
                s.state = GoAddr;
                setRemark(slot, kTextStarted);
                sendAddress(slot, table_.image.startAddress);
            } else if (mayRepeat(slot)) {
                sendCommand(slot, BootloaderCommand::Go);
            }
            break;
        case GoAddr:
            if (ack) {
                // The new program runs; what it prints is none of our business.
                s.ports.SetReceiveEnabled(false);
                finishSlot(slot, true);
            } else if (mayRepeat(slot)) {
                s.state = GoCmd;
                sendCommand(slot, BootloaderCommand::Go);
            }
            break;

        case UnprotectWriteCmd:
            if (ack) {
                s.state = UnprotectWriteDone;
                armAnswerTimerFor(slot, 1, timing_.optionWrite);
            } else if (mayRepeat(slot)) {
                sendCommand(slot, BootloaderCommand::WriteUnprotect);
            }
            break;
        case UnprotectWriteDone:
            if (ack) {
                setRemark(slot, kTextWriteUnprotected);
                resyncLater(slot, ResyncAfterWriteUnprotect);
            } else if (mayRepeat(slot)) {
                sendCommand(slot, BootloaderCommand::WriteUnprotect, 2, timing_.optionWrite);
            }
            break;
        case UnprotectReadCmd:
            if (ack) {
                s.state = UnprotectReadDone;
                armAnswerTimerFor(slot, 1, massEraseWork(s));
            } else if (mayRepeat(slot)) {
                sendCommand(slot, BootloaderCommand::ReadoutUnprotect);
            }
            break;
        case UnprotectReadDone:
            if (ack) {
                s.readUnprotectAllowed = 0;
                setRemark(slot, kTextReadUnprotected);
                resyncLater(slot, ResyncAfterReadUnprotect);
            } else if (mayRepeat(slot)) {
                s.state = UnprotectReadCmd;
                sendCommand(slot, BootloaderCommand::ReadoutUnprotect);
            }
            break;
        // A NACK to a lone SYNC means the bootloader was already listening: synchronised.
        case ResyncAfterReadUnprotect:
            if (s.run.delayTimer != 0)
                break;  // too early: not asked yet
            s.run.repeats = 0;
            s.state = OptReadCmd;
            s.readUnprotectAllowed = 0;
            sendCommand(slot, BootloaderCommand::ReadMemory);
            break;
        case ResyncAfterWriteUnprotect:
            if (s.run.delayTimer != 0)
                break;
            s.run.repeats = 0;
            s.state = EraseCmd;
            sendEraseCommand(slot);
            break;
        case ResyncAfterOptionWrite:
            if (s.run.delayTimer != 0)
                break;
            s.run.repeats = 0;
            s.run.optionWritten = false;
            continueAfterImage(slot);
            break;

        case ProtectCmd:
            if (ack) {
                s.state = ProtectAddr;
                sendAddress(slot, kOptionBytesAddress);
            } else if (mayRepeat(slot)) {
                sendCommand(slot, BootloaderCommand::WriteMemory);
            }
            break;
        case ProtectAddr:
            if (ack) {
                s.state = ProtectData;
                Frame frame;
                MakeReadProtectFrame(optionBytesToProtect(s), frame);
                send(slot, frame, 1, timing_.optionWrite);
            } else if (mayRepeat(slot)) {
                sendAddress(slot, kOptionBytesAddress);
            }
            break;
        case ProtectData:
            setRemark(slot, ack ? kTextProtected : kTextProtectFailed);
            finishSlot(slot, ack);
            break;

        case VerifyCmd:
            if (ack) {
                s.state = VerifyAddr;
                sendAddress(slot, s.run.verifyAddress);
            } else if (mayRepeat(slot)) {
                sendCommand(slot, BootloaderCommand::ReadMemory);
            }
            break;
        case VerifyAddr:
            if (ack) {
                sendVerifyCount(slot);
            } else if (mayRepeat(slot)) {
                s.state = VerifyCmd;
                sendCommand(slot, BootloaderCommand::ReadMemory);
            }
            break;
        case VerifyData:
            if (ack) {
                onVerifyData(slot, answer);
            } else if (mayRepeat(slot)) {
                s.state = VerifyCmd;
                sendCommand(slot, BootloaderCommand::ReadMemory);
            }
            break;

        default:
            break;  // Ready, Failed and values without meaning ignore every answer
    }
}

void PortStateMachine::onSyncSent(std::int32_t slot, std::uint8_t /*b*/) {
    // ACK, or NACK from a bootloader that was already synchronised: go on alike.
    PortSlot& s = slotAt(slot);
    s.run.repeats = 0;
    s.state = CodeRequested;
    setText(slot, ColumnInit, kTextYes);
    sendCommand(slot, BootloaderCommand::GetDeviceCode, kDeviceCodeAnswerBytes);
    setRemark(slot, kTextReadingInfo);
}

void PortStateMachine::onCodeRequested(std::int32_t slot, std::uint8_t b,
                                       const std::uint8_t* answer) {
    PortSlot& s = slotAt(slot);
    stopTimers(slot);  // from here the slot waits for the operator, not the chip
    if (b == ACK) {
        identify(slot, answer);
    } else {
        s.run.awaitingModel = true;
        setRemark(slot, kTextChooseModelByHand);
    }
}

void PortStateMachine::identify(std::int32_t slot, const std::uint8_t* answer) {
    PortSlot& s = slotAt(slot);
    const DeviceCode code = ParseDeviceCode(answer);
    s.run.deviceCode = code.text();
    const auto geometry = catalogue_.findGeometry(code);
    if (!geometry) {
        s.run.awaitingModel = true;
        setText(slot, ColumnModel, kTextUnknownDevice);
        setRemark(slot, kTextChooseModel);
        return;
    }
    s.geometry = *geometry;
    // Mode 0 sets the standard erase back too: the slot may have held a larger chip before.
    s.eraseCommand =
        geometry->eraseMode == 0 ? BootloaderCommand::Erase : BootloaderCommand::ExtendedErase;
    s.state = Ready;
    setRemark(slot, kTextIdentified);
    if (auto name = catalogue_.findPartName(code)) {
        s.partName = *name;
        setText(slot, ColumnModel, *name);
    }
}

void PortStateMachine::onOptionBytes(std::int32_t slot, const std::uint8_t* answer) {
    PortSlot& s = slotAt(slot);
    std::copy(answer + 1, answer + 1 + kOptionByteCount, s.optionBytes.begin());
    s.run.repeats = 0;
    const std::uint32_t start = table_.image.startAddress;
    // Every protected region the image reaches must be opened, not only the first: a chip
    // acknowledges writes to protected pages and leaves them unchanged.
    if (IsRangeWriteProtected(s.optionBytes, start, s.run.endAddress)) {
        if (!mayUnprotect(slot, false))
            return;
        s.state = UnprotectWriteCmd;
        sendCommand(slot, BootloaderCommand::WriteUnprotect);
        return;
    }
    if (isOptionDownload()) {
        setRemark(slot, kTextErased);
        setProgressMaximum(slot);
        startWriting(slot);
        return;
    }
    s.state = EraseCmd;
    sendEraseCommand(slot);
}

void PortStateMachine::sendEraseCommand(std::int32_t slot) {
    sendCommand(slot, slotAt(slot).eraseCommand);
}

void PortStateMachine::sendPageList(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    const std::uint32_t start = table_.image.startAddress;
    const PageListResult pages =
        BuildPageList(s.geometry, start, table_.image.imageSize, s.pageList);
    // The run refused images that do not fit before it started; this end is the slot's own.
    s.run.endAddress = pages.endAddress;
    setProgressMaximum(slot);
    Frame frame;
    MakeEraseFrame(s.eraseCommand, s.pageList, pages.pageCount, frame);
    send(slot, frame, 1, eraseWork(pages.pageCount));
}

void PortStateMachine::startWriting(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    s.state = WriteCmd;
    sendCommand(slot, BootloaderCommand::WriteMemory);
    setRemark(slot, kTextDownloading);
}

void PortStateMachine::sendNextBlock(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    s.ports.Purge();
    s.state = WriteData;
    s.run.blockAddress = s.writeAddress;
    const auto& bytes = table_.image.imageBytes;
    const std::size_t cursor = std::min<std::size_t>(s.imageCursor, bytes.size());
    const std::span<const std::uint8_t> rest(bytes.data() + cursor, bytes.size() - cursor);
    Frame frame;
    int consumed = 0;
    if (isOptionDownload()) {
        if (rest.size() < std::size_t(kOptionByteCount)) {
            FailSlot(slot, FailedStepText(WriteData));
            return;
        }
        MakeOptionBytesFrame(rest.first<kOptionByteCount>(), frame);
        consumed = kOptionByteCount;
        s.run.optionWritten = true;
    } else {
        consumed = MakeNextWriteBlock(rest, s.writeAddress, s.run.endAddress, frame);
    }
    s.imageCursor += std::uint32_t(consumed);
    s.writeAddress += std::uint32_t(consumed);
    send(slot, frame, 1, isOptionDownload() ? timing_.optionWrite : timing_.programBlock);
}

void PortStateMachine::onBlockWritten(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    s.run.repeats = 0;
    // writeAddress already counts a block in flight; this counts only what the chip took.
    s.run.writtenAddress = s.writeAddress;
    if (s.writeAddress != s.run.endAddress + 1) {
        s.state = WriteCmd;
        sendCommand(slot, BootloaderCommand::WriteMemory);
        return;
    }
    continueAfterImage(slot);
}

// The whole image is written: read it back if asked, then start the program, protect the
// chip, or (option bytes) end.
void PortStateMachine::continueAfterImage(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    const bool protect = host_.IsReadProtectChecked();
    const bool verifyPending = s.run.verify && !s.run.verified;
    if (isOptionDownload() && s.run.optionWritten && (verifyPending || protect)) {
        // The chip restarts after its option bytes are written; nothing reaches it until it
        // is synchronised again.
        resyncLater(slot, ResyncAfterOptionWrite);
        return;
    }
    if (verifyPending) {
        startVerify(slot);
    } else if (protect) {
        s.state = ProtectCmd;
        sendCommand(slot, BootloaderCommand::WriteMemory);
    } else if (!isOptionDownload()) {
        setRemark(slot, kTextDownloaded);
        s.state = GoCmd;
        sendCommand(slot, BootloaderCommand::Go);
    } else {
        finishSlot(slot, true);  // state stays WriteData
    }
}

// An option-byte download has just replaced the option bytes read at the start of the run:
// protection is set on top of the downloaded ones, not on top of what they replaced.
OptionBytes PortStateMachine::optionBytesToProtect(const PortSlot& slot) const {
    if (!isOptionDownload() || table_.image.imageBytes.size() < std::size_t(kOptionByteCount))
        return slot.optionBytes;
    OptionBytes downloaded;
    std::copy_n(table_.image.imageBytes.begin(), kOptionByteCount, downloaded.begin());
    return downloaded;
}

// ---------------------------------------------------------------- read-back

void PortStateMachine::startVerify(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    s.run.verifyAddress = table_.image.startAddress;
    s.run.repeats = 0;
    setRemark(slot, kTextVerifying);
    s.state = VerifyCmd;
    sendCommand(slot, BootloaderCommand::ReadMemory);
}

void PortStateMachine::sendVerifyCount(std::int32_t slot) {
    PortSlot& s = slotAt(slot);
    const std::uint32_t left = s.run.endAddress + 1 - s.run.verifyAddress;
    s.run.verifyCount = int(std::min<std::uint32_t>(left, kMaxReadBytes));
    s.state = VerifyData;
    Frame frame;
    MakeReadCountFrame(s.run.verifyCount, frame);
    send(slot, frame, 1 + s.run.verifyCount);
}

void PortStateMachine::onVerifyData(std::int32_t slot, const std::uint8_t* answer) {
    PortSlot& s = slotAt(slot);
    const std::uint32_t start = table_.image.startAddress;
    const auto& image = table_.image.imageBytes;
    const std::uint32_t offset = s.run.verifyAddress - start;
    for (int i = 0; i < s.run.verifyCount; ++i) {
        const std::size_t at = std::size_t(offset) + std::size_t(i);
        if (at >= image.size() || answer[1 + i] != image[at]) {
            FailSlot(slot, std::string(FailedStepText(VerifyData)) + ",地址" +
                               hexAddress(s.run.verifyAddress + std::uint32_t(i)) +
                               "的内容与下载文件不同");
            return;
        }
    }
    s.run.verifyAddress += std::uint32_t(s.run.verifyCount);
    s.run.repeats = 0;
    if (s.run.verifyAddress != s.run.endAddress + 1) {
        s.state = VerifyCmd;
        sendCommand(slot, BootloaderCommand::ReadMemory);
        return;
    }
    s.run.verified = true;
    setRemark(slot, kTextVerified);
    continueAfterImage(slot);
}

}  // namespace pellion
