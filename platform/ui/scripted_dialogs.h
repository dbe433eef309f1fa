// Dialogs for tests: every box is recorded and answered from a queue, or
// with its default when the queue is empty.
#pragma once

#include "platform/ui/dialogs.h"

#include <deque>
#include <string>
#include <vector>

namespace platform {

class ScriptedDialogs : public Dialogs {
public:
    struct Box {
        enum Kind { Message, Input, OpenFile, SaveFile } kind;
        std::string text;
        std::string title;
        int style = 0;            // message boxes: buttons + icon
        std::string default_text; // input boxes; file dialogs: the initial folder
        int answer = 0;           // message boxes
        std::string input;        // input boxes: the text returned; file dialogs: the path
        int buttons() const { return msgbox_buttons(style); }
        int icon() const { return msgbox_icon(style); }
    };

    // Answers for the next message boxes, in order.
    void answer(int result) { answers_.push_back(result); }
    // Texts for the next input boxes; cancel = true answers with Cancel.
    void input(std::string text, bool cancel = false) { inputs_.push_back({std::move(text), cancel}); }
    // Paths for the next file dialogs; cancel = true (or none queued) cancels.
    // `index` (from 1) is the filter entry chosen; 0 keeps the preset one.
    void file(std::string path, bool cancel = false, int index = 0)
    {
        files_.push_back({std::move(path), cancel, index});
    }
    // The request of the last file dialog.
    const OpenFileRequest& last_open() const { return last_open_; }

    // Every box shown so far, quiet ones included.
    const std::vector<Box>& boxes() const { return boxes_; }
    const Box* last() const { return boxes_.empty() ? nullptr : &boxes_.back(); }
    void clear() { boxes_.clear(); }

protected:
    int show_msgbox(const std::string& prompt, int style, const std::string& title) override;
    bool show_inputbox(const std::string& prompt, const std::string& title, const std::string& default_text,
                       std::string& answer) override;
    bool show_open(OpenFileRequest& request, std::string& path) override;
    bool show_save(OpenFileRequest& request, std::string& path) override;
    void quiet_msgbox(const std::string& prompt, int style, const std::string& title, int answer) override;
    void quiet_inputbox(const std::string& prompt, const std::string& title,
                        const std::string& default_text) override;

private:
    struct Input {
        std::string text;
        bool cancel;
        int index = 0;
    };
    bool show_file(OpenFileRequest& request, std::string& path, Box::Kind kind);
    std::deque<int> answers_;
    std::deque<Input> inputs_;
    std::deque<Input> files_;
    OpenFileRequest last_open_;
    std::vector<Box> boxes_;
};

} // namespace platform
