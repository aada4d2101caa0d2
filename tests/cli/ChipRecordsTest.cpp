// Every chip a program run touches leaves one record, read back as the operator would read it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <map>
#include <optional>

#include "Version.h"
#include "cli/CliRun.h"
#include "image/Crc32.h"
#include "records/RecordStore.h"
#include "records/StationName.h"
#include "support/TempDirectory.h"
#include "support/VirtualChipFixture.h"

namespace pellion {
namespace {

using records::ChipRecord;
using records::ChipResult;
using records::ChipStep;

std::vector<std::uint8_t> pattern(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = std::uint8_t((i * 13 + 5) % 253);
    return bytes;
}

// Four sockets: a good chip, one whose flash keeps a wrong bit, a readout-protected one (its ID
// cannot be read; unprotecting erases it and it is programmed), and one that does not name
// itself (no model given: left out).
TEST(ChipRecords, AMixedRunRecordsEveryChipItTouchedWithItsFields) {
    test::VirtualChipFixture chips(4, [](std::size_t i) {
        sim::ChipOptions options;
        options.faults.badCellProbability = i == 1 ? 1.0 : 0.0;
        options.readoutProtected = i == 2;
        options.deviceCodeCommand = i != 3;
        return options;
    });
    ASSERT_TRUE(chips.ok()) << chips.error();
    test::TempDirectory directory;
    const std::string image = directory.file("app.bin");
    const std::string database = directory.file("records.sqlite3");
    const auto bytes = pattern(3000);
    std::ofstream(image, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    std::vector<std::string> args{"program", "--file",       image, "--records",
                                  database,  "--boot-entry", "none"};
    for (const auto& path : chips.devicePaths()) {
        args.push_back("--port");
        args.push_back(path);
    }
    const auto run = test::runCli(args);
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;

    auto store = records::OpenSqliteStore(database);
    ASSERT_TRUE(store.ok()) << store.error().message;
    const auto found = store.value()->find({});
    ASSERT_TRUE(found.ok()) << found.error().message;
    std::map<std::string, ChipRecord> byPort;
    for (const ChipRecord& record : found.value())
        byPort[record.port] = record;
    ASSERT_EQ(found.value().size(), 4u) << run.out;
    ASSERT_EQ(byPort.size(), 4u);

    const std::uint32_t crc = crc32(bytes.data(), bytes.size());
    for (std::size_t i = 0; i < 4; ++i) {
        const ChipRecord& r = byPort[chips.devicePath(i)];
        SCOPED_TRACE(chips.devicePath(i));
        EXPECT_EQ(r.station, records::StationName());
        EXPECT_EQ(r.toolVersion, PELLION_FILE_VERSION);
        EXPECT_EQ(r.image.path, image);
        EXPECT_EQ(r.image.startAddress, 0x08000000u);
        EXPECT_EQ(r.image.size, bytes.size());
        EXPECT_EQ(r.image.crc32, crc);
        EXPECT_TRUE(r.options.verify);
        EXPECT_FALSE(r.options.protect);
        EXPECT_EQ(r.options.bootEntry, "none");
        EXPECT_EQ(r.usbLocation, "");  // a pseudo-terminal is no USB adapter
        EXPECT_FALSE(r.serial.has_value());
        EXPECT_LE(r.startedAtMs, r.endedAtMs);
        EXPECT_EQ(r.recordId.size(), 36u);
    }
    const ChipRecord& good = byPort[chips.devicePath(0)];
    EXPECT_EQ(good.result, ChipResult::Succeeded);
    EXPECT_EQ(good.failedStep, ChipStep::None);
    EXPECT_EQ(good.uniqueId, sim::uniqueIdText(chips.chip(0).uniqueId()));
    EXPECT_EQ(good.partName, "KTM1RCB-0256");
    EXPECT_GT(good.durationMs, 0);

    const ChipRecord& bad = byPort[chips.devicePath(1)];
    EXPECT_EQ(bad.result, ChipResult::Failed);
    EXPECT_EQ(bad.failedStep, ChipStep::Verify);
    EXPECT_NE(bad.remark.find("校验"), std::string::npos) << bad.remark;
    EXPECT_EQ(bad.uniqueId, sim::uniqueIdText(chips.chip(1).uniqueId()));

    const ChipRecord& locked = byPort[chips.devicePath(2)];
    EXPECT_EQ(locked.result, ChipResult::Succeeded);
    EXPECT_EQ(locked.uniqueId, "");
    EXPECT_EQ(locked.uniqueIdMissing, "read_protected");

    const ChipRecord& unnamed = byPort[chips.devicePath(3)];
    EXPECT_EQ(unnamed.result, ChipResult::NotIdentified);
    EXPECT_EQ(unnamed.failedStep, ChipStep::Identify);
    EXPECT_EQ(unnamed.partName, "");
}

std::uint32_t u32le(const std::vector<std::uint8_t>& b) {
    return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
           std::uint32_t(b[3]) << 24;
}

// Serial numbers from a pool: written after the image in a page of their own and read back; a
// failed chip's number goes back and the next chip gets it; a block on the image is refused
// before any port is opened.
TEST(ChipRecords, EveryChipGetsItsOwnSerialNumberAndAFailedChipsNumberIsReused) {
    test::VirtualChipFixture chips(3, [](std::size_t i) {
        sim::ChipOptions options;
        options.faults.badCellProbability = i == 1 ? 1.0 : 0.0;
        return options;
    });
    ASSERT_TRUE(chips.ok()) << chips.error();
    test::TempDirectory directory;
    const std::string image = directory.file("app.bin");
    const std::string database = directory.file("records.sqlite3");
    const auto bytes = pattern(3000);
    std::ofstream(image, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    constexpr std::uint32_t kSerialAt = 0x08010000;
    auto program = [&](std::vector<std::size_t> sockets, const std::string& at) {
        std::vector<std::string> args{"program", "--file",         image, "--records",
                                      database,  "--serial-at",    at,    "--serial-pool",
                                      "PLN",     "--serial-start", "100"};
        for (std::size_t i : sockets) {
            args.push_back("--port");
            args.push_back(chips.devicePath(i));
        }
        return test::runCli(args);
    };
    const auto first = program({0, 1, 2}, "8010000");
    EXPECT_EQ(first.exitCode, 1) << first.out << first.err;
    chips.chip(0).reset();
    const auto second = program({0}, "8010000");
    EXPECT_EQ(second.exitCode, 0) << second.out << second.err;

    const auto found = records::OpenSqliteStore(database).value()->find({});
    ASSERT_TRUE(found.ok());
    ASSERT_EQ(found.value().size(), 4u);
    std::map<std::uint32_t, int> succeededWith;
    std::optional<std::uint32_t> failedWith;
    for (const ChipRecord& r : found.value()) {
        ASSERT_TRUE(r.serial.has_value()) << r.port;
        EXPECT_EQ(r.serial->pool, "PLN");
        EXPECT_GE(r.serial->number, 100u);
        EXPECT_LE(r.serial->number, 102u);
        if (r.result == ChipResult::Succeeded)
            ++succeededWith[r.serial->number];
        else
            failedWith = r.serial->number;
    }
    ASSERT_TRUE(failedWith.has_value());
    EXPECT_EQ(succeededWith.size(), 3u);              // no number bound twice
    EXPECT_EQ(succeededWith.count(*failedWith), 1u);  // the failed chip's went to the next
    // The numbers are in the chips: the last chip in socket 0 holds the reused one.
    EXPECT_EQ(u32le(chips.chip(0).readFlash(kSerialAt, 4)), *failedWith);
    EXPECT_EQ(chips.chip(0).readFlash(0x08000000, bytes.size()), bytes);
    EXPECT_EQ(succeededWith.count(u32le(chips.chip(2).readFlash(kSerialAt, 4))), 1u);

    // Not even identified: the port was never opened.
    const auto asked = chips.chip(2).stats().commandsNamed("getId");
    const auto refused = program({2}, "8000100");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("与下载文件重叠"), std::string::npos) << refused.err;
    EXPECT_EQ(chips.chip(2).stats().commandsNamed("getId"), asked);
}

}  // namespace
}  // namespace pellion
