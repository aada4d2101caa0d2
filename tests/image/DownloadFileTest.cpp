#include "image/DownloadFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "image/DownloadBoxes.h"
#include "image/HexImage.h"
#include "support/HexFixtures.h"

namespace pellion {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::TempFile;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(DownloadFileTest, KindComesFromTheLastThreeCharacters) {
    EXPECT_EQ(downloadFileKind("app.hex"), DownloadFileKind::Hex);
    EXPECT_EQ(downloadFileKind("/a/b/APP.HEX"), DownloadFileKind::Hex);
    EXPECT_EQ(downloadFileKind("app.HeX"), DownloadFileKind::Hex);
    EXPECT_EQ(downloadFileKind("apphex"), DownloadFileKind::Hex);
    EXPECT_EQ(downloadFileKind("hex"), DownloadFileKind::Hex);
    EXPECT_EQ(downloadFileKind("app.hex.bak"), DownloadFileKind::Binary);
    EXPECT_EQ(downloadFileKind("/hex/app.bin"), DownloadFileKind::Binary);
    EXPECT_EQ(downloadFileKind("hexfile"), DownloadFileKind::Binary);
    EXPECT_EQ(downloadFileKind("ex"), DownloadFileKind::Binary);
    EXPECT_EQ(downloadFileKind(""), DownloadFileKind::Binary);
}

TEST(DownloadFileTest, MissingFileIsRefusedAndNeverCreated) {
    TempFile dir("placeholder.bin", Bytes{1});
    std::string missing = dir.directory() + "/missing.hex";
    auto loaded = loadDownloadFile(missing, "8000000");
    ASSERT_FALSE(loaded);
    EXPECT_TRUE(contains(loaded.error(), "不存在")) << loaded.error();
    EXPECT_TRUE(contains(loaded.error(), missing)) << loaded.error();
    EXPECT_FALSE(std::filesystem::exists(missing));

    auto directory = loadDownloadFile(dir.directory(), "8000000");
    ASSERT_FALSE(directory);
    EXPECT_TRUE(contains(directory.error(), "无法读取"));
    // A pipe nobody writes to would block the reader; it is refused instead.
    std::string fifo = dir.directory() + "/pipe.hex";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(loadDownloadFile(fifo, "8000000"));
    EXPECT_FALSE(loadDownloadFile("/dev/zero", "8000000"));
}

TEST(DownloadFileTest, UnreadableFileIsRefused) {
    // Opens fine but every read fails, whoever runs the test.
    auto loaded = loadDownloadFile("/proc/self/mem", "8000000");
    ASSERT_FALSE(loaded);
    EXPECT_TRUE(contains(loaded.error(), "无法读取")) << loaded.error();
    if (geteuid() != 0) {
        TempFile file("locked.bin", Bytes(8, 1));
        ASSERT_EQ(chmod(file.path().c_str(), 0), 0);
        auto locked = loadDownloadFile(file.path(), "8000000");
        ASSERT_FALSE(locked);
        EXPECT_TRUE(contains(locked.error(), "无法读取"));
    }
}

TEST(DownloadFileTest, EmptyPathAndEmptyFileKeepTheirTexts) {
    auto noPath = loadDownloadFile("", "8000000");
    ASSERT_FALSE(noPath);
    EXPECT_EQ(noPath.error(), "请选择下载文件!");
    TempFile empty("empty.hex", std::string());
    auto emptyFile = loadDownloadFile(empty.path(), "8000000");
    ASSERT_FALSE(emptyFile);
    EXPECT_EQ(emptyFile.error(), "您选择的下载文件为空文件!");
    EXPECT_STREQ(kLoaderCaption, "KT MCU");
}

TEST(DownloadFileTest, BinaryFileIsTheImageAtTheBoxAddress) {
    Bytes expected = test::readFileBytes(test::fixturePath("app.bin"));
    ASSERT_EQ(expected.size(), 1000u);
    auto loaded = loadDownloadFile(test::fixturePath("app.bin"), "8004000");
    ASSERT_TRUE(loaded) << loaded.error();
    EXPECT_EQ(loaded.value().imageBytes, expected);
    EXPECT_EQ(loaded.value().imageSize, 1000u);
    EXPECT_EQ(loaded.value().startAddress, 0x08004000u);
}

TEST(DownloadFileTest, HexFileUsesItsOwnAddressWhateverTheBoxSays) {
    auto loaded = loadDownloadFile(test::fixturePath("segment02_on_linear04.hex"), "8000000");
    ASSERT_TRUE(loaded) << loaded.error();
    EXPECT_EQ(loaded.value().startAddress, 0x08010000u);
    EXPECT_EQ(loaded.value().imageSize, 64u);
}

TEST(DownloadFileTest, HexConversionFailureStopsTheLoad) {
    TempFile bad("bad.hex",
                 std::string(":020000040800F2\r\n:0400000001020304F0\r\n:00000001FF\r\n"));
    auto loaded = loadDownloadFile(bad.path(), "8000000");
    ASSERT_FALSE(loaded);
    EXPECT_TRUE(contains(loaded.error(), "第2行校验和错误")) << loaded.error();
}

// A refusal is an identifier with its values, worded at the edge in either language; the
// Chinese words are those the loader always gave.
TEST(DownloadFileTest, RefusalsCarryTheirIdentifierAndReadInBothLanguages) {
    const auto en = OperatorLanguage::English;
    TempFile dir("placeholder.bin", Bytes{1});
    const std::string missing = dir.directory() + "/missing.bin";
    auto absent = loadDownloadFile(missing, "8000000");
    ASSERT_FALSE(absent);
    EXPECT_EQ(absent.why().id(), TextId::FileMissing);
    EXPECT_EQ(absent.why().argument("path"), missing);
    EXPECT_EQ(absent.error(), "下载文件" + missing + "不存在!");
    EXPECT_EQ(absent.error(en), "The download file " + missing + " does not exist.");

    TempFile unknownType("type.hex", std::string(":020000040800F2\n:0000000CF4\n:00000001FF\n"));
    auto type = loadDownloadFile(unknownType.path(), "8000000");
    ASSERT_FALSE(type);
    EXPECT_EQ(type.why().id(), TextId::HexUnknownType);
    EXPECT_EQ(type.error(), "HEX文件第2行的记录类型0C无法识别!");
    EXPECT_EQ(type.error(en), "Line 2 of the HEX file has a record type 0C that is not known.");

    TempFile wraps("wraps.bin", Bytes(0x200, 1));
    auto beyond = loadDownloadFile(wraps.path(), "-100");
    ASSERT_FALSE(beyond);
    EXPECT_EQ(beyond.error(), "下载地址0xFFFFFF00加上文件大小512字节超出地址范围!");
    EXPECT_EQ(beyond.error(en),
              "The download address 0xFFFFFF00 plus the file's 512 bytes goes beyond the address "
              "range.");

    TempFile options("options.bin", Bytes(8, 0xA5));
    auto placed = loadDownloadFile(options.path(), "1FFFF800");
    ASSERT_FALSE(placed);
    EXPECT_EQ(placed.error(),
              "选项字节文件必须从0x1FFFF800开始,正好16字节(现在从0x1FFFF800开始,共8字节)!");
    EXPECT_EQ(placed.error(en),
              "An option bytes file must start at 0x1FFFF800 and hold exactly 16 bytes (this one "
              "starts at 0x1FFFF800 and holds 8 bytes).");
}

TEST(DownloadFileTest, SizeLimitOfBinaryFiles) {
    TempFile fits("fits.bin", Bytes(kMaxImageSpan, 0x5A));
    auto ok = loadDownloadFile(fits.path(), "8000000");
    ASSERT_TRUE(ok) << ok.error();
    EXPECT_EQ(ok.value().imageSize, kMaxImageSpan);
    TempFile tooBig("big.bin", Bytes(kMaxImageSpan + 1, 0x5A));
    auto refused = loadDownloadFile(tooBig.path(), "8000000");
    ASSERT_FALSE(refused);
    EXPECT_TRUE(contains(refused.error(), "3072KB"));
}

TEST(DownloadFileTest, PlacementChecks) {
    // A binary image running past the top of the address space.
    TempFile bin("a.bin", Bytes(1000, 1));
    auto wraps = loadDownloadFile(bin.path(), "-100");  // 0xFFFFFF00
    ASSERT_FALSE(wraps);
    EXPECT_TRUE(contains(wraps.error(), "0xFFFFFF00")) << wraps.error();
    auto saturated = loadDownloadFile(bin.path(), "FFFFFF00");  // saturates, stays below the top
    ASSERT_TRUE(saturated);
    EXPECT_EQ(saturated.value().startAddress, 0x7FFFFFFFu);

    // Option bytes: exactly 16 bytes at their address, nothing else touching them.
    TempFile sixteen("opt.bin", Bytes(16, 0xFF));
    EXPECT_TRUE(loadDownloadFile(sixteen.path(), "1FFFF800"));
    TempFile twenty("opt20.bin", Bytes(20, 0xFF));
    auto tooLong = loadDownloadFile(twenty.path(), "1FFFF800");
    ASSERT_FALSE(tooLong);
    EXPECT_TRUE(contains(tooLong.error(), "选项字节"));
    TempFile eight("opt8.bin", Bytes(8, 0xFF));
    EXPECT_FALSE(loadDownloadFile(eight.path(), "1FFFF800"));
    EXPECT_FALSE(loadDownloadFile(sixteen.path(), "1FFFF7F8"));  // runs into them
    EXPECT_TRUE(loadDownloadFile(sixteen.path(), "1FFFF7F0"));   // ends just before

    auto hexOptions = loadDownloadFile(test::fixturePath("option_bytes.hex"), "8000000");
    ASSERT_TRUE(hexOptions) << hexOptions.error();
    EXPECT_EQ(hexOptions.value().startAddress, 0x1FFFF800u);
    TempFile shortOptions("short.hex", test::makeHexText(0x1FFFF800, Bytes(8, 0xFF)));
    EXPECT_FALSE(loadDownloadFile(shortOptions.path(), ""));
}

TEST(DownloadBoxesTest, ChosenHexFileShowsItsStartAndLocksTheAddress) {
    auto boxes = boxesForChosenFile(test::fixturePath("records32_lf_cross64k.hex"));
    EXPECT_EQ(boxes.filePath, test::fixturePath("records32_lf_cross64k.hex"));
    EXPECT_EQ(boxes.addressText, "800ffc0");
    EXPECT_EQ(boxes.addressControlsEnabled, false);
    EXPECT_TRUE(boxes.problem.empty());
}

TEST(DownloadBoxesTest, UnreadableHexEmptiesTheAddressAndLeavesTheControls) {
    TempFile bad("bad.hex", std::string("not a hex file\r\n"));
    auto boxes = boxesForChosenFile(bad.path());
    EXPECT_EQ(boxes.filePath, bad.path());
    EXPECT_EQ(boxes.addressText, "");
    EXPECT_FALSE(boxes.addressControlsEnabled.has_value());
    EXPECT_TRUE(contains(boxes.problem.words(), "第1行"));
    EXPECT_TRUE(contains(boxes.problem.words(OperatorLanguage::English), "Line 1 "));

    std::string missing = bad.directory() + "/gone.hex";
    auto gone = boxesForChosenFile(missing);
    EXPECT_EQ(gone.addressText, "");
    EXPECT_FALSE(gone.addressControlsEnabled.has_value());
    EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST(DownloadBoxesTest, OtherFilesUnlockTheAddressAndKeepIt) {
    auto boxes = boxesForChosenFile(test::fixturePath("app.bin"));
    EXPECT_EQ(boxes.filePath, test::fixturePath("app.bin"));
    EXPECT_FALSE(boxes.addressText.has_value());
    EXPECT_EQ(boxes.addressControlsEnabled, true);
}

}  // namespace
}  // namespace pellion
