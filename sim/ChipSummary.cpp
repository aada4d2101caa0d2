#include "sim/ChipSummary.h"

#include <chrono>
#include <cstdio>
#include <sstream>

namespace pellion::sim {

namespace {

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u >= 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string hex32(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "\"0x%08X\"", value);
    return text;
}

long long micros(std::chrono::nanoseconds time) {
    return std::chrono::duration_cast<std::chrono::microseconds>(time).count();
}

}  // namespace

std::string summaryJson(const VirtualChip& chip, std::size_t index) {
    return summaryJson(chip.snapshot(), index);
}

std::string summaryJson(const ChipSnapshot& chip, std::size_t index) {
    const ChipStats& stats = chip.stats;
    std::ostringstream out;
    out << "{\"chip\":" << index << ",\"device\":" << quoted(chip.devicePath);
    if (chip.state == chipStateName(ChipState::Empty))
        return out.str() + ",\"state\":\"empty\"}";
    out << ",\"sequence\":" << chip.sequence
        << ",\"uniqueId\":" << quoted(uniqueIdText(chip.uniqueId))
        << ",\"code\":" << quoted(chip.code.text()) << ",\"state\":" << quoted(chip.state)
        << ",\"readoutProtected\":" << (chip.readoutProtected ? "true" : "false")
        << ",\"writeProtection\":" << hex32(chip.writeProtection);
    out << ",\"commands\":{";
    bool first = true;
    for (const auto& [name, count] : stats.commands) {
        out << (first ? "" : ",") << quoted(name) << ":" << count;
        first = false;
    }
    out << "},\"commandCount\":" << stats.commandCount() << ",\"syncs\":" << stats.syncs
        << ",\"acks\":" << stats.acks << ",\"nacks\":" << stats.nacks
        << ",\"badCommandFrames\":" << stats.badCommandFrames << ",\"resets\":" << stats.resets
        << ",\"bytesReceived\":" << stats.bytesReceived << ",\"bytesSent\":" << stats.bytesSent
        << ",\"bytesIgnoredWhileStarting\":" << stats.bytesIgnoredWhileStarting
        << ",\"bytesIgnoredInReset\":" << stats.bytesIgnoredInReset
        << ",\"bytesProgrammed\":" << stats.bytesProgrammed;
    out << ",\"busyMicros\":{\"total\":" << micros(stats.busy.total())
        << ",\"wireReceive\":" << micros(stats.busy.wireReceive)
        << ",\"wireTransmit\":" << micros(stats.busy.wireTransmit)
        << ",\"programming\":" << micros(stats.busy.programming)
        << ",\"erasing\":" << micros(stats.busy.erasing)
        << ",\"startup\":" << micros(stats.busy.startup) << "}";
    out << ",\"deliveries\":" << stats.deliveries
        << ",\"deliveryLagMicros\":{\"total\":" << micros(stats.deliveryLag)
        << ",\"worst\":" << micros(stats.worstDeliveryLag) << "}";
    out << ",\"faults\":{\"strayZeros\":" << stats.strayZeros
        << ",\"injectedNacks\":" << stats.injectedNacks
        << ",\"droppedBytes\":" << stats.droppedBytes
        << ",\"corruptedBytes\":" << stats.corruptedBytes
        << ",\"parityDiscards\":" << stats.parityDiscards
        << ",\"silenced\":" << (stats.silenced ? "true" : "false")
        << ",\"disconnected\":" << (stats.disconnected ? "true" : "false") << ",\"flippedBits\":[";
    for (std::size_t i = 0; i < stats.flippedBits.size(); ++i) {
        out << (i ? "," : "") << "{\"address\":" << hex32(stats.flippedBits[i].address)
            << ",\"bit\":" << stats.flippedBits[i].bit << "}";
    }
    out << "]}";
    out << ",\"helper\":{\"starts\":" << stats.helperStarts
        << ",\"ending\":" << quoted(stats.helperEnding)
        << ",\"error\":" << quoted(stats.helperError) << "}}";
    return out.str();
}

}  // namespace pellion::sim
