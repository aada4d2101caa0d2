#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "catalogue/DeviceCatalogue.h"
#include "cli/CliRun.h"

namespace pellion {
namespace {

TEST(DevicesCommandTest, ListsTheWholeCatalogueInCodeOrder) {
    auto run = test::runCli({"devices"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::istringstream lines(run.out);
    std::string header;
    std::getline(lines, header);
    EXPECT_EQ(header.rfind("CODE", 0), 0u);

    DeviceCatalogue catalogue;
    auto entries = catalogue.entries();
    std::size_t row = 0;
    std::string line;
    while (std::getline(lines, line)) {
        ASSERT_LT(row, entries.size()) << line;
        std::istringstream fields(line);
        std::string code, name;
        int kib = 0, pageBytes = 0, pageCount = 0, eraseMode = 0;
        fields >> code >> name >> kib >> pageBytes >> pageCount >> eraseMode;
        ASSERT_FALSE(fields.fail()) << line;
        const auto& e = entries[row++];
        EXPECT_EQ(code, e.code.text());
        EXPECT_EQ(name, e.partName);
        EXPECT_EQ(kib, e.geometry.flashKiB) << line;
        EXPECT_EQ(pageBytes, e.geometry.pageBytes) << line;
        EXPECT_EQ(pageCount, e.geometry.pageCount) << line;
        EXPECT_EQ(eraseMode, e.geometry.eraseMode) << line;
    }
    EXPECT_EQ(row, 155u);
}

TEST(DevicesCommandTest, HelpAndStrayArguments) {
    auto help = test::runCli({"devices", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: pellion-cli devices"), std::string::npos);
    auto stray = test::runCli({"devices", "extra"});
    EXPECT_EQ(stray.exitCode, 2);
    EXPECT_TRUE(stray.out.empty());
}

}  // namespace
}  // namespace pellion
