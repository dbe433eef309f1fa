// The dBASE reader and writers: any table reads or fails cleanly, and the
// writers either refuse it or leave a table that reads again.
#include "main/files/dbase.h"
#include "platform/text/vb.h"
#include "platform/ui/scripted_dialogs.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

const std::string& folder()
{
    static const std::string dir = [] {
        char t[] = "/tmp/fuzz-dbase-XXXXXX";
        if (!::mkdtemp(t)) std::abort();
        ::setenv("TMPDIR", t, 1); // the field writer's copy goes here too
        return std::string(t);
    }();
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const std::string path = folder() + "/t.dbf";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);

    platform::ScriptedDialogs dialogs;
    dialogs.set_quiet(true);
    dialogs.set_log([](const std::string&) {});
    files::DBase db(dialogs, [] { return platform::vb::Date{2026, 1, 2}; });
    std::int16_t t = db.DBF_Open(path);
    if (t < 0) std::abort();
    const auto fields = db.DBF_GetFields(t);
    const std::int32_t count = db.DBF_GetRecordCount(t);
    const auto rows = db.DBF_GetRecords(t, 0);
    if (fields.has_value() != rows.has_value() || fields.has_value() != (count >= 0)) std::abort();
    if (!fields) return db.DBF_Close(t), 0;
    db.DBF_GetRecords(t, 1);

    const std::int32_t n = db.DBF_AddRecord(t);
    if (n > 0 && !fields->empty()) {
        const std::string name = fields->front().substr(0, fields->front().find(','));
        db.DBF_PutRecord(t, name, n, "12.5");
        if (db.DBF_GetRecordCount(t) != n || !db.DBF_GetRecords(t, n)) std::abort();
    }
    if (db.DBF_AddFields(t, "FUZZ,N,5,1") && !db.DBF_GetFields(t)) std::abort();
    db.DBF_Close(t);
    return 0;
}
