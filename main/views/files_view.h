// The Qt views of the File menu's small modal windows: "Output Shape",
// "Feature Type", "Identify Fields" and "Add World Files", each drawn from
// its dialog's state and handing every choice back to it.
#pragma once

class QWidget;

namespace files {
struct frmShape;
struct frmFeatureType;
struct frmFields;
class FileFrontEnd;
class TableFiles;
} // namespace files

namespace app {

class frmMain;

// Each shows its dialog modally over `parent` and returns once it is
// answered: OK through the dialog's handler, the close box (or Escape) as
// the dialog's own close or Cancel.
void show_shape_dialog(files::frmShape& f, QWidget* parent);
void show_feature_type_dialog(files::frmFeatureType& f, QWidget* parent);
void show_fields_dialog(files::frmFields& f, QWidget* parent);
void show_world_files_dialog(files::TableFiles& tf, QWidget* parent);

// Points the file front end's dialog hooks of `main` at these views.
void bind_file_views(frmMain& main, QWidget* parent);

} // namespace app
