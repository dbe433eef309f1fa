// Shared by the projection tests: a library over an empty program folder,
// and one point converted between two definitions.
#pragma once

#include "platform/proj/proj.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace proj_test {

constexpr double kDegToRad = 0.0174532925199433;
constexpr const char* kWgs84 = "+proj=longlat +ellps=WGS84 +datum=WGS84 +no_defs  no_defs <>";
constexpr const char* kUtm15Nad83 = "+proj=utm +zone=15 +ellps=GRS80 +datum=NAD83 +units=m +no_defs";

// A fresh folder standing for the program folder; removed with the object.
struct ProgramFolder {
    std::filesystem::path path;
    ProgramFolder()
    {
        path = std::filesystem::temp_directory_path() /
               ("trekfold-proj-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        std::filesystem::create_directories(path / "proj" / "nad");
    }
    ~ProgramFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::filesystem::path nad() const { return path / "proj" / "nad"; }
};

struct Result {
    int status = 0;  // pjTransform's answer, or pjErrNum of a refused definition
    double x = 0, y = 0;
};

// Converts (x, y) from `from` to `to`; geographic values in radians.
inline Result convert(platform::ProjLibrary& lib, const std::string& from, const std::string& to, double x,
                      double y)
{
    Result r;
    const auto f = lib.pjInitPlus(from);
    const auto t = lib.pjInitPlus(to);
    if (f == 0 || t == 0) {
        r.status = lib.pjErrNum();
    } else {
        double z = 1.0;
        r.x = x;
        r.y = y;
        r.status = lib.pjTransform(f, t, 1, 1, r.x, r.y, z);
    }
    lib.pjFree(f);
    lib.pjFree(t);
    return r;
}

// From WGS84 degrees to `to`, the way the program projects a point.
inline Result forward(platform::ProjLibrary& lib, const std::string& to, double lon, double lat)
{
    return convert(lib, kWgs84, to, lon * kDegToRad, lat * kDegToRad);
}

} // namespace proj_test
