// A build without the records library (Windows): no session keeps records.
#include "cli/SessionRecords.h"

namespace pellion::cli {

bool RecordsAvailable() {
    return false;
}

std::unique_ptr<SessionRecords> OpenSessionRecords(const SessionOptions&, OwnerLoop&, RunControl&,
                                                   std::function<void(const std::string&)>) {
    return nullptr;
}

void FinishRecords(OwnerLoop&, SessionRecords&, std::chrono::milliseconds) {}

}  // namespace pellion::cli
