#include "engine/BootSequenceRunner.h"

namespace pellion {

void BootSequenceRunner::start(std::int32_t slot, BootSequence steps, SetLines setLines,
                               Finished finished) {
    cancel(slot);
    Active& active = active_[slot];
    active.steps = std::move(steps);
    active.setLines = std::move(setLines);
    active.finished = std::move(finished);
    active.generation = nextGeneration_++;
    advance(slot);
}

void BootSequenceRunner::cancel(std::int32_t slot) {
    const auto found = active_.find(slot);
    if (found == active_.end())
        return;
    if (found->second.timer != 0)
        loop_.stopTimer(found->second.timer);
    active_.erase(found);
}

void BootSequenceRunner::cancelAll() {
    for (auto& [slot, active] : active_) {
        if (active.timer != 0)
            loop_.stopTimer(active.timer);
    }
    active_.clear();
}

void BootSequenceRunner::advance(std::int32_t slot) {
    Active& active = active_.at(slot);
    active.timer = 0;
    while (active.next < active.steps.size()) {
        const BootStep step = active.steps[active.next++];
        if (step.isWait()) {
            const std::uint64_t generation = active.generation;
            active.timer = loop_.startTimer(step.wait, false, [this, slot, generation] {
                const auto found = active_.find(slot);
                if (found != active_.end() && found->second.generation == generation)
                    advance(slot);
            });
            return;
        }
        const LineOutcome outcome = active.setLines(step.dtr, step.rts);
        if (!outcome.ok)
            return finish(slot, outcome);
    }
    finish(slot, LineOutcome{});
}

void BootSequenceRunner::finish(std::int32_t slot, const LineOutcome& outcome) {
    Finished finished = std::move(active_.at(slot).finished);
    active_.erase(slot);
    finished(outcome);
}

}  // namespace pellion
