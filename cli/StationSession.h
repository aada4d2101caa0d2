#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "cli/ProgramSession.h"

namespace pellion::cli {

// What `station` is asked to do: a programming session's options, run per socket for ever.
struct StationOptions {
    SessionOptions session;
    std::optional<std::uint64_t> stopAfter;  // chips succeeded in all, then an orderly stop
    std::optional<std::string> events;       // JSON lines to this file, "-" for stdout
};

struct StationPortCount {
    std::string port;
    std::uint64_t succeeded = 0;
    std::uint64_t failed = 0;
};

struct StationResult {
    bool started = false;  // at least one port opened and the station ran
    std::string problem;   // why it could not start
    bool interrupted = false;
    std::uint64_t succeeded = 0;
    std::uint64_t failed = 0;
    std::vector<StationPortCount> ports;
    std::int64_t recordsWaiting = 0;  // committed locally, not yet in the shared database
};

// Opens every port and runs the station until `stopAfter` chips succeeded or SIGINT/SIGTERM
// (the first stops in order, a second at once). One line per finished chip goes to `out`,
// operator messages to `err`, JSON lines to `events` when given.
StationResult RunStation(const StationOptions& options, FirmwareImage image, std::ostream& out,
                         std::ostream& err, std::ostream* events);

// The closing lines: the counters, then each port's.
std::string StationSummary(const StationResult& result);

}  // namespace pellion::cli
