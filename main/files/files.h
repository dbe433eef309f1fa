// Data file formats as the main window reaches them: the File menu's load
// and save entries and the world files for hotlinked images.
#pragma once

#include <memory>
#include <string>

namespace app { class frmMain; }

namespace files {

class FileFormats {
public:
    virtual ~FileFormats() = default;
    // mnuFileL (Load From File...), mnuAFile (Save To File...),
    // mnuAddWorldFile.
    virtual void menu_Click(const std::string& name, int index) = 0;
};

std::unique_ptr<FileFormats> make_file_formats(app::frmMain& main);

} // namespace files
