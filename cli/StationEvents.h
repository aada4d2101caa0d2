#pragma once

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "cli/ProgramSession.h"
#include "cli/StationSession.h"
#include "engine/Station.h"

namespace pellion::cli {

// The version of the station's JSON lines (docs/station-events.md). Raised whenever a field
// changes its meaning or goes; new fields alone keep it.
inline constexpr int kStationEventsFormat = 1;

// "0123456789ABCDEF01234567": the 12 bytes from the lowest address on; "" when unknown.
std::string UniqueIdText(const std::optional<ChipUniqueId>& id);

// Writes the station's events, one JSON object a line, flushed line by line.
class StationEventLog {
  public:
    explicit StationEventLog(std::ostream& out) : out_(out) {}

    void chipStarted(const std::string& port, const StationChip& chip);
    // At most kProgressPeriod apart per port; the others are dropped.
    void chipProgress(const std::string& port, std::uint64_t chip, std::int32_t done,
                      std::int32_t total);
    // The report's record of the chip's port (docs/program-report.md) with the chip's ID.
    void chipFinished(const StationChip& chip, const PortOutcome& outcome);
    void portWaiting(const std::string& port);
    void stationStopped(const StationResult& result);

    static constexpr std::chrono::milliseconds kProgressPeriod{500};

  private:
    std::string head(const char* event) const;
    void line(const std::string& json);

    std::ostream& out_;
    std::vector<std::pair<std::string, std::chrono::steady_clock::time_point>> lastProgress_;
};

}  // namespace pellion::cli
