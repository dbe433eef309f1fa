// Matching a loaded file's columns to the table's fields (get_Required_Fields
// and frmFields).
#include "main/app/frm_main.h"
#include "main/files/table_files.h"
#include "main/table/table.h"
#include "platform/automation/vb_error.h"
#include "platform/text/cp1252.h"
#include "platform/text/vb.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dialogs.h"

#include <algorithm>
#include <array>

namespace files {

namespace vb = platform::vb;

std::string Field_StoredName(const std::string& name)
{
    return platform::cp1252_to_utf8(platform::utf8_to_cp1252(name).substr(0, 10));
}

bool FieldList::select(const std::string& text)
{
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i] == text) return ListIndex = int(i), true;
    return false;
}

TableFiles::TableFiles(app::frmMain& main) : main_(main) {}

std::pair<std::string, std::int16_t> TableFiles::get_Required_Fields(std::string& names, const std::string& kind,
                                                                     const std::string& type)
{
    std::vector<std::string> cols = vb::Split(names, ";");
    auto result = required_fields(cols, kind, type);
    names = vb::Join(cols, ";");
    return result;
}

std::pair<std::string, std::int16_t> TableFiles::required_fields(std::vector<std::string>& names,
                                                                  const std::string& kind, const std::string& type)
{
    platform::Cursor& cursor = main_.cursor();
    const int pointer = cursor.pointer();
    cursor.set_pointer(platform::vbDefault);
    struct Restore {
        platform::Cursor& c;
        int p;
        ~Restore() { c.set_pointer(p); }
    } restore{cursor, pointer};

    try {
        flxgrd::Table& table = main_.table();
        const bool text_kind = kind == "txt" || kind == "dbf";
        const bool waypoint = type == "waypoint";
        std::vector<std::string> required;
        if (text_kind)
            required = waypoint ? std::vector<std::string>{"ident", "comment", "lat", "long", "y_proj", "x_proj"}
                                : std::vector<std::string>{"ident", "lat", "long", "y_proj", "x_proj"};
        else if (waypoint)
            required = {"ident", "comment"};

        auto alias_of = [&](const std::string& field) { return table.Field_GetAlias(type, field); };
        // The names a column may carry for a field: its name, its alias,
        // and each cut to what a dBASE table keeps of it.
        auto keys_of = [&](const std::string& field) {
            const std::string alias = alias_of(field);
            return std::array<std::string, 4>{vb::LCase(field), vb::LCase(alias), vb::LCase(Field_StoredName(field)),
                                              vb::LCase(Field_StoredName(alias))};
        };
        auto stands_for = [](const std::string& column, const std::array<std::string, 4>& keys) {
            const std::string c = vb::LCase(column);
            return std::find(keys.begin(), keys.end(), c) != keys.end();
        };
        auto has_column = [&](const std::string& field) {
            const auto keys = keys_of(field);
            for (const auto& n : names)
                if (stands_for(n, keys)) return true;
            return false;
        };

        fields_.cpSpatial_visible = text_kind;
        fields_.cbxComment.visible = waypoint;
        for (FieldList* list : fields_.lists()) {
            const auto keys = keys_of(list->tag);
            list->items = names;
            list->ListIndex = -1;
            int match = -1;
            for (std::size_t i = 0; i < names.size(); ++i)
                if (stands_for(names[i], keys)) match = int(i);
            int offset = 0;
            if (list == &fields_.cbxIdent || list == &fields_.cbxComment) {
                list->items.insert(list->items.begin(), list == &fields_.cbxIdent ? "Sequential ID" : "Today's Date");
                list->ListIndex = 0;
                offset = 1;
            }
            if (match >= 0) list->ListIndex = match + offset;
        }

        // Required field alias -> the column chosen for it ("" when found).
        std::vector<std::pair<std::string, std::string>> chosen;
        bool missing = false;
        for (const auto& field : required) {
            chosen.emplace_back(field, "");
            if (!has_column(field)) missing = true;
        }

        std::int16_t mode = 0;
        if (missing) {
            for (FieldList* list : fields_.lists()) list->label = alias_of(list->tag);
            fields_.cmdOK_Tag = "Cancel";
            fields_.Visible = true;
            if (show_fields) show_fields(fields_);
            fields_.Visible = false;
            if (fields_.cmdOK_Tag == "Cancel") return {"", 0};
            auto choice = [&](const std::string& field) -> std::string* {
                for (auto& [f, c] : chosen)
                    if (f == field) return &c;
                return nullptr;
            };
            for (FieldList* list : fields_.lists())
                if (std::string* c = choice(list->tag)) *c = list->Text();
            auto given = [&](const char* field) {
                const std::string* c = choice(field);
                return c && !c->empty();
            };
            if (given("lat") && given("long")) mode = 1;
            if (given("y_proj") && given("x_proj")) mode = mode == 1 ? 0 : 2;
        }

        // Whole column names are renamed: the chosen column takes the
        // field's alias; a column already standing for ident or comment
        // gives it up when the sequence or the date was chosen.
        for (const auto& [field, c] : chosen) {
            if (c.empty()) continue;
            if (c == "Sequential ID" || c == "Today's Date") {
                const auto keys = keys_of(field);
                for (auto& n : names)
                    if (stands_for(n, keys)) n = field == "ident" ? "Id" : "cmt";
                continue;
            }
            const std::string alias = alias_of(field);
            for (auto& n : names)
                if (n == c) n = alias;
        }
        // A column no heading names whole goes to the first field of the
        // record type it stands for by a cut name.
        const std::vector<std::string> fields = table.Fields_GetList(type, false, false);
        std::string columns;
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (i) columns += ';';
            int col = table.Column_Find(names[i], true);
            for (std::size_t f = 0; col < 0 && f < fields.size(); ++f)
                if (stands_for(names[i], keys_of(fields[f]))) col = table.Column_Find(fields[f], true);
            columns += std::to_string(col);
        }
        return {columns, mode};
    } catch (const platform::VbError& e) {
        main_.dialogs().MsgBox("get_Required_Fields Error #" + std::to_string(e.number) + ": " + e.source,
                               platform::vbOKOnly, e.description);
    } catch (const std::exception& e) {
        main_.dialogs().MsgBox("get_Required_Fields Error #51: get_Required_Fields", platform::vbOKOnly,
                               e.what());
    }
    return {"", 0};
}

} // namespace files
