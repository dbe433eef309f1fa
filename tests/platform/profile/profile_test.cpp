#include "platform/profile/profile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

using namespace platform;
namespace fs = std::filesystem;

namespace {

struct TempFile {
    std::string dir, path;
    TempFile()
    {
        std::string t = (fs::temp_directory_path() / "profile.XXXXXX").string();
        dir = ::mkdtemp(t.data());
        path = dir + "/p.ini";
    }
    ~TempFile() { fs::remove_all(dir); }
    void write(const std::string& s) const { std::ofstream(path) << s; }
    std::string read() const
    {
        std::ifstream in(path);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
};

} // namespace

TEST(Profile, ReadingFollowsTheProfileRules)
{
    TempFile f;
    f.write("; comment\nk=outside\n[Other]\nk=other\n[ Sec ]\n  Key  =  spaced value  \nq=\" quoted \"\n"
            "s=' single '\nhalf=\"open\neq=a=b\nempty=\n;k2=commented\n");
    bool found = false;
    EXPECT_EQ(GetPrivateProfileString("sec", "KEY", "d", 255, f.path, &found), "spaced value");
    EXPECT_TRUE(found);
    EXPECT_EQ(GetPrivateProfileString("Sec", "q", "d", 255, f.path), " quoted ");
    EXPECT_EQ(GetPrivateProfileString("Sec", "s", "d", 255, f.path), " single ");
    EXPECT_EQ(GetPrivateProfileString("Sec", "half", "d", 255, f.path), "\"open");
    EXPECT_EQ(GetPrivateProfileString("Sec", "eq", "d", 255, f.path), "a=b");
    EXPECT_EQ(GetPrivateProfileString("Sec", "empty", "d", 255, f.path, &found), "");
    EXPECT_TRUE(found);
    EXPECT_EQ(GetPrivateProfileString("Sec", "k", "d", 255, f.path, &found), "d");
    EXPECT_FALSE(found);
    EXPECT_EQ(GetPrivateProfileString("Sec", "k2", "d", 255, f.path), "d");
    EXPECT_EQ(GetPrivateProfileString("Sec", "Key", "d", 5, f.path), "spac");
    EXPECT_EQ(GetPrivateProfileString("Sec", "Key", "d", 255, f.dir + "/missing.ini"), "d");
}

TEST(Profile, WritingKeepsTheRest)
{
    TempFile f;
    EXPECT_TRUE(WritePrivateProfileString("Translations", "a", "1", f.path));
    EXPECT_TRUE(WritePrivateProfileString("Translations", "b", " 2 ", f.path));
    EXPECT_TRUE(WritePrivateProfileString("Other", "a", "x", f.path));
    EXPECT_TRUE(WritePrivateProfileString("translations", "A", "3", f.path));
    EXPECT_TRUE(WritePrivateProfileString("Translations", "c", "\"q\"", f.path));
    EXPECT_EQ(f.read(), "[Translations]\nA=3\nb=\" 2 \"\nc=\"\"q\"\"\n[Other]\na=x\n");
    EXPECT_EQ(GetPrivateProfileString("Translations", "b", "", 255, f.path), " 2 ");
    EXPECT_EQ(GetPrivateProfileString("Translations", "c", "", 255, f.path), "\"q\"");
    EXPECT_FALSE(WritePrivateProfileString("Translations", "a=b", "1", f.path));
    EXPECT_FALSE(WritePrivateProfileString("Translations", "a", "line\nbreak", f.path));
    EXPECT_FALSE(WritePrivateProfileString("Translations", "a", "1", f.dir + "/no/such/dir.ini"));
    EXPECT_EQ(std::distance(fs::directory_iterator(f.dir), fs::directory_iterator()), 1);
}

TEST(Profile, WritingKeepsLineEndsAndFindsEveryKeyOfALargeFile)
{
    TempFile f;
    f.write("[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");
    EXPECT_TRUE(WritePrivateProfileString("a", "z", "3", f.path));
    EXPECT_TRUE(WritePrivateProfileString("B", "y", "4", f.path));
    EXPECT_EQ(f.read(), "[A]\r\nx=1\r\nz=3\r\n\r\n[B]\r\ny=4\r\n");

    // Many keys in one section: each added at the section's end, each found.
    TempFile g;
    std::string text = "[S]\n";
    for (int i = 0; i < 20000; ++i) text += "k" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    text += "[T]\nlast=x\n";
    g.write(text);
    EXPECT_TRUE(WritePrivateProfileString("S", "new", "n", g.path));
    EXPECT_TRUE(WritePrivateProfileString("S", "k19999", "changed", g.path));
    EXPECT_EQ(GetPrivateProfileString("S", "k0", "", 255, g.path), "0");
    EXPECT_EQ(GetPrivateProfileString("S", "K12345", "", 255, g.path), "12345");
    EXPECT_EQ(GetPrivateProfileString("s", "k19999", "", 255, g.path), "changed");
    EXPECT_EQ(GetPrivateProfileString("T", "last", "", 255, g.path), "x");
    std::string after = g.read();
    EXPECT_NE(after.find("k19999=changed\nnew=n\n[T]\n"), std::string::npos);
}

TEST(Profile, AFileThatCannotBeUsedIsLeftAlone)
{
    TempFile f;
    fs::create_directories(f.path); // a folder in the file's place
    EXPECT_EQ(GetPrivateProfileString("S", "k", "d", 255, f.path), "d");
    EXPECT_FALSE(WritePrivateProfileString("S", "k", "v", f.path));
    EXPECT_TRUE(fs::is_directory(f.path));
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes read-only files";
    TempFile ro;
    ro.write("[S]\nk=old\n");
    fs::permissions(ro.path, fs::perms::owner_read);
    EXPECT_EQ(GetPrivateProfileString("S", "k", "d", 255, ro.path), "old");
    EXPECT_FALSE(WritePrivateProfileString("S", "k", "new", ro.path));
    EXPECT_EQ(ro.read(), "[S]\nk=old\n");
}
