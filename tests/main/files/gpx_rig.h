// A main window (tests/main/app's rig) with helpers to fill its records
// table by field name, read cells back and handle scratch files.
#pragma once

#include "main/files/files.h"
#include "main/files/gpx.h"
#include "main/table/table.h"
#include "tests/main/app/rig.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace gpxtest {

inline std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void write_file(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline std::string data_file(const std::string& name) { return std::string(TREKFOLD_SOURCE_DIR) + "/tests/data/" + name; }

// Sets TZ for one test and puts the previous value back.
class ZoneScope {
public:
    explicit ZoneScope(const char* zone)
    {
        if (const char* old = std::getenv("TZ"))
            old_ = old, had_ = true;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ZoneScope()
    {
        if (had_)
            ::setenv("TZ", old_.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::string old_;
    bool had_ = false;
};

using Row = std::vector<std::pair<std::string, std::string>>;

struct GpxRig : apptest::Rig {
    GpxRig() : apptest::Rig(false) { dialogs.set_log([](const std::string&) {}); }

    flxgrd::Table& table() { return main.table(); }
    std::string path(const std::string& name) const { return dir.path + "/" + name; }

    // A fresh table of the type holding the rows (field name, value).
    void fill(const std::string& type, const std::vector<Row>& rows)
    {
        main.state().record_type = type;
        table().Table_SetType(type);
        for (const auto& row : rows) {
            std::string values, columns;
            for (const auto& [field, value] : row) {
                int c = table().Column_Find(field, true);
                EXPECT_GE(c, 0) << field;
                values += (values.empty() && columns.empty() ? "" : "\t") + value;
                columns += (columns.empty() ? "" : ";") + std::to_string(c);
            }
            ASSERT_TRUE(table().Records_Insert(values, columns, "", "\t", false));
        }
    }
    int rows() { return main.MSFlexGrid1.Rows() - 1; }
    std::string cell(int row, const std::string& field)
    {
        int c = table().Column_Find(field, true);
        return c < 0 ? "<no column>" : main.MSFlexGrid1.TextMatrix(row, c);
    }
    bool load(const std::string& type, const std::string& file) { return files::GPXFile_Load(main, type, file); }
    bool save(const std::string& file, bool append = false) { return files::GPXFile_Save(main, file, append); }
    int boxes_titled(const std::string& title)
    {
        int n = 0;
        for (const auto& b : dialogs.boxes())
            n += b.title == title;
        return n;
    }
};

} // namespace gpxtest
