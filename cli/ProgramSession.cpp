#include "cli/ProgramSession.h"

#include <unistd.h>

#include <fstream>
#include <iostream>
#include <memory>

#include "catalogue/DeviceCatalogue.h"
#include "cli/InterruptSignals.h"
#include "cli/LiveTable.h"
#include "cli/RowState.h"
#include "cli/SessionRecords.h"
#include "cli/SessionRows.h"
#include "engine/MemoryRunHost.h"
#include "engine/OwnerLoop.h"
#include "engine/RunControl.h"
#include "engine/TextTable.h"
#include "image/Crc32.h"
#include "serial/PortTable.h"

namespace pellion::cli {

namespace {

using namespace std::chrono_literals;

constexpr auto kRedrawPeriod = 200ms;
// How long the end waits for a shared database to take the spooled records; the rest go up on
// the next start.
constexpr auto kUploadWait = 5s;

// What a slot is doing.
RowState rowStateOf(const PortSlot& slot, bool ticked) {
    switch (slot.result.outcome) {
        case SlotOutcome::Succeeded:
            return RowState::Done;
        case SlotOutcome::Failed:
            return RowState::Failed;
        case SlotOutcome::Cancelled:
            return RowState::Stopped;
        default:
            break;
    }
    if (slot.cycle.state == Failed)
        return RowState::Failed;  // before its run: the chip was never identified
    if (slot.chip.awaitingModel)
        return RowState::NoModel;
    if (!ticked)
        return RowState::Closed;
    switch (slot.cycle.state) {
        case BootEntry:
        case SyncSent:
        case CodeRequested:
        case LineRecovery:
        case UniqueIdCmd:
        case UniqueIdAddr:
        case UniqueIdData:
            return RowState::Identifying;
        case Ready:
            return RowState::Ready;
        case VerifyCmd:
        case VerifyAddr:
        case VerifyData:
            return RowState::Verifying;
        default:
            return RowState::Programming;
    }
}

std::vector<TableRow> tableRowsOf(const PortTable& table, const MemoryRunHost& host,
                                  const SessionRows& shown, OperatorLanguage language) {
    std::vector<TableRow> rows;
    for (std::int32_t i = 0; i < shown.rowCount(); ++i) {
        TableRow row = shown.row(i);
        row.state = RowStateText(rowStateOf(table.slot(i), host.IsRowTicked(i)), language);
        if (!table.slot(i).chip.partName.empty())
            row.model = table.slot(i).chip.partName;  // a model chosen with --model, too
        rows.push_back(std::move(row));
    }
    return rows;
}

bool identificationEnded(const PortTable& table, const MemoryRunHost& host) {
    for (std::int32_t i = 0; i < table.slotCount(); ++i) {
        const PortSlot& s = table.slot(i);
        if (!host.IsRowTicked(i))
            continue;
        if (s.cycle.state != Ready && s.cycle.state != Failed && !s.chip.awaitingModel)
            return false;
    }
    return true;
}

std::string printableCode(const std::string& code) {
    for (char c : code) {
        if (c < 0x20 || c > 0x7E)
            return "";
    }
    return code;
}

std::int64_t durationMsOf(const CycleResult& result) {
    if (result.ended <= result.started || result.started == SteadyClock::time_point{})
        return 0;
    return std::chrono::duration_cast<std::chrono::milliseconds>(result.ended - result.started)
        .count();
}

// A slot that never ran: why not.
void classifyWithoutRun(const PortSlot& s, bool sessionInterrupted, PortOutcome& outcome) {
    if (s.result.failedStep != SlotStep::None || s.cycle.state == Failed) {
        outcome.result = PortResult::Failed;  // the port, or the chip's identification
        outcome.failedStep = s.result.failedStep;
    } else if (s.chip.awaitingModel) {
        outcome.result = PortResult::NotIdentified;
        outcome.failedStep = SlotStep::Identify;
    } else if (s.cycle.state == Ready) {
        // Identified, but the run never reached it: refused as a whole, or interrupted.
        outcome.result = sessionInterrupted ? PortResult::Failed : PortResult::Refused;
        outcome.interrupted = sessionInterrupted;
    } else {
        outcome.result = PortResult::Failed;  // still identifying when the wait ended
        outcome.failedStep = StepOfState(s.cycle.state);
        outcome.interrupted = sessionInterrupted;
    }
}

PortOutcome outcomeOf(const PortTable& table, const SessionRows& shown, std::int32_t slot,
                      const SessionOptions& options, bool sessionInterrupted) {
    const PortSlot& s = table.slot(slot);
    PortOutcome outcome;
    outcome.port = shown.row(slot).port;
    outcome.deviceCode = printableCode(s.chip.deviceCode);
    outcome.partName = s.chip.partName;
    outcome.remark = shown.remark(slot);  // a port that never opened: why, as it was shown
    outcome.massErased = s.result.massErased;
    outcome.interrupted = s.result.interrupted;
    outcome.durationMs = durationMsOf(s.result);
    if (options.verify)
        outcome.verified = s.result.verified ? Verification::Passed : Verification::Failed;
    switch (s.result.outcome) {
        case SlotOutcome::Succeeded:
            outcome.result = PortResult::Succeeded;
            break;
        case SlotOutcome::Failed:
        case SlotOutcome::Cancelled:
            outcome.result = PortResult::Failed;
            outcome.failedStep = s.result.failedStep;
            break;
        default:
            classifyWithoutRun(s, sessionInterrupted, outcome);
            break;
    }
    if (s.result.outcome != SlotOutcome::Idle) {
        outcome.blankBytesSkipped = s.result.blankBytesSkipped;
        outcome.recoveries = s.result.recoveries;
        outcome.bytesWritten = PortStateMachine::BytesWritten(s);
    }
    return outcome;
}

ImageSummary summaryOf(const std::string& path, const FirmwareImage& image) {
    ImageSummary summary;
    summary.path = path;
    summary.kind = downloadFileKind(path);
    summary.startAddress = image.startAddress;
    summary.size = image.imageSize;
    summary.crc32 = crc32(image.imageBytes.data(), image.imageBytes.size());
    return summary;
}

// One session: the engine on this thread's loop, its rows in memory, and the command line's
// own rules on top (chips that cannot be identified are left out; --model applies only to chips
// that did not name themselves; an interruption ends every port in order).
class Session {
  public:
    Session(const SessionOptions& options, std::ostream& out, std::ostream& err, bool live)
        : options_(options),
          host_(options.devices),
          shown_(options.devices, options.language),
          view_(out, live, options.language),
          err_(err),
          control_(loop_, table_, catalogue_, host_) {
        control_.SetLanguage(options.language);
        std::vector<PortIdentity> identities;
        for (const auto& device : options.devices)
            identities.push_back({device, device});
        table_.BuildPortTable(identities);
        for (std::int32_t i = 0; i < host_.rowCount(); ++i)
            host_.row(i).texts[ColumnBaud] = std::to_string(options.baud);
        host_.writePauseMs = options.intervalMs;
        host_.readProtect = options.protect;
        host_.language = options.language;
        host_.verify = options.verify;
        host_.writePlan = options.writePlan;
        host_.boot = options.boot;
        host_.onMessage = [this](const MemoryRunHost::Message& message) {
            lastMessage_ = message.text;
            err_ << message.caption << ": " << message.text << "\n" << std::flush;
        };
        shown_.onRemark = [this](const TableRow& row) { view_.remarkChanged(row); };
        control_.events().subscribe(shown_);
        if (options.timing)
            control_.setTiming(*options.timing);
        records_ = OpenSessionRecords(options, loop_, control_, [this](const std::string& why) {
            err_ << "pellion-cli program: a record was not stored: " << why << "\n" << std::flush;
        });
        host_.readUniqueId = records_ != nullptr;
        if (records_)
            host_.serial = records_->serialPlan();
    }

    SessionResult run(FirmwareImage image) {
        SessionResult result;
        result.startTime = std::chrono::system_clock::now();
        const auto began = SteadyClock::now();
        result.image = summaryOf(options_.file, image);
        std::unique_ptr<InterruptWatcher> watcher;
        if (options_.watchInterrupts) {
            watcher = std::make_unique<InterruptWatcher>(loop_,
                                                         [this](int count) { onInterrupt(count); });
        }
        const TimerId redraw =
            view_.live() ? loop_.startTimer(kRedrawPeriod, true, [this] { view_.redraw(rows()); })
                         : 0;

        openEveryPort();
        loop_.runUntil([this] { return identificationEnded(table_, host_); },
                       options_.identifyTimeout);
        leaveOutUnidentifiedChips();
        if (!interrupted_)
            programTheChips(std::move(image), result);

        if (redraw != 0)
            loop_.stopTimer(redraw);
        view_.redraw(rows());
        // Before the ports close: closing ends what still waits, and the outcomes are as the
        // session left them.
        result.interrupted = interrupted_;
        for (std::int32_t i = 0; i < table_.slotCount(); ++i)
            result.ports.push_back(outcomeOf(table_, shown_, i, options_, interrupted_));
        recordChipsWithoutCycle(result);
        control_.ShutdownPorts();
        watcher.reset();
        if (graceTimer_ != 0)
            loop_.stopTimer(graceTimer_);
        result.endTime = std::chrono::system_clock::now();
        result.wallMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - began)
                .count();
        return result;
    }

    ~Session() { control_.events().unsubscribe(shown_); }

  private:
    // The chips that ran were recorded as their cycles ended; these never ran one. A port that
    // never opened touched no chip.
    void recordChipsWithoutCycle(const SessionResult& result) {
        if (!records_)
            return;
        for (std::int32_t i = 0; i < table_.slotCount(); ++i) {
            const PortOutcome& outcome = result.ports[std::size_t(i)];
            if (!table_.slot(i).result.inRun && outcome.failedStep != SlotStep::Port)
                records_->recordWithoutCycle(i, outcome, result.image.value_or(ImageSummary{}));
        }
        FinishRecords(loop_, *records_, kUploadWait);
    }

    std::vector<TableRow> rows() const {
        return tableRowsOf(table_, host_, shown_, options_.language);
    }

    void openEveryPort() {
        for (std::int32_t i = 0; i < table_.slotCount() && !interrupted_; ++i) {
            host_.row(i).ticked = true;
            control_.OnPortCheckClick(i);
        }
    }

    // A chip that failed or could not be identified is left out as an operator would untick
    // it: its remark says why, and the other chips are programmed. Its port stays open until
    // the end, so nothing else takes it meanwhile. --model names the chips that did not name
    // themselves; one that did keeps its own geometry.
    void leaveOutUnidentifiedChips() {
        for (std::int32_t i = 0; i < table_.slotCount(); ++i) {
            PortSlot& s = table_.slot(i);
            if (!host_.row(i).ticked)
                continue;
            if (s.cycle.state == Failed) {
                host_.row(i).ticked = false;
            } else if (s.chip.awaitingModel) {
                if (options_.model)
                    host_.row(i).texts[ColumnModel] = *options_.model;
                else
                    host_.row(i).ticked = false;
            } else if (options_.model && s.chip.namedItself && s.chip.partName != *options_.model) {
                err_ << "pellion-cli program: "
                     << Text(TextId::CliModelNotApplied,
                             {{"port", host_.row(i).texts[ColumnPort]},
                              {"part", s.chip.partName},
                              {"model", *options_.model}},
                             options_.language)
                     << "\n";
            }
        }
    }

    void programTheChips(FirmwareImage image, SessionResult& result) {
        bool anyTicked = false;
        for (std::int32_t i = 0; i < host_.rowCount(); ++i)
            anyTicked = anyTicked || host_.row(i).ticked;
        if (!anyTicked)
            return;
        const auto runsBefore = host_.runsEnded;
        host_.onRunEnded = [this] { loop_.quit(); };
        control_.StartRun(std::move(image));
        if (!control_.IsRunning()) {
            result.imageProblem = lastMessage_;
            return;
        }
        // Sleeps until a delivery, a timer or the end of the run: no polling.
        if (host_.runsEnded == runsBefore)
            loop_.run();
    }

    // The first signal lets every port finish the frame it has under way (bounded by the
    // frame's own time-out and by the grace period); a second one ends them at once.
    void onInterrupt(int count) {
        if (!interrupted_) {
            interrupted_ = true;
            err_ << "pellion-cli program: " << Text(TextId::CliInterrupting, {}, options_.language)
                 << "\n"
                 << std::flush;
            control_.InterruptRun();
            graceTimer_ = loop_.startTimer(options_.interruptGrace, false, [this] {
                graceTimer_ = 0;
                control_.StopAllNow();
            });
        } else if (count > 1) {
            control_.StopAllNow();
        }
        loop_.wake();
    }

    const SessionOptions& options_;
    OwnerLoop loop_;
    DeviceCatalogue catalogue_;
    PortTable table_;
    MemoryRunHost host_;
    SessionRows shown_;
    LiveTable view_;
    std::ostream& err_;
    RunControl control_;
    std::unique_ptr<SessionRecords> records_;  // after the engine, which it holds
    std::string lastMessage_;
    bool interrupted_ = false;
    TimerId graceTimer_ = 0;
};

}  // namespace

bool SessionResult::allSucceeded() const {
    if (!imageProblem.empty() || ports.empty() || interrupted)
        return false;
    for (const auto& port : ports) {
        if (!port.succeeded())
            return false;
    }
    return true;
}

int SessionResult::programmedCount() const {
    int count = 0;
    for (const auto& port : ports)
        count += port.succeeded() ? 1 : 0;
    return count;
}

bool IsTerminal(std::ostream& out) {
    return &out == &std::cout && ::isatty(STDOUT_FILENO) == 1;
}

ImageResult<FirmwareImage> LoadSessionImage(const SessionOptions& options) {
    return loadDownloadFile(options.file, options.address.value_or(kDefaultRawStart));
}

SessionResult RunProgrammingSession(const SessionOptions& options, FirmwareImage image,
                                    std::ostream& out, std::ostream& err, bool liveTable) {
    Session session(options, out, err, liveTable);
    return session.run(std::move(image));
}

SessionResult RefusedSession(const SessionOptions& options, const std::string& problem) {
    SessionResult result;
    result.startTime = result.endTime = std::chrono::system_clock::now();
    result.imageProblem = problem;
    for (const auto& device : options.devices) {
        PortOutcome outcome;
        outcome.port = device;
        outcome.result = PortResult::Refused;
        outcome.verified = options.verify ? Verification::Failed : Verification::NotRequested;
        result.ports.push_back(outcome);
    }
    return result;
}

bool WriteTextFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    return bool(file);
}

}  // namespace pellion::cli
