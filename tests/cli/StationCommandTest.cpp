// The station verb as an operator runs it, against virtual chips that operators swap: the
// chips that passed through the sockets are the oracle.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CliRun.h"
#include "sim/UniqueId.h"
#include "support/PtyPair.h"
#include "support/TempDirectory.h"
#include "support/VirtualChipFixture.h"

namespace pellion {
namespace {

using namespace std::chrono_literals;
using test::runCli;

std::vector<std::uint8_t> imageBytes(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = std::uint8_t((i * 13 + 5) % 241);
    return bytes;
}

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<nlohmann::json> eventLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<nlohmann::json> events;
    for (std::string line; std::getline(in, line);)
        events.push_back(nlohmann::json::parse(line));
    return events;
}

// An event's "time" ("2026-05-01T10:20:30.123+02:00") as milliseconds of its day.
long long msOfDay(const nlohmann::json& event) {
    const std::string time = event["time"];
    return ((std::stoll(time.substr(11, 2)) * 60 + std::stoll(time.substr(14, 2))) * 60 +
            std::stoll(time.substr(17, 2))) *
               1000 +
           std::stoll(time.substr(20, 3));
}

TEST(StationCommand, FourSocketsProgramTwelveDistinctChipsOnceEachThenStopInOrder) {
    test::VirtualChipFixture chips(4, [](std::size_t) {
        sim::ChipOptions options;
        // Swapped faster than three probes: only the unique ID tells one chip from the next.
        options.replaceAfterGo = 100ms;
        return options;
    });
    ASSERT_TRUE(chips.ok()) << chips.error();
    test::TempDirectory dir;
    const auto image = imageBytes(5000);
    writeFile(dir.file("app.bin"), image);

    std::vector<std::string> args{"station", "--file",   dir.file("app.bin"),
                                  "--baud",  "115200",   "--stop-after",
                                  "12",      "--events", dir.file("events.jsonl")};
    for (const auto& device : chips.devicePaths())
        args.insert(args.end(), {"--port", device});
    const auto run = runCli(args);
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("\n12 succeeded, 0 failed, yield 100%\n"), std::string::npos) << run.out;

    // Every chip that took the image took it once; twelve did, and no more started.
    std::set<std::string> programmedIds;
    for (std::size_t i = 0; i < chips.size(); ++i) {
        auto history = chips.chip(i).retiredChips();
        history.push_back(chips.chip(i).snapshot());
        for (const auto& chip : history) {
            if (chip.stats.bytesProgrammed == 0)
                continue;
            EXPECT_EQ(chip.stats.bytesProgrammed, image.size()) << "programmed twice";
            const auto flash = chip.fullFlash();
            EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
            programmedIds.insert(sim::uniqueIdText(chip.uniqueId));
        }
    }
    EXPECT_EQ(programmedIds.size(), 12u);

    // The events: 12 finished chips, each verified, numbered apart; the ports' counts add up.
    const auto events = eventLines(dir.file("events.jsonl"));
    ASSERT_FALSE(events.empty());
    std::set<int> numbers;
    std::set<std::string> reportedIds;
    int started = 0;
    std::set<int> completed;
    std::map<std::string, long long> lastProgress;
    for (const auto& event : events) {
        EXPECT_EQ(event["format"], 1);
        started += event["event"] == "chip_started" ? 1 : 0;
        if (event["event"] == "chip_progress") {
            // A few a second per port; a chip's completion is told at once.
            const std::string port = event["port"];
            if (event["done"] == event["total"]) {
                completed.insert(event["chip"].get<int>());
            } else if (lastProgress.count(port)) {
                EXPECT_GE(msOfDay(event) - lastProgress[port], 450) << event;
            }
            lastProgress[port] = msOfDay(event);
        }
        if (event["event"] != "chip_finished")
            continue;
        EXPECT_EQ(event["result"], "succeeded") << event;
        EXPECT_EQ(event["verified"], "passed");
        EXPECT_EQ(event["bytesWritten"], image.size());
        EXPECT_EQ(event["deviceCode"], "1RCB");
        numbers.insert(event["chip"].get<int>());
        reportedIds.insert(event["uniqueId"].get<std::string>());
    }
    EXPECT_EQ(numbers.size(), 12u);
    EXPECT_EQ(completed, numbers);
    EXPECT_EQ(reportedIds, programmedIds);
    EXPECT_EQ(started, 12);
    const auto& last = events.back();
    ASSERT_EQ(last["event"], "station_stopped");
    EXPECT_EQ(last["succeeded"], 12);
    EXPECT_EQ(last["interrupted"], false);
    int perPort = 0;
    for (const auto& port : last["ports"])
        perPort += port["succeeded"].get<int>();
    EXPECT_EQ(perPort, 12);
}

// Fixture boards whose chips power up in their application: only the boot entry before each
// probe finds them, and the exit starts each new program as the operator swaps the chips. A
// port that cannot drive the lines says so and leaves the others to it.
TEST(StationCommand, TheBootEntryFindsChipsThatStartInTheirApplication) {
    test::VirtualChipFixture chips(2, [](std::size_t) {
        sim::ChipOptions options;
        options.wiring = sim::Wiring::DtrReset;
        options.startInApplication = true;
        options.replaceAfterGo = 100ms;
        return options;
    });
    ASSERT_TRUE(chips.ok()) << chips.error();
    test::PtyPair plain;
    ASSERT_TRUE(plain.ok());
    test::TempDirectory dir;
    const auto image = imageBytes(3000);
    writeFile(dir.file("app.bin"), image);
    const auto run =
        runCli({"station", "--file", dir.file("app.bin"), "--baud", "115200", "--stop-after", "6",
                "--boot-entry", "dtr-reset", "--boot-exit", "dtr-reset", "--port",
                chips.devicePath(0), "--port", plain.slavePath(), "--port", chips.devicePath(1)});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("\n6 succeeded, 0 failed, yield 100%\n"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find(plain.slavePath() + ": 进入下载模式失败,串口无法控制DTR/RTS\n"),
              std::string::npos)
        << run.err;
    std::set<std::string> programmedIds;
    for (std::size_t i = 0; i < chips.size(); ++i) {
        auto history = chips.chip(i).retiredChips();
        history.push_back(chips.chip(i).snapshot());
        for (const auto& chip : history) {
            if (chip.stats.bytesProgrammed == 0)
                continue;
            EXPECT_EQ(chip.stats.bytesProgrammed, image.size()) << "programmed twice";
            EXPECT_EQ(chip.stats.commandsNamed("go"), 0u) << "the exit starts the program";
            const auto flash = chip.fullFlash();
            EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
            programmedIds.insert(sim::uniqueIdText(chip.uniqueId));
        }
    }
    EXPECT_EQ(programmedIds.size(), 6u);
    for (std::size_t i = 0; i < chips.size(); ++i)
        EXPECT_FALSE(chips.chip(i).board().resetHeld) << "a chip left in reset";
}

TEST(StationCommand, ASignalStopsInOrderWithStatusZeroAndWrongCommandLinesAreRefused) {
    test::VirtualChipFixture chips(1);
    ASSERT_TRUE(chips.ok());
    test::TempDirectory dir;
    writeFile(dir.file("app.bin"), imageBytes(1000));
    {
        test::CliProcess cli({"station", "--file", dir.file("app.bin"), "--port",
                              chips.devicePath(0), "--events", "-"});
        ASSERT_TRUE(cli.waitForOutput("\"event\": \"chip_finished\"", 20s)) << cli.out();
        cli.signal(SIGINT);
        const auto run = cli.finish();
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_NE(run.err.find("1 succeeded, 0 failed, yield 100% (stopped by signal)"),
                  std::string::npos)
            << run.err;
        std::istringstream lines(run.out);
        std::string line, lastLine;
        while (std::getline(lines, line))
            lastLine = line;
        const auto stopped = nlohmann::json::parse(lastLine);
        EXPECT_EQ(stopped["event"], "station_stopped");
        EXPECT_EQ(stopped["interrupted"], true);
    }
    EXPECT_EQ(chips.chip(0).stats().bytesProgrammed, 1000u);

    // A second signal ends the chip at work at once instead of letting it finish (30 ms after
    // every frame stretch its writing to seconds); the ports are closed before the last line.
    chips.chip(0).replace();
    writeFile(dir.file("big.bin"), imageBytes(20000));
    {
        test::CliProcess cli({"station", "--file", dir.file("big.bin"), "--port",
                              chips.devicePath(0), "--interval", "30", "--events", "-"});
        ASSERT_TRUE(cli.waitForOutput("\"event\": \"chip_progress\"", 20s)) << cli.out();
        cli.signal(SIGINT);
        cli.signal(SIGTERM);
        const auto run = cli.finish();
        EXPECT_EQ(run.exitCode, 0) << run.err;
        std::vector<nlohmann::json> events;
        std::istringstream lines(run.out);
        for (std::string line; std::getline(lines, line);)
            events.push_back(nlohmann::json::parse(line));
        ASSERT_GE(events.size(), 2u);
        const auto& finished = events[events.size() - 2];
        EXPECT_EQ(finished["event"], "chip_finished");
        EXPECT_EQ(finished["interrupted"], true);
        EXPECT_EQ(events.back()["event"], "station_stopped");
        EXPECT_EQ(events.back()["failed"], 1);
    }
    EXPECT_LT(chips.chip(0).stats().bytesProgrammed, 20000u);

    const std::string file = dir.file("app.bin");
    const std::string port = chips.devicePath(0);
    for (const auto& wrong : std::vector<std::vector<std::string>>{
             {"station", "--file", file},
             {"station", "--file", file, "--port", port, "--stop-after", "0"},
             {"station", "--file", file, "--port", port, "--json", dir.file("r.json")},
             {"station", "--file", file, "--port", port, "--events", file}}) {
        EXPECT_EQ(runCli(wrong).exitCode, 2) << wrong.back();
    }
    const auto absent = runCli({"station", "--file", file, "--port", dir.file("no-such-port")});
    EXPECT_EQ(absent.exitCode, 1) << absent.err;
    EXPECT_NE(absent.err.find("no port could be opened"), std::string::npos) << absent.err;
}

TEST(StationCommand, TheDemoRunsProductionModeOnSwappedVirtualChips) {
    const auto run = runCli({"demo", "--station", "--chips", "2"});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("6 succeeded, 0 failed, yield 100%"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("6 of 6 programmed chips hold the image."), std::string::npos)
        << run.out;
}

}  // namespace
}  // namespace pellion
