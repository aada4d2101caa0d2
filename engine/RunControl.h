#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/DeviceCatalogue.h"
#include "engine/EngineEvents.h"
#include "engine/EngineTiming.h"
#include "engine/GridPresenter.h"
#include "engine/OwnerLoop.h"
#include "engine/PortStateMachine.h"
#include "engine/RunHost.h"
#include "engine/SlotInputs.h"
#include "image/FirmwareImage.h"
#include "serial/PortTable.h"
#include "serial/SerialOwner.h"

namespace pellion {

// The engine as the operator's surface drives it: ticking and unticking rows opens and closes
// their ports, OK starts a run, and every port's answers reach its slot's state machine. It is
// the owner of the table's ports and of the engine's listeners, the first of which is the
// host's grid. Owner thread only (ShowSerialError excepted).
class RunControl : public SerialOwner {
  public:
    static constexpr std::chrono::milliseconds kElapsedTimerPeriod{50};

    RunControl(OwnerLoop& loop, PortTable& table, const DeviceCatalogue& catalogue, RunHost& host);
    ~RunControl() override;
    RunControl(const RunControl&) = delete;
    RunControl& operator=(const RunControl&) = delete;

    void setTiming(const EngineTiming& timing) { machine_.setTiming(timing); }
    const EngineTiming& timing() const { return machine_.timing(); }
    // The language of the rows' texts from now on (the host words its messages).
    void SetLanguage(OperatorLanguage language) { grid_.setLanguage(language); }

    // The row's check box has just been toggled: open the port and identify the chip when it
    // is ticked, close the port and reset the row when it is not.
    void OnPortCheckClick(std::int32_t slot);
    // Opens the ticked row's port at its rate without identifying its chip (production mode
    // probes it); a port that cannot be opened is refused as a tick's would be.
    bool OpenSlot(std::int32_t slot);
    // The row's baud rate has changed: a ticked row's port opens again at the new rate and its
    // chip is identified anew. Nothing happens during a run or for an unticked row.
    void ReopenPort(std::int32_t slot);
    // The device of the slot's open port as its chip named itself (device code found in the
    // catalogue); none while unidentified, for a chip that did not name itself, or a closed port.
    std::optional<CatalogueEntry> IdentifiedDevice(std::int32_t slot) const;
    // Loads the image the boxes name; none when it cannot be, and the host was told why.
    std::shared_ptr<const FirmwareImage> LoadImage() { return loadImage(); }
    // The OK button: loads the image from the boxes, then starts as below.
    void StartRun();
    // Starts a run with an image already loaded and checked (the command line loads it before
    // any port is opened): one cycle per ticked slot, each with the inputs its row shows now
    // (SlotInputsOf) and the image shared. The run ends with the last of its cycles.
    void StartRun(FirmwareImage image);
    // Starts one slot's programming cycle on its own inputs, beside whatever else runs; it
    // joins the current run (production mode starts and stops cycles this way). The slot must
    // be identified, or have its model applied, and the image must fit its chip.
    bool StartCycle(std::int32_t slot, const SlotInputs& inputs);
    // Gives a chip awaiting its model (it did not name itself) the part `model` names; false
    // when it awaits none or the name is no part.
    bool ApplyModel(std::int32_t slot, const std::string& model);
    // Ends one slot's cycle once the frame it has under way is answered or times out.
    void StopCycle(std::int32_t slot) { machine_.RequestStop(slot); }
    // Interrupts everything at work: each slot ends once the frame it has under way is
    // answered or times out, marked as interrupted. Nothing new starts.
    void InterruptRun();
    // Ends everything still at work at once, marked as interrupted.
    void StopAllNow();
    // Stops one slot: unticks its row and closes its port.
    void StopSlot(std::int32_t slot);
    // Closes every port (the window closes, or the list is about to be rebuilt).
    void ShutdownPorts();
    // Call after the table was rebuilt: the old slots' timers and the run are forgotten.
    void OnPortTableRebuilt();

    // A further test of an image against a chip (the serial block's placement): the problem in
    // the operator's words, empty when none. Refuses the run, or a cycle, as an unfit image.
    std::function<std::string(const FirmwareImage&, const DeviceGeometry&)> placementCheck;

    bool IsRunning() const { return elapsedTimer_ != 0; }
    PortStateMachine& machine() { return machine_; }
    // Where listeners subscribe to the engine's events (after the host's grid).
    EngineEvents& events() { return events_; }

    // SerialOwner.
    OwnerLoop& ownerLoop() override { return loop_; }
    void OnSerialData(CSerialPort& port, const std::uint8_t* rxBuffer) override;
    void OnPortLost(CSerialPort& port) override;
    void ShowSerialError(const std::string& caption, const OperatorText& text) override;

  private:
    std::shared_ptr<const FirmwareImage> loadImage();
    void startWithLoadedImage(const std::shared_ptr<const FirmwareImage>& image);
    struct ModelProblems {
        std::vector<std::string> withoutModel;  // ports that still need a model
        std::vector<OperatorText> refused;      // identified ports given another geometry
    };
    // First pass: the models chosen for the ticked rows that await one.
    ModelProblems applyChosenModels(const std::vector<SlotInputs>& inputs);
    void refusePortOpening(std::int32_t slot, EndReason reason);
    // Images that do not fit a chip about to start, one line per port; no text when all fit.
    OperatorText refuseUnfitImages(const FirmwareImage& image);
    void startElapsedTimer(bool showElapsed);
    void OnElapsedTimer();
    bool allStartedSlotsEnded() const;
    bool runInProgress() const;
    std::string portName(std::int32_t slot) const;
    OperatorText fitProblem(const FirmwareImage& image, const DeviceGeometry& geometry) const;

    OwnerLoop& loop_;
    PortTable& table_;
    const DeviceCatalogue& catalogue_;
    RunHost& host_;
    EngineEvents events_;
    GridPresenter grid_;
    PortStateMachine machine_;
    TimerId elapsedTimer_ = 0;
    std::uint64_t currentRun_ = 1;
    SteadyClock::time_point runStartTime_{};
    bool showElapsed_ = false;
};

// "hh:mm:ss" of an elapsed time in seconds; hours wrap at 24.
std::string FormatElapsed(std::int64_t seconds);

// Joins port names with commas and appends `text`: "COM3,COM5芯片请选择型号!".
std::string PortListMessage(const std::vector<std::string>& ports, const std::string& text);

}  // namespace pellion
