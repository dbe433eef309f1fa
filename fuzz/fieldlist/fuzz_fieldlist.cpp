// Stored field definition lists: any text under any type is parsed, repaired,
// looked up and used to lay the table out without crashing.
// Input: first byte picks the record type, the rest is the stored list.
#include "main/table/detail/fields.h"
#include "main/table/table.h"
#include "platform/ui/scripted_dialogs.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

struct World {
    World() : dir(make()), settings(dir + "/trekfold.ini"), grid(2, 30)
    {
        dialogs.set_quiet(true);
        dialogs.set_log([](const std::string&) {});
        flxgrd::TableContext ctx{grid, settings, dialogs, type, records, segments, selected, first, last, cursor,
                                 real_time};
        table = std::make_unique<flxgrd::Table>(std::move(ctx));
    }
    // Every list is saved (with fsync); memory-backed storage keeps it quick.
    // The fuzzer ends without running destructors, so each run removes the
    // folders of runs that are gone.
    static std::string make()
    {
        namespace fs = std::filesystem;
        std::string base = fs::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        std::error_code ec;
        for (auto& e : fs::directory_iterator(base, ec)) {
            std::string n = e.path().filename().string();
            if (n.rfind("tf-fuzz-fields-", 0) == 0 && kill(std::atoi(n.c_str() + 15), 0) != 0)
                fs::remove_all(e.path(), ec);
        }
        std::string dir = base + "/tf-fuzz-fields-" + std::to_string(getpid());
        fs::create_directories(dir, ec);
        return dir;
    }
    std::string dir;
    platform::Settings settings;
    platform::Grid grid;
    platform::ScriptedDialogs dialogs;
    std::string type = "waypoint";
    std::int32_t records = 0, selected = 0, first = 1, last = 1, cursor = 0;
    std::int64_t segments = 0;
    bool real_time = false;
    std::unique_ptr<flxgrd::Table> table;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    static World w;
    if (size < 1)
        return 0;
    const char* type = flxgrd::detail::kRecordTypes[data[0] % 4];
    std::string list(reinterpret_cast<const char*>(data + 1), size - 1);

    auto parsed = flxgrd::detail::parse_list(list);
    (void)flxgrd::detail::list_is_whole(type, list);
    for (const char* name : {"lat", "ident", "comment", ""})
        (void)flxgrd::detail::field_info(parsed, name, data[0] & 4);

    w.settings.SaveSetting("fields", type, list);
    if (data[0] & 8)
        flxgrd::Fields_Repair(w.settings, "");
    w.dialogs.clear();
    auto& t = *w.table;
    t.Table_SetType(type);
    t.Records_Insert("X;a;1;2;0;0;True;3;4;5");
    t.Records_Insert("");
    (void)t.Row_GetValues(1, true);
    (void)t.Row_GetValues(0, false);
    (void)t.Fields_GetList(type, true, true);
    (void)t.Field_GetName("lat", "");
    t.Table_ChangeType(flxgrd::detail::kRecordTypes[(data[0] / 16) % 4]);
    if (w.grid.Cols() > 200000)
        std::abort();
    return 0;
}
