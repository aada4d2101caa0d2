#include "sim/ControlEndpoint.h"

#include <charconv>
#include <sstream>

#include "sim/ChipSummary.h"

namespace pellion::sim {

namespace {

std::string freshChip(const VirtualChip& chip) {
    const ChipSnapshot now = chip.snapshot();
    return "ok sequence=" + std::to_string(now.sequence) + " uid=" + uniqueIdText(now.uniqueId);
}

std::string linesOf(const VirtualChip& chip) {
    const VirtualChip::BoardState board = chip.board();
    std::ostringstream out;
    out << "ok dtr=" << board.lines.dtr << " rts=" << board.lines.rts
        << " reset=" << board.resetHeld << " boot0=" << board.boot0High << " mode=" << board.mode;
    return out.str();
}

}  // namespace

std::string answerControlCommand(ChipHost& host, const std::string& line) {
    std::istringstream in(line);
    std::string verb;
    std::string socketText;
    std::string extra;
    in >> verb >> socketText >> extra;
    if (verb.empty())
        return "error: empty command";
    if (verb != "lines" && verb != "state" && verb != "replace" && verb != "remove" &&
        verb != "insert")
        return "error: unknown command " + verb;
    std::size_t socket = 0;
    const auto [end, failure] =
        std::from_chars(socketText.data(), socketText.data() + socketText.size(), socket);
    if (socketText.empty() || failure != std::errc() ||
        end != socketText.data() + socketText.size())
        return "error: " + verb + " needs a socket number";
    if (!extra.empty())
        return "error: " + verb + " takes one socket number";
    if (socket >= host.size())
        return "error: no socket " + socketText + " (there are " + std::to_string(host.size()) +
               ")";
    VirtualChip& chip = host.chip(socket);
    if (verb == "lines")
        return linesOf(chip);
    if (verb == "state")
        return "ok " + summaryJson(chip, socket);
    if (verb == "replace") {
        chip.replace();
        return freshChip(chip);
    }
    if (verb == "remove")
        return chip.remove() ? "ok" : "error: socket " + socketText + " is already empty";
    return chip.insert() ? freshChip(chip) : "error: socket " + socketText + " holds a chip";
}

std::string serveControlEndpoint(ChipHost& host, const std::string& path) {
    return host.sideChannels().listenAtPath(path, [&host](std::string& input) {
        std::string answers;
        for (auto newline = input.find('\n'); newline != std::string::npos;
             newline = input.find('\n')) {
            std::string line = input.substr(0, newline);
            input.erase(0, newline + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            answers += answerControlCommand(host, line) + "\n";
        }
        return answers;
    });
}

}  // namespace pellion::sim
