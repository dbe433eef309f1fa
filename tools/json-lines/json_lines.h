// The JSON-line conventions shared by our command-line drivers
// (trekfold-probe, maphost): one JSON object per line on standard output,
// message boxes answered from a queue of answer words and printed, programs
// reported instead of (or as well as) started.
#pragma once

#include "platform/launcher/launcher.h"
#include "platform/ui/dialogs.h"

#include <nlohmann/json.hpp>

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace json_lines {

using json = nlohmann::ordered_json; // keys in the order written

// One line, flushed.
void print_line(const json& j);
// {"status":TEXT}, written out with the next other line (or at exit): a
// load sets the status line once or twice per row, and a write per row
// would cost as much as the load itself.
void print_status(const std::string& text);

// Boxes answered from one queue of answer words and printed:
//   {"box":TEXT,"title":T,"style":N,"answer":BUTTON,"queued":B}
// input boxes {"box","title","input","answer","queued"}, file dialogs
// {"dialog":"open"|"save","filter","filterindex","answer","answerindex"}.
// An answer word names a button ("Yes", "ok": any case; "" is Cancel).
class ProbeDialogs : public platform::Dialogs {
public:
    std::deque<std::string> answers;
    std::optional<std::string> misfit; // an answer that fitted no button
    std::optional<int> filter;         // "filter N": the index the next file dialog answers with

protected:
    int show_msgbox(const std::string& prompt, int style, const std::string& title) override;
    bool show_open(platform::OpenFileRequest& request, std::string& path) override;
    bool show_save(platform::OpenFileRequest& request, std::string& path) override;
    bool show_inputbox(const std::string& prompt, const std::string& title, const std::string& default_text,
                       std::string& answer) override;
    void quiet_msgbox(const std::string& prompt, int style, const std::string& title, int answer) override;
    void quiet_inputbox(const std::string& prompt, const std::string& title, const std::string& default_text) override;

private:
    bool file(platform::OpenFileRequest& request, std::string& path, const char* kind);
    static const char* name_of(int result);
    static int button_of(const std::string& word, int style);
    static void print_box(const std::string& prompt, int style, const std::string& title, int answer, bool queued);
};

// Prints {"launch":[ARGS]} for every program asked for; starts it too
// through `next` when one is given.
class PrintingLauncher : public platform::Launcher {
public:
    explicit PrintingLauncher(platform::Launcher* next = nullptr) : next_(next) {}
    bool Start(const std::vector<std::string>& argv) override;

private:
    platform::Launcher* next_;
};

} // namespace json_lines
