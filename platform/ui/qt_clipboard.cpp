#include "platform/ui/clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace platform {

namespace {

class QtClipboard : public Clipboard {
public:
    std::string GetText() const override { return QGuiApplication::clipboard()->text().toStdString(); }
    void SetText(const std::string& text) override
    {
        QGuiApplication::clipboard()->setText(QString::fromStdString(text));
    }
    void Clear() override { QGuiApplication::clipboard()->clear(); }
};

} // namespace

std::unique_ptr<Clipboard> make_qt_clipboard() { return std::make_unique<QtClipboard>(); }

} // namespace platform
