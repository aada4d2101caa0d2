#include "engine/RunControl.h"

#include <cstdio>

#include "engine/ImageFit.h"
#include "engine/ModelChoice.h"
#include "engine/TextTable.h"
#include "image/DownloadFile.h"
#include "serial/SlotOpening.h"

namespace pellion {

namespace {

OperatorText portsMessage(TextId id, const std::vector<std::string>& ports) {
    return OperatorText(id).with("ports", PortListMessage(ports, ""));
}

}  // namespace

std::string FormatElapsed(std::int64_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2i:%.2i:%.2i", int((seconds / 3600) % 24),
                  int((seconds / 60) % 60), int(seconds % 60));
    return text;
}

std::string PortListMessage(const std::vector<std::string>& ports, const std::string& text) {
    std::string message;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (i != 0)
            message += ",";
        message += ports[i];
    }
    return message + text;
}

RunControl::RunControl(OwnerLoop& loop, PortTable& table, const DeviceCatalogue& catalogue,
                       RunHost& host)
    : loop_(loop),
      table_(table),
      catalogue_(catalogue),
      host_(host),
      grid_(host),
      machine_(loop, table, catalogue, events_) {
    events_.subscribe(grid_);
    machine_.onRunEnded = [this](std::int32_t slot) {
        // The last slot to end ends the run at once rather than at the next tick.
        if (elapsedTimer_ != 0 && table_.slot(slot).result.runId == currentRun_ &&
            allStartedSlotsEnded()) {
            OnElapsedTimer();
        }
    };
}

RunControl::~RunControl() {
    if (elapsedTimer_ != 0)
        loop_.stopTimer(elapsedTimer_);
    machine_.CancelAll();
}

std::string RunControl::portName(std::int32_t slot) const {
    std::string name = host_.RowText(slot, ColumnPort);
    return name.empty() ? table_.slot(slot).portName : name;
}

// ---------------------------------------------------------------- opening and closing

void RunControl::OnPortCheckClick(std::int32_t slot) {
    if (slot < 0 || slot >= table_.slotCount())
        return;
    if (host_.IsRowTicked(slot)) {
        if (OpenSlot(slot))
            machine_.BeginIdentification(slot, host_.SlotInputsOf(slot));
        return;
    }
    machine_.CancelSlot(slot);
    CloseSlotPort(table_.slot(slot));
    events_.slotClosed(slot);
}

bool RunControl::OpenSlot(std::int32_t slot) {
    if (slot < 0 || slot >= table_.slotCount())
        return false;
    const SlotInputs inputs = host_.SlotInputsOf(slot);
    EndReason refusal = EndReason::None;
    // Lines that reset or boot the chip rest de-asserted from the open on: the chip runs as the
    // board leaves it until a sequence moves them.
    const auto idle = inputs.boot.drivesLines()
                          ? std::optional<LineLevels>(LineLevels{false, false})
                          : std::nullopt;
    switch (OpenSlotPort(table_.slot(slot), *this, inputs.baud, inputs.writePauseMs, idle)) {
        case SlotOpenResult::Busy:
            refusal = EndReason::PortBusy;
            break;
        case SlotOpenResult::Absent:
            refusal = EndReason::PortAbsent;
            break;
        case SlotOpenResult::NotATerminal:
            refusal = EndReason::NotASerialPort;
            break;
        case SlotOpenResult::Denied:
            refusal = EndReason::PortDenied;
            break;
        case SlotOpenResult::NoMonitor:
            refusal = EndReason::PortNotStarted;
            break;
        case SlotOpenResult::Opened:
            table_.slot(slot).cycle.state = SocketEmpty;  // nothing asked yet: not at work
            return true;
    }
    refusePortOpening(slot, refusal);
    return false;
}

void RunControl::ReopenPort(std::int32_t slot) {
    if (slot < 0 || slot >= table_.slotCount() || !host_.IsRowTicked(slot) || IsRunning())
        return;
    machine_.CancelSlot(slot);
    CloseSlotPort(table_.slot(slot));
    events_.slotClosed(slot);
    OnPortCheckClick(slot);  // the row is ticked: open at its rate and identify
}

std::optional<CatalogueEntry> RunControl::IdentifiedDevice(std::int32_t slot) const {
    if (slot < 0 || slot >= table_.slotCount())
        return std::nullopt;
    const PortSlot& s = table_.slot(slot);
    const auto code = DeviceCode::fromText(s.chip.deviceCode);
    if (!s.ports.IsOpen() || !code)
        return std::nullopt;
    const auto geometry = catalogue_.findGeometry(*code);
    const auto name = catalogue_.findPartName(*code);
    if (!geometry || !name)
        return std::nullopt;
    return CatalogueEntry{*code, *name, *geometry};
}

// The row is unticked again; the slot keeps why, for reports.
void RunControl::refusePortOpening(std::int32_t slot, EndReason reason) {
    SlotEnded refused;
    refused.slot = slot;
    refused.phase = SlotPhase::Identification;
    refused.reason = reason;
    host_.ShowMessage(kRunCaption, EndingMessage(refused));
    host_.UntickRow(slot);
    machine_.RefuseSlot(slot, reason);
}

void RunControl::StopSlot(std::int32_t slot) {
    if (slot < 0 || slot >= table_.slotCount())
        return;
    host_.UntickRow(slot);
    machine_.CancelSlot(slot);
    CloseSlotPort(table_.slot(slot));
}

void RunControl::ShutdownPorts() {
    for (std::int32_t i = 0; i < table_.slotCount(); ++i) {
        machine_.CancelSlot(i);
        CloseSlotPort(table_.slot(i));
    }
    if (elapsedTimer_ != 0)
        loop_.stopTimer(elapsedTimer_);
    elapsedTimer_ = 0;
}

void RunControl::OnPortTableRebuilt() {
    const bool wasRunning = elapsedTimer_ != 0;
    if (elapsedTimer_ != 0)
        loop_.stopTimer(elapsedTimer_);
    elapsedTimer_ = 0;
    ++currentRun_;
    if (wasRunning)
        host_.SetOkEnabled(true);
}

// ---------------------------------------------------------------- deliveries

void RunControl::OnSerialData(CSerialPort& port, const std::uint8_t* rxBuffer) {
    if (auto slot = table_.slotOf(port))
        machine_.HandlePortAnswer(*slot, rxBuffer);
}

void RunControl::OnPortLost(CSerialPort& port) {
    const auto slot = table_.slotOf(port);
    if (!slot)
        return;
    PortSlot& s = table_.slot(*slot);
    if (s.cycle.state == Failed)
        return;
    switch (s.result.outcome) {
        case SlotOutcome::Running:
        case SlotOutcome::Idle:
            machine_.FailSlot(*slot, EndReason::PortGone, SlotStep::Port);
            break;
        default:
            break;  // the chip's result stands
    }
}

void RunControl::ShowSerialError(const std::string& caption, const OperatorText& text) {
    if (loop_.isOwnerThread()) {
        host_.ShowMessage(caption, text);
        return;
    }
    loop_.call([this, &caption, &text] { host_.ShowMessage(caption, text); });
}

// ---------------------------------------------------------------- the run

bool RunControl::runInProgress() const {
    for (std::int32_t i = 0; i < table_.slotCount(); ++i) {
        const CycleResult& result = table_.slot(i).result;
        if (result.runId == currentRun_ && result.outcome == SlotOutcome::Running)
            return true;
    }
    return false;
}

void RunControl::StartRun() {
    // The slots of a running run read the image: it is not replaced under them.
    if (runInProgress())
        return;
    if (auto image = loadImage())
        startWithLoadedImage(image);
}

void RunControl::StartRun(FirmwareImage image) {
    if (runInProgress())
        return;
    startWithLoadedImage(std::make_shared<const FirmwareImage>(std::move(image)));
}

bool RunControl::StartCycle(std::int32_t slot, const SlotInputs& inputs) {
    if (slot < 0 || slot >= table_.slotCount() || !inputs.image)
        return false;
    PortSlot& s = table_.slot(slot);
    if (s.cycle.state != Ready || machine_.IsAtWork(slot) ||
        !fitProblem(*inputs.image, s.chip.geometry).empty()) {
        return false;
    }
    s.result.runId = currentRun_;
    machine_.BeginRun(slot, inputs);
    if (elapsedTimer_ == 0)
        startElapsedTimer(false);
    return true;
}

bool RunControl::ApplyModel(std::int32_t slot, const std::string& model) {
    if (slot < 0 || slot >= table_.slotCount() || model.empty())
        return false;
    PortSlot& s = table_.slot(slot);
    const auto code = catalogue_.findCodeByPartName(model);
    const auto geometry = code ? catalogue_.findGeometry(*code) : std::nullopt;
    if (!geometry || s.cycle.state != CodeRequested || !s.chip.awaitingModel)
        return false;
    s.chip.partName = model;
    s.chip.geometry = *geometry;
    s.chip.eraseCommand =
        geometry->eraseMode == 0 ? BootloaderCommand::Erase : BootloaderCommand::ExtendedErase;
    s.cycle.state = Ready;
    s.chip.awaitingModel = false;
    return true;
}

void RunControl::startWithLoadedImage(const std::shared_ptr<const FirmwareImage>& image) {
    // Every row's inputs as they are now: nothing the operator changes later reaches the run.
    std::vector<SlotInputs> inputs;
    for (std::int32_t i = 0; i < table_.slotCount(); ++i) {
        inputs.push_back(host_.IsRowTicked(i) ? host_.SlotInputsOf(i) : SlotInputs{});
        inputs.back().image = image;
    }
    const ModelProblems models = applyChosenModels(inputs);
    if (!models.withoutModel.empty()) {
        host_.ShowMessage(kRunCaption, portsMessage(TextId::NoModel, models.withoutModel));
        return;
    }
    if (!models.refused.empty()) {
        host_.ShowMessage(kRunCaption, Lines(models.refused));
        return;
    }
    const OperatorText refusal = refuseUnfitImages(*image);
    if (!refusal.empty()) {
        host_.ShowMessage(kRunCaption, refusal);
        return;
    }

    ++currentRun_;
    std::vector<std::string> notReady;
    for (std::int32_t i = 0; i < table_.slotCount(); ++i) {
        if (!host_.IsRowTicked(i))
            continue;
        PortSlot& s = table_.slot(i);
        if (s.cycle.state == Ready) {
            host_.SetOkEnabled(false);
            s.result.runId = currentRun_;
            machine_.BeginRun(i, inputs[std::size_t(i)]);
        } else {
            notReady.push_back(portName(i));
        }
    }
    // The timer also runs after a partial start, so that OK comes back when the started
    // slots end; the elapsed time is shown only for a full start.
    startElapsedTimer(notReady.empty());
    if (!notReady.empty()) {
        host_.ShowMessage(kRunCaption, portsMessage(TextId::NotInitialised, notReady));
    }
}

void RunControl::InterruptRun() {
    for (std::int32_t i = 0; i < table_.slotCount(); ++i)
        machine_.RequestStop(i);
}

void RunControl::StopAllNow() {
    for (std::int32_t i = 0; i < table_.slotCount(); ++i)
        machine_.StopNow(i);
}

std::shared_ptr<const FirmwareImage> RunControl::loadImage() {
    auto loaded = loadDownloadFile(host_.DownloadFilePath(), host_.StartAddressText());
    if (!loaded) {
        host_.ShowMessage(kRunCaption, loaded.why());
        return nullptr;
    }
    return std::make_shared<const FirmwareImage>(std::move(loaded.value()));
}

// A model chosen by hand applies only to a chip still awaiting one (its identification ended
// without a usable code). A chip that named itself keeps its own geometry whatever column 5
// says; another geometry there is refused, so that nothing is erased by the wrong page size.
RunControl::ModelProblems RunControl::applyChosenModels(const std::vector<SlotInputs>& inputs) {
    ModelProblems problems;
    for (std::int32_t i = 0; i < table_.slotCount(); ++i) {
        if (!host_.IsRowTicked(i))
            continue;
        PortSlot& s = table_.slot(i);
        const std::string& model = inputs[std::size_t(i)].model;
        if (s.chip.namedItself && !model.empty()) {
            if (IsModelChoiceRefused(s, catalogue_, model)) {
                problems.refused.push_back(ModelRefusal(
                    portName(i), s.chip.partName.empty() ? s.chip.deviceCode : s.chip.partName));
            }
            continue;
        }
        const auto code = model.empty() ? std::nullopt : catalogue_.findCodeByPartName(model);
        const auto geometry = code ? catalogue_.findGeometry(*code) : std::nullopt;
        if (!geometry) {
            // Empty, or a text that names no part (such as the unrecognised-device text).
            problems.withoutModel.push_back(portName(i));
            continue;
        }
        // Only a slot whose identification has ended waits for a model; one still waiting
        // for its device code would take that answer for the first step of the run.
        const bool awaiting = s.cycle.state == CodeRequested && s.chip.awaitingModel;
        if (!awaiting && s.cycle.state != Ready)
            continue;
        s.chip.partName = model;
        s.chip.geometry = *geometry;
        s.chip.eraseCommand =
            geometry->eraseMode == 0 ? BootloaderCommand::Erase : BootloaderCommand::ExtendedErase;
        if (awaiting) {
            s.cycle.state = Ready;
            s.chip.awaitingModel = false;
        }
    }
    return problems;
}

OperatorText RunControl::fitProblem(const FirmwareImage& image,
                                    const DeviceGeometry& geometry) const {
    OperatorText problem = ImageFitIssue(image, geometry);
    if (problem.empty() && placementCheck) {
        if (std::string placement = placementCheck(image, geometry); !placement.empty())
            problem = OperatorText(TextId::Verbatim).with("text", std::move(placement));
    }
    return problem;
}

OperatorText RunControl::refuseUnfitImages(const FirmwareImage& image) {
    std::vector<OperatorText> lines;
    for (std::int32_t i = 0; i < table_.slotCount(); ++i) {
        if (!host_.IsRowTicked(i) || table_.slot(i).cycle.state != Ready)
            continue;
        OperatorText problem = fitProblem(image, table_.slot(i).chip.geometry);
        if (!problem.empty()) {
            lines.push_back(OperatorText(TextId::PortProblem)
                                .with("port", portName(i))
                                .with("problem", problem));
        }
    }
    if (lines.empty())
        return {};
    lines.push_back(OperatorText(TextId::ImageDoesNotFit));
    return Lines(lines);
}

void RunControl::startElapsedTimer(bool showElapsed) {
    if (elapsedTimer_ != 0)
        loop_.stopTimer(elapsedTimer_);
    runStartTime_ = SteadyClock::now();
    showElapsed_ = showElapsed;
    elapsedTimer_ = loop_.startTimer(kElapsedTimerPeriod, true, [this] { OnElapsedTimer(); });
}

void RunControl::OnElapsedTimer() {
    if (showElapsed_) {
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::seconds>(SteadyClock::now() - runStartTime_);
        host_.SetElapsedText(FormatElapsed(elapsed.count()));
    }
    for (std::int32_t i = 0; i < table_.slotCount(); ++i) {
        const PortSlot& s = table_.slot(i);
        // An unticked slot's port is closed: its cell is left as it was.
        if (s.result.runId != currentRun_ || !s.ports.IsOpen() || s.cycle.state <= ErasePages)
            continue;
        const std::uint32_t start = PortStateMachine::imageOf(s).startAddress;
        events_.tell(
            &EngineListener::OnProgress,
            Progress{i, PortStateMachine::ProgressPosition(s, start), s.cycle.progressTotal});
    }
    if (!allStartedSlotsEnded())
        return;
    loop_.stopTimer(elapsedTimer_);
    elapsedTimer_ = 0;
    host_.SetOkEnabled(true);
    host_.OnRunEnded();
    events_.runEnded();
}

// The run ends with the last of its cycles, well or not (an unticked slot's was cancelled):
// not when a write address reached the end (it may still be protecting or starting the chip).
bool RunControl::allStartedSlotsEnded() const {
    for (std::int32_t i = 0; i < table_.slotCount(); ++i) {
        const CycleResult& result = table_.slot(i).result;
        if (result.runId == currentRun_ && result.outcome == SlotOutcome::Running)
            return false;
    }
    return true;
}

}  // namespace pellion
