#include "platform/folders/folders.h"

#include "platform/automation/vb_error.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <sys/stat.h>

namespace {

using testing::ElementsAre;
namespace fs = std::filesystem;

struct Folder {
    std::string path;
    Folder()
    {
        std::string t = fs::temp_directory_path().string() + "/folders-XXXXXX";
        path = ::mkdtemp(t.data());
    }
    ~Folder() { fs::remove_all(path); }
    void write(const std::string& name, const std::string& text) const { std::ofstream(path + "/" + name) << text; }
    std::string read(const std::string& name) const
    {
        std::ifstream in(path + "/" + name);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

TEST(Drives, FromTheVariableOrTheMountTable)
{
    Folder dir;
    dir.write("mounts", "proc /proc proc rw 0 0\n/dev/sda1 / ext4 rw 0 0\ntmpfs /run tmpfs rw 0 0\n"
                        "/dev/sdb1 /media/GARMIN\\040OREGON vfat rw 0 0\nbroken\n");
    ::unsetenv("TREKFOLD_DRIVES");
    EXPECT_THAT(platform::Drive_List(dir.path + "/mounts"), ElementsAre("/", "/media/GARMIN OREGON"));
    ::setenv("TREKFOLD_DRIVES", "/a/:/b::/c", 1);
    EXPECT_THAT(platform::Drive_List(dir.path + "/mounts"), ElementsAre("/a", "/b", "/c"));
    ::unsetenv("TREKFOLD_DRIVES");

    const std::vector<std::string> drives{"/", "/media/a", "/media/ab"};
    EXPECT_EQ(platform::Drive_Of("/media/ab/Garmin/x.gpx", drives), "/media/ab");
    EXPECT_EQ(platform::Drive_Of("/media/a/Garmin/", drives), "/media/a");
    EXPECT_EQ(platform::Drive_Of("/home/x", drives), "/");
    EXPECT_EQ(platform::Drive_Of("", drives), "");
}

TEST(Folders, PatternsIgnoreCase)
{
    EXPECT_TRUE(platform::Pattern_Match("IMG_0001.JPG", "*.jpg"));
    EXPECT_TRUE(platform::Pattern_Match("a.b.jpg", "*.jpg"));
    EXPECT_TRUE(platform::Pattern_Match("x1.tif", "x?.T*"));
    EXPECT_FALSE(platform::Pattern_Match("a.jpeg", "*.jpg"));
    EXPECT_FALSE(platform::Pattern_Match("a.jpg.bak", "*.jpg"));
}

TEST(Folders, RegularFilesInUpperCaseOrder)
{
    Folder dir;
    for (const char* n : {"b.jpg", "_c.JPG", "A.jpg", "a1.jpg", ".hidden.jpg", "note.txt", "Ä.jpg", "z.jpg"})
        dir.write(n, "x");
    fs::create_directory(dir.path + "/sub.jpg");
    fs::create_symlink(dir.path + "/b.jpg", dir.path + "/link.jpg");
    // Upper-cased, "_" (0x5F) sorts after the letters and "Ä" (0xC4) after "_".
    EXPECT_THAT(platform::Folder_Files(dir.path, "*.jpg"),
                ElementsAre("A.jpg", "a1.jpg", "b.jpg", "link.jpg", "z.jpg", "_c.JPG", "Ä.jpg"));
    EXPECT_THAT(platform::Folder_Files(dir.path, "*.tif"), ElementsAre());
    try {
        platform::Folder_Files(dir.path + "/none", "*.jpg");
        FAIL();
    } catch (const platform::VbError& e) {
        EXPECT_EQ(e.number, 76);
    }
}

TEST(Folders, RenameNeverReplaces)
{
    Folder dir;
    dir.write("a.jpg", "first");
    dir.write("b.jpg", "second");
    try {
        platform::Rename_NoReplace(dir.path + "/a.jpg", dir.path + "/b.jpg");
        FAIL();
    } catch (const platform::VbError& e) {
        EXPECT_EQ(e.number, 58);
        EXPECT_EQ(e.description, "File already exists");
    }
    EXPECT_EQ(dir.read("a.jpg"), "first");
    EXPECT_EQ(dir.read("b.jpg"), "second");
    platform::Rename_NoReplace(dir.path + "/a.jpg", dir.path + "/c.jpg");
    EXPECT_EQ(dir.read("c.jpg"), "first");
    EXPECT_FALSE(fs::exists(dir.path + "/a.jpg"));
}

} // namespace
