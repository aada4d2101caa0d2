#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "engine/RunControl.h"
#include "engine/SlotEvents.h"
#include "engine/SlotInputs.h"

namespace pellion {

// Why a chip in a socket was not started; None when its cycle ran.
enum class ChipRefusal : std::uint8_t {
    None,
    NoModel,          // it did not name itself and no model was chosen for it
    ImageDoesNotFit,  // the image does not fit the chip (or its chosen model)
};

// One chip that passed through a socket, from its identification to the end of its cycle.
struct StationChip {
    std::int32_t slot = 0;
    std::uint64_t number = 0;  // 1 for the station's first chip
    std::string code;
    std::string part;
    std::optional<ChipUniqueId> uniqueId;
    bool uniqueIdRefused = false;  // readout-protected: told apart by the empty socket alone
    ChipRefusal refusal = ChipRefusal::None;
    SlotEnded ended;  // the cycle's end; a refused chip's says Failed, step identify
    std::chrono::system_clock::time_point startedAt{};
    std::chrono::milliseconds duration{0};
    bool succeeded() const { return ended.result == SlotResult::Succeeded; }
};

// Production mode: every socket programs the next chip by itself. Per open port it probes the
// socket every kProbePeriod while no chip is at work in it, starts an ordinary programming
// cycle for each new chip, holds the result, and takes the next chip only after the socket was
// seen empty (kSilentProbesForEmpty unanswered probes in a row) or a chip with another unique
// ID answered. Owner thread only; the ports are opened by the caller (RunControl::OpenSlot).
class Station : public EngineListener {
  public:
    static constexpr std::chrono::milliseconds kProbePeriod{250};
    static constexpr int kSilentProbesForEmpty = 3;

    enum class SocketState : std::uint8_t {
        Off,          // not in the station, or its port went away
        Waiting,      // empty: waiting for a chip
        Programming,  // a chip's cycle runs
        Holding,      // a chip's result stands until the chip is taken away
    };

    Station(OwnerLoop& loop, RunControl& control);
    ~Station() override;
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // Starts on open ports, each with the inputs every chip's cycle in it takes (an image is
    // required). Counters start from zero.
    struct Port {
        std::int32_t slot = 0;
        SlotInputs inputs;
    };
    void Start(const std::vector<Port>& ports);
    // Every port with the same inputs.
    void Start(const std::vector<std::int32_t>& slots, const SlotInputs& inputs);
    // No new chip starts; the chips at work finish. onStopped follows once none is.
    void StopOrderly();
    // Every chip of the station at work ends at once, marked as interrupted; onStopped follows.
    // Ports outside the station go on.
    void StopNow();
    // Stops in order once `count` chips in all have succeeded (none started beyond them).
    void StopAfter(std::uint64_t count) { stopAfter_ = count; }
    // A failed chip held in its socket is taken as a new one (the operator retries it in
    // place); false when the socket holds none or the station is stopping.
    bool Retry(std::int32_t slot);
    bool MayRetry(std::int32_t slot) const;
    void ResetCounters();

    bool IsRunning() const { return started_ && !stopped_; }
    bool IsStopping() const { return stopping_ && !stopped_; }
    SocketState state(std::int32_t slot) const;
    std::uint64_t succeeded() const { return succeeded_; }
    std::uint64_t failed() const { return failed_; }
    std::uint64_t succeeded(std::int32_t slot) const;
    std::uint64_t failed(std::int32_t slot) const;

    std::function<void(const StationChip&)> onChipStarted;
    std::function<void(const StationChip&)> onChipFinished;
    std::function<void(std::int32_t slot)> onPortWaiting;  // once per empty spell
    std::function<void()> onStopped;

    // EngineListener.
    void OnSocketProbed(const SocketProbed& event) override;
    void OnSlotEnded(const SlotEnded& event) override;
    // An unticked row leaves the station for good: ticked again, it is identified as in normal
    // mode and joins the next station, not this one, whose inputs were taken at its start.
    void OnSlotClosed(std::int32_t slot) override;

  private:
    struct Socket {
        SocketState state = SocketState::Off;
        int silentProbes = 0;
        bool waitingTold = false;
        std::optional<ChipUniqueId> heldId;
        StationChip chip;
        SlotInputs inputs;
        std::uint64_t succeeded = 0;
        std::uint64_t failed = 0;
    };

    void probeIdleSockets();
    void onSilentProbe(std::int32_t slot);
    bool isNewChip(const Socket& socket, const SocketProbed& event) const;
    void beginChip(std::int32_t slot, const SocketProbed& event);
    void finishChip(std::int32_t slot, const SlotEnded& ended);
    void refuseChip(std::int32_t slot, ChipRefusal refusal);
    void hold(std::int32_t slot);
    void wait(std::int32_t slot);
    bool quotaReached() const;
    void stopIfIdle();
    Socket* socketOf(std::int32_t slot);

    OwnerLoop& loop_;
    RunControl& control_;
    std::vector<Socket> sockets_;
    TimerId probeTimer_ = 0;
    std::uint64_t chips_ = 0;
    std::uint64_t succeeded_ = 0;
    std::uint64_t failed_ = 0;
    std::optional<std::uint64_t> stopAfter_;
    bool started_ = false;
    bool stopping_ = false;
    bool stopped_ = false;
};

}  // namespace pellion
