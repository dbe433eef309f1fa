// projlist OUTDIR: writes the projection lists OUTDIR/epsg and OUTDIR/esri
// from PROJ's database. Per CRS, in ascending code order:
//
//   # <name>
//   <<code>> <PROJ parameters, ending +no_defs>  no_defs <>
//
// epsg holds every non-deprecated EPSG geographic 2D and projected CRS that
// PROJ can write as a PROJ string; esri holds the same under their ESRI
// names plus the ESRI-authority CRSs whose code is not an EPSG code. The
// parameters are PROJ's string for the CRS bound to WGS 84 (where PROJ knows
// one transformation), without +type=crs, with the datum spelled the old way
// on WGS 84, NAD83 and NAD27. A string PROJ cannot build a projection from
// again is left out.
#include "platform/proj/detail/pj_handle.h"

#include <proj.h>
#include <proj_experimental.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using platform::proj_detail::PjContextHandle;
using platform::proj_detail::PjHandle;

struct Entry {
    long code = 0;
    std::string auth;
    std::string code_text;
    std::string name;       // the authority's name
    std::string esri_name;  // PROJ's WKT1:ESRI name
    std::string params;     // empty: PROJ has no PROJ string for it
};

// The old spelling of the three datums the old lists named.
const char* old_datum_tokens(const char* auth, const char* code)
{
    if (!auth || !code || std::string(auth) != "EPSG") return nullptr;
    const std::string c = code;
    if (c == "6326") return "+ellps=WGS84 +datum=WGS84";
    if (c == "6269") return "+ellps=GRS80 +datum=NAD83";
    if (c == "6267") return "+ellps=clrk66 +datum=NAD27";
    return nullptr;
}

// Replaces +ellps, +towgs84 and +datum by `replacement` where the first of
// them stood; drops +type=crs; makes sure the list ends with +no_defs.
std::string respell(const std::string& proj_string, const char* replacement)
{
    std::istringstream in(proj_string);
    std::string token, out;
    bool replaced = false;
    auto add = [&out](const std::string& t) {
        if (!out.empty()) out += ' ';
        out += t;
    };
    while (in >> token) {
        if (token == "+type=crs") continue;
        if (replacement && (token.rfind("+ellps=", 0) == 0 || token.rfind("+towgs84=", 0) == 0 ||
                            token.rfind("+datum=", 0) == 0)) {
            if (!replaced) add(replacement);
            replaced = true;
            continue;
        }
        add(token);
    }
    if (out.size() < 8 || out.compare(out.size() - 8, 8, "+no_defs") != 0) add("+no_defs");
    return out;
}

std::string first_quoted(const char* text)
{
    if (!text) return {};
    const std::string s = text;
    const auto a = s.find('"');
    const auto b = a == std::string::npos ? a : s.find('"', a + 1);
    return b == std::string::npos ? std::string{} : s.substr(a + 1, b - a - 1);
}

PjContextHandle quiet_context()
{
    PjContextHandle ctx(proj_context_create());
    proj_log_level(ctx.get(), PJ_LOG_NONE);
    proj_context_set_enable_network(ctx.get(), 0);
    return ctx;
}

void describe(PJ_CONTEXT* ctx, Entry& e, bool want_esri_name)
{
    PjHandle crs(proj_create_from_database(ctx, e.auth.c_str(), e.code_text.c_str(), PJ_CATEGORY_CRS, 0, nullptr));
    if (!crs) return;
    // As projinfo binds: through an intermediate CRS only when there is no
    // direct transformation.
    const char* const bound_options[] = {"ALLOW_INTERMEDIATE_CRS=IF_NO_DIRECT_TRANSFORMATION", nullptr};
    PjHandle bound(proj_crs_create_bound_crs_to_WGS84(ctx, crs.get(), bound_options));
    const char* s = proj_as_proj_string(ctx, bound ? bound.get() : crs.get(), PJ_PROJ_5, nullptr);
    if (!s) return;
    PjHandle datum(proj_crs_get_datum_ensemble(ctx, crs.get()));
    if (!datum) datum = PjHandle(proj_crs_get_datum(ctx, crs.get()));
    const char* replacement =
        datum ? old_datum_tokens(proj_get_id_auth_name(datum.get(), 0), proj_get_id_code(datum.get(), 0)) : nullptr;
    e.params = respell(s, replacement);
    // A few ESRI systems come out as strings PROJ will not run (a negative
    // scale factor, for one); a list entry nobody can use is left out.
    if (!PjHandle(proj_create(ctx, e.params.c_str()))) {
        e.params.clear();
        return;
    }
    if (want_esri_name) e.esri_name = first_quoted(proj_as_wkt(ctx, crs.get(), PJ_WKT1_ESRI, nullptr));
    if (e.esri_name.empty()) e.esri_name = e.name;
}

std::vector<Entry> list_crs(PJ_CONTEXT* ctx, const char* auth)
{
    PJ_TYPE types[] = {PJ_TYPE_GEOGRAPHIC_2D_CRS, PJ_TYPE_PROJECTED_CRS};
    PROJ_CRS_LIST_PARAMETERS* params = proj_get_crs_list_parameters_create();
    params->types = types;
    params->typesCount = 2;
    params->allow_deprecated = 0;
    int count = 0;
    PROJ_CRS_INFO** infos = proj_get_crs_info_list_from_database(ctx, auth, params, &count);
    proj_get_crs_list_parameters_destroy(params);
    std::vector<Entry> out;
    for (int i = 0; i < count; ++i) {
        char* end = nullptr;
        const long code = std::strtol(infos[i]->code, &end, 10);
        if (!end || *end != '\0' || code <= 0) continue;  // the lists are keyed by number
        out.push_back({code, infos[i]->auth_name, infos[i]->code, infos[i]->name ? infos[i]->name : "", {}, {}});
    }
    proj_crs_info_list_destroy(infos);
    std::sort(out.begin(), out.end(), [](const Entry& a, const Entry& b) { return a.code < b.code; });
    out.erase(std::unique(out.begin(), out.end(), [](const Entry& a, const Entry& b) { return a.code == b.code; }),
              out.end());
    return out;
}

// Fills the parameters of every entry, spread over a few threads (each with
// its own context: a context is not shared between threads).
void describe_all(std::vector<Entry>& entries, bool want_esri_names)
{
    const unsigned threads = std::clamp(std::thread::hardware_concurrency() / 2, 1u, 4u);
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < threads; ++t)
        pool.emplace_back([&, t] {
            auto ctx = quiet_context();
            for (std::size_t i = t; i < entries.size(); i += threads) describe(ctx.get(), entries[i], want_esri_names);
        });
    for (auto& th : pool) th.join();
}

bool write_list(const std::filesystem::path& path, const std::vector<Entry>& entries, bool esri_names)
{
    const auto tmp = path.string() + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        for (const auto& e : entries) {
            if (e.params.empty()) continue;
            out << "# " << (esri_names ? e.esri_name : e.name) << '\n'
                << '<' << e.code << "> " << e.params << "  no_defs <>\n";
        }
        if (!out.flush()) return false;
    }
    std::error_code ec;
    std::filesystem::rename(tmp, path, ec);
    return !ec;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: projlist OUTDIR\n";
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);

    auto ctx = quiet_context();
    std::vector<Entry> epsg = list_crs(ctx.get(), "EPSG");
    std::vector<Entry> esri_own = list_crs(ctx.get(), "ESRI");
    if (epsg.empty()) {
        std::cerr << "projlist: PROJ's database lists no EPSG CRS\n";
        return 1;
    }

    // ESRI codes that are also EPSG codes (of any CRS) stay out of the list.
    std::set<long> epsg_codes;
    if (PROJ_STRING_LIST codes = proj_get_codes_from_database(ctx.get(), "EPSG", PJ_TYPE_CRS, 1)) {
        for (auto p = codes; *p; ++p) epsg_codes.insert(std::strtol(*p, nullptr, 10));
        proj_string_list_destroy(codes);
    }
    std::erase_if(esri_own, [&](const Entry& e) { return epsg_codes.count(e.code) != 0; });

    describe_all(epsg, true);
    describe_all(esri_own, false);

    std::vector<Entry> esri = epsg;
    for (auto& e : esri_own) e.esri_name = e.name;
    esri.insert(esri.end(), esri_own.begin(), esri_own.end());
    std::stable_sort(esri.begin(), esri.end(), [](const Entry& a, const Entry& b) { return a.code < b.code; });

    if (!write_list(dir / "epsg", epsg, false) || !write_list(dir / "esri", esri, true)) {
        std::cerr << "projlist: cannot write the lists in " << dir << '\n';
        return 1;
    }
    return 0;
}
