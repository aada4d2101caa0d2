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
    EXPECT_FALSE(settings.verifyAfterDownload);
    EXPECT_FALSE(std::filesystem::exists(path()));
}

TEST_F(SettingsFileTest, WrittenValuesReadBackIncludingChineseAndBlanks) {
    SavedSettings written{"25", "/home/操作员/固件 v2/app.hex", true};
    ASSERT_TRUE(writeSettings(path(), written));
    EXPECT_EQ(readFile(),
              "[Config]\r\nDownloadWaitTime=25\r\nDownloadPath=/home/操作员/固件 v2/app.hex\r\n"
              "VerifyAfterDownload=1\r\n");
    const SavedSettings read = readSettings(path());
    EXPECT_EQ(read.downloadWaitTime, "25");
    EXPECT_EQ(read.downloadPath, "/home/操作员/固件 v2/app.hex");
    EXPECT_TRUE(read.verifyAfterDownload);

    // A second save replaces the values instead of adding lines.
    ASSERT_TRUE(writeSettings(path(), SavedSettings{"7", "", false}));
    EXPECT_EQ(readFile(),
              "[Config]\r\nDownloadWaitTime=7\r\nDownloadPath=\r\nVerifyAfterDownload=0\r\n");
}

TEST_F(SettingsFileTest, ValuesAreCutAfter1023CharactersNeverInsideACharacter) {
    const std::string exact(1023, 'a');
    const std::string longer(1500, 'b');
    std::string chinese;
    for (int i = 0; i < 1100; ++i)
        chinese += "固";  // three bytes each
    ASSERT_TRUE(writeSettings(path(), SavedSettings{exact, longer, false}));
    SavedSettings read = readSettings(path());
    EXPECT_EQ(read.downloadWaitTime, exact);
    EXPECT_EQ(read.downloadPath, std::string(1023, 'b'));

    ASSERT_TRUE(writeSettings(path(), SavedSettings{"0", chinese, false}));
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

    ASSERT_TRUE(writeSettings(path(), SavedSettings{"3", "/x.bin", false}));
    EXPECT_EQ(readFile(),
              "; written by hand\r\n[Other]\r\nDownloadPath=keep me\r\n\r\n[config]\r\n"
              "DownloadWaitTime=3\r\nExtra=1\r\nDownloadPath=/x.bin\r\nVerifyAfterDownload=0\r\n"
              "\r\n[Last]\r\nK=V\r\n");
    EXPECT_EQ(IniFile::readValue(path(), "Last", "K").value_or("?"), "V");
}

TEST_F(SettingsFileTest, QuotedValuesAndLfOnlyFilesAreRead) {
    writeFile("[Config]\nDownloadPath=\"/path with blanks/a.hex\"\nDownloadWaitTime=  15\n");
    const SavedSettings read = readSettings(path());
    EXPECT_EQ(read.downloadPath, "/path with blanks/a.hex");
    EXPECT_EQ(read.downloadWaitTime, "15");
}

TEST_F(SettingsFileTest, WritingCreatesMissingDirectoriesAndFailsOnADirectory) {
    const std::string nested = dir_.filePath("a/b/KTZozOvConfig.ini").toStdString();
    ASSERT_TRUE(writeSettings(nested, SavedSettings{"1", "p", false}));
    EXPECT_EQ(readSettings(nested).downloadPath, "p");

    std::filesystem::create_directory(path("occupied"));
    EXPECT_FALSE(writeSettings(path("occupied"), SavedSettings{"1", "p", false}));
}

TEST(SettingsLocationTest, BesideTheExecutableWhenItsDirectoryIsWritable) {
    const std::string directory = moduleDirectory();
    ASSERT_FALSE(directory.empty());
    EXPECT_TRUE(std::filesystem::exists(directory + "/test_app"));
    EXPECT_EQ(settingsFilePath(), directory + "/KTZozOvConfig.ini");
}

TEST(SettingsLocationTest, TheUsersConfigurationDirectoryWhenTheExecutablesIsNotWritable) {
    QTemporaryDir config;
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    const std::string path = settingsFilePathFor(config.filePath("no/such/bin").toStdString());
    if (saved.isEmpty()) {
        qunsetenv("XDG_CONFIG_HOME");
    } else {
        qputenv("XDG_CONFIG_HOME", saved);
    }
    EXPECT_EQ(path, config.filePath("Pellion/KTZozOvConfig.ini").toStdString());
    // The first save creates the directory.
    ASSERT_TRUE(writeSettings(path, SavedSettings{"5", "/a.hex", false}));
    EXPECT_EQ(readSettings(path).downloadWaitTime, "5");
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
