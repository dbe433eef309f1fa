#include "platform/ui/clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>

namespace platform {

namespace {

class QtClipboard : public Clipboard {
public:
    std::string GetText() const override { return QGuiApplication::clipboard()->text().toStdString(); }
    void SetText(const std::string& text) override
    {
        QGuiApplication::clipboard()->setText(QString::fromStdString(text));
    }
    Image GetImage() const override
    {
        QImage q = QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_ARGB32);
        Image out;
        if (q.isNull()) return out;
        out.width = q.width();
        out.height = q.height();
        out.pixels.reserve(std::size_t(out.width) * std::size_t(out.height));
        for (int y = 0; y < q.height(); ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(q.constScanLine(y));
            out.pixels.insert(out.pixels.end(), row, row + q.width());
        }
        return out;
    }
    void SetImage(const Image& image) override { QGuiApplication::clipboard()->setImage(to_qimage(image)); }
    void Clear() override { QGuiApplication::clipboard()->clear(); }
};

} // namespace

QImage to_qimage(const Image& image)
{
    if (image.empty()) return {};
    QImage q(image.width, image.height, QImage::Format_ARGB32);
    for (int y = 0; y < image.height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(q.scanLine(y));
        for (int x = 0; x < image.width; ++x) row[x] = image.at(x, y);
    }
    return q;
}

std::unique_ptr<Clipboard> make_qt_clipboard() { return std::make_unique<QtClipboard>(); }

} // namespace platform
