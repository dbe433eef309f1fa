// The classic five-function face of the projection library, over PROJ 9.
//
// Definitions are PROJ strings; tokens that do not begin with "+" are
// ignored. Geographic coordinates go in and come out in radians. Handles
// are small positive 32-bit numbers, 0 on failure; the error number of the
// last failure is one of the classic negative numbers (-1 no "+" token,
// -5 unknown projection, -14 coordinate out of range, -38 missing grid,
// -44 a definition refused for another reason, -20 a failed transform ...).
//
// A +nadgrids file is looked up first in <program folder>/proj/nad, then
// where PROJ finds its grids; a grid not marked "@" that is found nowhere
// makes pjTransform fail with -38; "@" grids are optional and "@null" is
// built in. The process environment (PROJ_LIB, PATH) is never changed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class ProjLibrary {
public:
    using Handle = std::int32_t;

    virtual ~ProjLibrary() = default;
    // A projection system from its definition; 0 on failure (see pjErrNum).
    virtual Handle pjInitPlus(const std::string& definition) = 0;
    // Converts `count` points (the callers pass 1) from one system to the
    // other in place; 0 on success, else nonzero (see pjErrNum). `offset`
    // is the stride between points (1).
    virtual int pjTransform(Handle from, Handle to, std::int32_t count, std::int32_t offset,
                            double& x, double& y, double& z) = 0;
    // Nonzero when the system is geographic (longitude/latitude).
    virtual int pjIsLatLong(Handle h) = 0;
    // The classic error number of the last failure (0: none).
    virtual int pjErrNum() = 0;
    // Releases a handle; 0 or an unknown handle does nothing.
    virtual void pjFree(Handle h) = 0;
    // The system's last-error value after a call (always 0 here).
    virtual int last_system_error() { return 0; }
};

// The library over PROJ 9; `program_folder` is where proj/nad is looked up.
std::unique_ptr<ProjLibrary> make_proj_library(const std::string& program_folder);

// The projection text of a .prj file (WKT 1 in ESRI's dialect, on one line)
// for the system of a numeric code: the EPSG system of that code, else the
// ESRI one; empty when PROJ knows neither.
std::string esri_projection_text(const std::string& code);

} // namespace platform
