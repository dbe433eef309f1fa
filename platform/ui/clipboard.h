// The clipboard as the program uses it: text, or one picture. The Qt one
// sits on the system clipboard; the in-memory one serves tests and the
// probe.
#pragma once

#include "platform/ui/image.h"

#include <memory>
#include <string>

namespace platform {

class Clipboard {
public:
    virtual ~Clipboard() = default;
    // The clipboard's text ("" when it holds none).
    virtual std::string GetText() const = 0;
    virtual void SetText(const std::string& text) = 0;
    // The clipboard's picture (empty when it holds none).
    virtual Image GetImage() const = 0;
    virtual void SetImage(const Image& image) = 0;
    virtual void Clear() = 0;
};

class MemoryClipboard : public Clipboard {
public:
    std::string GetText() const override { return text_; }
    void SetText(const std::string& text) override
    {
        text_ = text;
        image_ = {};
    }
    Image GetImage() const override { return image_; }
    void SetImage(const Image& image) override
    {
        image_ = image;
        text_.clear();
    }
    void Clear() override
    {
        text_.clear();
        image_ = {};
    }

private:
    std::string text_;
    Image image_;
};

// The system clipboard (QGuiApplication's); needs a running application.
std::unique_ptr<Clipboard> make_qt_clipboard();

} // namespace platform
