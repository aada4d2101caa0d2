#pragma once

#include <chrono>
#include <functional>

namespace pellion {

// One question to the system: is a network connection alive right now?
using NetworkProbe = std::function<bool()>;

// True when an interface other than loopback is up, running and has an address.
bool systemReportsLiveNetwork();

// Asks the probe up to twice, pausing after each negative answer, so a link that is just
// coming up still counts. Blocks the calling thread: never call it on the window thread.
bool networkAvailable(const NetworkProbe& probe = systemReportsLiveNetwork,
                      std::chrono::milliseconds pause = std::chrono::milliseconds(100));

}  // namespace pellion
