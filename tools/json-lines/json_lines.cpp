#include "tools/json-lines/json_lines.h"

#include "platform/text/vb.h"

#include <iostream>

namespace json_lines {

namespace vb = platform::vb;

void print_line(const json& j) { std::cout << j.dump(-1, ' ', false, json::error_handler_t::replace) << std::endl; }
// A line written out with the next other line (or at exit): a load sets the
// status line once or twice per row, and a write per row would cost as much
// as the load itself.
void print_status(const std::string& text)
{
    std::cout << R"({"status":)" << json(text).dump(-1, ' ', false, json::error_handler_t::replace) << "}\n";
}

int ProbeDialogs::show_msgbox(const std::string& prompt, int style, const std::string& title)
{
    int result = platform::msgbox_default_answer(style);
    bool queued = !answers.empty();
    if (queued) {
        std::string word = answers.front();
        answers.pop_front();
        if (int r = button_of(word, style))
            result = r;
        else if (!misfit)
            misfit = "answer \"" + word + "\" fits no button of the box \"" + prompt + "\"";
    }
    print_box(prompt, style, title, result, queued);
    return result;
}

bool ProbeDialogs::show_open(platform::OpenFileRequest& request, std::string& path) { return file(request, path, "open"); }
bool ProbeDialogs::show_save(platform::OpenFileRequest& request, std::string& path) { return file(request, path, "save"); }

bool ProbeDialogs::file(platform::OpenFileRequest& request, std::string& path, const char* kind)
{
    bool queued = !answers.empty();
    if (queued) {
        path = answers.front();
        answers.pop_front();
    }
    int preset = request.filter_index;
    if (filter) request.filter_index = *filter, filter.reset();
    print_line({{"dialog", kind}, {"filter", request.filter}, {"filterindex", preset}, {"answer", path},
                {"answerindex", request.filter_index}});
    return !path.empty();
}

bool ProbeDialogs::show_inputbox(const std::string& prompt, const std::string& title, const std::string& default_text,
                                 std::string& answer)
{
    bool queued = !answers.empty();
    answer = default_text;
    if (queued) {
        answer = answers.front();
        answers.pop_front();
    }
    print_line({{"box", prompt}, {"title", title}, {"input", default_text}, {"answer", answer}, {"queued", queued}});
    return !answer.empty() || !queued;
}

void ProbeDialogs::quiet_msgbox(const std::string& prompt, int style, const std::string& title, int answer)
{
    print_box(prompt, style, title, answer, false);
}

void ProbeDialogs::quiet_inputbox(const std::string& prompt, const std::string& title, const std::string& default_text)
{
    print_line({{"box", prompt}, {"title", title}, {"input", default_text}, {"answer", default_text}, {"queued", false}});
}

const char* ProbeDialogs::name_of(int result)
{
    static const char* const names[] = {"", "OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No"};
    return result >= 1 && result <= 7 ? names[result] : "";
}

// The answer of a button word the box offers ("" is its Cancel); 0 when none.
int ProbeDialogs::button_of(const std::string& word, int style)
{
    static const std::vector<int> sets[] = {{platform::vbOK},
                                            {platform::vbOK, platform::vbCancel},
                                            {platform::vbAbort, platform::vbRetry, platform::vbIgnore},
                                            {platform::vbYes, platform::vbNo, platform::vbCancel},
                                            {platform::vbYes, platform::vbNo},
                                            {platform::vbRetry, platform::vbCancel}};
    int b = platform::msgbox_buttons(style);
    for (int r : sets[b < 6 ? b : 0])
        if (word.empty() ? r == platform::vbCancel : vb::LCase(word) == vb::LCase(name_of(r))) return r;
    return 0;
}

void ProbeDialogs::print_box(const std::string& prompt, int style, const std::string& title, int answer, bool queued)
{
    print_line({{"box", prompt}, {"title", title}, {"style", style}, {"answer", name_of(answer)}, {"queued", queued}});
}

bool PrintingLauncher::Start(const std::vector<std::string>& argv)
{
    print_line({{"launch", argv}});
    return next_ ? next_->Start(argv) : true;
}

} // namespace json_lines
