#include "cli/StationEvents.h"

#include <cstdio>
#include <ostream>

#include "cli/SessionReport.h"

namespace pellion::cli {

std::string UniqueIdText(const std::optional<ChipUniqueId>& id) {
    if (!id)
        return "";
    std::string text;
    for (std::uint8_t byte : *id) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", unsigned(byte));
        text += hex;
    }
    return text;
}

namespace {

std::string uniqueIdJson(const std::optional<ChipUniqueId>& id) {
    return id ? "\"" + UniqueIdText(id) + "\"" : "null";
}

}  // namespace

std::string StationEventLog::head(const char* event) const {
    return "{\"format\": " + std::to_string(kStationEventsFormat) + ", \"event\": \"" + event +
           "\", \"time\": " + JsonString(Iso8601(std::chrono::system_clock::now()));
}

void StationEventLog::line(const std::string& json) {
    out_ << json << "}\n" << std::flush;
}

void StationEventLog::chipStarted(const std::string& port, const StationChip& chip) {
    line(head("chip_started") + ", \"port\": " + JsonString(port) + ", \"chip\": " +
         std::to_string(chip.number) + ", \"uniqueId\": " + uniqueIdJson(chip.uniqueId) +
         ", \"deviceCode\": " + JsonString(chip.code) + ", \"partName\": " + JsonString(chip.part));
}

void StationEventLog::chipProgress(const std::string& port, std::uint64_t chip, std::int32_t done,
                                   std::int32_t total) {
    const auto now = std::chrono::steady_clock::now();
    auto last = lastProgress_.begin();
    while (last != lastProgress_.end() && last->first != port)
        ++last;
    if (last == lastProgress_.end()) {
        lastProgress_.emplace_back(port, now);
    } else if (now - last->second < kProgressPeriod && done < total) {
        return;
    } else {
        last->second = now;
    }
    line(head("chip_progress") + ", \"port\": " + JsonString(port) +
         ", \"chip\": " + std::to_string(chip) + ", \"done\": " + std::to_string(done) +
         ", \"total\": " + std::to_string(total));
}

void StationEventLog::chipFinished(const StationChip& chip, const PortOutcome& outcome) {
    std::string record = PortOutcomeJson(outcome);
    record.pop_back();  // its closing brace: the chip's own fields follow
    line(head("chip_finished") + ", \"chip\": " + std::to_string(chip.number) +
         ", \"uniqueId\": " + uniqueIdJson(chip.uniqueId) + ", \"uniqueIdRefused\": " +
         (chip.uniqueIdRefused ? "true" : "false") + ", " + record.substr(1));
}

void StationEventLog::portWaiting(const std::string& port) {
    line(head("port_waiting") + ", \"port\": " + JsonString(port));
}

void StationEventLog::stationStopped(const StationResult& result) {
    std::string ports;
    for (const auto& port : result.ports) {
        ports += (ports.empty() ? "" : ", ") + std::string("{\"port\": ") + JsonString(port.port) +
                 ", \"succeeded\": " + std::to_string(port.succeeded) +
                 ", \"failed\": " + std::to_string(port.failed) + "}";
    }
    line(head("station_stopped") + ", \"succeeded\": " + std::to_string(result.succeeded) +
         ", \"failed\": " + std::to_string(result.failed) + ", \"interrupted\": " +
         (result.interrupted ? "true" : "false") + ", \"ports\": [" + ports + "]");
}

}  // namespace pellion::cli
