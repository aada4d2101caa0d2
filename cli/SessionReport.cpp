#include "cli/SessionReport.h"

#include <cstdio>
#include <ctime>

#include "Version.h"
#include "engine/OperatorText.h"

namespace pellion::cli {

namespace {

void appendJsonString(std::string& json, const std::string& text) {
    json += '"';
    for (unsigned char c : text) {
        switch (c) {
            case '"':
                json += "\\\"";
                break;
            case '\\':
                json += "\\\\";
                break;
            case '\n':
                json += "\\n";
                break;
            case '\r':
                json += "\\r";
                break;
            case '\t':
                json += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    json += escaped;
                } else {
                    json += char(c);
                }
        }
    }
    json += '"';
}

std::string jsonString(const std::string& text) {
    std::string json;
    appendJsonString(json, text);
    return json;
}

const char* jsonBool(bool value) {
    return value ? "true" : "false";
}

std::string stepJson(SlotStep step) {
    return step == SlotStep::None ? "null" : jsonString(StepIdentifier(step));
}

std::string imageJson(const std::optional<ImageSummary>& image) {
    if (!image)
        return "null";
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08X", unsigned(image->crc32));
    return "{\"path\": " + jsonString(image->path) + ", \"kind\": \"" +
           (image->kind == DownloadFileKind::Hex ? "hex" : "raw") +
           "\", \"startAddress\": " + std::to_string(image->startAddress) +
           ", \"size\": " + std::to_string(image->size) + ", \"crc32\": \"" + crc + "\"}";
}

}  // namespace

std::string JsonString(const std::string& text) {
    return jsonString(text);
}

std::string PortOutcomeJson(const PortOutcome& p) {
    return "{\"port\": " + jsonString(p.port) + ", \"deviceCode\": " + jsonString(p.deviceCode) +
           ", \"partName\": " + jsonString(p.partName) + ", \"result\": \"" +
           ResultIdentifier(p.result) + "\", \"step\": " + stepJson(p.failedStep) +
           ", \"remark\": " + jsonString(p.remark) +
           ", \"bytesWritten\": " + std::to_string(p.bytesWritten) +
           ", \"blankBytesSkipped\": " + std::to_string(p.blankBytesSkipped) +
           ", \"recoveries\": " + std::to_string(p.recoveries) +
           ", \"durationMs\": " + std::to_string(p.durationMs) + ", \"verified\": \"" +
           VerificationIdentifier(p.verified) + "\", \"massErased\": " + jsonBool(p.massErased) +
           ", \"interrupted\": " + jsonBool(p.interrupted) + "}";
}

namespace {

// Why a port was not programmed, in a line.
OperatorText whyNot(const PortOutcome& port) {
    switch (port.result) {
        case PortResult::Refused:
            return OperatorText(TextId::CliNotStartedRefused);
        case PortResult::NotIdentified:
            return OperatorText(TextId::CliNotIdentified).with("remark", port.remark);
        default:
            break;
    }
    if (port.interrupted && port.remark.empty())
        return OperatorText(TextId::CliNotStartedInterrupted);
    return port.remark.empty() ? OperatorText(TextId::CliFailed)
                               : OperatorText(TextId::Verbatim).with("text", port.remark);
}

}  // namespace

const char* ResultIdentifier(PortResult result) {
    switch (result) {
        case PortResult::Succeeded:
            return "succeeded";
        case PortResult::Failed:
            return "failed";
        case PortResult::Refused:
            return "refused";
        case PortResult::NotIdentified:
            return "not_identified";
    }
    return "failed";
}

const char* VerificationIdentifier(Verification verified) {
    switch (verified) {
        case Verification::NotRequested:
            return "not_requested";
        case Verification::Passed:
            return "passed";
        case Verification::Failed:
            return "failed";
    }
    return "failed";
}

std::string Iso8601(std::chrono::system_clock::time_point time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count() %
        1000;
    std::tm local{};
    char date[32];
    char offset[8];
#ifdef _WIN32
    localtime_s(&local, &seconds);
    // Windows' strftime writes the zone's name for %z: the offset is worked out instead.
    std::tm utc{};
    gmtime_s(&utc, &seconds);
    utc.tm_isdst = local.tm_isdst;
    const long east = static_cast<long>(seconds - std::mktime(&utc));
    const long minutes = (east < 0 ? -east : east) / 60;
    std::snprintf(offset, sizeof offset, "%c%02ld%02ld", east < 0 ? '-' : '+', minutes / 60,
                  minutes % 60);
#else
    localtime_r(&seconds, &local);
    std::strftime(offset, sizeof offset, "%z", &local);  // +0200
#endif
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    char text[64];
    std::snprintf(text, sizeof text, "%s.%03d%.3s:%.2s", date, int(millis < 0 ? 0 : millis), offset,
                  offset + 3);
    return text;
}

std::string SessionReportJson(const SessionOptions& options, const SessionResult& result) {
    std::string json = "{\n";
    json += "  \"formatVersion\": " + std::to_string(kReportFormatVersion) + ",\n";
    json += "  \"toolVersion\": " + jsonString(PELLION_FILE_VERSION) + ",\n";
    json += "  \"startTime\": " + jsonString(Iso8601(result.startTime)) + ",\n";
    json += "  \"endTime\": " + jsonString(Iso8601(result.endTime)) + ",\n";
    json += "  \"baud\": " + std::to_string(options.baud) + ",\n";
    json += "  \"intervalMs\": " + std::to_string(options.intervalMs) + ",\n";
    json += "  \"image\": " + imageJson(result.image) + ",\n";
    json += std::string("  \"options\": {\"verify\": ") + jsonBool(options.verify) +
            ", \"protect\": " + jsonBool(options.protect) +
            ", \"model\": " + (options.model ? jsonString(*options.model) : "null") +
            ", \"blockSize\": " + std::to_string(options.writePlan.blockBytes) +
            ", \"skipBlank\": " + jsonBool(options.writePlan.skipBlankBlocks) + "},\n";
    json += "  \"ports\": [";
    for (std::size_t i = 0; i < result.ports.size(); ++i)
        json += (i == 0 ? "\n    " : ",\n    ") + PortOutcomeJson(result.ports[i]);
    json += result.ports.empty() ? "],\n" : "\n  ],\n";
    json += "  \"refused\": " + jsonString(result.imageProblem) + ",\n";
    json += std::string("  \"interrupted\": ") + jsonBool(result.interrupted) + ",\n";
    json += "  \"wallMs\": " + std::to_string(result.wallMs) + ",\n";
    json += std::string("  \"allSucceeded\": ") + jsonBool(result.allSucceeded()) + "\n}\n";
    return json;
}

std::string PortLine(const PortOutcome& port, OperatorLanguage language) {
    std::string name = port.port;
    if (!port.partName.empty())
        name += " (" + port.partName + ")";
    const bool verified = port.verified == Verification::Passed;
    OperatorText line;
    if (port.succeeded()) {
        line = OperatorText(verified ? TextId::CliPortSucceededVerified : TextId::CliPortSucceeded)
                   .with("remark", port.remark)
                   .with("bytes", std::to_string(port.bytesWritten));
    } else {
        line = OperatorText(verified ? TextId::CliPortFailedVerified : TextId::CliPortFailed)
                   .with("why", whyNot(port));
    }
    return line.with("port", name).words(language) + "\n";
}

std::string SessionSummary(const SessionResult& result, OperatorLanguage language) {
    std::string summary =
        OperatorText(result.interrupted ? TextId::CliSummaryInterrupted : TextId::CliSummary)
            .with("done", std::to_string(result.programmedCount()))
            .with("total", std::to_string(result.ports.size()))
            .words(language) +
        "\n";
    for (const auto& port : result.ports) {
        if (!port.succeeded()) {
            summary += "  " +
                       OperatorText(TextId::PortProblem)
                           .with("port", port.port)
                           .with("problem", whyNot(port))
                           .words(language) +
                       "\n";
        }
    }
    return summary;
}

}  // namespace pellion::cli
