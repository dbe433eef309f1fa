// CaptureScreen against a private Xvfb whose root and one window have
// known colours, compared with what `import -window root` reads of the
// same screen; and the error, with the target untouched, where no screen
// can be read.
#include "tests/imaging/support.h"

#include "platform/automation/ole.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstring>
#include <optional>

extern char** environ;

namespace imaging_test {
namespace {

constexpr int kScreenW = 320, kScreenH = 240;
constexpr std::uint32_t kRoot = 0x3366CC, kWindow = 0xE01020, kFill = 0x010203;

// Sets DISPLAY (or removes it) for the test's life.
class DisplayVar {
public:
    explicit DisplayVar(const std::optional<std::string>& value)
    {
        if (const char* old = std::getenv("DISPLAY")) old_ = old;
        if (value) setenv("DISPLAY", value->c_str(), 1);
        else unsetenv("DISPLAY");
    }
    ~DisplayVar()
    {
        if (old_) setenv("DISPLAY", old_->c_str(), 1);
        else unsetenv("DISPLAY");
    }

private:
    std::optional<std::string> old_;
};

// Runs a program with the current environment; true when it exited with 0.
bool spawn_wait(std::vector<std::string> argv)
{
    std::vector<char*> av;
    for (auto& s : argv) av.push_back(s.data());
    av.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, av[0], nullptr, nullptr, av.data(), environ) != 0) return false;
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool on_path(const std::string& program) { return run("command -v " + program); }

// A private Xvfb: it picks a free display number itself and is ready once
// it has written that number to the pipe we gave it.
class PrivateXvfb {
public:
    // "" when running, else why not.
    std::string Start()
    {
        if (!on_path("Xvfb")) return "Xvfb is not installed";
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return "no pipe";
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, fds[1], 3);
        posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
        std::string size = std::to_string(kScreenW) + "x" + std::to_string(kScreenH) + "x24";
        // -noreset: the root keeps its colour when xsetroot, the only client, leaves.
        std::vector<std::string> args{"Xvfb", "-displayfd", "3", "-screen", "0", size, "-nolisten", "tcp", "-noreset"};
        std::vector<char*> av;
        for (auto& s : args) av.push_back(s.data());
        av.push_back(nullptr);
        const int err = posix_spawnp(&pid_, "Xvfb", &fa, nullptr, av.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        close(fds[1]);
        if (err != 0) {
            close(fds[0]);
            pid_ = -1;
            return "Xvfb cannot be started";
        }
        // Generous: a busy machine may take its time to start a server.
        std::string number;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (number.find('\n') == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd p{fds[0], POLLIN, 0};
            if (left.count() <= 0 || poll(&p, 1, int(left.count())) <= 0) break;
            char buf[16];
            const ssize_t n = read(fds[0], buf, sizeof buf);
            if (n <= 0) break;
            number.append(buf, std::size_t(n));
        }
        close(fds[0]);
        if (number.find('\n') == std::string::npos) return "Xvfb did not become ready";
        display_ = ":" + number.substr(0, number.find('\n'));
        return "";
    }
    const std::string& display() const { return display_; }
    ~PrivateXvfb()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }

private:
    pid_t pid_ = -1;
    std::string display_;
};

// A window of one colour at a place, kept while the object lives.
class ColourWindow {
public:
    ColourWindow(const std::string& display, int x, int y, int w, int h, std::uint32_t rgb)
        : c_(xcb_connect(display.c_str(), nullptr))
    {
        if (xcb_connection_has_error(c_)) return;
        const xcb_screen_t* s = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
        const xcb_window_t win = xcb_generate_id(c_);
        const std::uint32_t values[] = {rgb, 1}; // background pixel, placed where asked (override redirect)
        xcb_create_window(c_, XCB_COPY_FROM_PARENT, win, s->root, std::int16_t(x), std::int16_t(y), std::uint16_t(w),
                          std::uint16_t(h), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, s->root_visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        xcb_map_window(c_, win);
        // A round trip: the server has mapped and painted the window when it answers.
        std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
        ok_ = !xcb_connection_has_error(c_);
    }
    ~ColourWindow() { xcb_disconnect(c_); }
    bool ok() const { return ok_; }

private:
    xcb_connection_t* c_;
    bool ok_ = false;
};

// What `import -window root` reads of the screen.
Pixels import_root()
{
    const std::string path = (temp_dir() / "root.ppm").string();
    Pixels p;
    if (!spawn_wait({"import", "-window", "root", "-depth", "8", "ppm:" + path})) return p;
    Bytes b = read_file(path);
    int max = 0, used = 0;
    if (std::sscanf(reinterpret_cast<const char*>(b.data()), "P6 %d %d %d%n", &p.w, &p.h, &max, &used) != 3 || max != 255)
        return {};
    const std::size_t at = std::size_t(used) + 1;
    if (b.size() < at + std::size_t(p.w) * std::size_t(p.h) * 3) return {};
    for (std::size_t i = 0; i < std::size_t(p.w) * std::size_t(p.h); ++i)
        p.px.push_back(std::uint32_t(b[at + 3 * i]) << 16 | std::uint32_t(b[at + 3 * i + 1]) << 8 | b[at + 3 * i + 2]);
    return p;
}

// A 64 x 64 canvas filled with kFill.
platform::ObjectRef filled_canvas()
{
    auto o = glimmerax::CreateImageObject();
    call(*o, "CreateImage", {L(64), L(64), L(4), out()});
    call(*o, "SetColor", {L(1), L(kFill >> 16), L((kFill >> 8) & 255), L(kFill & 255), out()});
    call(*o, "SetBgColor", {L(1)});
    call(*o, "FillRect", {L(0), L(0), L(63), L(63)});
    return o;
}

Args capture(int xd, int yd, int w, int h, int x, int y) { return {L(xd), L(yd), L(w), L(h), L(x), L(y)}; }

class ScreenCapture : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string why = xvfb_.Start();
        if (!why.empty()) GTEST_SKIP() << why;
        display_.emplace(xvfb_.display());
        if (!on_path("xsetroot") || !on_path("import")) GTEST_SKIP() << "xsetroot or import is not installed";
        char colour[16];
        std::snprintf(colour, sizeof colour, "#%06X", kRoot);
        ASSERT_TRUE(spawn_wait({"xsetroot", "-solid", colour}));
    }
    PrivateXvfb xvfb_;
    std::optional<DisplayVar> display_;
};

// The screen's pixels land at the destination, equal to import's; the
// canvas outside the destination keeps its pixels.
TEST_F(ScreenCapture, CopiesTheScreenRectangleAsImportSeesIt)
{
    ColourWindow window(xvfb_.display(), 50, 60, 40, 30, kWindow);
    ASSERT_TRUE(window.ok());
    auto o = filled_canvas();
    call(*o, "CaptureScreen", capture(4, 6, 40, 40, 40, 50));
    const Pixels mine = canvas(*o), screen = import_root();
    ASSERT_EQ(screen.w, kScreenW);
    ASSERT_EQ(screen.h, kScreenH);
    int window_px = 0, root_px = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const bool inside = x >= 4 && x < 44 && y >= 6 && y < 46;
            const std::uint32_t want = inside ? screen.at(x - 4 + 40, y - 6 + 50) : kFill;
            ASSERT_EQ(mine.at(x, y), want) << x << "," << y;
            window_px += inside && want == kWindow, root_px += inside && want == kRoot;
        }
    // The rectangle held both the window's corner and the root around it.
    EXPECT_EQ(window_px, 30 * 30);
    EXPECT_EQ(root_px, 40 * 40 - 30 * 30);
}

// A rectangle reaching past the screen's edges copies only the part on
// the screen, at the place it has in the rectangle; one reaching past the
// target's edges writes only what lands on the target.
TEST_F(ScreenCapture, CutsTheRectangleToTheScreenAndToTheTarget)
{
    ColourWindow window(xvfb_.display(), kScreenW - 10, kScreenH - 10, 10, 10, kWindow);
    ASSERT_TRUE(window.ok());
    auto o = filled_canvas();
    call(*o, "CaptureScreen", capture(0, 0, 64, 64, kScreenW - 20, kScreenH - 20));
    call(*o, "CaptureScreen", capture(50, 50, 64, 64, -10, -12));
    call(*o, "CaptureScreen", capture(-5, 30, 10, 10, 0, 0));
    const Pixels p = canvas(*o);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            std::uint32_t want = kFill;
            if (x < 20 && y < 20) want = x >= 10 && y >= 10 ? kWindow : kRoot; // the bottom-right corner
            if (x >= 60 && y >= 62) want = kRoot;                              // the top-left corner, off-screen part left out
            if (x < 5 && y >= 30 && y < 40) want = kRoot;                      // the part landing on the target
            ASSERT_EQ(p.at(x, y), want) << x << "," << y;
        }
}

// The clipboard picture takes the capture while it is the target.
TEST_F(ScreenCapture, DrawsIntoTheCurrentTarget)
{
    auto o = filled_canvas();
    call(*o, "InitClipboard", {L(8), L(8), out()});
    call(*o, "SelectClipboard", {Variant(true)});
    call(*o, "CaptureScreen", capture(0, 0, 8, 8, 0, 0));
    const Args px = call(*o, "GetPixel", {L(3), L(3), out()});
    ASSERT_TRUE(px[2].IsArray());
    EXPECT_EQ(px[2].ToArray().at(0).ToInt32(), int(kRoot >> 16));
    EXPECT_EQ(px[2].ToArray().at(2).ToInt32(), int(kRoot & 255));
    call(*o, "SelectClipboard", {Variant(false)});
    EXPECT_EQ(canvas(*o).at(3, 3), kFill);
}

// Asserts that CaptureScreen raises E_FAIL and leaves the canvas as it was.
void expect_failure_unchanged()
{
    auto o = filled_canvas();
    const Pixels before = canvas(*o);
    try {
        call(*o, "CaptureScreen", capture(0, 0, 32, 32, 10, 10));
        FAIL() << "no error";
    } catch (const platform::VbError& e) {
        EXPECT_EQ(std::uint32_t(e.number), platform::E_FAIL);
        EXPECT_EQ(e.description.rfind("Automation error: ", 0), 0u) << e.description;
    }
    EXPECT_EQ(canvas(*o).px, before.px);
}

TEST(ScreenCaptureFails, WithoutADisplay)
{
    DisplayVar none(std::nullopt);
    expect_failure_unchanged();
    // Before CreateImage there is nothing to draw on: nothing happens.
    auto empty = glimmerax::CreateImageObject();
    EXPECT_NO_THROW(call(*empty, "CaptureScreen", capture(0, 0, 32, 32, 10, 10)));
}

// A display number nobody serves refuses the connection.
TEST(ScreenCaptureFails, WhenTheDisplayRefuses)
{
    DisplayVar gone(std::string(":65000"));
    expect_failure_unchanged();
}

// A display that takes the connection and never answers holds the call
// no longer than its deadline.
TEST(ScreenCaptureFails, WhenTheDisplayNeverAnswers)
{
    // An abstract socket where libxcb looks first for a display's socket.
    const int s = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(s, 0);
    int number = 0;
    for (number = 64000; number < 64100; ++number) {
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        const std::string name = "/tmp/.X11-unix/X" + std::to_string(number);
        std::memcpy(a.sun_path + 1, name.data(), name.size());
        if (bind(s, reinterpret_cast<sockaddr*>(&a), socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size())) == 0) break;
    }
    ASSERT_EQ(listen(s, 4), 0);
    DisplayVar stuck(":" + std::to_string(number));
    expect_failure_unchanged();
    close(s);
}

} // namespace
} // namespace imaging_test
