#include "main/hotlink/frm_hotlinking.h"

#include "main/app/frm_main.h"
#include "main/hotlink/frm_time_calibrate.h"
#include "main/table/table.h"
#include "platform/automation/vb_error.h"
#include "platform/folders/folders.h"
#include "platform/settings/settings.h"
#include "platform/text/vb.h"
#include "platform/ui/dialogs.h"

#include <QImage>
#include <QImageReader>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hotlink {

namespace vb = platform::vb;
using platform::VbError;
using app::DialogControl;

namespace {

constexpr int kMinWidth = 8500, kMinHeight = 5500;
const char* const kSection = "hotlink";

DialogControl make(const char* name, DialogControl::Kind kind, const char* caption = "", const char* tip = "")
{
    DialogControl c;
    c.name = name;
    c.kind = kind;
    c.caption = caption;
    c.tooltip = tip;
    return c;
}

app::MenuItem menu(const char* name, const char* caption, std::vector<app::MenuItem> children = {})
{
    app::MenuItem m;
    m.name = name;
    m.caption = caption;
    m.children = std::move(children);
    return m;
}

// A folder path as Dir1 keeps it: no trailing "/" but on the root.
std::string trimmed(std::string path)
{
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string working_folder()
{
    std::error_code ec;
    std::string cwd = std::filesystem::current_path(ec).string();
    return ec ? std::string("/") : cwd;
}

// The sub-folders of a folder for the folder list ("..", then by name);
// an unreadable folder shows none.
std::vector<std::string> sub_folders(const std::string& folder)
{
    std::vector<std::string> out;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code e2;
        const std::string name = it->path().filename().string();
        if (!name.empty() && name[0] != '.' && it->is_directory(e2)) out.push_back(name);
    }
    std::sort(out.begin(), out.end());
    if (folder != "/") out.insert(out.begin(), "..");
    return out;
}

// The last `n` characters of a UTF-8 text (the whole text when shorter).
std::string last_chars(const std::string& s, int n)
{
    std::size_t at = s.size();
    while (at > 0 && n > 0) {
        --at;
        if ((static_cast<unsigned char>(s[at]) & 0xC0) != 0x80) --n;
    }
    return s.substr(at);
}

} // namespace

frmHotlinking::frmHotlinking(app::frmMain& main, ImagingServer& server) : main_(main), server_(server)
{
    using K = DialogControl::Kind;
    controls_ = {
        make("Drive1", K::Combo),
        make("Dir1", K::List),
        make("lblFileType", K::Label, "Image Type: "),
        make("cboFileType", K::Combo),
        make("msfgTable", K::Grid),
        make("chkPreview", K::Check, "Image Preview"),
        make("pictPreview", K::Picture),
        make("fraDateMatch", K::Frame, "Date Match:"),
        make("optBestMatch", K::Option, "Best Date Match"),
        make("optNonDate", K::Option, "Non-Date Match"),
        make("lblTimeMatchCaption", K::Label, "Time-Match Threshold (h:m:s) "),
        make("lblTimeMatch", K::Label, "1:0:0", "Click to Edit"),
        make("cmdTimeThreshold", K::Button, "..."),
        make("lblTimeCalibrationCaption", K::Label, "Calibration (seconds) "),
        make("lblTimeCalibration", K::Label, "0", "Click to Edit"),
        make("cmdSetCalibration", K::Button, "..."),
        make("cmdUp", K::Button, "Up", "Move Selected Record Up"),
        make("cmdDown", K::Button, "Down", "Move Selected Record Down"),
        make("cmdDeleteSel", K::Button, "Delete", "Deletes selected row(s)"),
        make("cmdCopy", K::Button, "Copy"),
        make("cmdMatch", K::Button, "Match"),
        make("cmdCancel", K::Button, "Close"),
    };
    control("cboFileType").items = {"*.bmp", "*.gif", "*.jpg", "*.tif", "*.wmf"};
    control("cboFileType").text = "*.jpg";
    control("chkPreview").value = true;
    control("optBestMatch").value = true;
    control("optBestMatch").frame = control("optNonDate").frame = "fraDateMatch";
    menus_ = {menu("mnuFile", "File", {menu("mnuRenameFile", "Rename Selected Image"), menu("mnuExit", "Exit")}),
              menu("mnuEdit", "Edit",
                   {menu("mnuCopy", "Copy"), menu("mnuDelete", "Delete Row(s)"), menu("mnuMoveUp", "Move Row Up"),
                    menu("mnuMoveDown", "Move Row Down"), menu("mnuTimeProperties", "Time Properties"),
                    menu("mnuRefreshMatch", "Refresh Match Field")})};
    msfgTable.SetFixedCols(0);
    calibrate_ = std::make_unique<frmTimeCalibrate>([this](const std::string& name) -> DialogControl& { return control(name); },
                                                    [this] { changed(); });
    layout();
}

frmHotlinking::~frmHotlinking() = default;

// ---------------------------------------------------------------- lookup

DialogControl* frmHotlinking::find(const std::string& name)
{
    for (auto& c : controls_)
        if (c.name == name) return &c;
    return nullptr;
}

const DialogControl& frmHotlinking::control(const std::string& name) const
{
    for (const auto& c : controls_)
        if (c.name == name) return c;
    throw std::out_of_range("no control " + name);
}

DialogControl& frmHotlinking::control(const std::string& name)
{
    if (DialogControl* c = find(name)) return *c;
    throw std::out_of_range("no control " + name);
}

app::MenuItem* frmHotlinking::find_menu(const std::string& name)
{
    for (auto& top : menus_)
        for (auto& m : top.children)
            if (m.name == name) return &m;
    return nullptr;
}

int frmHotlinking::column(const std::string& header) const
{
    for (int c = 0; c < msfgTable.Cols(); ++c)
        if (vb::SameLCase(msfgTable.TextMatrix(0, c), header)) return c;
    return -1;
}

void frmHotlinking::error_box(const std::string& procedure, const VbError& e)
{
    // Run-time errors raised here carry no source of their own: the
    // program's name stands for it, as for any run-time error.
    const std::string source = e.source.empty() ? "Trekfold" : e.source;
    main_.dialogs().MsgBox("Error " + std::to_string(e.number) + ": " + e.description + ". Source: " + source,
                           platform::vbCritical, "frmHotlinking." + procedure);
}

template <class F>
void frmHotlinking::trapped(const char* procedure, F body)
{
    try {
        body();
    } catch (const VbError& e) {
        error_box(procedure, e);
    } catch (const std::bad_alloc&) {
        error_box(procedure, platform::OutOfMemory());
    }
}

void frmHotlinking::Activate() { main_.state().active_window = Name(); }

// ---------------------------------------------------------------- the face

void frmHotlinking::Show()
{
    if (!loaded_) {
        loaded_ = true;
        Form_Load();
    }
    visible_ = true;
    Activate();
    changed();
}

frmHotlinking::Result frmHotlinking::Click(const std::string& name, int)
{
    if (app::MenuItem* m = find_menu(name)) {
        if (!m->enabled) return Disabled;
        Activate();
        if (name == "mnuRenameFile") msfgTable_dblClick();
        else if (name == "mnuExit") Form_Unload();
        else if (name == "mnuCopy") cmdCopy_Click();
        else if (name == "mnuDelete") cmdDeleteSel_Click();
        else if (name == "mnuMoveUp") cmdUp_Click();
        else if (name == "mnuMoveDown") cmdDown_Click();
        else if (name == "mnuTimeProperties") calibrate_->Show();
        else if (name == "mnuRefreshMatch") checkForExistingHotlink();
        changed();
        return Done;
    }
    DialogControl* c = find(name);
    if (!c) return NoControl;
    if (!c->enabled) return Disabled;
    Activate();
    if (name == "cmdUp") cmdUp_Click();
    else if (name == "cmdDown") cmdDown_Click();
    else if (name == "cmdDeleteSel") cmdDeleteSel_Click();
    else if (name == "cmdCopy") cmdCopy_Click();
    else if (name == "cmdMatch") cmdMatch_Click();
    else if (name == "cmdCancel") Form_Unload();
    else if (name == "optBestMatch") optBestMatch_Click();
    else if (name == "optNonDate") optNonDate_Click();
    else if (name == "chkPreview") SetValue(name, !c->value);
    else if (name == "cmdSetCalibration" || name == "cmdTimeThreshold" || name == "lblTimeCalibration" ||
             name == "lblTimeMatch")
        calibrate_->Show();
    else
        return NoControl;
    changed();
    return Done;
}

frmHotlinking::Result frmHotlinking::SetValue(const std::string& name, bool checked)
{
    DialogControl* c = find(name);
    if (!c || (c->kind != DialogControl::Check && c->kind != DialogControl::Option)) return NoControl;
    if (!c->enabled) return Disabled;
    Activate();
    if (c->kind == DialogControl::Option) return checked ? Click(name) : Done;
    if (c->value != checked) {
        c->value = checked;
        chkPreview_Click();
    }
    changed();
    return Done;
}

frmHotlinking::Result frmHotlinking::SetText(const std::string& name, const std::string& text)
{
    DialogControl* c = find(name);
    if (!c || (name != "Dir1" && name != "Drive1" && name != "cboFileType")) return NoControl;
    if (!c->enabled) return Disabled;
    if (name != "Dir1" && std::find(c->items.begin(), c->items.end(), text) == c->items.end()) return NoItem;
    Activate();
    if (name == "Dir1") {
        c->text = trimmed(text);
        Dir1_Change();
    } else if (name == "Drive1") {
        c->text = text;
        Drive1_Change();
    } else {
        c->text = text;
        cboFileType_Click();
    }
    changed();
    return Done;
}

frmHotlinking::Result frmHotlinking::Resize(int width, int height)
{
    Width = width;
    Height = height;
    Form_Resize();
    changed();
    return Done;
}

bool frmHotlinking::in_table(int row, int col, int row_sel, int col_sel) const
{
    const platform::Grid& g = msfgTable;
    return row >= 0 && col >= 0 && row < g.Rows() && col < g.Cols() && row_sel >= 0 && col_sel >= 0 &&
           row_sel < g.Rows() && col_sel < g.Cols();
}

void frmHotlinking::move_to(int row, int col, int row_sel, int col_sel)
{
    platform::Grid& g = msfgTable;
    const bool moved = g.Row() != row || g.Col() != col;
    g.SetRow(row);
    g.SetCol(col);
    g.SetRowSel(row_sel);
    g.SetColSel(col_sel);
    if (moved) msfgTable_EnterCell();
    follow_current();
}

std::string frmHotlinking::current_photo() const
{
    const platform::Grid& g = msfgTable;
    const int name = column("FileName");
    if (!control("chkPreview").value || name < 0 || g.Row() < g.FixedRows()) return {};
    const std::string& file = g.TextMatrix(g.Row(), name);
    return file.empty() ? std::string() : folder() + "/" + file;
}

void frmHotlinking::follow_current()
{
    if (preview_.empty() || previewed_ == current_photo()) return;
    preview_ = {};
    previewed_.clear();
    msfgTable_EnterCell();
}

frmHotlinking::Result frmHotlinking::CellClick(const std::string& grid, int row, int col, int row_sel, int col_sel,
                                               bool twice)
{
    if (grid != "msfgTable") return NoControl;
    platform::Grid& g = msfgTable;
    if (!in_table(row, col, row_sel, col_sel)) return NoItem;
    Activate();
    if (row >= g.FixedRows()) move_to(row, col, row_sel, col_sel);
    g.set_mouse(row, col);
    if (twice)
        msfgTable_dblClick();
    else
        msfgTable_Click();
    changed();
    return Done;
}

frmHotlinking::Result frmHotlinking::CellMove(const std::string& grid, int row, int col, int row_sel, int col_sel)
{
    if (grid != "msfgTable") return NoControl;
    if (!in_table(row, col, row_sel, col_sel) || row < msfgTable.FixedRows()) return NoItem;
    move_to(row, col, row_sel, col_sel);
    changed();
    return Done;
}

// ---------------------------------------------------------------- handlers

void frmHotlinking::Form_Load()
{
    trapped("Form_Load", [&] {
        platform::Grid& g = msfgTable;
        g.SetRows(2);
        g.SetCols(3);
        g.SetFixedRows(1);
        g.SetFixedCols(0);
        g.SetTextMatrix(0, 0, "FileName");
        g.SetTextMatrix(0, 1, "InternalDate");
        g.SetTextMatrix(0, 2, "GPSMatch");
        g.SetRow(1);
        g.SetCol(0);
        platform::Settings& s = main_.settings();
        control("lblTimeCalibration").caption = s.GetSetting(kSection, "calibration", "0");
        control("lblTimeMatch").caption = s.GetSetting(kSection, "threshold", "1:0:0");
        main_.state().hotlink_sort = true;
        hotlinks_.clear();
        // The folder list starts at the working folder, the drive list at
        // the drive that holds it.
        DialogControl& drive = control("Drive1");
        drive.items = platform::Drive_List();
        const std::string cwd = working_folder();
        drive.text = platform::Drive_Of(cwd, drive.items);
        control("Dir1").text = cwd;
        Dir1_Change();
        main_.table().Columns_AutoFit(msfgTable);
        checkForExistingHotlink();
    });
    Form_Resize();
}

void frmHotlinking::Form_Resize()
{
    if (WindowState == 1) return;
    Width = std::max(Width, kMinWidth);
    Height = std::max(Height, kMinHeight);
    layout();
}

void frmHotlinking::layout()
{
    auto place = [this](const char* name, int left, int top, int width, int height) {
        DialogControl& c = control(name);
        c.left = left, c.top = top, c.width = width, c.height = height;
    };
    const int W = Width, H = Height;
    place("msfgTable", 240, 120, W - 500, H - 3500);
    const int y = H - 3260; // the band under the list
    place("Drive1", 240, y, 2400, 315);
    place("Dir1", 240, y + 400, 2400, 1700);
    place("lblFileType", 240, y + 2200, 1000, 255);
    place("cboFileType", 1300, y + 2160, 1340, 315);
    place("chkPreview", 2880, y, 1800, 255);
    place("pictPreview", 2880, y + 300, 2040, 1530);
    place("cmdUp", 2880, y + 1900, 480, 375);
    place("cmdDown", 3400, y + 1900, 480, 375);
    place("cmdDeleteSel", 3920, y + 1900, 480, 375);
    place("cmdCopy", 4440, y + 1900, 480, 375);
    place("fraDateMatch", 5100, y, 3000, 700);
    place("optBestMatch", 120, 220, 2700, 220); // down to the next option
    place("optNonDate", 120, 440, 2700, 240);
    place("lblTimeMatchCaption", 5100, y + 800, 2400, 255);
    place("lblTimeMatch", 5100, y + 1060, 1200, 255);
    // The buttons lie beside the values, below their captions.
    place("cmdTimeThreshold", 6400, y + 1060, 400, 315);
    place("lblTimeCalibrationCaption", 5100, y + 1400, 2400, 255);
    place("lblTimeCalibration", 5100, y + 1660, 1200, 255);
    place("cmdSetCalibration", 6400, y + 1660, 400, 315);
    place("cmdMatch", W - 2600, H - 495, 1095, 375);
    place("cmdCancel", W - 1340, H - 495, 1095, 375);
}

void frmHotlinking::Form_Unload()
{
    if (!loaded_) return;
    platform::Settings& s = main_.settings();
    s.SaveSetting(kSection, "calibration", control("lblTimeCalibration").caption);
    s.SaveSetting(kSection, "threshold", control("lblTimeMatch").caption);
    if (calibrate_->Loaded()) calibrate_->Form_Unload();
    loaded_ = visible_ = false;
    hotlinks_.clear();
    preview_ = {};
    if (main_.state().active_window == Name()) main_.state().active_window = "frmMain";
    changed();
}

void frmHotlinking::Drive1_Change()
{
    control("Dir1").text = trimmed(control("Drive1").text);
    Dir1_Change();
}

void frmHotlinking::Dir1_Change()
{
    platform::Grid& g = msfgTable;
    DialogControl& preview = control("chkPreview");
    const bool keep = preview.value;
    preview.value = false;
    const bool redraw = g.Redraw();
    g.SetRedraw(false);
    g.SetRows(2);
    for (int c = 0; c < g.Cols(); ++c) g.SetTextMatrix(1, c, "");
    const std::string folder = control("Dir1").text;
    control("Dir1").items = sub_folders(folder);
    trapped("Dir1_Change", [&] {
        const std::vector<std::string> files = platform::Folder_Files(folder, control("cboFileType").text);
        for (std::size_t k = 0; k < files.size(); ++k) {
            const std::string path = folder + "/" + files[k];
            // A file gone (or unreadable) since the folder was read ends the listing.
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) throw errno == ENOENT ? VbError(53, "", "File not found") : platform::FileError(errno);
            ::close(fd);
            const std::string date = server_.getInternalDate(path);
            if (k > 0) g.AddItem("");
            const int row = g.Rows() - 1;
            g.SetTextMatrix(row, 0, files[k]);
            g.SetTextMatrix(row, 1, date);
        }
    });
    g.SetRedraw(redraw);
    preview_ = {};
    preview.value = keep;
    changed();
}

void frmHotlinking::cboFileType_Click()
{
    control("chkPreview").enabled = control("cboFileType").text != "*.tif";
    Dir1_Change();
}

void frmHotlinking::chkPreview_Click()
{
    preview_ = {};
    changed();
}

void frmHotlinking::msfgTable_EnterCell()
{
    trapped("msfgTable_EnterCell", [&] {
        const platform::Grid& g = msfgTable;
        DialogControl& tick = control("chkPreview");
        if (!tick.value || g.Row() < g.FixedRows() || g.Col() != column("FileName")) return;
        preview_ = {};
        const std::string name = g.TextMatrix(g.Row(), g.Col());
        struct stat st {};
        const std::string path = folder() + "/" + name;
        previewed_ = name.empty() ? std::string() : path;
        if (name.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
        if (double(st.st_size) / 1044 / 1044 > 5) {
            main_.dialogs().MsgBox("File too big to preview", platform::vbExclamation);
            tick.value = false;
            chkPreview_Click();
            return;
        }
        if (last_chars(name, 3) != "tif") stretchpic(path);
    });
    changed();
}

void frmHotlinking::stretchpic(const std::string& path)
{
    trapped("stretchpic", [&] {
        preview_ = {};
        QImageReader reader(QString::fromStdString(path));
        reader.setAutoTransform(false);
        const QSize size = reader.size();
        const DialogControl& box = control("pictPreview");
        const int bw = box.width / 15, bh = box.height / 15;
        if (!size.isValid() || size.isEmpty() || bw < 1 || bh < 1) throw VbError(481, "", "Invalid picture");
        // The largest size that fits the box with the picture's proportions.
        const double scale = std::min(double(bw) / size.width(), double(bh) / size.height());
        const QSize drawn(std::max(1, int(std::lround(size.width() * scale))),
                          std::max(1, int(std::lround(size.height() * scale))));
        reader.setScaledSize(drawn);
        QImage image = reader.read();
        if (image.isNull()) throw VbError(481, "", "Invalid picture");
        image = image.convertToFormat(QImage::Format_ARGB32);
        platform::Image out;
        out.width = image.width();
        out.height = image.height();
        out.pixels.resize(std::size_t(out.width) * std::size_t(out.height));
        for (int yy = 0; yy < out.height; ++yy) {
            const auto* line = reinterpret_cast<const std::uint32_t*>(image.constScanLine(yy));
            std::copy(line, line + out.width, out.pixels.begin() + std::ptrdiff_t(yy) * out.width);
        }
        preview_ = std::move(out);
    });
    changed();
}

void frmHotlinking::msfgTable_Click()
{
    trapped("msfgTable_Click", [&] {
        platform::Grid& g = msfgTable;
        if (g.MouseRow() == 0) {
            // The first header click after loading sorts descending.
            g.SetCol(g.MouseCol());
            bool& ascending = main_.state().hotlink_sort;
            ascending = !ascending;
            g.Sort(g.Col(), ascending ? platform::flexSortStringAscending : platform::flexSortStringDescending);
        } else if (calibrate_->Visible()) {
            const int date = column("InternalDate");
            if (date >= 0) calibrate_->Fill_Image(g.TextMatrix(g.Row(), date));
        }
    });
    follow_current();
}

void frmHotlinking::msfgTable_dblClick()
{
    trapped("msfgTable_dblClick", [&] {
        platform::Grid& g = msfgTable;
        const int row = g.Row(), col = g.Col();
        if (row < g.FixedRows() || col != column("FileName")) return;
        const std::string old = g.TextMatrix(row, col);
        const std::string extension = last_chars(old, 3);
        const std::string answer = main_.dialogs().InputBox("Change file name to:", "Rename Image File", old);
        if (answer.empty() || vb::SameLCase(answer, old)) return;
        const std::string name = answer.substr(0, answer.find('.')) + "." + extension;
        // The new name stays in the folder (no separator, no "." or "..")
        // and in its listing: a name starting with "." is a hidden file.
        if (name.find('/') != std::string::npos || name.front() == '.')
            throw VbError(52, "", "Bad file name or number");
        platform::Rename_NoReplace(folder() + "/" + old, folder() + "/" + name);
        g.SetTextMatrix(row, col, name);
    });
    changed();
}

void frmHotlinking::cmdUp_Click()
{
    trapped("cmdUp_Click", [&] {
        platform::Grid& g = msfgTable;
        const int r = g.Row();
        if (r <= g.FixedRows()) return;
        for (int c = 0; c < g.Cols(); ++c) {
            const std::string above = g.TextMatrix(r - 1, c);
            g.SetTextMatrix(r - 1, c, g.TextMatrix(r, c));
            g.SetTextMatrix(r, c, above);
        }
        g.SetRow(r - 1);
        g.SetCol(0);
        g.SetColSel(g.Cols() - 1);
    });
    follow_current();
}

void frmHotlinking::cmdDown_Click()
{
    trapped("cmdDown_Click", [&] {
        platform::Grid& g = msfgTable;
        const int r = g.Row();
        if (r < g.FixedRows() || r >= g.Rows() - 1) return;
        for (int c = 0; c < g.Cols(); ++c) {
            const std::string below = g.TextMatrix(r + 1, c);
            g.SetTextMatrix(r + 1, c, g.TextMatrix(r, c));
            g.SetTextMatrix(r, c, below);
        }
        g.SetRow(r + 1);
        g.SetCol(0);
        g.SetColSel(g.Cols() - 1);
    });
    follow_current();
}

void frmHotlinking::cmdDeleteSel_Click()
{
    trapped("cmdDeleteSel_Click", [&] {
        platform::Grid& g = msfgTable;
        const int first = std::max(g.FixedRows(), std::min(g.Row(), g.RowSel()));
        const int last = std::max(g.Row(), g.RowSel());
        for (int i = first; i <= last; ++i)
            if (g.Rows() >= 3) g.RemoveItem(first);
    });
    follow_current();
}

void frmHotlinking::cmdCopy_Click()
{
    Activate();
    main_.table().Selection_Copy();
}

void frmHotlinking::enable_times(bool on)
{
    for (const char* name : {"lblTimeMatch", "lblTimeCalibration", "cmdTimeThreshold", "cmdSetCalibration"})
        control(name).enabled = on;
}

void frmHotlinking::optBestMatch_Click()
{
    control("optBestMatch").value = true;
    control("optNonDate").value = false;
    enable_times(true);
}

void frmHotlinking::optNonDate_Click()
{
    control("optNonDate").value = true;
    control("optBestMatch").value = false;
    enable_times(false);
}

void frmHotlinking::cmdMatch_Click()
{
    MatchRequest request{main_.table(),
                         msfgTable,
                         folder(),
                         control("optBestMatch").value,
                         control("lblTimeMatch").caption,
                         control("lblTimeCalibration").caption,
                         main_.dialogs(),
                         hotlinks_};
    cmdMatch(request);
}

void frmHotlinking::checkForExistingHotlink()
{
    hotlink::checkForExistingHotlink(main_.table(), msfgTable, folder(), main_.dialogs());
}

} // namespace hotlink
