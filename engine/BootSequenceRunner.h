#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "engine/BootSequence.h"
#include "engine/OwnerLoop.h"

namespace pellion {

// What setting a port's lines came to.
struct LineOutcome {
    bool ok = true;
    bool noLines = false;  // the port cannot drive DTR and RTS at all
    std::string message;   // the system's words when it failed
};

// Runs the line sequences of many slots at once on the owner thread: line steps at once, every
// wait an owner-loop timer. Owner thread only.
class BootSequenceRunner {
  public:
    using SetLines = std::function<LineOutcome(std::optional<bool> dtr, std::optional<bool> rts)>;
    // Called once, when the sequence has ended or a line step failed (its outcome), never after
    // cancel(). It may start the slot's next sequence.
    using Finished = std::function<void(const LineOutcome&)>;

    explicit BootSequenceRunner(OwnerLoop& loop) : loop_(loop) {}
    ~BootSequenceRunner() { cancelAll(); }
    BootSequenceRunner(const BootSequenceRunner&) = delete;
    BootSequenceRunner& operator=(const BootSequenceRunner&) = delete;

    // Replaces a sequence the slot has under way. Steps up to the first wait run before this
    // returns; a sequence without waits finishes before it returns.
    void start(std::int32_t slot, BootSequence steps, SetLines setLines, Finished finished);
    void cancel(std::int32_t slot);
    void cancelAll();
    bool isActive(std::int32_t slot) const { return active_.count(slot) != 0; }

  private:
    struct Active {
        BootSequence steps;
        std::size_t next = 0;
        SetLines setLines;
        Finished finished;
        TimerId timer = 0;
        std::uint64_t generation = 0;
    };

    void advance(std::int32_t slot);
    void finish(std::int32_t slot, const LineOutcome& outcome);

    OwnerLoop& loop_;
    std::map<std::int32_t, Active> active_;
    std::uint64_t nextGeneration_ = 1;
};

}  // namespace pellion
