// A build without the records library (Windows): no session keeps records.
#include "cli/SessionRecords.h"

namespace pellion::cli {

std::optional<std::string> SerialOptionsProblem(const SessionOptions& options) {
    if (options.serialAt || !options.serialPool.empty())
        return std::string(
            "--serial-at: this build keeps no records, whose pools give the numbers");
    return std::nullopt;
}

std::string SerialPlacementProblem(const SessionOptions&, const FirmwareImage&) {
    return {};
}

bool RecordsAvailable() {
    return false;
}

std::unique_ptr<SessionRecords> OpenSessionRecords(const SessionOptions&, OwnerLoop&, RunControl&,
                                                   std::function<void(const std::string&)>) {
    return nullptr;
}

void FinishRecords(OwnerLoop&, SessionRecords&, std::chrono::milliseconds) {}

}  // namespace pellion::cli
