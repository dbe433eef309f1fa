// The pixel size of a photo, read from its header by Qt's image reader.
#include "main/hotlink/hotlink.h"
#include "platform/ui/dialogs.h"

#include <QImageReader>

namespace hotlink {

bool getImageDimensions(platform::Dialogs& dialogs, const std::string& path, int& width, int& height)
{
    QImageReader reader(QString::fromStdString(path));
    const QSize size = reader.size();
    if (size.isValid() && size.width() > 0 && size.height() > 0) {
        width = size.width();
        height = size.height();
        return true;
    }
    // Error 481 "Invalid picture" as the picture loader reports it.
    const std::string reason = reader.errorString().toStdString();
    dialogs.MsgBox("Error 481: Invalid picture (" + reason + "). Source: frmHotlinking.getImageDimensions",
                   platform::vbOKOnly, "frmHotlinking.getImageDimensions");
    return false;
}

} // namespace hotlink
