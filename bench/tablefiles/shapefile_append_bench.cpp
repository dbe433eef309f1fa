// One line shape appended to the real-time output shapefile through
// Shapefile_SaveFromArray, into sets already holding 100 and 10,000 shapes,
// against shapelib appending the same shape and attributes to the same set
// (SHPOpen/DBFOpen "r+b", SHPWriteObject, DBFWrite*Attribute, SHPClose/
// DBFClose) in the same run. Each iteration is one whole append, opening
// and closing included. The program puts the three files on disk (fsync)
// before it answers; "synced" is shapelib's append followed by the same
// three fsyncs.
#include "bench/support/main_window.h"
#include "main/files/table_files.h"

#include <benchmark/benchmark.h>
#include <shapefil.h>

#include <filesystem>
#include <string>
#include <fcntl.h>
#include <unistd.h>

namespace {

using benchsupport::scratch;

struct Window : benchsupport::MainWindow {
    Window() : MainWindow(scratch(), true), files(main)
    {
        main.state().record_type = "track";
        main.table().Table_SetType("track");
    }
    files::TableFiles files;
};

Window& window()
{
    static Window w;
    return w;
}

std::vector<std::vector<std::string>> line_at(double x)
{
    return {{"ident", "fix", "fix"}, {"x_proj", std::to_string(x), std::to_string(x + 1)}, {"y_proj", "45", "46"}};
}

// shapelib's append of one line with its "ident" attribute.
bool shapelib_append(const std::string& base, double x)
{
    SHPHandle h = SHPOpen((base + ".shp").c_str(), "r+b");
    DBFHandle d = DBFOpen((base + ".dbf").c_str(), "r+b");
    if (!h || !d) {
        if (h) SHPClose(h);
        if (d) DBFClose(d);
        return false;
    }
    double xs[2] = {x, x + 1}, ys[2] = {45, 46};
    SHPObject* o = SHPCreateSimpleObject(SHPT_ARC, 2, xs, ys, nullptr);
    const int record = SHPWriteObject(h, -1, o);
    SHPDestroyObject(o);
    const int ident = DBFGetFieldIndex(d, "ident");
    const bool ok = record >= 0 && DBFWriteStringAttribute(d, record, ident, "fix");
    SHPClose(h);
    DBFClose(d);
    return ok;
}

// A set of `shapes` lines made by the program's own writer, copied to
// "<name>" for the program and "<name>-peer" for shapelib.
std::string make_set(int shapes)
{
    Window& w = window();
    const std::string base = scratch() + "/rt" + std::to_string(shapes);
    std::int32_t count = 0;
    if (!w.files.Shapefile_NewEmpty("Line", base + ".shp", false, count)) return {};
    for (int i = 0; i < shapes; ++i)
        if (!shapelib_append(base, i)) return {};
    for (const char* ext : {".shp", ".shx", ".dbf"})
        std::filesystem::copy_file(base + ext, base + "-peer" + ext, std::filesystem::copy_options::overwrite_existing);
    return base;
}

void BM_SaveFromArrayAppend(benchmark::State& state)
{
    Window& w = window();
    const std::string base = make_set(int(state.range(0)));
    if (base.empty()) return state.SkipWithError("no set");
    std::int32_t counter = 0;
    double x = 0;
    for (auto _ : state)
        if (!w.files.Shapefile_SaveFromArray("Line", line_at(x += 1), base + ".shp", true, "", counter))
            state.SkipWithError("append failed");
}

bool sync(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

void BM_ShapelibAppend(benchmark::State& state, bool synced)
{
    const std::string base = scratch() + "/rt" + std::to_string(state.range(0)) + "-peer";
    double x = 0;
    for (auto _ : state) {
        if (!shapelib_append(base, x += 1)) state.SkipWithError("append failed");
        if (synced)
            for (const char* ext : {".shp", ".shx", ".dbf"})
                if (!sync(base + ext)) state.SkipWithError("fsync failed");
    }
}

} // namespace

BENCHMARK(BM_SaveFromArrayAppend)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond)->Iterations(200);
BENCHMARK_CAPTURE(BM_ShapelibAppend, plain, false)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond)->Iterations(200);
BENCHMARK_CAPTURE(BM_ShapelibAppend, synced, true)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond)->Iterations(200);

BENCHMARK_MAIN();
