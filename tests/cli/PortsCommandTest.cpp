#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "cli/CliRun.h"
#include "support/VirtualChipFixture.h"

namespace pellion {
namespace {

using test::runCli;

TEST(PortsCommand, ListsThePortDirectoryAfterTheMachinesPorts) {
    test::VirtualChipFixture chips(2);
    ASSERT_TRUE(chips.ok()) << chips.error();
    const std::filesystem::path dir = "/tmp/pellion-ports-test-" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    std::filesystem::create_symlink(chips.devicePath(1), dir / "chip10");
    std::filesystem::create_symlink(chips.devicePath(0), dir / "chip2");
    std::filesystem::create_symlink("/dev/pellion-gone", dir / "chip3");  // dangling

    const auto run = runCli({"ports", "--dir", dir.string()});
    std::filesystem::remove_all(dir);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto chip2 = run.out.find("chip2 ");
    const auto chip10 = run.out.find("chip10 ");
    ASSERT_NE(chip2, std::string::npos) << run.out;
    ASSERT_NE(chip10, std::string::npos) << run.out;
    EXPECT_LT(chip2, chip10);  // natural order
    EXPECT_EQ(run.out.find("chip3"), std::string::npos);
    EXPECT_NE(run.out.find((dir / "chip2").string()), std::string::npos);
    EXPECT_NE(run.out.find("free (virtual)"), std::string::npos);
    EXPECT_EQ(run.out.rfind("NAME", 0), 0u);
}

TEST(PortsCommand, HelpAndWrongArguments) {
    const auto help = runCli({"ports", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: pellion-cli ports"), std::string::npos);
    EXPECT_EQ(runCli({"ports", "--dir"}).exitCode, 2);
    EXPECT_EQ(runCli({"ports", "extra"}).exitCode, 2);
}

}  // namespace
}  // namespace pellion
