#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "AppTestSupport.h"
#include "Version.h"
#include "app/IniFile.h"
#include "app/OwnFileVersion.h"
#include "app/SettingsFile.h"

namespace pellion {
namespace {

SavedSettings saved(std::string waitTime, std::string path, bool verify = true) {
    SavedSettings settings;
    settings.downloadWaitTime = std::move(waitTime);
    settings.downloadPath = std::move(path);
    settings.verifyAfterDownload = verify;
    return settings;
}

class SettingsFileTest : public ::testing::Test {
  protected:
    std::string path(const char* name = "KTZozOvConfig.ini") const {
        return dir_.filePath(QString::fromLatin1(name)).toStdString();
    }
    void writeFile(const std::string& text) const {
        std::ofstream(path(), std::ios::binary) << text;
    }
    std::string readFile() const { return test::fileContent(QString::fromStdString(path())); }

    QTemporaryDir dir_;
};

TEST_F(SettingsFileTest, MissingFileReadsAsEmptyAndIsNotCreated) {
    const SavedSettings settings = readSettings(path());
    EXPECT_EQ(settings.downloadWaitTime, "");
    EXPECT_EQ(settings.downloadPath, "");
    EXPECT_TRUE(settings.verifyAfterDownload);  // verification is on at first start
    EXPECT_EQ(settings.windowWidth, 0);
    EXPECT_TRUE(settings.columnWidths.empty());
    EXPECT_FALSE(std::filesystem::exists(path()));
}

TEST_F(SettingsFileTest, WrittenValuesReadBackIncludingChineseAndBlanks) {
    SavedSettings written = saved("25", "/home/操作员/固件 v2/app.hex", true);
    ASSERT_TRUE(writeSettings(path(), written));
    EXPECT_EQ(readFile(),
              "[Config]\r\nDownloadWaitTime=25\r\nDownloadPath=/home/操作员/固件 v2/app.hex\r\n"
              "VerifyAfterDownload=1\r\n");
    const SavedSettings read = readSettings(path());
    EXPECT_EQ(read.downloadWaitTime, "25");
    EXPECT_EQ(read.downloadPath, "/home/操作员/固件 v2/app.hex");
    EXPECT_TRUE(read.verifyAfterDownload);

    // A second save replaces the values instead of adding lines.
    ASSERT_TRUE(writeSettings(path(), saved("7", "", false)));
    EXPECT_EQ(readFile(),
              "[Config]\r\nDownloadWaitTime=7\r\nDownloadPath=\r\nVerifyAfterDownload=0\r\n");
}

TEST_F(SettingsFileTest, ValuesAreCutAfter1023CharactersNeverInsideACharacter) {
    const std::string exact(1023, 'a');
    const std::string longer(1500, 'b');
    std::string chinese;
    for (int i = 0; i < 1100; ++i)
        chinese += "固";  // three bytes each
    ASSERT_TRUE(writeSettings(path(), saved(exact, longer, false)));
    SavedSettings read = readSettings(path());
    EXPECT_EQ(read.downloadWaitTime, exact);
    EXPECT_EQ(read.downloadPath, std::string(1023, 'b'));

    ASSERT_TRUE(writeSettings(path(), saved("0", chinese, false)));
    read = readSettings(path());
    EXPECT_EQ(read.downloadPath.size(), 1023u * 3);
    EXPECT_EQ(read.downloadPath, chinese.substr(0, 1023 * 3));
}

TEST_F(SettingsFileTest, WritingKeepsForeignSectionsKeysAndComments) {
    writeFile(
        "; written by hand\r\n[Other]\r\nDownloadPath=keep me\r\n\r\n[config]\r\n"
        "downloadwaittime = 40 \r\nExtra=1\r\n\r\n[Last]\r\nK=V\r\n");
    EXPECT_EQ(readSettings(path()).downloadWaitTime, "40");  // names match in any case
    EXPECT_EQ(readSettings(path()).downloadPath, "");        // another section's key

    ASSERT_TRUE(writeSettings(path(), saved("3", "/x.bin", false)));
    EXPECT_EQ(readFile(),
              "; written by hand\r\n[Other]\r\nDownloadPath=keep me\r\n\r\n[config]\r\n"
              "DownloadWaitTime=3\r\nExtra=1\r\nDownloadPath=/x.bin\r\nVerifyAfterDownload=0\r\n"
              "\r\n[Last]\r\nK=V\r\n");
    EXPECT_EQ(IniFile::readValue(path(), "Last", "K").value_or("?"), "V");
}

// The station's own keys, set by hand: a block size the chips cannot take is kept as written,
// so that the window can refuse the run in words, and writing the file keeps them.
TEST_F(SettingsFileTest, TheStationsBlockSizeAndBlankBlockKeysAreReadAndKept) {
    SavedSettings read = readSettings(path());
    EXPECT_EQ(read.writePlan.blockBytes, 200);
    EXPECT_TRUE(read.writePlan.skipBlankBlocks);
    writeFile("[Config]\r\nWriteBlockSize=256\r\nSkipBlankBlocks=0\r\n");
    read = readSettings(path());
    EXPECT_EQ(read.writePlan.blockBytes, 256);
    EXPECT_FALSE(read.writePlan.skipBlankBlocks);
    EXPECT_EQ(read.badBlockSize, "");
    ASSERT_TRUE(writeSettings(path(), saved("3", "/x.bin")));
    EXPECT_NE(readFile().find("WriteBlockSize=256\r\nSkipBlankBlocks=0\r\n"), std::string::npos);
    for (const char* bad : {"202", "260", "0", "x"}) {
        writeFile(std::string("[Config]\r\nWriteBlockSize=") + bad + "\r\n");
        read = readSettings(path());
        EXPECT_EQ(read.badBlockSize, bad);
        EXPECT_EQ(read.writePlan.blockBytes, 200) << bad;
    }
}

TEST_F(SettingsFileTest, QuotedValuesAndLfOnlyFilesAreRead) {
    writeFile("[Config]\nDownloadPath=\"/path with blanks/a.hex\"\nDownloadWaitTime=  15\n");
    const SavedSettings read = readSettings(path());
    EXPECT_EQ(read.downloadPath, "/path with blanks/a.hex");
    EXPECT_EQ(read.downloadWaitTime, "15");
}

TEST_F(SettingsFileTest, WritingCreatesMissingDirectoriesAndFailsOnADirectory) {
    const std::string nested = dir_.filePath("a/b/KTZozOvConfig.ini").toStdString();
    ASSERT_TRUE(writeSettings(nested, saved("1", "p", false)));
    EXPECT_EQ(readSettings(nested).downloadPath, "p");

    std::filesystem::create_directory(path("occupied"));
    EXPECT_FALSE(writeSettings(path("occupied"), saved("1", "p", false)));
}

TEST_F(SettingsFileTest, WindowGeometryRoundTripsAndOldFilesKeepTheirValues) {
    // A file written before the verify and geometry keys existed.
    writeFile("[Config]\r\nDownloadWaitTime=3\r\nDownloadPath=/a.bin\r\n");
    SavedSettings read = readSettings(path());
    EXPECT_TRUE(read.verifyAfterDownload);
    EXPECT_EQ(read.windowWidth, 0);
    EXPECT_TRUE(read.columnWidths.empty());

    SavedSettings written = saved("3", "/a.bin", false);
    written.windowWidth = 1024;
    written.windowHeight = 700;
    written.columnWidths = {40, 96, 70, 50, 50, 120, 100, 287};
    ASSERT_TRUE(writeSettings(path(), written));
    EXPECT_EQ(
        readFile(),
        "[Config]\r\nDownloadWaitTime=3\r\nDownloadPath=/a.bin\r\nVerifyAfterDownload=0\r\n"
        "WindowWidth=1024\r\nWindowHeight=700\r\nColumnWidths=40,96,70,50,50,120,100,287\r\n");
    read = readSettings(path());
    EXPECT_FALSE(read.verifyAfterDownload);
    EXPECT_EQ(read.windowWidth, 1024);
    EXPECT_EQ(read.windowHeight, 700);
    EXPECT_EQ(read.columnWidths, written.columnWidths);

    // Damaged values are dropped whole rather than half believed.
    writeFile("[Config]\r\nWindowWidth=-5\r\nWindowHeight=99999999999\r\nColumnWidths=40,,x\r\n");
    read = readSettings(path());
    EXPECT_EQ(read.windowWidth, 0);
    EXPECT_EQ(read.windowHeight, 0);
    EXPECT_TRUE(read.columnWidths.empty());
}

TEST_F(SettingsFileTest, StationLabelsRoundTripEscapedAndAreRemovedWhenTheLastGoes) {
    // A file from before labels existed loads without any, and saving keeps it free of the key.
    writeFile("[Config]\r\nDownloadWaitTime=3\r\n");
    SavedSettings settings = readSettings(path());
    EXPECT_TRUE(settings.stationLabels.empty());
    ASSERT_TRUE(writeSettings(path(), settings));
    EXPECT_EQ(readFile().find("StationLabels"), std::string::npos);

    settings.stationLabels = {
        {"1-2.3:1.0-port0", "工位 3"}, {"1-2.4:1.1-port1", "a;b=c\\d"}, {"ttyS0", "板载"}};
    ASSERT_TRUE(writeSettings(path(), settings));
    EXPECT_NE(readFile().find("StationLabels=1-2.3:1.0-port0=工位 3;"
                              "1-2.4:1.1-port1=a\\;b\\=c\\\\d;ttyS0=板载\r\n"),
              std::string::npos)
        << readFile();
    EXPECT_EQ(readSettings(path()).stationLabels, settings.stationLabels);

    // Entries without a key or a label are skipped, the others kept.
    writeFile("[Config]\r\nStationLabels=;=x;y=;ttyS1=二;broken\r\n");
    EXPECT_EQ(readSettings(path()).stationLabels, (StationLabels{{"ttyS1", "二"}}));

    settings.stationLabels.clear();
    ASSERT_TRUE(writeSettings(path(), settings));
    EXPECT_NE(readFile().find("StationLabels=\r\n"), std::string::npos);
    EXPECT_TRUE(readSettings(path()).stationLabels.empty());
}

TEST_F(SettingsFileTest, AValueWithALineBreakNeverBecomesAKeyLine) {
    ASSERT_TRUE(writeSettings(path(), saved("5", "/a.hex", true)));
    const std::string before = readFile();
    for (const char* injected : {"/x.hex\r\nDownloadWaitTime=99999", "/x.hex\n[Other]\nK=V",
                                 "/x.hex\rVerifyAfterDownload=0"}) {
        EXPECT_FALSE(writeSettings(path(), saved("5", injected, true))) << injected;
        EXPECT_EQ(readFile(), before) << injected;
    }
    EXPECT_FALSE(IniFile::writeValue(path(), "Config", "Down\nloadPath", "x"));
    EXPECT_EQ(readSettings(path()).downloadPath, "/a.hex");
}

// The settings location depends on the user's configuration directory; each case gets its own.
class SettingsLocationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", config_.path().toUtf8());
    }
    void TearDown() override {
        if (saved_.isEmpty()) {
            qunsetenv("XDG_CONFIG_HOME");
        } else {
            qputenv("XDG_CONFIG_HOME", saved_);
        }
    }
    std::string userCopy() const {
        return config_.filePath("Pellion/KTZozOvConfig.ini").toStdString();
    }

    QTemporaryDir config_;
    QTemporaryDir program_;
    QByteArray saved_;
};

TEST_F(SettingsLocationTest, BesideTheExecutableWhenItsDirectoryIsWritable) {
    const std::string directory = moduleDirectory();
    ASSERT_FALSE(directory.empty());
    EXPECT_TRUE(std::filesystem::exists(directory + "/test_app"));
    EXPECT_EQ(settingsLocation().readPath, directory + "/KTZozOvConfig.ini");
    EXPECT_EQ(settingsLocation().writePath, directory + "/KTZozOvConfig.ini");
}

TEST_F(SettingsLocationTest, AReadOnlyInstallationIsReadUntilTheUsersCopyExists) {
    // An installed executable's directory, holding the settings it was installed with, which
    // this user may not write.
    const std::string installed = program_.path().toStdString();
    ASSERT_TRUE(writeSettings(installed + "/KTZozOvConfig.ini", saved("20", "/line.hex")));
    SettingsLocation location = settingsLocationFor(installed, false);
    EXPECT_EQ(location.readPath, installed + "/KTZozOvConfig.ini");
    EXPECT_EQ(location.writePath, userCopy());
    EXPECT_EQ(readSettings(location.readPath).downloadPath, "/line.hex");

    // The first save creates the user's copy; from then on it is read and written.
    ASSERT_TRUE(writeSettings(location.writePath, saved("5", "/mine.hex")));
    location = settingsLocationFor(installed, false);
    EXPECT_EQ(location.readPath, userCopy());
    EXPECT_EQ(location.writePath, userCopy());
    EXPECT_EQ(readSettings(location.readPath).downloadPath, "/mine.hex");

    // A user's copy wins even beside a writable executable, so both paths always agree.
    EXPECT_EQ(settingsLocationFor(installed, true).readPath, userCopy());
    EXPECT_EQ(settingsLocationFor(installed, true).writePath, userCopy());
}

TEST_F(SettingsLocationTest, AnInstalledProgramUsesTheUsersCopyFromItsFirstStart) {
    // PREFIX/bin beside PREFIX/share/pellion, as the package installs it; written by root,
    // the directory is writable, yet it belongs to the system.
    const std::filesystem::path prefix = program_.path().toStdString();
    std::filesystem::create_directories(prefix / "bin");
    EXPECT_FALSE(isInstalledProgramDirectory((prefix / "bin").string()));
    std::filesystem::create_directories(prefix / "share/pellion");
    EXPECT_TRUE(isInstalledProgramDirectory((prefix / "bin").string()));
    EXPECT_FALSE(isInstalledProgramDirectory(moduleDirectory()));  // the build tree
    EXPECT_FALSE(isInstalledProgramDirectory(""));

    const std::string bin = (prefix / "bin").string();
    ASSERT_FALSE(std::filesystem::exists(userCopy()));
    const SettingsLocation first = settingsLocationFor(bin, true, true);
    EXPECT_EQ(first.readPath, userCopy());
    EXPECT_EQ(first.writePath, userCopy());
    EXPECT_TRUE(readSettings(first.readPath).verifyAfterDownload);  // first-start defaults
}

TEST(OwnFileVersionTest, CaptionIsTheTitleFollowedByTheVersionText) {
    EXPECT_EQ(versionTextOf(""), "None VerSion Supprot");
    EXPECT_EQ(versionTextOf("1.2.0.15"), "1.2.0.15");
    EXPECT_EQ(windowCaption("1.2.0.15"), "Tessaline 1.2.0.15");
    EXPECT_EQ(windowCaption(versionTextOf("")), "Tessaline None VerSion Supprot");
    EXPECT_EQ(ownFileVersion(), versionTextOf(PELLION_FILE_VERSION));
}

}  // namespace
}  // namespace pellion
