#pragma once

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "engine/EngineTiming.h"

namespace pellion::cli {

// What one programming session is asked to do: the command line's options.
struct SessionOptions {
    std::string file;
    std::vector<std::string> devices;  // the ports, as device paths
    std::string address = "8000000";   // start address of a raw image (HEX files carry theirs)
    std::uint32_t baud = 57600;
    std::uint32_t intervalMs = 0;      // write pause after every frame
    bool protect = false;              // readout protection after the download
    bool verify = false;               // read every chip back before calling it done
    std::optional<std::string> model;  // part name for every port, as chosen by hand
    std::chrono::milliseconds identifyTimeout{30000};
    std::optional<EngineTiming> timing;  // the engine's defaults unless set
};

// How one port ended.
struct PortOutcome {
    std::string port;
    std::string deviceCode;  // as the chip reported it; empty when it did not
    std::string partName;
    std::string result;  // "succeeded", "failed", "not started"
    std::string remark;
    std::uint32_t bytesWritten = 0;
    std::int64_t durationMs = 0;
    bool verified = false;
    bool refused = false;  // identified, but the run was refused before it reached this chip
    bool succeeded() const { return result == "succeeded"; }
};

struct SessionResult {
    std::vector<PortOutcome> ports;
    std::string imageProblem;  // the file or the run was refused before any chip was touched
    std::int64_t wallMs = 0;
    bool allSucceeded() const;
};

// Opens every port as a tick would, waits (bounded) for the chips to be identified, starts the
// run as OK would and waits for its end. Rows go to `out` as a live table when it is a
// terminal, as plain lines otherwise; operator messages go to `err`.
SessionResult RunProgrammingSession(const SessionOptions& options, std::ostream& out,
                                    std::ostream& err, bool liveTable);

// The JSON report of a session.
std::string SessionReportJson(const SessionResult& result);
bool WriteTextFile(const std::string& path, const std::string& text);

// Whether `out` is the process's standard output on a terminal.
bool IsTerminal(std::ostream& out);

}  // namespace pellion::cli
