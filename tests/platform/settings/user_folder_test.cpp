// The per-user meeting folders and local sockets: folders made by someone
// else are refused all the way down, and a server that listens but never
// accepts cannot hold a connect.
#include "platform/settings/user_folder.h"

#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <memory>
#include <optional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Runs `f` on a thread of its own and gives its result, or nullopt when it
// has not returned after a minute (the thread is then left stuck).
template <class F>
std::optional<int> within_a_minute(F f)
{
    auto done = std::make_shared<std::promise<int>>();
    std::future<int> result = done->get_future();
    std::thread([done, f] { done->set_value(f()); }).detach();
    if (result.wait_for(std::chrono::seconds(60)) != std::future_status::ready) return std::nullopt;
    return result.get();
}

// A server at `path` that never accepts, its queue (one place) filled.
struct NeverAccepts {
    int listener = -1, queued = -1;
    explicit NeverAccepts(const std::string& path)
    {
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
        listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
        EXPECT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        EXPECT_EQ(::listen(listener, 0), 0);
        queued = ::socket(AF_UNIX, SOCK_STREAM, 0);
        EXPECT_EQ(::connect(queued, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    }
    ~NeverAccepts()
    {
        ::close(queued);
        ::close(listener);
    }
};

TEST(LocalSockets, AServerThatNeverAcceptsIsAbsentAndStillHeld)
{
    test_support::TempDir dir;
    const std::string path = dir.path + "/landview|whereform";
    NeverAccepts peer(path);
    EXPECT_EQ(within_a_minute([path] { return platform::Connect_Local(path); }), std::optional<int>(-1));
    // The liveness probe gives up as well, and a held socket is not replaced.
    EXPECT_EQ(within_a_minute([path] { return platform::Listen_Local(path); }), std::optional<int>(-1));
    struct stat st{};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);

    // Once it takes its queue the same socket connects.
    ::close(::accept(peer.listener, nullptr, nullptr));
    const std::optional<int> fd = within_a_minute([path] { return platform::Connect_Local(path); });
    ASSERT_TRUE(fd);
    EXPECT_GE(*fd, 0);
    ::close(*fd);
}

class Folders : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::unsetenv("TREKFOLD_TEST_FOLDER");
        ::unsetenv("XDG_RUNTIME_DIR");
        if (const char* t = std::getenv("TMPDIR")) old_tmpdir_ = t;
        ::setenv("TMPDIR", tmp_.path.c_str(), 1);
        base_ = tmp_.path + "/trekfold-" + std::to_string(::getuid());
    }
    void TearDown() override
    {
        if (old_tmpdir_) ::setenv("TMPDIR", old_tmpdir_->c_str(), 1);
        else ::unsetenv("TMPDIR");
    }
    // The folder asked for, with what was said on stderr.
    std::string folder(std::string& said)
    {
        ::testing::internal::CaptureStderr();
        std::string path = platform::Private_User_Folder("TREKFOLD_TEST_FOLDER", "dde");
        said = ::testing::internal::GetCapturedStderr();
        return path;
    }
    test_support::TempDir tmp_;
    std::string base_;
    std::optional<std::string> old_tmpdir_;
};

TEST_F(Folders, MadeOursAloneAllTheWayDown)
{
    std::string said;
    EXPECT_EQ(folder(said), base_ + "/dde");
    EXPECT_EQ(said, "");
    for (const std::string& f : {base_, base_ + "/dde"}) {
        struct stat st{};
        ASSERT_EQ(::lstat(f.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u) << f;
    }
    // Ours but opened to others: closed again.
    ::chmod(base_.c_str(), 0777);
    EXPECT_EQ(folder(said), base_ + "/dde");
    struct stat st{};
    ::lstat(base_.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(Folders, ALinkInPlaceOfTheBaseIsRefused)
{
    const std::string elsewhere = tmp_.path + "/elsewhere";
    fs::create_directory(elsewhere);
    fs::create_directory_symlink(elsewhere, base_);
    std::string said;
    EXPECT_EQ(folder(said), "");
    EXPECT_NE(said.find(base_), std::string::npos) << said;
    EXPECT_TRUE(fs::is_empty(elsewhere));
}

TEST_F(Folders, ABaseAnotherUserMadeIsRefusedAndNothingIsMadeInIt)
{
    if (::getuid() != 0) GTEST_SKIP() << "making a folder owned by another user needs root";
    ASSERT_EQ(::mkdir(base_.c_str(), 0777), 0);
    ::chmod(base_.c_str(), 0777);
    ASSERT_EQ(::chown(base_.c_str(), 65534, 65534), 0);
    std::string said;
    EXPECT_EQ(folder(said), "");
    EXPECT_NE(said.find(base_), std::string::npos) << said;
    EXPECT_TRUE(fs::is_empty(base_));
    // Told once: the next look is quiet.
    EXPECT_EQ(folder(said), "");
    EXPECT_EQ(said, "");
}

TEST_F(Folders, ATempFolderSomeoneElsePlantedGivesWayToTheRuntimeFolder)
{
    ::unsetenv("TMPDIR");
    const std::string elsewhere = tmp_.path + "/elsewhere";
    fs::create_directory(elsewhere);
    fs::create_directory_symlink(elsewhere, base_);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(platform::Temp_Folder_In(tmp_.path), "");
    EXPECT_NE(::testing::internal::GetCapturedStderr().find(base_), std::string::npos);

    const std::string run = tmp_.path + "/run";
    fs::create_directory(run);
    ::setenv("XDG_RUNTIME_DIR", run.c_str(), 1);
    EXPECT_EQ(platform::Temp_Folder_In(tmp_.path), run + "/trekfold-tmp");
    EXPECT_TRUE(fs::is_empty(elsewhere));
    ::unsetenv("XDG_RUNTIME_DIR");
}

} // namespace
