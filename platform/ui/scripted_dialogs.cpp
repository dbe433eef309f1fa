#include "platform/ui/scripted_dialogs.h"

namespace platform {

int ScriptedDialogs::show_msgbox(const std::string& prompt, int style, const std::string& title)
{
    int result = msgbox_default_answer(style);
    if (!answers_.empty()) {
        result = answers_.front();
        answers_.pop_front();
    }
    boxes_.push_back(Box{Box::Message, prompt, title, style, {}, result, {}});
    return result;
}

bool ScriptedDialogs::show_inputbox(const std::string& prompt, const std::string& title,
                                    const std::string& default_text, std::string& answer)
{
    bool ok = true;
    answer = default_text;
    if (!inputs_.empty()) {
        ok = !inputs_.front().cancel;
        answer = ok ? inputs_.front().text : std::string();
        inputs_.pop_front();
    }
    boxes_.push_back(Box{Box::Input, prompt, title, 0, default_text, 0, answer});
    return ok;
}

bool ScriptedDialogs::show_open(OpenFileRequest& request, std::string& path)
{
    return show_file(request, path, Box::OpenFile);
}

bool ScriptedDialogs::show_save(OpenFileRequest& request, std::string& path)
{
    return show_file(request, path, Box::SaveFile);
}

bool ScriptedDialogs::show_file(OpenFileRequest& request, std::string& path, Box::Kind kind)
{
    last_open_ = request;
    bool ok = !files_.empty() && !files_.front().cancel;
    path = ok ? files_.front().text : std::string();
    if (ok && files_.front().index > 0) request.filter_index = files_.front().index;
    if (!files_.empty()) files_.pop_front();
    boxes_.push_back(Box{kind, request.filter, request.title, 0, request.initial_folder, 0, path});
    return ok;
}

void ScriptedDialogs::quiet_msgbox(const std::string& prompt, int style, const std::string& title, int answer)
{
    Dialogs::quiet_msgbox(prompt, style, title, answer);
    boxes_.push_back(Box{Box::Message, prompt, title, style, {}, answer, {}});
}

void ScriptedDialogs::quiet_inputbox(const std::string& prompt, const std::string& title,
                                     const std::string& default_text)
{
    Dialogs::quiet_inputbox(prompt, title, default_text);
    boxes_.push_back(Box{Box::Input, prompt, title, 0, default_text, 0, default_text});
}

} // namespace platform
