// The ESRI projection text of a coordinate system code, from PROJ's database.
#include "platform/proj/proj.h"
#include "platform/proj/detail/pj_handle.h"

#include <proj.h>

namespace platform {

std::string esri_projection_text(const std::string& code)
{
    using proj_detail::PjContextHandle;
    using proj_detail::PjHandle;
    if (code.empty() || code.find_first_not_of("0123456789") != std::string::npos) return {};
    PjContextHandle ctx(proj_context_create());
    if (!ctx) return {};
    proj_log_level(ctx.get(), PJ_LOG_NONE);
    // The lists file the EPSG systems under their own codes and add ESRI's
    // own under codes EPSG does not use: EPSG first, then ESRI.
    for (const char* authority : {"EPSG", "ESRI"}) {
        PjHandle crs(proj_create_from_database(ctx.get(), authority, code.c_str(), PJ_CATEGORY_CRS, 0, nullptr));
        if (!crs) continue;
        const char* const options[] = {"MULTILINE=NO", nullptr};
        if (const char* wkt = proj_as_wkt(ctx.get(), crs.get(), PJ_WKT1_ESRI, options)) return wkt;
    }
    return {};
}

} // namespace platform
