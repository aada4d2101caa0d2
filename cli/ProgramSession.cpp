#include "cli/ProgramSession.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>

#include "catalogue/DeviceCatalogue.h"
#include "cli/LiveTable.h"
#include "engine/MemoryRunHost.h"
#include "engine/OwnerLoop.h"
#include "engine/RunControl.h"
#include "serial/PortTable.h"

namespace pellion::cli {

namespace {

using namespace std::chrono_literals;

constexpr auto kRedrawPeriod = 200ms;

// What a slot is doing, in a word.
std::string stateWord(const PortSlot& slot, bool ticked) {
    switch (slot.run.outcome) {
        case SlotOutcome::Succeeded:
            return "done";
        case SlotOutcome::Failed:
            return "failed";
        case SlotOutcome::Cancelled:
            return "stopped";
        default:
            break;
    }
    if (slot.state == Failed)
        return "failed";  // before its run: the chip was never identified
    if (!ticked)
        return "closed";
    switch (slot.state) {
        case SyncSent:
        case CodeRequested:
            return slot.run.awaitingModel ? "no model" : "identifying";
        case Ready:
            return "ready";
        case Failed:
            return "failed";
        case VerifyCmd:
        case VerifyAddr:
        case VerifyData:
            return "verifying";
        default:
            return "programming";
    }
}

TableRow tableRowOf(const PortTable& table, const MemoryRunHost& host, std::int32_t slot) {
    const auto& row = host.row(slot);
    TableRow view;
    view.port = row.texts[ColumnPort];
    view.state = stateWord(table.slot(slot), row.ticked);
    view.init = row.texts[ColumnInit];
    view.model = row.texts[ColumnModel];
    view.progressPosition = row.progressPosition;
    view.progressMaximum = row.progressMaximum;
    view.remark = row.texts[ColumnRemark];
    return view;
}

std::vector<TableRow> tableRowsOf(const PortTable& table, const MemoryRunHost& host) {
    std::vector<TableRow> rows;
    for (std::int32_t i = 0; i < host.rowCount(); ++i)
        rows.push_back(tableRowOf(table, host, i));
    return rows;
}

bool identificationEnded(const PortTable& table, const MemoryRunHost& host) {
    for (std::int32_t i = 0; i < table.slotCount(); ++i) {
        const PortSlot& s = table.slot(i);
        if (!host.IsRowTicked(i))
            continue;
        if (s.state != Ready && s.state != Failed && !s.run.awaitingModel)
            return false;
    }
    return true;
}

std::string printableCode(const std::string& code) {
    for (char c : code) {
        if (c < 0x20 || c > 0x7E)
            return "";
    }
    return code;
}

PortOutcome outcomeOf(const PortTable& table, const MemoryRunHost& host, std::int32_t slot) {
    const PortSlot& s = table.slot(slot);
    PortOutcome outcome;
    outcome.port = host.row(slot).texts[ColumnPort];
    outcome.deviceCode = printableCode(s.run.deviceCode);
    outcome.partName = s.partName;
    outcome.remark = host.row(slot).texts[ColumnRemark];
    outcome.verified = s.run.verified;
    switch (s.run.outcome) {
        case SlotOutcome::Succeeded:
            outcome.result = "succeeded";
            break;
        case SlotOutcome::Failed:
        case SlotOutcome::Cancelled:
            outcome.result = "failed";
            break;
        default:
            // Identification failed (the remark names how), or the port never opened.
            outcome.result = s.state == Failed ? "failed" : "not started";
            outcome.refused = s.state == Ready;
            break;
    }
    if (s.run.outcome != SlotOutcome::Idle) {
        outcome.bytesWritten = s.run.writtenAddress - table.image.startAddress;
        outcome.durationMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(s.run.ended - s.run.started)
                .count();
    }
    return outcome;
}

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

}  // namespace

bool SessionResult::allSucceeded() const {
    if (!imageProblem.empty() || ports.empty())
        return false;
    for (const auto& port : ports) {
        if (!port.succeeded())
            return false;
    }
    return true;
}

bool IsTerminal(std::ostream& out) {
    return &out == &std::cout && ::isatty(STDOUT_FILENO) == 1;
}

SessionResult RunProgrammingSession(const SessionOptions& options, std::ostream& out,
                                    std::ostream& err, bool liveTable) {
    const auto began = SteadyClock::now();
    OwnerLoop loop;
    DeviceCatalogue catalogue;
    PortTable table;
    std::vector<PortIdentity> identities;
    for (const auto& device : options.devices)
        identities.push_back({device, device});
    table.BuildPortTable(identities);

    MemoryRunHost host(options.devices);
    for (std::int32_t i = 0; i < host.rowCount(); ++i)
        host.row(i).texts[ColumnBaud] = std::to_string(options.baud);
    host.downloadFilePath = options.file;
    host.startAddressText = options.address;
    host.writePauseMs = options.intervalMs;
    host.readProtect = options.protect;
    host.verify = options.verify;

    SessionResult result;
    std::string lastMessage;
    host.onMessage = [&](const MemoryRunHost::Message& message) {
        lastMessage = message.text;
        err << message.caption << ": " << message.text << "\n" << std::flush;
    };
    LiveTable view(out, liveTable);
    host.onRowChanged = [&](std::int32_t slot, std::int32_t column) {
        if (column == ColumnRemark)
            view.remarkChanged(tableRowOf(table, host, slot));
    };

    RunControl control(loop, table, catalogue, host);
    if (options.timing)
        control.setTiming(*options.timing);
    const TimerId redraw =
        liveTable
            ? loop.startTimer(kRedrawPeriod, true, [&] { view.redraw(tableRowsOf(table, host)); })
            : 0;

    for (std::int32_t i = 0; i < table.slotCount(); ++i) {
        host.row(i).ticked = true;
        control.OnPortCheckClick(i);
        // A port that could not be opened was unticked again: the message says why.
        if (!host.row(i).ticked)
            host.row(i).texts[ColumnRemark] = lastMessage;
    }
    loop.runUntil([&] { return identificationEnded(table, host); }, options.identifyTimeout);
    // A chip that failed its identification is left out as an operator would untick it: its
    // remark names the failure, and the other chips are programmed. Its port stays open until
    // the end, so nothing else takes it meanwhile.
    for (std::int32_t i = 0; i < table.slotCount(); ++i) {
        if (table.slot(i).state == Failed)
            host.row(i).ticked = false;
    }
    if (options.model) {
        for (std::int32_t i = 0; i < host.rowCount(); ++i) {
            if (host.row(i).ticked)
                host.row(i).texts[ColumnModel] = *options.model;
        }
    }

    const auto runsBefore = host.runsEnded;
    bool anyTicked = false;
    for (std::int32_t i = 0; i < host.rowCount(); ++i)
        anyTicked = anyTicked || host.row(i).ticked;
    if (anyTicked) {
        host.onRunEnded = [&] { loop.quit(); };
        control.StartRun();
        if (control.IsRunning()) {
            // Sleeps until a delivery, a timer or the end of the run: no polling.
            if (host.runsEnded == runsBefore)
                loop.run();
        } else {
            result.imageProblem = lastMessage;
        }
    }
    if (redraw != 0)
        loop.stopTimer(redraw);
    view.redraw(tableRowsOf(table, host));
    control.ShutdownPorts();

    for (std::int32_t i = 0; i < table.slotCount(); ++i) {
        result.ports.push_back(outcomeOf(table, host, i));
    }
    result.wallMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - began).count();
    return result;
}

std::string SessionReportJson(const SessionResult& result) {
    std::string json = "{\n  \"ports\": [";
    for (std::size_t i = 0; i < result.ports.size(); ++i) {
        const PortOutcome& p = result.ports[i];
        json += i == 0 ? "\n    {" : ",\n    {";
        json += "\"port\": ";
        appendJsonString(json, p.port);
        json += ", \"deviceCode\": ";
        appendJsonString(json, p.deviceCode);
        json += ", \"partName\": ";
        appendJsonString(json, p.partName);
        json += ", \"result\": ";
        appendJsonString(json, p.result);
        json += ", \"remark\": ";
        appendJsonString(json, p.remark);
        json += ", \"bytesWritten\": " + std::to_string(p.bytesWritten);
        json += ", \"durationMs\": " + std::to_string(p.durationMs);
        json += std::string(", \"verified\": ") + (p.verified ? "true" : "false") + "}";
    }
    json += result.ports.empty() ? "],\n" : "\n  ],\n";
    json += "  \"refused\": ";
    appendJsonString(json, result.imageProblem);
    json += ",\n  \"wallMs\": " + std::to_string(result.wallMs);
    json += std::string(",\n  \"allSucceeded\": ") + (result.allSucceeded() ? "true" : "false");
    json += "\n}\n";
    return json;
}

bool WriteTextFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    return bool(file);
}

}  // namespace pellion::cli
