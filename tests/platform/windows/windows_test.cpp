// The window list: announced windows, dead processes, known programs in the
// process table and the file format.
#include "platform/windows/windows.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace win = platform::windows;
namespace fs = std::filesystem;

namespace {

class Windows : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::path(::testing::TempDir()) / ("windows-" + std::to_string(::getpid())) / "w";
        fs::remove_all(dir_);
        ::setenv("TREKFOLD_WINDOWS_DIR", dir_.c_str(), 1);
    }
    std::vector<win::Window> announced()
    {
        std::vector<win::Window> out;
        for (auto& w : win::Top_Level_Windows())
            if (w.handle < win::kProcessBase) out.push_back(w);
        return out;
    }
    fs::path dir_;
};

TEST_F(Windows, WindowFilesParseOnlyAsThreeLines)
{
    auto w = win::Parse_Window_File(7, "12\nAfx:00400000:b:1\nUntitled - ArcMap\n");
    ASSERT_TRUE(w);
    EXPECT_EQ(w->pid, 12);
    EXPECT_EQ(w->window_class, "Afx:00400000:b:1");
    EXPECT_EQ(w->title, "Untitled - ArcMap");
    EXPECT_TRUE(win::Parse_Window_File(7, "12\n\n")); // empty class and title, no last line end
    EXPECT_FALSE(win::Parse_Window_File(7, "12\nclass"));
    EXPECT_FALSE(win::Parse_Window_File(7, "-1\nc\nt\n"));
    EXPECT_FALSE(win::Parse_Window_File(7, "12x\nc\nt\n"));
    EXPECT_FALSE(win::Parse_Window_File(7, "99999999999\nc\nt\n"));
    EXPECT_FALSE(win::Parse_Window_File(7, "12\nc\nt\nextra\n"));
    EXPECT_EQ(win::Window_File_Text(*w), "12\nAfx:00400000:b:1\nUntitled - ArcMap\n");
}

TEST_F(Windows, AnnouncedWindowsListByHandleAndDeadProcessesAreSkipped)
{
    std::int32_t a = win::Announce("ThunderRT6FormDC", "Ostrevane - Garmin ");
    std::int32_t b = win::Announce("Afx:00400000:b:1", "x - ArcMap");
    EXPECT_EQ(a, win::kFirstAnnounced);
    EXPECT_EQ(b, a + 1);
    EXPECT_EQ(win::Announce("c", "low", 5), 5);
    EXPECT_EQ(win::Announce("c", "two\nlines"), 0);
    struct stat st{};
    ASSERT_EQ(::stat(dir_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    auto list = announced();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].handle, 5);
    EXPECT_EQ(list[1].title, "Ostrevane - Garmin ");
    EXPECT_EQ(list[2].handle, b);
    EXPECT_TRUE(win::Retitle(a, "Ostrevane - Garmin / ArcMap "));
    EXPECT_EQ(announced()[1].title, "Ostrevane - Garmin / ArcMap ");

    // A window of a process that has ended is not listed, and its handle
    // is free again.
    pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    win::Withdraw(b);
    EXPECT_EQ(win::Announce("c", "gone", b, child), b);
    std::ofstream(dir_ / "notahandle") << "1\nc\nt\n";
    std::ofstream(dir_ / "077") << "1\nc\nt\n";
    EXPECT_EQ(announced().size(), 2u);
    EXPECT_EQ(win::Announce("c", "new"), b);
    win::Withdraw(5);
    EXPECT_EQ(announced().size(), 2u);
}

TEST_F(Windows, KnownProgramsInTheProcessTableAreGoogleEarthWindows)
{
    EXPECT_TRUE(win::Is_Google_Earth_Program("googleearth-bin"));
    EXPECT_TRUE(win::Is_Google_Earth_Program("google-earth-pro"));
    EXPECT_FALSE(win::Is_Google_Earth_Program("google-earth-pr"));
    EXPECT_FALSE(win::Is_Google_Earth_Program("GoogleEarth"));

    fs::path exe = dir_.parent_path() / "google-earth-pro";
    fs::create_directories(exe.parent_path());
    fs::copy_file(fs::exists("/usr/bin/sleep") ? "/usr/bin/sleep" : "/bin/sleep", exe, fs::copy_options::overwrite_existing);
    pid_t child = ::fork();
    if (child == 0) {
        ::execl(exe.c_str(), "google-earth-pro", "60", nullptr);
        ::_exit(127);
    }
    bool seen = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!seen && std::chrono::steady_clock::now() < deadline) {
        for (auto& w : win::Top_Level_Windows())
            if (w.handle == win::kProcessBase + child && w.title == "Google Earth") seen = true;
        if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_TRUE(seen);
    for (auto& w : win::Top_Level_Windows()) EXPECT_NE(w.handle, win::kProcessBase + child);
}

TEST_F(Windows, AProcessEndedButNotReapedHasNoWindows)
{
    pid_t child = ::fork();
    if (child == 0) {
        ::pause();
        ::_exit(0);
    }
    ASSERT_EQ(win::Announce("Afx:00400000:b:1", "x - ArcMap", 0, child), win::kFirstAnnounced);
    EXPECT_EQ(announced().size(), 1u);
    ::kill(child, SIGKILL);
    // Waits for its end without reaping it: a zombie now.
    siginfo_t info{};
    ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT), 0);
    EXPECT_TRUE(announced().empty());
    // Its handle is free again.
    EXPECT_EQ(win::Announce("c", "next"), win::kFirstAnnounced);
    ::waitpid(child, nullptr, 0);
}

TEST_F(Windows, AWindowFileIsNeverWrittenThroughALink)
{
    ASSERT_FALSE(win::Windows_Folder().empty());
    const fs::path victim = dir_.parent_path() / "victim";
    std::ofstream(victim) << "keep";
    fs::create_symlink(victim, dir_ / (".new-77-" + std::to_string(::getpid())));
    EXPECT_EQ(win::Announce("c", "t", 77), 77);
    std::ifstream in(victim);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep");
    EXPECT_FALSE(fs::is_symlink(dir_ / "77"));
    ASSERT_EQ(announced().size(), 1u);
    EXPECT_EQ(announced()[0].title, "t");
}

} // namespace
