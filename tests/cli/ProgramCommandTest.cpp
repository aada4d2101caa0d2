// The program and demo verbs, run as an operator runs them, against virtual chips served by
// this test process. The oracle is the chips' flash.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Version.h"
#include "cli/CliRun.h"
#include "image/Crc32.h"
#include "support/PtyPair.h"
#include "support/VirtualChipFixture.h"

namespace pellion {
namespace {

using test::runCli;
using namespace std::chrono_literals;

constexpr std::uint32_t kFlashBase = 0x08000000;

std::vector<std::uint8_t> pattern(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = std::uint8_t((i * 31 + 7) % 251);
    return bytes;
}

class TempFile {
  public:
    explicit TempFile(const std::string& suffix) {
        path = "/tmp/pellion-cli-test-" + std::to_string(::getpid()) + "-" +
               std::to_string(counter++) + suffix;
    }
    ~TempFile() { std::remove(path.c_str()); }
    void write(const std::vector<std::uint8_t>& bytes) const {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    std::string read() const {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string path;

  private:
    static inline int counter = 0;
};

// "2024-05-01T10:20:30.123+02:00": local time, milliseconds, offset from UTC.
bool isIso8601(const std::string& text) {
    const std::string shape = "dddd-dd-ddTdd:dd:dd.ddd+dd:dd";
    if (text.size() != shape.size())
        return false;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const bool ok = shape[i] == 'd'   ? std::isdigit(static_cast<unsigned char>(text[i])) != 0
                        : shape[i] == '+' ? text[i] == '+' || text[i] == '-'
                                          : text[i] == shape[i];
        if (!ok)
            return false;
    }
    return true;
}

std::size_t countOf(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST(ProgramCommand, ProgramsEveryPortVerifiesByDefaultAndReportsInJson) {
    test::VirtualChipFixture chips(2);
    ASSERT_TRUE(chips.ok()) << chips.error();
    TempFile image(".bin"), report(".json");
    const auto bytes = pattern(3333);
    image.write(bytes);

    const auto run =
        runCli({"program", "--file", image.path, "--port", chips.devicePath(0), "--port",
                chips.devicePath(1), "--baud", "115200", "--interval", "1", "--json", report.path});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(chips.chip(i).readFlash(kFlashBase, bytes.size()), bytes) << i;
        EXPECT_GT(chips.chip(i).stats().commandsNamed("readMemory"), 1u) << "read back";
    }

    // Not a terminal: plain lines, one per remark, then the summary.
    EXPECT_NE(run.out.find(chips.devicePath(0) + ": 正在下载....."), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(chips.devicePath(1) + ": 下载完成后成功跳转"), std::string::npos);
    EXPECT_EQ(run.out.find("\x1b["), std::string::npos);  // no cursor movements
    EXPECT_NE(run.out.find("\n2/2个芯片下载成功\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("成功    " + chips.devicePath(0) +
                           " (KTM1RCB-0256): 下载完成后成功跳转,3333字节,校验成功\n"),
              std::string::npos)
        << run.out;

    const std::string json = report.read();
    for (const std::string field :
         {"\"formatVersion\": 2,", "\"toolVersion\": \"" PELLION_FILE_VERSION "\",",
          "\"baud\": 115200,", "\"intervalMs\": 1,",
          "\"options\": {\"verify\": true, \"protect\": false, \"model\": null, "
          "\"blockSize\": 200, \"skipBlank\": true}",
          "\"interrupted\": false,", "\"allSucceeded\": true"}) {
        EXPECT_NE(json.find(field), std::string::npos) << field << "\n" << json;
    }
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08X", unsigned(crc32(bytes.data(), bytes.size())));
    EXPECT_NE(json.find("\"image\": {\"path\": \"" + image.path +
                        "\", \"kind\": \"raw\", \"startAddress\": 134217728, \"size\": 3333, "
                        "\"crc32\": \"" +
                        crc + "\"}"),
              std::string::npos)
        << json;
    for (const char* key : {"\"startTime\": \"", "\"endTime\": \""}) {
        const auto at = json.find(key);
        ASSERT_NE(at, std::string::npos) << key;
        EXPECT_TRUE(isIso8601(json.substr(at + std::strlen(key), 29))) << json;
    }
    EXPECT_EQ(countOf(json, "\"result\": \"succeeded\", \"step\": null"), 2u) << json;
    EXPECT_EQ(countOf(json, "\"deviceCode\": \"1RCB\""), 2u);
    EXPECT_EQ(countOf(json, "\"partName\": \"KTM1RCB-0256\""), 2u);
    EXPECT_EQ(countOf(json, "\"bytesWritten\": 3333"), 2u);
    EXPECT_EQ(countOf(json, "\"blankBytesSkipped\": 0, \"recoveries\": 0,"), 2u);
    EXPECT_EQ(
        countOf(json, "\"verified\": \"passed\", \"massErased\": false, \"interrupted\": false"),
        2u);

    // --no-verify reads nothing back and says so.
    chips.chip(0).reset();
    const auto readsBefore = chips.chip(0).stats().commandsNamed("readMemory");
    ASSERT_EQ(runCli({"program", "--file", image.path, "--port", chips.devicePath(0), "--no-verify",
                      "--json", report.path})
                  .exitCode,
              0);
    // The option bytes, and the unique ID for the chip's record.
    EXPECT_EQ(chips.chip(0).stats().commandsNamed("readMemory"), readsBefore + 2);
    EXPECT_NE(report.read().find("\"verified\": \"not_requested\""), std::string::npos);
}

TEST(ProgramCommand, InEnglishTheRemarksAndTheReportsRemarkAreEnglishAndItsIdentifiersAlike) {
    test::VirtualChipFixture chips(1);
    ASSERT_TRUE(chips.ok()) << chips.error();
    TempFile image(".bin"), report(".json");
    image.write(pattern(2000));
    const auto run = runCli({"program", "--lang", "en", "--file", image.path, "--port",
                             chips.devicePath(0), "--json", report.path});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    const std::string started = "Download complete, application started";
    EXPECT_NE(run.out.find(chips.devicePath(0) + ": Downloading..."), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(chips.devicePath(0) + ": " + started), std::string::npos);
    const std::string json = report.read();
    EXPECT_NE(json.find("\"result\": \"succeeded\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"verified\": \"passed\""), std::string::npos);
    EXPECT_NE(json.find("\"remark\": \"" + started + "\""), std::string::npos);
    // The lines for people keep their English words.
    EXPECT_NE(run.out.find("ok      " + chips.devicePath(0) + " (KTM1RCB-0256): " + started +
                           ", 2000 bytes, verified\n\n1 of 1 chips programmed\n"),
              std::string::npos)
        << run.out;
    for (const std::string& text : {run.out, run.err, json}) {
        for (unsigned char c : text)
            ASSERT_LT(c, 0x80) << "not English:\n" << text;
    }
}

TEST(ProgramCommand, AFailingChipMakesTheExitStatusNonZeroAndIsNamed) {
    test::VirtualChipFixture chips(2, [](std::size_t i) {
        sim::ChipOptions options;
        if (i == 1)
            options.faults.silentAfterCommands = 3;
        return options;
    });
    ASSERT_TRUE(chips.ok());
    TempFile image(".bin"), report(".json");
    const auto bytes = pattern(2000);
    image.write(bytes);
    const auto run = runCli({"program", "--file", image.path, "--port", chips.devicePath(0),
                             "--port", chips.devicePath(1), "--json", report.path});
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_EQ(chips.chip(0).readFlash(kFlashBase, bytes.size()), bytes);
    EXPECT_NE(run.out.find("失败    " + chips.devicePath(1)), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("芯片无应答"), std::string::npos);
    const std::string json = report.read();
    EXPECT_EQ(countOf(json, "\"result\": \"succeeded\""), 1u) << json;
    EXPECT_EQ(countOf(json, "\"result\": \"failed\""), 1u);
    EXPECT_NE(json.find("\"allSucceeded\": false"), std::string::npos);
}

TEST(ProgramCommand, TheReportCountsOnlyTheBytesTheChipTook) {
    test::VirtualChipFixture chips(1, [](std::size_t) {
        sim::ChipOptions options;
        options.faults.disconnectAfterBytes = 1000;  // while the fifth block is on its way
        return options;
    });
    ASSERT_TRUE(chips.ok());
    TempFile image(".bin"), report(".json");
    const auto bytes = pattern(3000);
    image.write(bytes);
    const auto run = runCli(
        {"program", "--file", image.path, "--port", chips.devicePath(0), "--json", report.path});
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    const std::string json = report.read();
    const auto at = json.find("\"bytesWritten\": ");
    ASSERT_NE(at, std::string::npos) << json;
    const std::size_t written = std::stoul(json.substr(at + 16));
    EXPECT_GT(written, 0u) << json;
    EXPECT_LT(written, bytes.size());
    // Every byte counted is on the chip; the block in flight when the line went is not counted.
    const std::vector<std::uint8_t> head(bytes.begin(), bytes.begin() + long(written));
    EXPECT_EQ(chips.chip(0).readFlash(kFlashBase, written), head) << json;
}

TEST(ProgramCommand, AChipThatFailsIdentificationIsLeftOutAndTheOthersAreProgrammed) {
    test::VirtualChipFixture chips(2, [](std::size_t i) {
        sim::ChipOptions options;
        if (i == 1)
            options.faults.silentAfterCommands = 0;  // answers SYNC, then nothing
        return options;
    });
    ASSERT_TRUE(chips.ok());
    TempFile image(".bin"), report(".json");
    const auto bytes = pattern(1000);
    image.write(bytes);
    const auto run = runCli({"program", "--file", image.path, "--port", chips.devicePath(0),
                             "--port", chips.devicePath(1), "--json", report.path});
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_EQ(chips.chip(0).readFlash(kFlashBase, bytes.size()), bytes);
    // Named by what went wrong with it, not as a chip without a model.
    EXPECT_EQ(run.err.find("芯片请选择型号!"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("失败    " + chips.devicePath(1) + ": 读取芯片信息失败,芯片无应答"),
              std::string::npos)
        << run.out;
    const std::string json = report.read();
    EXPECT_EQ(countOf(json, "\"result\": \"succeeded\""), 1u) << json;
    EXPECT_EQ(countOf(json, "\"result\": \"failed\""), 1u);
    EXPECT_NE(json.find("\"refused\": \"\""), std::string::npos);
}

TEST(ProgramCommand, ChipsThatCannotBeIdentifiedAreLeftOutAndModelNamesOnlyThem) {
    // A chip that names itself (1 KiB pages, old data in its second 2 KiB), one without the
    // device-code command and one with a code the catalogue does not know.
    test::VirtualChipFixture chips(3, [](std::size_t i) {
        sim::ChipOptions options;
        options.code = DeviceCode(i == 0 ? "1C8A" : i == 1 ? "1RDB" : "9QQA");
        if (i == 0)
            options.initialFlash = std::vector<std::uint8_t>(4096, 0x00);
        options.deviceCodeCommand = i != 1;
        if (i == 2)
            options.geometry = DeviceGeometry{384, 2, 2048, 192, 0};  // as KTM1RDB-0384
        return options;
    });
    ASSERT_TRUE(chips.ok());
    TempFile image(".bin"), report(".json");
    const auto bytes = pattern(3000);
    image.write(bytes);
    const std::vector<std::string> ports{"--port", chips.devicePath(0),
                                         "--port", chips.devicePath(1),
                                         "--port", chips.devicePath(2)};
    auto program = [&](std::vector<std::string> extra) {
        std::vector<std::string> args{"program", "--file", image.path, "--json", report.path};
        args.insert(args.end(), ports.begin(), ports.end());
        args.insert(args.end(), extra.begin(), extra.end());
        return runCli(args);
    };

    // Without a model the healthy chip is programmed all the same.
    const auto withoutModel = program({});
    EXPECT_EQ(withoutModel.exitCode, 1) << withoutModel.out << withoutModel.err;
    EXPECT_EQ(chips.chip(0).readFlash(kFlashBase, bytes.size()), bytes);
    EXPECT_EQ(withoutModel.err.find("芯片请选择型号!"), std::string::npos) << withoutModel.err;
    EXPECT_NE(withoutModel.out.find("1/3个芯片下载成功"), std::string::npos) << withoutModel.out;
    EXPECT_NE(withoutModel.out.find(chips.devicePath(1) +
                                    ": 未识别(请手动为该芯片选择正确的型号),请用--model指定型号"),
              std::string::npos)
        << withoutModel.out;
    EXPECT_NE(withoutModel.out.find(chips.devicePath(2) +
                                    ": 未识别(请选择设备型号，否则无法下载),请用--model指定型号"),
              std::string::npos);
    std::string json = report.read();
    EXPECT_EQ(countOf(json, "\"result\": \"not_identified\", \"step\": \"identify\""), 2u) << json;

    // A model of 2 KiB pages: it names the two chips without a usable code, never the 1 KiB
    // chip, which would otherwise keep half of its old data and be reported programmed.
    for (std::size_t i = 0; i < 3; ++i) {
        chips.chip(i).reset();
        chips.chip(i).loadFlash(kFlashBase, std::vector<std::uint8_t>(4096, 0x00));
    }
    const auto withModel = program({"--model", "KTM1RDB-0384", "--protect"});
    ASSERT_EQ(withModel.exitCode, 0) << withModel.out << withModel.err;
    EXPECT_NE(withModel.err.find(chips.devicePath(0) + "芯片已识别为KTM1C8A-0064"),
              std::string::npos)
        << withModel.err;
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(chips.chip(i).readFlash(kFlashBase, bytes.size()), bytes) << i;
        EXPECT_TRUE(chips.chip(i).readoutProtected()) << i;
    }
    json = report.read();
    EXPECT_NE(json.find("\"partName\": \"KTM1C8A-0064\""), std::string::npos) << json;
    EXPECT_EQ(countOf(json, "\"partName\": \"KTM1RDB-0384\""), 2u);
    EXPECT_NE(json.find("\"model\": \"KTM1RDB-0384\""), std::string::npos);
}

TEST(ProgramCommand, RefusalsAndWrongCommandLines) {
    test::VirtualChipFixture chips(1);
    ASSERT_TRUE(chips.ok());
    TempFile image(".bin");
    image.write(pattern(300 * 1024));  // larger than the 256 KiB chip
    const auto tooBig = runCli({"program", "--file", image.path, "--port", chips.devicePath(0)});
    EXPECT_EQ(tooBig.exitCode, 1);
    EXPECT_NE(tooBig.err.find("超出芯片闪存末地址"), std::string::npos) << tooBig.err;
    EXPECT_EQ(chips.chip(0).stats().commandsNamed("erase"), 0u);

    // The identified chip's remark ("ready for the next step") does not stand as the failure.
    EXPECT_NE(
        tooBig.out.find("失败    " + chips.devicePath(0) + " (KTM1RCB-0256): 未开始,下载被拒绝"),
        std::string::npos)
        << tooBig.out;

    // Everything below is refused before any port is opened.
    const auto syncsBefore = chips.chip(0).stats().syncs;
    const auto missing =
        runCli({"program", "--file", image.path + ".none", "--port", chips.devicePath(0)});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("不存在!"), std::string::npos) << missing.err;
    EXPECT_NE(missing.out.find("未开始,下载被拒绝"), std::string::npos);
    EXPECT_NE(missing.out.find("0/1个芯片下载成功"), std::string::npos);

    // An address is reported as given, not as the window's box would read it.
    const auto topAddress = runCli(
        {"program", "--file", image.path, "--port", chips.devicePath(0), "--address", "FFFFFFFF"});
    EXPECT_EQ(topAddress.exitCode, 1);
    EXPECT_NE(topAddress.err.find("0xFFFFFFFF"), std::string::npos) << topAddress.err;

    const std::filesystem::path dir = "/tmp/pellion-cli-refusals-" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    std::filesystem::create_symlink(chips.devicePath(0), dir / "again");
    std::filesystem::create_symlink(image.path, dir / "report.json");
    TempFile hex(".hex");
    {
        std::ofstream out(hex.path);
        out << ":020000040800F2\n:0400000001020304F2\n:00000001FF\n";
    }
    const std::vector<std::pair<std::vector<std::string>, std::string>> usage = {
        {{"--port", chips.devicePath(0), "--model", "KTM-NONE"},
         "--model 'KTM-NONE' is no known part name"},
        {{"--port", chips.devicePath(0), "--port", (dir / "again").string()},
         "names the same port as"},
        {{"--port", chips.devicePath(0), "--baud", "4000001"}, "faster than any serial adapter"},
        {{"--port", chips.devicePath(0), "--json", (dir / "report.json").string()},
         "is the download file"},
        {{"--port", chips.devicePath(0), "--json", (dir / "none" / "r.json").string()},
         "cannot be created in"},
        {{"--port", chips.devicePath(0), "--json", dir.string()}, "is a directory"},
        {{"--port", "x", "--baud", "fast"}, "is not a baud rate"},
        {{"--port", "x", "--bogus"}, "unknown option"},
        {{"--port", "x", "--lang", "fr"}, "--lang 'fr' is neither zh nor en"},
        {{"--port", "x", "--block-size", "202"},
         "--block-size '202' is not a block size: a multiple of 4 from 4 to 256 bytes"},
        {{"--port", "x", "--block-size", "260"}, "is not a block size"},
        {{}, "at least one --port is needed"},
    };
    for (const auto& [extra, text] : usage) {
        std::vector<std::string> args{"program", "--file", image.path};
        args.insert(args.end(), extra.begin(), extra.end());
        const auto run = runCli(args);
        EXPECT_EQ(run.exitCode, 2) << text;
        EXPECT_NE(run.err.find(text), std::string::npos) << run.err;
    }
    const auto hexAddress = runCli(
        {"program", "--file", hex.path, "--port", chips.devicePath(0), "--address", "8000100"});
    EXPECT_EQ(hexAddress.exitCode, 2);
    EXPECT_NE(hexAddress.err.find("--address 8000100 does not match the HEX file, which starts "
                                  "at 8000000"),
              std::string::npos)
        << hexAddress.err;
    EXPECT_EQ(runCli({"program", "--port", chips.devicePath(0)}).exitCode, 2);
    EXPECT_EQ(chips.chip(0).stats().syncs, syncsBefore);
    EXPECT_EQ(image.read().size(), 300u * 1024u) << "the firmware was not overwritten";

    // Ports that are not there, or not serial lines, are called so.
    const auto absent = runCli(
        {"program", "--file", image.path, "--port", "/dev/pellion-none", "--port", hex.path});
    EXPECT_EQ(absent.exitCode, 1);
    EXPECT_NE(absent.out.find("/dev/pellion-none: 串口不存在!"), std::string::npos) << absent.out;
    EXPECT_NE(absent.out.find(hex.path + ": 该设备不是串口!"), std::string::npos);
    EXPECT_EQ(absent.err.find("串口被占用!"), std::string::npos);
    std::filesystem::remove_all(dir);

    const auto help = runCli({"program", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--json FILE"), std::string::npos);
}

// Ctrl-C in the middle of writing: every port ends its frame, the report and the summary say
// so, the exit status is 130, and the chips are identified and programmed by the next run.
TEST(ProgramCommand, AnInterruptedRunEndsInOrderAndTheChipsCanBeProgrammedAgain) {
    test::VirtualChipFixture chips(2, [](std::size_t) {
        sim::ChipOptions options;
        options.timing.enabled = true;  // a run long enough to be interrupted
        return options;
    });
    ASSERT_TRUE(chips.ok());
    TempFile image(".bin"), report(".json");
    const auto bytes = pattern(24000);
    image.write(bytes);
    auto args = [&](const char* interval) {
        return std::vector<std::string>{"program",
                                        "--file",
                                        image.path,
                                        "--port",
                                        chips.devicePath(0),
                                        "--port",
                                        chips.devicePath(1),
                                        "--baud",
                                        "230400",
                                        "--interval",
                                        interval,
                                        "--json",
                                        report.path};
    };
    {
        // A 30 ms pause after every frame stretches the writing to 11 s: the signal lands in it
        // however busy the machine is (without it a loaded machine let the chips reach
        // read-back first). The chips' line speed stays the same for the next run.
        test::CliProcess cli(args("30"));
        for (std::size_t i = 0; i < 2; ++i)
            ASSERT_TRUE(cli.waitForOutput(chips.devicePath(i) + ": 正在下载.....", 20s))
                << cli.out();
        cli.signal(SIGINT);
        const auto run = cli.finish();
        EXPECT_EQ(run.exitCode, 130) << run.out << run.err;
        EXPECT_NE(run.out.find("0/2个芯片下载成功(已中断)\n"), std::string::npos) << run.out;
        for (std::size_t i = 0; i < 2; ++i) {
            EXPECT_NE(run.out.find("\n  " + chips.devicePath(i) + ": 下载失败,操作被中断\n"),
                      std::string::npos)
                << run.out;
        }
        const std::string json = report.read();
        EXPECT_EQ(countOf(json, "\"step\": \"write\""), 2u) << json;
        EXPECT_EQ(countOf(json, "\"interrupted\": true"), 3u) << json;
    }
    const auto again = runCli(args("0"));
    ASSERT_EQ(again.exitCode, 0) << again.out << again.err;
    for (std::size_t i = 0; i < 2; ++i)
        EXPECT_EQ(chips.chip(i).readFlash(kFlashBase, bytes.size()), bytes) << i;
}

// Chips that power up in their application: the entry brings them into the bootloader, the
// exit starts their program; a port without lines fails saying so, in the report too; a
// sequence that is not one is refused where it goes wrong.
TEST(ProgramCommand, BootEntryAndExitDriveTheLinesOfEveryPort) {
    sim::ChipOptions options;
    options.wiring = sim::Wiring::RtsReset;
    options.startInApplication = true;
    test::VirtualChipFixture chips(2, options);
    ASSERT_TRUE(chips.ok());
    test::PtyPair plain;
    ASSERT_TRUE(plain.ok());
    TempFile image(".bin"), report(".json");
    image.write(pattern(1024));
    const auto bad = runCli({"program", "--file", image.path, "--port", chips.devicePath(0),
                             "--boot-entry", "R1|D1|W2O"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.err.find("--boot-entry 'R1|D1|W2O': error at character 9:"), std::string::npos)
        << bad.err;

    const auto run =
        runCli({"program", "--file", image.path, "--port", chips.devicePath(0), "--port",
                chips.devicePath(1), "--port", plain.slavePath(), "--boot-entry", "rts-reset",
                "--boot-exit", "rts-reset", "--json", report.path});
    ASSERT_EQ(run.exitCode, 1) << run.out << run.err;
    const std::string json = report.read();
    EXPECT_EQ(countOf(json,
                      "\"result\": \"succeeded\", \"step\": null, \"remark\": "
                      "\"下载完成后成功复位运行\""),
              2u)
        << json;
    EXPECT_EQ(countOf(json,
                      "\"result\": \"failed\", \"step\": \"boot_entry\", \"remark\": "
                      "\"进入下载模式失败,串口无法控制DTR/RTS\""),
              1u)
        << json;
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(chips.chip(i).readFlash(kFlashBase, 1024), pattern(1024));
        EXPECT_STREQ(chips.chip(i).board().mode, "application");
    }
}

TEST(DemoCommand, ProgramsAndChecksVirtualChips) {
    const auto run = runCli({"demo", "--chips", "3", "--baud", "230400"});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(countOf(run.out, "闪存与下载文件相同,5420字节,下载时已校验"), 3u) << run.out;
    EXPECT_NE(run.out.find("3/3个芯片与下载文件相同,全部正确。"), std::string::npos);
    EXPECT_EQ(runCli({"demo", "--chips", "0"}).exitCode, 2);
    const auto boot = runCli({"demo", "--chips", "2", "--boot-entry", "dtr-reset", "--lang", "en"});
    ASSERT_EQ(boot.exitCode, 0) << boot.out << boot.err;
    EXPECT_EQ(countOf(boot.out, "verified by the engine, program running"), 2u) << boot.out;
}

}  // namespace
}  // namespace pellion

namespace pellion {
namespace {

// Runs pellion-cli with its standard output on a terminal (a pseudo-terminal here).
std::string runCliOnTerminal(const std::vector<std::string>& args, int& exitCode) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ::grantpt(master);
    ::unlockpt(master);
    const std::string slavePath = ::ptsname(master);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int slave = ::open(slavePath.c_str(), O_RDWR);
        ::dup2(slave, STDOUT_FILENO);
        const int devNull = ::open("/dev/null", O_WRONLY);
        ::dup2(devNull, STDERR_FILENO);
        std::vector<char*> argv{const_cast<char*>(PELLION_CLI_PATH)};
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(PELLION_CLI_PATH, argv.data());
        ::_exit(127);
    }
    std::string out;
    char buffer[4096];
    int status = 0;
    while (true) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 100) > 0) {
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0)
                out.append(buffer, std::size_t(n));
            if (n > 0)
                continue;
        }
        if (::waitpid(pid, &status, WNOHANG) == pid)
            break;
    }
    // What was written last, after the child ended.
    for (pollfd p{master, POLLIN, 0}; ::poll(&p, 1, 50) > 0;) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        out.append(buffer, std::size_t(n));
    }
    ::close(master);
    exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

TEST(ProgramCommand, OnATerminalTheRowsAreRedrawnInPlace) {
    test::VirtualChipFixture chips(2, [](std::size_t) {
        sim::ChipOptions options;
        options.timing.enabled = true;  // a run long enough for several drawings
        return options;
    });
    ASSERT_TRUE(chips.ok());
    TempFile image(".bin");
    image.write(pattern(4000));
    int exitCode = -1;
    const std::string out = runCliOnTerminal({"program", "--file", image.path, "--port",
                                              chips.devicePath(0), "--port", chips.devicePath(1)},
                                             exitCode);
    EXPECT_EQ(exitCode, 0) << out;
    EXPECT_NE(out.find("\x1b[3A"), std::string::npos) << out;  // header and two rows, redrawn
    EXPECT_NE(out.find("串口"), std::string::npos);
    EXPECT_GE(countOf(out, "100.00%"), 2u);
    EXPECT_EQ(out.find(chips.devicePath(0) + ": 正在下载....."),
              std::string::npos);  // no plain lines
}

}  // namespace
}  // namespace pellion
