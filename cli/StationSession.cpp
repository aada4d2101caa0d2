#include "cli/StationSession.h"

#include <ctime>
#include <map>
#include <memory>
#include <ostream>

#include "catalogue/DeviceCatalogue.h"
#include "cli/InterruptSignals.h"
#include "cli/SessionRecords.h"
#include "cli/SessionRows.h"
#include "cli/StationEvents.h"
#include "engine/MemoryRunHost.h"
#include "engine/OwnerLoop.h"
#include "engine/RunControl.h"
#include "engine/Station.h"
#include "engine/TextTable.h"
#include "serial/PortTable.h"

namespace pellion::cli {

namespace {

using namespace std::chrono_literals;

// How long the end waits for a shared database to take the spooled records.
constexpr auto kUploadWait = 5s;

std::string clockTime(std::chrono::system_clock::time_point time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

// The station on this thread's loop: the engine, its rows in memory (for the remarks), the
// station above it, and the lines and events it writes.
class StationRun : public EngineListener {
  public:
    StationRun(const StationOptions& options, std::ostream& out, std::ostream& err,
               std::ostream* events)
        : options_(options),
          session_(options.session),
          host_(session_.devices),
          shown_(session_.devices, session_.language),
          out_(out),
          err_(err),
          control_(loop_, table_, catalogue_, host_) {
        if (events)
            log_ = std::make_unique<StationEventLog>(*events);
        control_.SetLanguage(session_.language);
        host_.language = session_.language;
        std::vector<PortIdentity> identities;
        for (const auto& device : session_.devices)
            identities.push_back({device, device});
        table_.BuildPortTable(identities);
        for (std::int32_t i = 0; i < host_.rowCount(); ++i)
            host_.row(i).texts[ColumnBaud] = std::to_string(session_.baud);
        host_.writePauseMs = session_.intervalMs;
        host_.boot = session_.boot;
        host_.onMessage = [this](const MemoryRunHost::Message& message) {
            err_ << message.caption << ": " << message.text << "\n" << std::flush;
        };
        if (session_.timing)
            control_.setTiming(*session_.timing);
        // The rows first: a chip's remark is complete when the station hears its end.
        control_.events().subscribe(shown_);
        control_.events().subscribe(*this);
        station_ = std::make_unique<Station>(loop_, control_);
        station_->onChipStarted = [this](const StationChip& chip) { onChipStarted(chip); };
        station_->onChipFinished = [this](const StationChip& chip) { onChipFinished(chip); };
        station_->onPortWaiting = [this](std::int32_t slot) {
            if (log_)
                log_->portWaiting(portName(slot));
        };
        station_->onStopped = [this] { loop_.quit(); };
        if (options.stopAfter)
            station_->StopAfter(*options.stopAfter);
        records_ = OpenSessionRecords(session_, loop_, control_, [this](const std::string& why) {
            err_ << "pellion-cli station: a record was not stored: " << why << "\n" << std::flush;
        });
        if (records_)
            host_.serial = records_->serialPlan();
    }

    ~StationRun() override {
        station_.reset();
        control_.events().unsubscribe(*this);
        control_.events().unsubscribe(shown_);
    }

    StationResult run(FirmwareImage image) {
        StationResult result;
        std::unique_ptr<InterruptWatcher> watcher;
        if (session_.watchInterrupts) {
            watcher = std::make_unique<InterruptWatcher>(loop_,
                                                         [this](int count) { onInterrupt(count); });
        }
        std::vector<std::int32_t> opened;
        for (std::int32_t i = 0; i < table_.slotCount(); ++i) {
            host_.row(i).ticked = true;
            if (control_.OpenSlot(i))
                opened.push_back(i);
        }
        if (opened.empty()) {
            result.problem = "no port could be opened";
            return result;
        }
        SlotInputs inputs = host_.SlotInputsOf(opened.front());
        inputs.verify = session_.verify;
        inputs.protect = session_.protect;
        inputs.model = session_.model.value_or("");
        inputs.image = std::make_shared<const FirmwareImage>(std::move(image));
        result.started = true;
        station_->Start(opened, inputs);
        if (!interrupted_ || station_->IsRunning())
            loop_.run();
        if (records_) {
            FinishRecords(loop_, *records_, kUploadWait);
            result.recordsWaiting = records_->waitingForUpload();
        }
        control_.ShutdownPorts();
        watcher.reset();
        if (graceTimer_ != 0)
            loop_.stopTimer(graceTimer_);
        result.interrupted = interrupted_;
        result.succeeded = station_->succeeded();
        result.failed = station_->failed();
        for (std::int32_t i = 0; i < table_.slotCount(); ++i)
            result.ports.push_back({portName(i), station_->succeeded(i), station_->failed(i)});
        if (log_)
            log_->stationStopped(result);
        return result;
    }

    // EngineListener: a port whose lines cannot bring its chips up leaves the station, said.
    void OnSlotEnded(const SlotEnded& event) override {
        if (event.phase == SlotPhase::Identification && event.failedStep == SlotStep::BootEntry)
            err_ << portName(event.slot) << ": " << shown_.remark(event.slot) << "\n" << std::flush;
    }

    // EngineListener: the progress of the chips at work, in bytes. The bar's maximum is one
    // short of them (its last position lies past it); 0 until the erase fixed it.
    void OnProgress(const Progress& event) override {
        if (!log_ || !station_ || station_->state(event.slot) != Station::SocketState::Programming)
            return;
        ChipProgress& progress = progress_[event.slot];
        progress.total = event.total == 0 ? 0 : event.total + 1;
        progress.complete = progress.total != 0 && event.done >= progress.total;
        log_->chipProgress(portName(event.slot), chipNumber_[event.slot], event.done,
                           progress.total);
    }

  private:
    std::string portName(std::int32_t slot) const { return shown_.row(slot).port; }

    void onChipStarted(const StationChip& chip) {
        chipNumber_[chip.slot] = chip.number;
        progress_[chip.slot] = {};
        if (log_)
            log_->chipStarted(portName(chip.slot), chip);
    }

    PortOutcome outcomeOf(const StationChip& chip) const {
        const SlotEnded& ended = chip.ended;
        PortOutcome outcome;
        outcome.port = portName(chip.slot);
        outcome.deviceCode = chip.code;
        outcome.partName = chip.part;
        outcome.result = chip.succeeded()                       ? PortResult::Succeeded
                         : chip.refusal == ChipRefusal::NoModel ? PortResult::NotIdentified
                                                                : PortResult::Failed;
        outcome.failedStep = ended.failedStep;
        switch (chip.refusal) {
            case ChipRefusal::NoModel:
                outcome.remark = Text(TextId::NoModel, {{"ports", ""}}, session_.language);
                break;
            case ChipRefusal::ImageDoesNotFit:
                outcome.remark = Text(TextId::ImageDoesNotFit, {}, session_.language);
                break;
            case ChipRefusal::None:
                outcome.remark = shown_.remark(chip.slot);
                break;
        }
        if (chip.uniqueIdRefused)
            outcome.remark += Text(TextId::UniqueIdUnreadable, {}, session_.language);
        outcome.bytesWritten = ended.bytesWritten;
        outcome.durationMs = chip.duration.count();
        if (session_.verify)
            outcome.verified = ended.verified ? Verification::Passed : Verification::Failed;
        outcome.massErased = ended.massErased;
        outcome.interrupted = ended.interrupted;
        return outcome;
    }

    // A chip that ran a cycle was recorded before the station heard its end; a refused one is
    // recorded now, and shown once its record is stored.
    void onChipFinished(const StationChip& chip) {
        const PortOutcome outcome = outcomeOf(chip);
        if (records_ && chip.refusal != ChipRefusal::None) {
            records_->recordWithoutCycle(chip.slot, outcome, ImageSummary{},
                                         [this, chip, outcome] { showFinished(chip, outcome); });
            return;
        }
        showFinished(chip, outcome);
    }

    void showFinished(const StationChip& chip, const PortOutcome& outcome) {
        const std::string id = UniqueIdText(chip.uniqueId);
        out_ << clockTime(std::chrono::system_clock::now()) << "  " << outcome.port << "  "
             << (id.empty() ? "-" : id) << "  " << (chip.part.empty() ? "-" : chip.part) << "  "
             << (chip.succeeded() ? "ok" : "FAILED") << "  " << outcome.remark;
        if (const std::int64_t waiting = records_ ? records_->waitingForUpload() : 0)
            out_ << "  (" << waiting << " records wait for upload)";
        out_ << "\n" << std::flush;
        if (!log_)
            return;
        // The progress ticks may have missed the chip's last bytes: its completion is told.
        const ChipProgress& progress = progress_[chip.slot];
        if (chip.succeeded() && !progress.complete && progress.total != 0)
            log_->chipProgress(outcome.port, chip.number, progress.total, progress.total);
        log_->chipFinished(chip, outcome);
    }

    // The first signal starts no new chip and lets the chips at work finish (bounded by the
    // grace period); a second one ends them at once.
    void onInterrupt(int count) {
        if (!interrupted_) {
            interrupted_ = true;
            err_ << "pellion-cli station: stopping; the chips at work finish\n" << std::flush;
            station_->StopOrderly();
            graceTimer_ = loop_.startTimer(session_.interruptGrace, false, [this] {
                graceTimer_ = 0;
                station_->StopNow();
            });
        } else if (count > 1) {
            station_->StopNow();
        }
        loop_.wake();
    }

    const StationOptions& options_;
    const SessionOptions& session_;
    OwnerLoop loop_;
    DeviceCatalogue catalogue_;
    PortTable table_;
    MemoryRunHost host_;
    SessionRows shown_;
    std::ostream& out_;
    std::ostream& err_;
    RunControl control_;
    std::unique_ptr<Station> station_;
    std::unique_ptr<StationEventLog> log_;
    std::unique_ptr<SessionRecords> records_;  // after the engine and the station, which it holds
    std::map<std::int32_t, std::uint64_t> chipNumber_;
    struct ChipProgress {
        std::int32_t total = 0;
        bool complete = false;
    };
    std::map<std::int32_t, ChipProgress> progress_;
    bool interrupted_ = false;
    TimerId graceTimer_ = 0;
};

}  // namespace

StationResult RunStation(const StationOptions& options, FirmwareImage image, std::ostream& out,
                         std::ostream& err, std::ostream* events) {
    StationRun run(options, out, err, events);
    return run.run(std::move(image));
}

std::string StationSummary(const StationResult& result) {
    const std::uint64_t total = result.succeeded + result.failed;
    std::string summary = std::to_string(result.succeeded) + " succeeded, " +
                          std::to_string(result.failed) + " failed";
    if (total != 0)
        summary += ", yield " + std::to_string(result.succeeded * 100 / total) + "%";
    summary += (result.interrupted ? " (stopped by signal)" : "") + std::string("\n");
    if (result.recordsWaiting != 0) {
        summary += "  " + std::to_string(result.recordsWaiting) +
                   " records wait for the shared database; they go up on the next start\n";
    }
    for (const auto& port : result.ports) {
        summary += "  " + port.port + ": " + std::to_string(port.succeeded) + " succeeded, " +
                   std::to_string(port.failed) + " failed\n";
    }
    return summary;
}

}  // namespace pellion::cli
