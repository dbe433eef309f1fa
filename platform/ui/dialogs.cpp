#include "platform/ui/dialogs.h"

#include <iostream>

namespace platform {

namespace {

// Answers of each button set, in button order.
struct ButtonSet {
    int count;
    int answers[3];
    const char* names;
};

const ButtonSet& button_set(int style)
{
    static const ButtonSet sets[] = {
        {1, {vbOK, 0, 0}, "OK"},
        {2, {vbOK, vbCancel, 0}, "OK/Cancel"},
        {3, {vbAbort, vbRetry, vbIgnore}, "Abort/Retry/Ignore"},
        {3, {vbYes, vbNo, vbCancel}, "Yes/No/Cancel"},
        {2, {vbYes, vbNo, 0}, "Yes/No"},
        {2, {vbRetry, vbCancel, 0}, "Retry/Cancel"},
    };
    int b = msgbox_buttons(style);
    return sets[b < 6 ? b : 0];
}

} // namespace

int msgbox_default_answer(int style)
{
    const ButtonSet& set = button_set(style);
    int which = (style & vbDefaultButton3) ? 2 : (style & vbDefaultButton2) ? 1 : 0;
    if (which >= set.count)
        which = 0;
    return set.answers[which];
}

std::string msgbox_describe(const std::string& text, int style, const std::string& title)
{
    return "[" + title + "] " + text + " (" + button_set(style).names + ")";
}

int Dialogs::MsgBox(const std::string& prompt, int style, const std::string& title)
{
    if (quiet_) {
        int answer = msgbox_default_answer(style);
        quiet_msgbox(prompt, style, title, answer);
        return answer;
    }
    return show_msgbox(prompt, style, title);
}

std::string Dialogs::InputBox(const std::string& prompt, const std::string& title,
                              const std::string& default_text)
{
    if (quiet_) {
        quiet_inputbox(prompt, title, default_text);
        return default_text;
    }
    std::string answer;
    if (!show_inputbox(prompt, title, default_text, answer))
        return {};
    return answer;
}

std::optional<std::string> Dialogs::GetOpenFileName(const OpenFileRequest& request)
{
    OpenFileRequest copy = request;
    return GetOpenFileName(copy);
}

std::optional<std::string> Dialogs::GetOpenFileName(OpenFileRequest& request)
{
    if (quiet_) {
        quiet_open(request);
        return std::nullopt;
    }
    std::string path;
    if (!show_open(request, path)) return std::nullopt;
    return path;
}

std::optional<std::string> Dialogs::GetSaveFileName(OpenFileRequest& request)
{
    if (quiet_) {
        quiet_open(request, true);
        return std::nullopt;
    }
    std::string path;
    if (!show_save(request, path)) return std::nullopt;
    return path;
}

bool Dialogs::show_open(OpenFileRequest&, std::string&) { return false; }
bool Dialogs::show_save(OpenFileRequest&, std::string&) { return false; }

void Dialogs::quiet_open(const OpenFileRequest& request, bool save)
{
    log(std::string(save ? "Save [" : "Open [") + request.title + "] " + request.filter + " -> cancelled");
}

void Dialogs::quiet_msgbox(const std::string& prompt, int style, const std::string& title, int)
{
    log("MsgBox " + msgbox_describe(prompt, style, title));
}

void Dialogs::quiet_inputbox(const std::string& prompt, const std::string& title, const std::string& default_text)
{
    log("InputBox [" + title + "] " + prompt + " -> " + default_text);
}

void Dialogs::log(const std::string& line)
{
    if (log_)
        log_(line);
    else
        std::cerr << line << '\n';
}

} // namespace platform
