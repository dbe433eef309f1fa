// The clipboard as the program uses it: plain text only. The Qt one sits on
// the system clipboard; the in-memory one serves tests and the probe.
#pragma once

#include <memory>
#include <string>

namespace platform {

class Clipboard {
public:
    virtual ~Clipboard() = default;
    // The clipboard's text ("" when it holds none).
    virtual std::string GetText() const = 0;
    virtual void SetText(const std::string& text) = 0;
    virtual void Clear() = 0;
};

class MemoryClipboard : public Clipboard {
public:
    std::string GetText() const override { return text_; }
    void SetText(const std::string& text) override { text_ = text; }
    void Clear() override { text_.clear(); }

private:
    std::string text_;
};

// The system clipboard (QGuiApplication's); needs a running application.
std::unique_ptr<Clipboard> make_qt_clipboard();

} // namespace platform
