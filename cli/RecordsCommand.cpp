// pellion-cli records [--records URL|PATH] [--since TIME] [--uid HEX] [--csv|--json]
// Lists or exports the traceability records, or shows a serial-number pool.

#include <cstdio>
#include <ctime>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/CommandRegistry.h"
#include "records/RecordExport.h"
#include "records/RecordTime.h"
#include "records/RecordsLocation.h"

namespace pellion::cli {
namespace {

using namespace pellion::records;

void printRecordsHelp(std::ostream& out) {
    out << "usage: pellion-cli records [--records URL|PATH] [--since TIME] [--uid HEX]\n"
           "                           [--csv|--json]\n"
           "       pellion-cli records [--records URL|PATH] --pool NAME\n\n"
           "Lists the record of every chip a run touched, oldest first: as a table, or as CSV\n"
           "or JSON for other programs (docs/records.md describes the fields).\n\n"
           "  --records WHERE  an SQLite file, or a PostgreSQL connection such as\n"
           "                   postgresql://host/db or service=NAME (passwords come from\n"
           "                   libpq's password file); default "
        << DefaultRecordsPath()
        << "\n"
           "  --since TIME     records started at or after TIME: 2024-05-01, 2024-05-01T08:30,\n"
           "                   2024-05-01 08:30:15 (local time; end with Z for UTC)\n"
           "  --uid HEX        the records of the chip with this 96-bit unique ID (24 hex digits)\n"
           "  --csv, --json    export instead of the table\n"
           "  --pool NAME      the numbers of a serial-number pool and their state instead\n"
           "  --help           this text\n\n"
           "Exit status: 0 listed, 1 the records could not be read, 2 wrong command line.\n";
}

struct RecordsOptions {
    std::string where;
    RecordQuery query;
    enum class Output { Table, Csv, Json } output = Output::Table;
    std::optional<std::string> pool;
};

std::optional<std::string> valueOf(const std::vector<std::string>& args, std::size_t& i,
                                   std::string& value) {
    if (i + 1 >= args.size())
        return args[i] + " needs a value";
    value = args[++i];
    return std::nullopt;
}

std::optional<std::string> parseRecordsOptions(const std::vector<std::string>& args,
                                               RecordsOptions& options) {
    bool haveOutput = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string value;
        if (arg == "--csv" || arg == "--json") {
            if (haveOutput)
                return "give only one of --csv and --json";
            haveOutput = true;
            options.output =
                arg == "--csv" ? RecordsOptions::Output::Csv : RecordsOptions::Output::Json;
        } else if (arg == "--records" || arg == "--since" || arg == "--uid" || arg == "--pool") {
            if (auto problem = valueOf(args, i, value))
                return problem;
            if (arg == "--records") {
                options.where = value;
            } else if (arg == "--pool") {
                options.pool = value;
            } else if (arg == "--since") {
                options.query.sinceMs = ParseTimeText(value);
                if (!options.query.sinceMs)
                    return "--since '" + value + "' is not a date or a date and time";
            } else {
                options.query.uniqueId = NormalisedUniqueId(value);
                if (!options.query.uniqueId)
                    return "--uid '" + value + "' is not 24 hexadecimal digits";
            }
        } else {
            return "unknown argument '" + arg + "'";
        }
    }
    if (options.pool && (haveOutput || options.query.sinceMs || options.query.uniqueId))
        return "--pool lists a pool and takes no other choice";
    return std::nullopt;
}

std::string localTimeText(std::int64_t utcMs) {
    const std::time_t t = std::time_t(utcMs / 1000);
    std::tm tm{};
    localtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    return text;
}

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

void printTable(const std::vector<ChipRecord>& records) {
    std::printf("%-19s  %-16s  %-14s  %-24s  %-14s  %-14s  %-12s  %-10s  %s\n", "STARTED",
                "STATION", "PORT", "UNIQUE ID", "PART", "RESULT", "STEP", "SERIAL", "REMARK");
    for (const ChipRecord& r : records) {
        const std::string serial = r.serial ? std::to_string(r.serial->number) : "-";
        const std::string uid = r.uniqueId.empty() ? "(" + r.uniqueIdMissing + ")" : r.uniqueId;
        std::printf("%-19s  %-16s  %-14s  %-24s  %-14s  %-14s  %-12s  %-10s  %s\n",
                    localTimeText(r.startedAtMs).c_str(), r.station.c_str(), r.port.c_str(),
                    uid.c_str(), r.partName.c_str(), std::string(IdOf(r.result)).c_str(),
                    r.failedStep == ChipStep::None ? "-" : std::string(IdOf(r.failedStep)).c_str(),
                    serial.c_str(), firstLine(r.remark).c_str());
    }
}

void printPool(const std::vector<SerialNumberState>& numbers) {
    std::printf("%-10s  %-9s  %-16s  %-36s  %s\n", "NUMBER", "STATE", "STATION", "RECORD",
                "CHANGED");
    for (const SerialNumberState& n : numbers) {
        std::printf("%-10u  %-9s  %-16s  %-36s  %s\n", unsigned(n.number),
                    std::string(IdOf(n.state)).c_str(), n.station.c_str(), n.recordId.c_str(),
                    localTimeText(n.changedAtMs).c_str());
    }
}

int runRecords(const std::vector<std::string>& args) {
    for (const auto& arg : args) {
        if (arg == "--help" || arg == "-h") {
            printRecordsHelp(std::cout);
            return kExitOk;
        }
    }
    RecordsOptions options;
    if (auto problem = parseRecordsOptions(args, options)) {
        std::cerr << "pellion-cli records: " << *problem << "\n\n";
        printRecordsHelp(std::cerr);
        return kExitUsage;
    }
    auto store = OpenRecordStore(RecordsLocationOf(options.where), true);
    if (!store) {
        std::cerr << "pellion-cli records: " << store.error().message << "\n";
        return kExitFailure;
    }
    if (options.pool) {
        auto numbers = store.value()->serialNumbers(*options.pool);
        if (!numbers) {
            std::cerr << "pellion-cli records: " << numbers.error().message << "\n";
            return kExitFailure;
        }
        printPool(numbers.value());
        return std::fflush(stdout) == 0 ? kExitOk : kExitFailure;
    }
    auto records = store.value()->find(options.query);
    if (!records) {
        std::cerr << "pellion-cli records: " << records.error().message << "\n";
        return kExitFailure;
    }
    switch (options.output) {
        case RecordsOptions::Output::Csv:
            std::cout << RecordsCsv(records.value());
            break;
        case RecordsOptions::Output::Json:
            std::cout << RecordsJson(records.value());
            break;
        case RecordsOptions::Output::Table:
            std::cout << std::flush;
            printTable(records.value());
            break;
    }
    std::cout.flush();
    return std::cout && std::fflush(stdout) == 0 ? kExitOk : kExitFailure;
}

const CommandRegistration kRecordsCommand{
    {"records", "records [--records WHERE] [--csv|--json]       list or export the chip records",
     runRecords}};

}  // namespace
}  // namespace pellion::cli
