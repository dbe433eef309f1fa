// The Dialogs and Cursor services on Qt Widgets: message boxes
// (QMessageBox), input boxes (QInputDialog), open-file dialogs
// (QFileDialog) and the hourglass as the
// application's override cursor.
#pragma once

#include "platform/ui/cursor.h"
#include "platform/ui/dialogs.h"

class QWidget;

namespace platform {

class QtDialogs : public Dialogs {
public:
    // Boxes are owned by `parent` (may be null) and titled "Trekfold" when
    // the caller gives no title.
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void set_parent(QWidget* parent) { parent_ = parent; }

protected:
    int show_msgbox(const std::string& prompt, int style, const std::string& title) override;
    bool show_inputbox(const std::string& prompt, const std::string& title, const std::string& default_text,
                       std::string& answer) override;
    bool show_open(OpenFileRequest& request, std::string& path) override;
    bool show_save(OpenFileRequest& request, std::string& path) override;

private:
    bool show_file(OpenFileRequest& request, std::string& path, bool save);
    QWidget* parent_;
};

class QtCursor : public Cursor {
public:
    ~QtCursor() override;
    void set_pointer(int pointer) override;
    int pointer() const override { return pointer_; }

private:
    int pointer_ = vbDefault;
};

} // namespace platform
