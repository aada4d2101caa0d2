#pragma once

#include <string>

#include "cli/ProgramSession.h"

namespace pellion::cli {

// The version of the JSON report's format (docs/program-report.md). Raised whenever a field
// changes its meaning or goes; new fields alone keep it.
inline constexpr int kReportFormatVersion = 2;

// "succeeded", "failed", "refused", "not_identified": stable identifiers for programs.
const char* ResultIdentifier(PortResult result);
// "not_requested", "passed", "failed".
const char* VerificationIdentifier(Verification verified);

// One port's record of the report: {"port": ..., "interrupted": ...}.
std::string PortOutcomeJson(const PortOutcome& port);
// A JSON string literal of `text`, escaped.
std::string JsonString(const std::string& text);

// The JSON report of a session.
std::string SessionReportJson(const SessionOptions& options, const SessionResult& result);

// One line per port for the operator: "ok      /dev/ttyUSB0 (KTM1RCB-0256): ..., 3333 bytes".
// These lines are for people, in their language; programs read the JSON report.
std::string PortLine(const PortOutcome& port, OperatorLanguage language);
// The closing summary: "2 of 3 chips programmed", then every port that was not, with why.
std::string SessionSummary(const SessionResult& result, OperatorLanguage language);

// "2024-05-01T10:20:30.123+02:00": local time with its offset from UTC.
std::string Iso8601(std::chrono::system_clock::time_point time);

}  // namespace pellion::cli
