#include "main/table/table.h"

#include "main/table/detail/fields.h"
#include "main/table/detail/route_names.h"
#include "main/table/detail/symbols.h"
#include "platform/automation/vb_error.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <unordered_map>

namespace flxgrd {

using platform::VbError;
namespace vb = platform::vb;

namespace {

constexpr platform::Color kWhite = platform::RGB(255, 255, 255);
constexpr const char* kFieldsSection = "fields";

// Width in twips of a text at the given character widths.
int text_width(std::string_view s, int lower, int other)
{
    int w = 0;
    for (unsigned char c : s) {
        if ((c & 0xC0) == 0x80)
            continue; // the rest of a UTF-8 character
        w += (c >= 'a' && c <= 'z') ? lower : other;
    }
    return w;
}

} // namespace

struct Table::Impl {
    struct CachedList {
        std::uint64_t generation = ~std::uint64_t(0);
        detail::FieldList list;
        // Field_GetInfo by name, per lower-case name, for Column_Find.
        std::unordered_map<std::string, detail::FieldInfo> by_name;
    };
    std::unordered_map<std::string, CachedList> lists; // node-based: pointers stay valid
    CachedList* last = nullptr;
    std::string last_type;
    // Header searches (lower-case text -> column) for one header state.
    std::uint64_t found_header_version = ~std::uint64_t(0);
    std::unordered_map<std::string, int> found;
    // The last few Column_Find answers by the name as given, for one
    // header, one state of the stored lists and one record type: a load
    // asks for the same few columns on every row.
    struct Recent {
        std::string name;
        bool use_alias;
        int col;
    };
    struct {
        std::uint64_t header = ~std::uint64_t(0), lists = ~std::uint64_t(0);
        std::string type;
        std::vector<Recent> answers;
    } recent;
    // Records_Insert's column list, as last given and as numbers.
    std::string columns_text;
    std::vector<int> columns;
    std::string ticked = "waypoint";
    platform::Collection<Image> images1, images2;
    detail::RouteNames route_names;

    // The parsed list of a type, read again whenever section "fields" changed.
    CachedList& cached(platform::Settings& settings, const std::string& type);
};

Table::Table(TableContext context) : ctx_(std::move(context)), impl_(std::make_unique<Impl>())
{
    for (const auto& s : detail::symbol_list()) {
        std::string key = std::to_string(s.code);
        key.insert(key.begin(), '*');
        impl_->images1.Add(Image{key, s.name, detail::symbol_picture(s.code)}, key);
    }
    impl_->images2.Add(Image{"check", "", detail::check_picture(true)}, std::string("check"));
    impl_->images2.Add(Image{"uncheck", "", detail::check_picture(false)}, std::string("uncheck"));
}

Table::~Table() = default;

detail::RouteNames& Table::route_names() { return impl_->route_names; }

const platform::Collection<Table::Image>& Table::ImageList1() const { return impl_->images1; }
const platform::Collection<Table::Image>& Table::ImageList2() const { return impl_->images2; }

// --- stored lists ----------------------------------------------------------

Table::Impl::CachedList& Table::Impl::cached(platform::Settings& settings, const std::string& type)
{
    // Most calls ask for the same type again.
    CachedList* hit = (last && type == last_type) ? last : nullptr;
    if (!hit) {
        hit = &lists[vb::LCase(type)];
        last = hit;
        last_type = type;
    }
    auto& c = *hit;
    if (c.generation != settings.generation(kFieldsSection)) {
        std::string text = settings.GetSetting(kFieldsSection, type, "");
        c.list = detail::parse_list(text);
        c.by_name.clear();
        c.generation = settings.generation(kFieldsSection);
    }
    return c;
}

std::vector<std::string> Table::Fields_GetList(const std::string& type, bool skip_hidden, bool use_alias) const
{
    const auto& list = impl_->cached(ctx_.settings, type).list;
    std::vector<std::string> out;
    out.reserve(list.entries.size());
    for (const auto& e : list.entries) {
        if (skip_hidden && !e.visible())
            continue;
        out.push_back(use_alias ? e.alias_or_name() : e.name());
    }
    return out;
}

std::string Table::Field_GetAlias(const std::string& type, const std::string& name) const
{
    std::string wanted = vb::UCase(name);
    for (const auto& e : impl_->cached(ctx_.settings, type).list.entries)
        if (e.has_alias() && e.name_upper == wanted)
            return e.items[2];
    return name;
}

std::string Table::Field_GetName(const std::string& alias, const std::string& type) const
{
    std::string wanted = vb::UCase(alias);
    auto search = [&](const std::string& t, std::string& out) {
        for (const auto& e : impl_->cached(ctx_.settings, t).list.entries)
            if (e.has_alias() && e.alias_upper == wanted) {
                out = e.name();
                return true;
            }
        return false;
    };
    std::string name;
    if (!type.empty())
        return search(type, name) ? name : alias;
    for (const char* t : detail::kRecordTypes)
        if (search(t, name))
            return name;
    return alias;
}

namespace {

void show_info_error(platform::Dialogs& dialogs, const detail::FieldInfo& info)
{
    if (info.error)
        dialogs.MsgBox("Error: " + std::to_string(info.error->first) + " -- " + info.error->second,
                       platform::vbCritical, "Field_GetInfo");
}

} // namespace

platform::Collection<std::string> Table::Field_GetInfo(const std::string& type, const std::string& name,
                                                       bool by_alias) const
{
    auto info = detail::field_info(impl_->cached(ctx_.settings, type).list, name, by_alias);
    platform::Collection<std::string> out;
    for (auto& [k, v] : info.values)
        out.Add(v, k);
    show_info_error(ctx_.dialogs, info);
    return out;
}

std::string Table::header_wanted(const std::string& name, bool use_alias, bool& shown) const
{
    std::string wanted = vb::LCase(name);
    shown = false;
    if (use_alias) {
        auto& c = impl_->cached(ctx_.settings, ctx_.record_type);
        auto it = c.by_name.find(wanted);
        if (it == c.by_name.end())
            it = c.by_name.emplace(wanted, detail::field_info(c.list, name, false)).first;
        show_info_error(ctx_.dialogs, it->second);
        shown = it->second.error.has_value();
        if (const std::string* alias = it->second.get("alias"))
            wanted = vb::LCase(*alias);
    }
    return wanted;
}

int Table::Column_Find(const platform::Grid& grid, const std::string& name, bool use_alias) const
{
    if (&grid == &ctx_.grid)
        return Column_Find(name, use_alias);
    if (ctx_.record_type.empty())
        ctx_.record_type = "waypoint";
    bool shown = false;
    const std::string wanted = header_wanted(name, use_alias, shown);
    if (grid.Rows() < 1)
        return -1;
    for (int c = grid.Cols() - 1; c >= 0; --c)
        if (vb::SameLCase(grid.TextMatrix(0, c), wanted))
            return c;
    return -1;
}

int Table::Column_Find(const std::string& name, bool use_alias) const
{
    if (ctx_.record_type.empty())
        ctx_.record_type = "waypoint";
    const auto& g = ctx_.grid;
    auto& recent = impl_->recent;
    const std::uint64_t lists = ctx_.settings.generation(kFieldsSection);
    if (recent.header != g.header_version() || recent.lists != lists || recent.type != ctx_.record_type) {
        recent.answers.clear();
        recent.header = g.header_version();
        recent.lists = lists;
        recent.type = ctx_.record_type;
    }
    for (const auto& a : recent.answers)
        if (a.use_alias == use_alias && a.name == name)
            return a.col;

    bool shown = false; // an answer that showed a box is not kept: the box comes again
    const std::string wanted = header_wanted(name, use_alias, shown);
    if (g.Rows() < 1)
        return -1;
    if (impl_->found_header_version != g.header_version()) {
        impl_->found.clear();
        impl_->found_header_version = g.header_version();
    }
    int col = -1;
    if (auto it = impl_->found.find(wanted); it != impl_->found.end()) {
        col = it->second;
    } else {
        for (int c = g.Cols() - 1; c >= 0; --c)
            if (vb::SameLCase(g.TextMatrix(0, c), wanted)) {
                col = c;
                break;
            }
        impl_->found.emplace(wanted, col);
    }
    // The box may have changed what the answer rests on.
    if (!shown && recent.answers.size() < 16 && recent.header == g.header_version() &&
        recent.lists == ctx_.settings.generation(kFieldsSection))
        recent.answers.push_back({name, use_alias, col});
    return col;
}

std::string Table::Row_GetValues(int row, bool visible_only) const
{
    const auto& g = ctx_.grid;
    std::string out;
    bool first = true;
    for (int c = 1; c < g.Cols(); ++c) {
        if (visible_only && g.ColWidth(c) == 0)
            continue;
        std::string text = g.TextMatrix(row, c);
        if (row > 0) {
            // Numeric fields read "0" where the cell holds no number; a header
            // the catalogue does not know is a text field.
            std::string field = Field_GetName(g.TextMatrix(0, c), ctx_.record_type);
            const CatalogField* cat = Catalog_Find(field);
            if (cat && cat->type == "N" && !vb::IsNumeric(text))
                text = "0";
        }
        if (!first)
            out += ';';
        out += text;
        first = false;
    }
    return out;
}

// --- layout ----------------------------------------------------------------

const char* Option_Type(std::string_view type)
{
    for (const char* t : kRecordTypes)
        if (type == t)
            return t;
    return kRecordTypes[0];
}

std::string Table::RecordType_Get() const
{
    return Option_Type(ctx_.option_ticked ? ctx_.option_ticked() : impl_->ticked);
}

void Table::Selection_Reset()
{
    ctx_.first_selected_row = 1;
    ctx_.last_selected_row = ctx_.grid.Rows() - 1;
    ctx_.selection_count = 0;
    ctx_.upload_cursor = 0;
}

void Table::Table_Clear()
{
    auto& g = ctx_.grid;
    ctx_.record_counter = 0;
    g.SetRows(2);
    g.Clear();
    Selection_Reset();
    if (ctx_.Set_Controls)
        ctx_.Set_Controls(2);
    g.SetCols(30);
    g.SetColWidth(0, 400);
}

bool Table::Table_SetType(const std::string& type)
{
    Table_Clear();
    auto aliases = Fields_GetList(type, false, true);
    auto& g = ctx_.grid;
    if (!aliases.empty())
        g.SetCols(int(aliases.size()) + 1);
    for (size_t k = 0; k < aliases.size(); ++k)
        g.SetTextMatrix(0, int(k) + 1, aliases[k]);
    Columns_Load(type);
    std::string tick = Option_Type(type);
    impl_->ticked = tick;
    if (ctx_.tick_option)
        ctx_.tick_option(tick);
    return true;
}

void Table::Columns_Load(const std::string& type)
{
    auto& g = ctx_.grid;
    ctx_.record_type = type.empty() ? RecordType_Get() : type;
    const std::string& current = ctx_.record_type;

    std::string stored = ctx_.settings.GetSetting(kFieldsSection, current, "");
    if (stored.find("x_proj") == std::string::npos || stored.find("filename") == std::string::npos ||
        stored.find("y_proj") == std::string::npos) {
        if (ctx_.SetFieldSettings)
            ctx_.SetFieldSettings(current);
        else
            Fields_Repair(ctx_.settings, current);
    }
    // The parsed list (re-read when the repair wrote it).
    detail::FieldList list = impl_->cached(ctx_.settings, current).list;

    if (!list.entries.empty()) {
        g.SetRedraw(false);
        // Drawing comes back on however the layout ends (a list longer than
        // the grid allows throws half way).
        struct RedrawOn {
            platform::Grid& g;
            ~RedrawOn() { g.SetRedraw(true); }
        } redraw_on{g};
        int p = 1;
        // The last column at or after position p whose header is `text`
        // (compared in lower case). Columns before p are already placed, so
        // two entries with one alias each keep their own column, and an
        // empty alias never takes the row-number column.
        auto find_from = [&](const std::string& text) {
            for (int c = g.Cols() - 1; c >= p; --c)
                if (vb::SameLCase(g.TextMatrix(0, c), text))
                    return c;
            return -1;
        };
        for (const auto& e : list.entries) {
            const std::string& name = e.name();
            const std::string& alias = e.alias_or_name();
            // The column headed with this entry's alias for the field...
            int col = find_from(alias);
            // ...or with the alias another type's list gives it, or with
            // the field's bare name.
            if (col < 0)
                for (const char* key : detail::kRecordTypes) {
                    col = find_from(Field_GetAlias(key, name));
                    if (col >= 0)
                        break;
                }
            if (col < 0)
                col = find_from(name);
            if (col < 0) {
                g.SetCols(g.Cols() + 1);
                g.SetColPosition(g.Cols() - 1, p);
                g.SetTextMatrix(0, p, alias);
                col = p;
            }
            if (col != p)
                g.SetColPosition(col, p);
            if (g.TextMatrix(0, p) != alias)
                g.SetTextMatrix(0, p, alias);
            // Hidden means exactly what the field lookups call hidden (a
            // visible item of "0"), so a list of the visible fields and the
            // values of the visible columns always pair up one to one.
            g.SetColWidth(p, e.visible() ? 1200 : 0);
            ++p;
        }
        g.SetCols(p);
    }
    g.SetColWidth(0, 400);
    Columns_AutoFit();
}

void Table::Table_ChangeType(const std::string& type)
{
    auto& g = ctx_.grid;
    if (ctx_.Set_Controls)
        ctx_.Set_Controls(4);
    if (g.Rows() < 1 || g.Cols() < 2 || g.TextMatrix(0, 1).empty() || type.empty())
        return;
    Columns_Load(type);
    std::string upper = vb::UCase(type);
    g.SetRedraw(false);
    for (int r = 1; r < g.Rows(); ++r)
        g.SetTextMatrix(r, 1, upper);
    g.SetRedraw(true);
    Rows_Color(0);
    Columns_AutoFit();
}

void Table::Rows_Color(int start_row)
{
    auto& g = ctx_.grid;
    int seg = Column_Find("new_seg", true);
    if (seg >= 1) {
        bool whole = start_row < 1;
        int r1 = whole ? 1 : start_row;
        int r2 = whole ? g.Rows() - 1 : start_row;
        if (whole && ctx_.cursor)
            ctx_.cursor->set_pointer(platform::vbHourglass);
        g.SetBackColorBkg(kWhite);
        g.SetRedraw(false);
        std::string type = vb::LCase(ctx_.record_type);
        bool tint = type == "track" || type == "route";
        int last_col = g.Cols() - 1;
        for (int r = r1; r <= r2; ++r) {
            if (ctx_.Set_Msg)
                ctx_.Set_Msg("Updating Color for Record " + std::to_string(r));
            if (r == 1)
                g.SetTextMatrix(r, seg, "true");
            else if (g.TextMatrix(r, seg).empty())
                g.SetTextMatrix(r, seg, "false");
            if (Value_IsTrue(g.TextMatrix(r, seg)) && tint)
                g.FillBackColor(r, 1, r, last_col, kSegmentColor);
            else if (g.CellBackColor(r, 1) == kSegmentColor)
                g.FillBackColor(r, 1, r, last_col, kWhite);
        }
        g.SetRedraw(true);
        if (whole && ctx_.cursor)
            ctx_.cursor->set_pointer(platform::vbDefault);
        if (RecordType_Get() == "route" && ctx_.Set_RouteDefault)
            ctx_.Set_RouteDefault();
        if (ctx_.Set_Msg)
            ctx_.Set_Msg("");
    } else {
        g.SetRedraw(false);
        if (g.Rows() > 1 && g.Cols() > 1)
            g.FillBackColor(1, 1, g.Rows() - 1, g.Cols() - 1, kWhite);
        g.SetRedraw(true);
    }
}

void Table::Columns_AutoFit() { Columns_AutoFit(ctx_.grid); }

void Table::Columns_AutoFit(platform::Grid& g)
{
    for (int c = 0; c < g.Cols(); ++c)
        if (g.ColWidth(c) != 0)
            Column_FitWidth(g, c);
}

void Table::Column_FitWidth(int col, int lower_width, int other_width)
{
    Column_FitWidth(ctx_.grid, col, lower_width, other_width);
}

void Table::Column_FitWidth(platform::Grid& g, int col, int lower_width, int other_width)
{
    int lower = lower_width > 0 ? lower_width : 88;
    int other = other_width > 0 ? other_width : 110;
    const int widest_char = std::max(lower, other);
    int widest = 0;
    for (int r = 0; r < g.Rows(); ++r) {
        const std::string& text = g.TextMatrix(r, col);
        if (std::int64_t(text.size()) * widest_char > widest) // else it cannot be wider
            widest = std::max(widest, text_width(text, lower, other));
    }
    g.SetColWidth(col, widest > 1 ? widest + 250 : 250);
}

platform::PictureRef Table::Symbol_GetPicture(const std::string& symbol, const std::string&) const
{
    if (const Image* img = impl_->images1.Find("*" + symbol))
        return img->picture;
    return nullptr;
}

bool Table::Value_IsTrue(std::string_view value)
{
    std::string l = vb::LCase(value);
    return l == "true" || l == "vrai";
}

// --- appending a record ------------------------------------------------------

bool Table::Records_Insert(const std::string& values, const std::string& columns, const std::string&,
                           const std::string& delimiter, bool)
{
    if (values.empty()) return insert_row(nullptr, columns);
    const auto vals = vb::Split(values, delimiter.empty() ? ";" : delimiter);
    return insert_row(&vals, columns);
}

bool Table::Records_InsertValues(const std::vector<std::string>& values, const std::string& columns)
{
    return insert_row(&values, columns);
}

bool Table::insert_row(const std::vector<std::string>* values, const std::string& columns)
{
    auto& g = ctx_.grid;
    const std::int32_t saved_records = ctx_.record_counter;
    const std::int64_t saved_segments = ctx_.segment_counter;
    int added_row = -1;
    bool reused_row = false;
    int number = 0;
    std::string source, description;
    try {
        if (g.Rows() > kMaxRecords)
            throw VbError(7, "flxgrd.Records_Insert", "Table is Full");
        if (g.Rows() < 1 || g.Cols() < 2 || g.TextMatrix(0, 1).empty()) {
            Table_SetType(ctx_.record_type);
            if (ctx_.panel_open && !ctx_.panel_open() && ctx_.cmdAdvanced_Click)
                ctx_.cmdAdvanced_Click();
        }
        int seg_col = Column_Find("new_seg", true);

        int row;
        if (g.Rows() >= 2 && g.TextMatrix(1, 0).empty()) {
            row = 1;
            reused_row = true;
        } else {
            row = g.Rows();
            g.AddItem("");
            added_row = row;
        }
        const std::string row_text = std::to_string(row);
        g.SetTextMatrix(row, 0, row_text);

        if (values) {
            const auto& vals = *values;
            std::vector<int> listed;
            if (!columns.empty()) {
                // Loaders give the same list for every row: it is read once.
                if (columns != impl_->columns_text) {
                    impl_->columns_text.clear();
                    impl_->columns.clear();
                    for (const auto& c : vb::Split(columns, ";"))
                        impl_->columns.push_back(vb::CInt(c));
                    impl_->columns_text = columns;
                }
            } else {
                size_t n = impl_->cached(ctx_.settings, ctx_.record_type).list.entries.size();
                for (size_t i = 0; i < n; ++i)
                    listed.push_back(int(i) + 1);
            }
            const std::vector<int>& cols = columns.empty() ? listed : impl_->columns;
            int ident_col = Column_Find("ident", true);
            int comment_col = Column_Find("comment", true);
            int symbol_col = Column_Find("symbol", true);
            bool ident_given = false, comment_given = false;
            for (size_t i = 0; i < cols.size(); ++i) {
                int c = cols[i];
                if (c <= 0 || i >= vals.size())
                    continue;
                std::string v = vb::Trim(vals[i]);
                if (c == ident_col)
                    ident_given = true;
                else if (c == comment_col)
                    comment_given = true;
                else if (c == symbol_col)
                    g.SetCellPicture(row, c, Symbol_GetPicture(v));
                g.SetTextMatrix(row, c, v);
            }
            if (!ident_given && ident_col > 0)
                g.SetTextMatrix(row, ident_col, row_text);
            if (!comment_given && comment_col > 0)
                g.SetTextMatrix(row, comment_col, vb::Format(ctx_.now ? ctx_.now() : vb::Now(), "hh:mm dd-mmm-yy"));
            if (seg_col > 0 && Value_IsTrue(g.TextMatrix(row, seg_col))) {
                Rows_Color(row);
                if (ctx_.record_type == "track")
                    ++ctx_.segment_counter;
            }
        } else {
            // A blank record: row number, type, ident, and zero coordinates
            // in the first columns of the standard order.
            const std::string& type = ctx_.record_type;
            const std::string blank[] = {row_text, vb::UCase(type), type.substr(0, 1) + row_text, "0", "0", "0", "0"};
            for (int c = 0; c < 7; ++c)
                g.SetTextMatrix(row, c, blank[c]);
            if (seg_col >= 0)
                g.SetTextMatrix(row, seg_col, vb::CStr(row == 1));
            int symbol_col = Column_Find("Symbol", true);
            if (symbol_col >= 0) {
                g.SetCellPicture(row, symbol_col, Symbol_GetPicture("18"));
                g.SetTextMatrix(row, symbol_col, "18");
            }
        }
        if (ctx_.record_type == "waypoint")
            ++ctx_.segment_counter;
        ++ctx_.record_counter;
        if (ctx_.Set_Msg)
            ctx_.Set_Msg("Loaded " + std::to_string(ctx_.record_counter) + " records");
        if (ctx_.Set_Controls)
            ctx_.Set_Controls(4);
        if (ctx_.Set_Selected)
            ctx_.Set_Selected("0 of " + std::to_string(g.Rows() - 1) + " Selected");
        if (g.Rows() == 2)
            Columns_AutoFit();
        Selection_Reset();
        return true;
    } catch (const VbError& e) {
        number = e.number;
        source = e.source.empty() ? "Trekfold" : e.source;
        description = e.description;
    } catch (const std::bad_alloc&) {
        number = 7;
        source = "flxgrd.Records_Insert";
        description = "Out of memory";
    } catch (const std::exception& e) {
        number = 51;
        source = "flxgrd.Records_Insert";
        description = "Internal error";
    }

    // A refused record leaves nothing behind: its row goes (a reused first
    // row is blanked) and the counters return to what they were.
    try {
        if (added_row > 0 && added_row < g.Rows()) {
            g.RemoveItem(added_row);
        } else if (reused_row && g.Rows() >= 2) {
            for (int c = 0; c < g.Cols(); ++c) {
                g.SetTextMatrix(1, c, "");
                g.SetCellPicture(1, c, nullptr);
                g.SetCellBackColor(1, c, platform::kNoColor);
            }
            if (ctx_.Set_Controls)
                ctx_.Set_Controls(2);
        }
    } catch (const std::exception&) {
    }
    ctx_.record_counter = saved_records;
    ctx_.segment_counter = saved_segments;

    if (!ctx_.real_time) {
        std::string text = "Error # " + vb::Str(std::int64_t(number)) + " was generated by " + source + "\r" +
                           description;
        if (number == 6)
            text += ".  Table is Full.";
        ctx_.dialogs.MsgBox(text, platform::vbOKOnly, "Error");
    }
    return false;
}

} // namespace flxgrd
