#include "update/NetworkAvailable.h"

#include <QNetworkInterface>
#include <thread>

namespace pellion {

namespace {
constexpr int kAttempts = 2;
}

bool systemReportsLiveNetwork() {
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& interface : interfaces) {
        const auto flags = interface.flags();
        const bool live = flags.testFlag(QNetworkInterface::IsUp) &&
                          flags.testFlag(QNetworkInterface::IsRunning) &&
                          !flags.testFlag(QNetworkInterface::IsLoopBack);
        if (live && !interface.addressEntries().isEmpty()) {
            return true;
        }
    }
    return false;
}

bool networkAvailable(const NetworkProbe& probe, std::chrono::milliseconds pause) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (probe()) {
            return true;
        }
        std::this_thread::sleep_for(pause);
    }
    return false;
}

}  // namespace pellion
