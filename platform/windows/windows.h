// The top-level windows as our programs see them. There is no window system
// to ask, so the list is made of
// - windows announced by our programs and their peers: a file per window in
//   a per-user folder (mode 0700; $TREKFOLD_WINDOWS_DIR, else
//   $XDG_RUNTIME_DIR/trekfold-windows, else trekfold-<uid>/windows in the
//   system's temporary folder), named by the window's handle in decimal and
//   holding its process ID, class and title on three lines; a window whose
//   process has ended is skipped;
// - processes whose executable is named googleearth-bin, google-earth-pro or
//   googleearth: each is one window titled "Google Earth".
// The list goes by ascending handle.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::windows {

struct Window {
    std::int32_t handle = 0;
    std::int32_t pid = 0;
    std::string window_class;
    std::string title;
};

// Process windows take handles from here up (kProcessBase + pid); handles
// handed out to announcements stay below it.
constexpr std::int32_t kProcessBase = 0x40000000;
constexpr std::int32_t kFirstAnnounced = 0x10000;
constexpr std::size_t kMaxWindowFile = 4096;

std::string Windows_Folder();

// A window file's contents; nullopt when it is not three such lines.
std::optional<Window> Parse_Window_File(std::int32_t handle, std::string_view text);
std::string Window_File_Text(const Window& w);

// True when the executable name is one of the known Google Earth programs.
bool Is_Google_Earth_Program(std::string_view executable_name);

// The top-level windows now, by ascending handle.
std::vector<Window> Top_Level_Windows();

// Announces a window of this process (or of `pid`). With handle 0 the
// next free handle from kFirstAnnounced is taken. Returns the handle, 0
// when the file could not be written.
std::int32_t Announce(const std::string& window_class, const std::string& title, std::int32_t handle = 0,
                      std::int32_t pid = 0);
// Changes an announced window's title (the main window's caption).
bool Retitle(std::int32_t handle, const std::string& title);
void Withdraw(std::int32_t handle);

// Brings a window to the top of the Z order without moving or sizing it.
// The window list has no order of its own yet, so nothing changes.
bool SetWindowPos_Top(std::int32_t handle);

} // namespace platform::windows
