#include "platform/ui/printer.h"

#include "platform/settings/stored_file.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QPrinter>

namespace platform {

namespace {

class PngPrinter : public Printer {
public:
    explicit PngPrinter(std::string folder) : folder_(std::move(folder)) {}
    bool PrintPage(const Image& page, std::string& reason) override
    {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (page.empty() || !to_qimage(page).save(&buffer, "PNG")) {
            reason = "the page holds no picture";
            return false;
        }
        const std::string path = folder_ + "/page-" + std::to_string(++count_) + ".png";
        return save_stored_file(path, std::string_view(bytes.constData(), std::size_t(bytes.size())), reason, 0644);
    }

private:
    std::string folder_;
    int count_ = 0;
};

class QtPrinter : public Printer {
public:
    bool PrintPage(const Image& page, std::string& reason) override
    {
        QPrinter printer(QPrinter::HighResolution);
        QPainter painter;
        if (!painter.begin(&printer)) {
            reason = "no printer could be opened";
            return false;
        }
        // The picture at the screen's size: 96 pixels an inch.
        const double scale = printer.resolution() / 96.0;
        painter.scale(scale, scale);
        painter.drawImage(0, 0, to_qimage(page));
        return painter.end();
    }
};

} // namespace

std::unique_ptr<Printer> make_png_printer(const std::string& folder) { return std::make_unique<PngPrinter>(folder); }
std::unique_ptr<Printer> make_qt_printer() { return std::make_unique<QtPrinter>(); }

} // namespace platform
