#pragma once

#include <algorithm>
#include <vector>

#include "engine/SlotEvents.h"

namespace pellion {

// The engine's listeners, told every event in the order they subscribed. Owner thread only.
// A listener unsubscribes before it goes.
class EngineEvents {
  public:
    void subscribe(EngineListener& listener) { listeners_.push_back(&listener); }
    void unsubscribe(EngineListener& listener) {
        listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), &listener),
                         listeners_.end());
    }

    template <class Event>
    void tell(void (EngineListener::*handler)(const Event&), const Event& event) const {
        for (EngineListener* listener : listeners_)
            (listener->*handler)(event);
    }
    void slotClosed(std::int32_t slot) const {
        for (EngineListener* listener : listeners_)
            listener->OnSlotClosed(slot);
    }
    void runEnded() const {
        for (EngineListener* listener : listeners_)
            listener->OnRunEnded();
    }

  private:
    std::vector<EngineListener*> listeners_;
};

}  // namespace pellion
