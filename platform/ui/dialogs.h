// Message boxes and input boxes, as the program's procedures show them.
//
// A box is described the way the program words it: a text, one style number
// that adds a button set, an icon and a default button (vbYesNo + vbCritical),
// and a title. Callers hold a Dialogs& and never know whether a window, a test
// script or the quiet mode answers.
//
// Quiet mode: a box never blocks. It is written to the log and answered with
// its default button (an input box with its default text).
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace platform {

// Style bits of a message box (buttons + icon + default button).
enum MsgBoxStyle : int {
    vbOKOnly = 0,
    vbOKCancel = 1,
    vbAbortRetryIgnore = 2,
    vbYesNoCancel = 3,
    vbYesNo = 4,
    vbRetryCancel = 5,
    vbCritical = 16,
    vbQuestion = 32,
    vbExclamation = 48,
    vbInformation = 64,
    vbDefaultButton1 = 0,
    vbDefaultButton2 = 256,
    vbDefaultButton3 = 512,
    vbMsgBoxHelpButton = 16384,
};

// The button the user chose.
enum MsgBoxResult : int { vbOK = 1, vbCancel = 2, vbAbort = 3, vbRetry = 4, vbIgnore = 5, vbYes = 6, vbNo = 7 };

inline int msgbox_buttons(int style) { return style & 7; }
inline int msgbox_icon(int style) { return style & 0x70; }
// The answer of the style's default button (the first one unless
// vbDefaultButton2/3 picks another that exists).
int msgbox_default_answer(int style);
// Text form of a box for logs: "[title] text (buttons)".
std::string msgbox_describe(const std::string& text, int style, const std::string& title);

// What an open-file dialog offers: its filter is pairs of description and
// patterns, "|"-separated ("ESRI Projection File (*.prj)|*.prj"); the
// default extension (".prj") is added to a typed name without one.
struct OpenFileRequest {
    std::string title;
    std::string initial_folder; // "" leaves the choice to the dialog
    std::string file_name;
    std::string filter;
    std::string default_ext;
    // The filter entry shown first (from 1); after an answered dialog, the
    // entry the user chose.
    int filter_index = 1;
};

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Shows a message box and returns the chosen MsgBoxResult.
    int MsgBox(const std::string& prompt, int style = vbOKOnly, const std::string& title = {});
    // Shows an input box; returns the entered text, "" when cancelled.
    std::string InputBox(const std::string& prompt, const std::string& title = {},
                         const std::string& default_text = {});
    // Shows an open-file dialog; the chosen path, or nothing when cancelled.
    // Quiet mode logs it and cancels.
    std::optional<std::string> GetOpenFileName(const OpenFileRequest& request);
    // The same, keeping the chosen filter entry in request.filter_index.
    std::optional<std::string> GetOpenFileName(OpenFileRequest& request);
    // Shows a save-file dialog; the chosen path (request.filter_index the
    // chosen filter entry), or nothing when cancelled. Quiet mode cancels.
    std::optional<std::string> GetSaveFileName(OpenFileRequest& request);

    // Quiet mode: boxes are logged and answered with their default.
    void set_quiet(bool on) { quiet_ = on; }
    bool quiet() const { return quiet_; }
    // Quiet mode: a window of the program's own that would wait for the
    // user is not shown; it is logged as cancelled.
    void quiet_window(const std::string& caption) { log("Window [" + caption + "] -> cancelled"); }
    // Where quiet boxes are logged (default: standard error).
    void set_log(std::function<void(const std::string&)> log) { log_ = std::move(log); }

protected:
    // The implementation's own box; only called outside quiet mode.
    virtual int show_msgbox(const std::string& prompt, int style, const std::string& title) = 0;
    // Returns false when the user cancelled.
    virtual bool show_inputbox(const std::string& prompt, const std::string& title,
                               const std::string& default_text, std::string& answer) = 0;
    // Returns false when the user cancelled (the default: no file dialog).
    virtual bool show_open(OpenFileRequest& request, std::string& path);
    virtual bool show_save(OpenFileRequest& request, std::string& path);

    // A box answered in quiet mode; the default writes it to the log.
    virtual void quiet_msgbox(const std::string& prompt, int style, const std::string& title, int answer);
    virtual void quiet_inputbox(const std::string& prompt, const std::string& title,
                                const std::string& default_text);
    virtual void quiet_open(const OpenFileRequest& request, bool save = false);
    void log(const std::string& line);

private:
    bool quiet_ = false;
    std::function<void(const std::string&)> log_;
};

} // namespace platform
