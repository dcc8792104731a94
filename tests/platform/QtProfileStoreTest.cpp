#include "platform/linux/QtProfileStore.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/fakes/MemoryEnvironment.h"
#include "settings/SettingsStore.h"

namespace vask {
namespace {

MemoryEnvironment Variables(std::initializer_list<std::pair<const std::string, std::string>> variables) {
    MemoryEnvironment environment;
    environment.variables = variables;
    return environment;
}

class QtProfileStoreTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    // A file name not used before in this process, so Qt's in-process cache of parsed files plays no part.
    std::string NewPath(const std::string& leaf = "Vask.conf") {
        return dir.path().toStdString() + "/" + std::to_string(++counter) + "/" + leaf;
    }

    static void WriteFile(const std::string& path, const std::string& bytes) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }

    static std::string FileText(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    QTemporaryDir dir;
    int counter = 0;
};

TEST_F(QtProfileStoreTest, MissingFileReadsDefaultsAndIsNotCreated) {
    const std::string path = NewPath();
    QtProfileStore store(path);
    EXPECT_EQ(store.ReadInt("nTrush", 3), 3);
    EXPECT_EQ(store.ReadString("ctlFileCombo", "*.bak"), "*.bak");
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(QtProfileStoreTest, IntegersRoundTripAsPlainText) {
    const std::string path = NewPath();
    const std::vector<std::int32_t> values{
        0, 1, -1, 14000, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()};
    {
        QtProfileStore store(path);
        for (std::size_t i = 0; i < values.size(); ++i) {
            ASSERT_TRUE(store.WriteInt("n" + std::to_string(i), values[i]).ok());
        }
    }
    const std::string text = FileText(path);
    EXPECT_NE(text.find("[Profile]"), std::string::npos) << text;
    EXPECT_NE(text.find("n2=-1\n"), std::string::npos) << text;

    QtProfileStore reopened(path);
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(reopened.ReadInt("n" + std::to_string(i), 99), values[i]);
}

TEST_F(QtProfileStoreTest, TextsRoundTripByteForByte) {
    const std::vector<std::string> texts{
        "",
        "*.bak;*.tmp",  // ";" starts a comment in INI files
        "a,b, c",       // "," separates list items
        "  padded  ",
        "@at",
        "=equals=",
        "[Profile]",
        "quote\" back\\slash",
        "line\nbreak\r\ttab",
        "      /home/ann [ ] 10.0GBytes  0000beef00000003",
        "日本語ﾄﾞﾗｲﾌﾞ",
        "\xEF\xBB\xBF"
        "bom first",                 // the UTF-8 decoder would drop this mark
        "/home/ann/\xFF\xFE/x.wav",  // not UTF-8: a Linux path may be any bytes
        "\x83\x5C\x95\x5C",          // CP932 with trail bytes 0x5C
        std::string("nul\0inside", 10),
        "\xED\xA0\x80",  // an encoded surrogate is not valid UTF-8
    };
    const std::string path = NewPath();
    {
        QtProfileStore store(path);
        for (std::size_t i = 0; i < texts.size(); ++i) {
            ASSERT_TRUE(store.WriteString("s" + std::to_string(i), texts[i]).ok());
        }
    }
    const std::string file = FileText(path);
    // Valid UTF-8 stays readable in the file.
    EXPECT_NE(file.find("=日本語ﾄﾞﾗｲﾌﾞ\n"), std::string::npos) << file;

    QtProfileStore reopened(path);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(reopened.ReadString("s" + std::to_string(i), "<default>"), texts[i]) << "text " << i;
    }
    // Empty but present is not missing.
    EXPECT_EQ(reopened.ReadString("s0", "<default>"), "");
}

TEST_F(QtProfileStoreTest, HandEditedFileGivesDefaultsOrTheValueAsStored) {
    const std::string path = NewPath();
    WriteFile(path,
              "garbage line without equals\n"
              "[Profile\n"
              "=no name\n"
              "[Profile]\n"
              "nTrush=abc\n"
              "bLog=99999999999\n"
              "bFixed=-2147483648\n"
              "bTemp = 12 \n"
              "bWave=2147483648\n"
              "ctlLastDate=1.5\n"
              "nDriveCnt=0x10\n"
              "ctlLastCheck=@Invalid()\n"
              "ctlFileCombo=*.bak,*.tmp\n"
              "ctlFileCombo0=\"*.old;*.tmp\"\n"
              "strWaveEdit=@ByteArray(\\xff/a.wav)\n"
              "strVersion=2.61\n"
              "ctlFileComboCnt=@ByteArray(4)\n"
              "\x01\x02\xFF=\xFF\xFE\n"
              "[Other]\n"
              "nTrush=2\n");
    QtProfileStore store(path);
    EXPECT_EQ(store.ReadInt("nTrush", 0), 0);
    EXPECT_EQ(store.ReadInt("bLog", 1), 1);
    EXPECT_EQ(store.ReadInt("bFixed", 1), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(store.ReadInt("bTemp", 0), 12);
    EXPECT_EQ(store.ReadInt("bWave", 0), 0);
    EXPECT_EQ(store.ReadInt("ctlLastDate", 0), 0);
    EXPECT_EQ(store.ReadInt("nDriveCnt", 0), 0);
    EXPECT_EQ(store.ReadInt("ctlLastCheck", 0), 0);
    EXPECT_EQ(store.ReadInt("ctlFileComboCnt", 0), 4);
    EXPECT_EQ(store.ReadInt("ctlFileCombo", 5), 5);
    EXPECT_EQ(store.ReadString("ctlFileCombo", ""), "*.bak,*.tmp");
    EXPECT_EQ(store.ReadString("ctlFileCombo0", ""), "*.old;*.tmp");
    EXPECT_EQ(store.ReadString("strWaveEdit", ""), "\xFF/a.wav");
    EXPECT_EQ(store.ReadString("strVersion", "0.00"), "2.61");
    EXPECT_EQ(store.ReadString("ctlLastCheck", "d"), "d");

    // Writing into the damaged file works and keeps the readable values.
    ASSERT_TRUE(store.WriteInt("nTrush", 1).ok());
    QtProfileStore reopened(path);
    EXPECT_EQ(reopened.ReadInt("nTrush", 0), 1);
    EXPECT_EQ(reopened.ReadString("strVersion", "0.00"), "2.61");
}

TEST_F(QtProfileStoreTest, BinaryGarbageFileNeverFailsAReadOrAWrite) {
    const std::string path = NewPath();
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.push_back(static_cast<char>((i * 7919) % 256));
    WriteFile(path, garbage);
    QtProfileStore store(path);
    EXPECT_EQ(store.ReadInt("nTrush", 0), 0);
    EXPECT_EQ(store.ReadString("strWaveEdit", "d"), "d");
    ASSERT_TRUE(store.WriteString("strWaveEdit", "/x.wav").ok());
    EXPECT_EQ(QtProfileStore(path).ReadString("strWaveEdit", "d"), "/x.wav");
}

TEST_F(QtProfileStoreTest, UnwritableLocationIsReported) {
    const std::string blocker = NewPath("blocker");
    WriteFile(blocker, "a file where a folder should be");
    QtProfileStore store(blocker + "/Velumark/Vask.conf");
    const Status status = store.WriteInt("nTrush", 1);
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(status.code(), EACCES);
    EXPECT_EQ(status.path(), blocker + "/Velumark/Vask.conf");
    EXPECT_EQ(store.ReadInt("nTrush", 0), 0);
}

TEST_F(QtProfileStoreTest, BatchWritesTheFileOnceAtCommitWithTheSameContent) {
    // The same writes one by one and in a batch (nested, as the settings save nests its two halves).
    const auto writeAll = [](QtProfileStore& store) {
        EXPECT_TRUE(store.WriteInt("nDriveCnt", 2).ok());
        EXPECT_TRUE(store.WriteString("strDrive0", "1/ [ ] 0000000100000003").ok());
        EXPECT_TRUE(store.WriteString("strFolderEdit", "/mnt/\xE9t\xE9/").ok());  // not UTF-8
        EXPECT_TRUE(store.WriteInt("nTrush", -7).ok());
        EXPECT_TRUE(store.WriteString("strVersion", "2.61").ok());
    };
    const std::string single = NewPath();
    {
        QtProfileStore store(single);
        writeAll(store);
    }
    const std::string batched = NewPath();
    WriteFile(batched, "[Profile]\nbLog=1\n");
    QtProfileStore store(batched);
    store.BeginBatch();
    store.BeginBatch();
    writeAll(store);
    ASSERT_TRUE(store.CommitBatch().ok());
    EXPECT_EQ(FileText(batched), "[Profile]\nbLog=1\n") << "an inner commit writes nothing";
    EXPECT_EQ(store.ReadInt("nTrush", 0), -7) << "reads inside the batch see the held values";
    EXPECT_EQ(store.ReadString("strFolderEdit", ""), "/mnt/\xE9t\xE9/");
    ASSERT_TRUE(store.CommitBatch().ok());
    const std::string expected = FileText(single);
    const std::string got = FileText(batched);
    EXPECT_EQ(got.substr(0, got.find("bLog=1\n")) + got.substr(got.find("bLog=1\n") + 7), expected);
    EXPECT_EQ(QtProfileStore(batched).ReadInt("bLog", 0), 1) << "values outside the batch stay";
    EXPECT_TRUE(store.CommitBatch().ok()) << "a commit without a batch changes nothing";

    // A batch that cannot be written says so at its commit, with the file's path.
    const std::string blocker = NewPath("blocker");
    WriteFile(blocker, "a file where a folder should be");
    QtProfileStore blocked(blocker + "/Velumark/Vask.conf");
    blocked.BeginBatch();
    EXPECT_TRUE(blocked.WriteInt("nTrush", 1).ok());
    const Status status = blocked.CommitBatch();
    EXPECT_EQ(status.code(), EACCES);
    EXPECT_EQ(status.path(), blocker + "/Velumark/Vask.conf");
}

TEST_F(QtProfileStoreTest, StandardLocationFollowsXdgConfigHome) {
    MemoryEnvironment xdg = Variables({{"XDG_CONFIG_HOME", "/cfg/"}, {"HOME", "/home/ann"}});
    EXPECT_EQ(QtProfileStore::StandardFilePath(xdg), "/cfg/Velumark/Vask.conf");
    MemoryEnvironment relative = Variables({{"XDG_CONFIG_HOME", "cfg"}, {"HOME", "/home/ann"}});
    EXPECT_EQ(QtProfileStore::StandardFilePath(relative), "/home/ann/.config/Velumark/Vask.conf");
    MemoryEnvironment homeOnly = Variables({{"HOME", "/home/ann"}, {"XDG_CONFIG_HOME", ""}});
    EXPECT_EQ(QtProfileStore::StandardFilePath(homeOnly), "/home/ann/.config/Velumark/Vask.conf");

    const std::string configHome = NewPath("config");
    MemoryEnvironment temporary = Variables({{"XDG_CONFIG_HOME", configHome}});
    const auto store = QtProfileStore::OpenStandard(temporary);
    ASSERT_TRUE(store->WriteString("strVersion", "2.61").ok());
    EXPECT_EQ(FileText(configHome + "/Velumark/Vask.conf"), "[Profile]\nstrVersion=2.61\n");
}

TEST_F(QtProfileStoreTest, OptionValuesSurviveTheFile) {
    MemoryEnvironment environment = Variables({{"HOME", "/home/ann"}});
    ProfileSettings edited = DefaultProfileSettings(environment);
    edited.nTrush = kDisposeLzhArchive;
    edited.strOutFolderEdit[7] = "/mnt/\xE9t\xE9/";  // Latin-1 bytes
    edited.strAllFolderEdit[0] = "/home/ann/tmp,old;new/";
    edited.bWave = 1;
    edited.strWaveEdit = "/home/ann/Sounds/end.wav";

    const std::string path = NewPath();
    {
        QtProfileStore store(path);
        ASSERT_TRUE(SaveOptionProfile(store, edited).ok());
    }
    QtProfileStore reopened(path);
    ProfileSettings loaded;
    LoadOptionProfile(reopened, environment, loaded);
    EXPECT_EQ(loaded, edited);
}

}  // namespace
}  // namespace vask
