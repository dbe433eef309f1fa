// The projection lists' generator over PROJ's whole database, and one point
// through the classic functions after the pair's first conversion.
#include "tests/support/files.h"
#include "platform/proj/proj.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

namespace {

constexpr double kDegToRad = 0.0174532925199433;
constexpr const char* kWgs84 = "+proj=longlat +ellps=WGS84 +datum=WGS84 +no_defs  no_defs <>";

void BM_GenerateBothLists(benchmark::State& state)
{
    const test_support::TempDir dir;
    const std::string command = std::string(TREKFOLD_BINARY_DIR) + "/tools/projlist " + dir.path;
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) state.SkipWithError("projlist failed");
    }
}
BENCHMARK(BM_GenerateBothLists)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

// One point per iteration from the WGS84 source to `target`, after a first
// conversion that builds and caches the pair's steps.
void transform_points(benchmark::State& state, const char* target)
{
    const test_support::TempDir dir;
    auto lib = platform::make_proj_library(dir.path);
    const auto from = lib->pjInitPlus(kWgs84);
    const auto to = lib->pjInitPlus(target);
    double x = -93.5 * kDegToRad, y = 45.25 * kDegToRad, z = 1.0;
    if (!from || !to || lib->pjTransform(from, to, 1, 1, x, y, z) != 0) state.SkipWithError("first conversion failed");
    long i = 0;
    for (auto _ : state) {
        x = (-93.5 + (i % 1000) * 1e-4) * kDegToRad;
        y = 45.25 * kDegToRad;
        z = 1.0;
        benchmark::DoNotOptimize(lib->pjTransform(from, to, 1, 1, x, y, z));
        ++i;
    }
    lib->pjFree(from);
    lib->pjFree(to);
}
BENCHMARK_CAPTURE(transform_points, nad83_utm15,
                  "+proj=utm +zone=15 +ellps=GRS80 +datum=NAD83 +units=m +no_defs  no_defs <>");
BENCHMARK_CAPTURE(transform_points, wgs84_longlat, kWgs84);
BENCHMARK_CAPTURE(transform_points, seven_parameters,
                  "+proj=tmerc +lat_0=0 +lon_0=9 +k=1 +x_0=3500000 +y_0=0 +ellps=bessel "
                  "+towgs84=598.1,73.7,418.2,0.202,0.045,-2.455,6.7 +units=m +no_defs");

// What a caller converting single points pays each time: both definitions,
// the conversion and the release (definitions and steps come from the caches).
void BM_InitTransformFree(benchmark::State& state)
{
    const test_support::TempDir dir;
    auto lib = platform::make_proj_library(dir.path);
    const std::string target = "+proj=utm +zone=15 +ellps=GRS80 +datum=NAD83 +units=m +no_defs";
    for (auto _ : state) {
        const auto from = lib->pjInitPlus(kWgs84);
        const auto to = lib->pjInitPlus(target);
        double x = -93.5 * kDegToRad, y = 45.25 * kDegToRad, z = 1.0;
        benchmark::DoNotOptimize(lib->pjTransform(from, to, 1, 1, x, y, z));
        lib->pjFree(from);
        lib->pjFree(to);
    }
}
BENCHMARK(BM_InitTransformFree);

} // namespace
BENCHMARK_MAIN();
