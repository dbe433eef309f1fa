#include "platform/settings/settings.h"

#include "platform/automation/vb_error.h"
#include "platform/settings/stored_file.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using platform::Settings;
namespace fs = std::filesystem;

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/tf-settings-XXXXXX";
        dir = mkdtemp(tmpl);
        path = dir + "/trekfold/trekfold.ini";
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string file_text() const
    {
        std::ifstream in(path);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::string dir, path;
};

TEST_F(SettingsTest, AbsentDiffersFromEmptyAndNamesIgnoreCase)
{
    Settings s(path);
    EXPECT_EQ(s.GetSetting("app", "refresh", "10"), "10");
    EXPECT_FALSE(s.get("app", "refresh"));
    s.SaveSetting("App", "Refresh", "");
    EXPECT_EQ(s.GetSetting("app", "refresh", "10"), "");
    ASSERT_TRUE(s.get("APP", "REFRESH"));
    s.SaveSetting("app", "REFRESH", "5");
    auto all = s.GetAllSettings("aPp");
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].first, "Refresh"); // the first spelling is kept
    EXPECT_EQ(all[0].second, "5");
}

TEST_F(SettingsTest, ValuesRoundTripThroughTheFile)
{
    const std::vector<std::pair<std::string, std::string>> values = {
        {"list", "type:1:type:C:10:0,ident:1:ident:C:24:0"},
        {"blanks", "  leading and trailing  "},
        {"quote", "\"quoted\" and \\ backslash"},
        {"lines", "one\ntwo\r\nthree\ttab"},
        {"eq=key", "a=b"},
        {" spaced key ", ";not a comment"},
        {"nul", std::string("a\0b", 3)},
        {"utf8", "Zürich — 東京"},
        {"empty", ""},
    };
    {
        Settings s(path);
        for (auto& [k, v] : values)
            s.SaveSetting("fields", k, v);
        s.SaveSetting("[odd] section", "k", "v");
    }
    Settings again(path);
    for (auto& [k, v] : values) {
        auto got = again.get("fields", k);
        ASSERT_TRUE(got) << k;
        EXPECT_EQ(*got, v) << k;
    }
    EXPECT_EQ(again.GetSetting("[ODD] section", "K"), "v");
    auto all = again.GetAllSettings("fields");
    ASSERT_EQ(all.size(), values.size());
    for (size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(all[i].first, values[i].first);
}

TEST_F(SettingsTest, ReadsHandWrittenFilesAndSkipsWhatItCannotRead)
{
    fs::create_directories(dir + "/trekfold");
    std::ofstream(path) << "orphan=before any section\n"
                           "; a comment\n"
                           "[Port]\r\n"
                           "port = 3 \r\n"
                           "Settings=9600,N,8,1\n"
                           "no equals sign here\n"
                           "bad=\"unterminated\n"
                           "[broken\n"
                           "lost=1\n"
                           "[fields]\n"
                           "waypoint=\"  x  \"\n"
                           "[PORT]\n"
                           "PORT=4\n";
    Settings s(path);
    EXPECT_EQ(s.GetSetting("port", "port"), "4"); // repeated section merged, last value wins
    EXPECT_EQ(s.GetSetting("port", "settings"), "9600,N,8,1");
    EXPECT_FALSE(s.get("port", "bad"));
    EXPECT_FALSE(s.get("port", "lost"));
    EXPECT_FALSE(s.get("broken", "lost"));
    EXPECT_EQ(s.GetSetting("fields", "waypoint"), "  x  ");
}

TEST_F(SettingsTest, KeepsACopyOfAFileWithLinesItCannotRead)
{
    fs::create_directories(dir + "/trekfold");
    const std::string original = "[port]\nport=3\n???\n[units]\nunit=Feet\n";
    std::ofstream(path) << original;
    Settings s(path);
    s.SaveSetting("port", "port", "4");
    std::ifstream in(path + ".bak");
    std::stringstream ss;
    ss << in.rdbuf();
    EXPECT_EQ(ss.str(), original);
    EXPECT_EQ(Settings(path).GetSetting("units", "unit"), "Feet");
    // A clean file is not copied again.
    fs::remove(path + ".bak");
    s.SaveSetting("port", "port", "5");
    EXPECT_FALSE(fs::exists(path + ".bak"));
}

TEST_F(SettingsTest, DeleteKeyAndSection)
{
    Settings s(path);
    s.SaveSetting("a", "x", "1");
    s.SaveSetting("a", "y", "2");
    s.SaveSetting("b", "z", "3");
    EXPECT_TRUE(s.DeleteSetting("A", "X"));
    EXPECT_FALSE(s.DeleteSetting("a", "x"));
    EXPECT_FALSE(s.get("a", "x"));
    EXPECT_EQ(s.GetSetting("a", "y"), "2");
    EXPECT_TRUE(s.DeleteSetting("a"));
    EXPECT_TRUE(s.GetAllSettings("a").empty());
    EXPECT_EQ(Settings(path).GetSetting("b", "z"), "3");
}

TEST_F(SettingsTest, SavesAtomicallyAndAFailedSaveKeepsTheFile)
{
    Settings s(path);
    s.SaveSetting("drive", "drive", "/media/gps");
    // No temporary file is left beside the store.
    int files = 0;
    for (auto& e : fs::directory_iterator(dir + "/trekfold")) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 1);
    // A store whose folder cannot be made: the save fails, nothing changes.
    {
        std::ofstream(dir + "/plainfile") << "x";
        Settings bad(dir + "/plainfile/trekfold.ini");
        EXPECT_THROW(bad.SaveSetting("a", "b", "c"), platform::VbError);
        EXPECT_FALSE(bad.get("a", "b"));
    }
    if (geteuid() == 0)
        GTEST_SKIP() << "root ignores directory permissions";
    std::string before = file_text();
    chmod((dir + "/trekfold").c_str(), 0500);
    try {
        s.SaveSetting("drive", "drive", "/elsewhere");
        ADD_FAILURE() << "save into a read-only folder succeeded";
    } catch (const platform::VbError& e) {
        EXPECT_EQ(e.number, 75);
    }
    chmod((dir + "/trekfold").c_str(), 0700);
    EXPECT_EQ(file_text(), before);
    EXPECT_EQ(s.GetSetting("drive", "drive"), "/media/gps");
}

TEST_F(SettingsTest, GenerationFollowsWritesOfItsSectionAndOtherWriters)
{
    Settings s(path);
    auto fields0 = s.generation("fields");
    auto port0 = s.generation("port");
    s.SaveSetting("Fields", "waypoint", "x");
    EXPECT_GT(s.generation("FIELDS"), fields0);
    EXPECT_EQ(s.generation("port"), port0);
    auto fields1 = s.generation("fields");
    s.DeleteSetting("fields", "waypoint");
    EXPECT_GT(s.generation("fields"), fields1);

    // Another writer replaces the file: the next read sees it and the
    // generation moves.
    Settings other(path);
    other.SaveSetting("fields", "track", "from elsewhere");
    auto fields2 = s.generation("fields");
    EXPECT_EQ(s.GetSetting("fields", "track"), "from elsewhere");
    EXPECT_GT(s.generation("fields"), fields2);
}

TEST_F(SettingsTest, AFileThatCannotBeReadIsToldAndLeftAlone)
{
    fs::create_directories(path); // a folder in the file's place
    fs::create_directories(dir + "/fifo");
    ASSERT_EQ(mkfifo((dir + "/fifo/trekfold.ini").c_str(), 0600), 0);
    std::ofstream(dir + "/big.ini") << "[a]\nb=c\n";
    fs::resize_file(dir + "/big.ini", 16 * 1024 * 1024 + 1);
    const std::pair<std::string, std::string> cases[] = {
        {path, "Is a directory"},
        {dir + "/fifo/trekfold.ini", "Not a regular file"}, // and no wait for a writer
        {dir + "/big.ini", "Larger than 16 MB"},
    };
    for (const auto& [file, reason] : cases) {
        SCOPED_TRACE(file);
        Settings s(file);
        EXPECT_EQ(s.read_problem(), reason);
        EXPECT_EQ(s.GetSetting("a", "b", "default"), "default");
    }
    Settings s(path);
    try {
        s.SaveSetting("a", "b", "c");
        ADD_FAILURE() << "saved over a folder";
    } catch (const platform::VbError& e) {
        EXPECT_EQ(e.number, 75);
        EXPECT_EQ(e.description, "Path/File access error: " + path + ": Is a directory");
    }
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_EQ(Settings(dir + "/nothing.ini").read_problem(), ""); // a missing file is no problem
}

TEST_F(SettingsTest, AReadOnlyFileIsReadAndNeverReplaced)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes read-only files";
    fs::create_directories(dir + "/trekfold");
    std::ofstream(path) << "[app]\nrefresh=10\n";
    chmod(path.c_str(), 0444);
    Settings s(path);
    EXPECT_EQ(s.read_problem(), "");
    EXPECT_EQ(s.GetSetting("app", "refresh"), "10");
    s.SaveSetting("app", "refresh", "10"); // nothing changes: nothing to write
    EXPECT_THROW(s.SaveSetting("app", "refresh", "20"), platform::VbError);
    EXPECT_EQ(file_text(), "[app]\nrefresh=10\n");
    s.hold();
    s.SaveSetting("app", "refresh", "30");
    EXPECT_EQ(s.release(), "Permission denied");
    EXPECT_EQ(s.GetSetting("app", "refresh"), "30"); // kept for this run
    EXPECT_EQ(file_text(), "[app]\nrefresh=10\n");
}

TEST_F(SettingsTest, HeldSavesReachTheFileInOneSave)
{
    Settings s(path);
    s.SaveSetting("a", "x", "1");
    s.hold();
    s.hold();
    s.SaveSetting("a", "y", "2");
    s.DeleteSetting("a", "x");
    EXPECT_EQ(s.GetSetting("a", "y"), "2");
    EXPECT_EQ(file_text(), "[a]\nx=1\n\n");
    EXPECT_EQ(s.release(), "");
    EXPECT_EQ(file_text(), "[a]\nx=1\n\n"); // the outer hold still holds
    EXPECT_EQ(s.release(), "");
    EXPECT_EQ(file_text(), "[a]\ny=2\n\n");
    // A save of the value a key holds leaves the file as it is.
    struct stat before {}, after {};
    stat(path.c_str(), &before);
    s.SaveSetting("A", "Y", "2");
    stat(path.c_str(), &after);
    EXPECT_EQ(before.st_ino, after.st_ino);
}

TEST_F(SettingsTest, KeysStayFoundAfterDeletionsInTheMiddle)
{
    Settings s(path);
    for (int i = 0; i < 6; ++i)
        s.SaveSetting("s" + std::to_string(i % 2), "k" + std::to_string(i), std::to_string(i));
    EXPECT_TRUE(s.DeleteSetting("S0", "K2"));
    EXPECT_TRUE(s.DeleteSetting("s1"));
    s.SaveSetting("s0", "k2", "again");
    s.SaveSetting("s1", "k1", "back");
    Settings again(path);
    for (Settings* t : {&s, &again}) {
        EXPECT_EQ(t->GetSetting("s0", "k0"), "0");
        EXPECT_EQ(t->GetSetting("s0", "K4"), "4");
        EXPECT_EQ(t->GetSetting("s0", "k2"), "again");
        EXPECT_EQ(t->GetSetting("s1", "k1"), "back");
        EXPECT_FALSE(t->get("s1", "k3"));
        auto all = t->GetAllSettings("s0");
        ASSERT_EQ(all.size(), 3u);
        EXPECT_EQ(all[1].first, "k4");
        EXPECT_EQ(all[2].first, "k2");
    }
}

TEST_F(SettingsTest, AStoredFileKeepsItsPermissions)
{
    fs::create_directories(dir + "/trekfold");
    std::ofstream(path) << "[a]\nb=c\n";
    chmod(path.c_str(), 0640);
    Settings(path).SaveSetting("a", "b", "d");
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    std::string text, reason;
    EXPECT_EQ(platform::read_stored_file(path, 8, text, reason), platform::ReadResult::Failed);
    EXPECT_EQ(reason, "Larger than 8 bytes");
    EXPECT_EQ(text, "");
    EXPECT_EQ(platform::read_stored_file(path, 64, text, reason), platform::ReadResult::Read);
    EXPECT_EQ(text, "[a]\nb=d\n\n");
}

TEST(SettingsPath, FollowsXdgConfigHome)
{
    const char* old = getenv("XDG_CONFIG_HOME");
    std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", "/some/where", 1);
    EXPECT_EQ(Settings::default_path(), "/some/where/trekfold/trekfold.ini");
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", getenv("HOME") ? getenv("HOME") : "/home/x", 1);
    EXPECT_EQ(Settings::default_path(), std::string(getenv("HOME")) + "/.config/trekfold/trekfold.ini");
    if (old)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
}

} // namespace
