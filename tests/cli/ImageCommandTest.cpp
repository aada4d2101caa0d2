#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/CliRun.h"
#include "image/Crc32.h"
#include "support/HexFixtures.h"

namespace pellion {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::runCli;

std::string crcText(const Bytes& bytes) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", crc32(bytes.data(), bytes.size()));
    return text;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(ImageCommandTest, DescribesAHexFileAndWritesItsBytes) {
    test::TempFile out("image.bin", std::string());
    auto run = runCli({"image", test::fixturePath("two_sections_gap.hex"), "--output", out.path()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    Bytes written = test::readFileBytes(out.path());
    ASSERT_EQ(written.size(), 1064u);  // 0x400 + 40: the gap is filled, not dropped
    EXPECT_EQ(written[0x3FF], 0xFF);
    EXPECT_EQ(written[0x400], 0xA0);
    EXPECT_TRUE(contains(run.out, "kind:    HEX")) << run.out;
    EXPECT_TRUE(contains(run.out, "start:   0x08000000")) << run.out;
    EXPECT_TRUE(contains(run.out, "size:    1064 bytes")) << run.out;
    EXPECT_TRUE(contains(run.out, "crc32:   " + crcText(written))) << run.out;
}

TEST(ImageCommandTest, RawImageGoesToTheGivenOrDefaultAddress) {
    Bytes bin = test::readFileBytes(test::fixturePath("app.bin"));
    auto atDefault = runCli({"image", test::fixturePath("app.bin")});
    ASSERT_EQ(atDefault.exitCode, 0) << atDefault.err;
    EXPECT_TRUE(contains(atDefault.out, "kind:    BIN"));
    EXPECT_TRUE(contains(atDefault.out, "start:   0x08000000"));
    EXPECT_TRUE(contains(atDefault.out, "crc32:   " + crcText(bin)));

    auto atAddress = runCli({"image", test::fixturePath("app.bin"), "--address=0x08004000"});
    ASSERT_EQ(atAddress.exitCode, 0) << atAddress.err;
    EXPECT_TRUE(contains(atAddress.out, "start:   0x08004000")) << atAddress.out;
    EXPECT_TRUE(contains(atAddress.out, "end:     0x080043E7")) << atAddress.out;

    // A HEX file keeps its own addresses and says so.
    auto hex = runCli({"image", test::fixturePath("segment02_on_linear04.hex"), "--address", "0"});
    ASSERT_EQ(hex.exitCode, 0) << hex.err;
    EXPECT_TRUE(contains(hex.out, "start:   0x08010000"));
    EXPECT_TRUE(contains(hex.err, "--address is not used"));
}

TEST(ImageCommandTest, RefusalsShowTheOperatorMessageAndFail) {
    test::TempFile bad("bad.hex", std::string(":020000040800F2\r\n:0400000001020304F0\r\n"));
    auto badHex = runCli({"image", bad.path()});
    EXPECT_EQ(badHex.exitCode, 1);
    EXPECT_TRUE(contains(badHex.err, "KT MCU: HEX文件第2行校验和错误!")) << badHex.err;
    EXPECT_TRUE(badHex.out.empty());

    std::string missing = bad.directory() + "/missing.bin";
    auto absent = runCli({"image", missing, "--output", bad.directory() + "/out.bin"});
    EXPECT_EQ(absent.exitCode, 1);
    EXPECT_TRUE(contains(absent.err, "不存在")) << absent.err;
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_FALSE(std::filesystem::exists(bad.directory() + "/out.bin"));

    test::TempFile empty("empty.bin", std::string());
    auto emptyRun = runCli({"image", empty.path()});
    EXPECT_EQ(emptyRun.exitCode, 1);
    EXPECT_TRUE(contains(emptyRun.err, "您选择的下载文件为空文件!"));
}

TEST(ImageCommandTest, CommandLineMistakesAreUsageErrors) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"image"},
             {"image", "a.bin", "b.bin"},
             {"image", "a.bin", "--address"},
             {"image", "a.bin", "--address", "zz"},
             {"image", "a.bin", "--colour"},
         }) {
        auto run = runCli(args);
        EXPECT_EQ(run.exitCode, 2) << args.size();
        EXPECT_TRUE(contains(run.err, "usage: pellion-cli image")) << run.err;
    }
    auto help = runCli({"image", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(contains(help.out, "--output"));
    auto top = runCli({"--help"});
    EXPECT_EQ(top.exitCode, 0);
    EXPECT_TRUE(contains(top.out, "image FILE"));
    EXPECT_TRUE(contains(top.out, "devices"));
}

TEST(ImageCommandTest, OutputThatCannotBeWrittenFails) {
    test::TempFile dir("x.bin", Bytes(4, 1));
    auto run = runCli({"image", dir.path(), "--output", dir.directory() + "/no/such/dir/out.bin"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(contains(run.err, "cannot write"));
}

}  // namespace
}  // namespace pellion
