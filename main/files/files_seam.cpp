// Data file formats as far as they are built: the File menu's load and save
// entries do nothing yet.
#include "main/files/files.h"

namespace files {
namespace {

class FilesSeam : public FileFormats {
public:
    void menu_Click(const std::string&, int) override {}
};

} // namespace

std::unique_ptr<FileFormats> make_file_formats(app::frmMain&) { return std::make_unique<FilesSeam>(); }

} // namespace files
