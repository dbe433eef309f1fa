// The classic five functions over PROJ 9. Each definition is taken apart as
// the old library did (see detail/classic_definition.h); a transform between
// two definitions runs the same steps the old library ran: the inverse of
// the source projection, the datum shift through WGS84 (grid shift, then
// geocentric with the three or seven parameters, then the target's grid
// shift backwards) and the target projection. Built steps are cached per
// pair of definition texts, so only the first point of a pair pays for them.
#include "platform/proj/proj.h"

#include "platform/proj/detail/classic_definition.h"
#include "platform/proj/detail/pj_handle.h"

#include <cmath>
#include <filesystem>
#include <map>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform {
namespace {

using proj_detail::ClassicDefinition;
using proj_detail::DatumKind;
using proj_detail::PjContextHandle;
using proj_detail::PjHandle;

constexpr int kUnknownProjection = -5;
constexpr int kUnknownUnit = -7;
constexpr int kUnknownEllipsoidName = -9;
constexpr int kOutOfRange = -14;
constexpr int kToleranceCondition = -20;
constexpr int kInvalidUtmZone = -35;
constexpr int kGridFailed = -38;
constexpr int kUnparseable = -44;

constexpr double kWgs84A = 6378137.0;
constexpr double kWgs84Es = 0.0066943799901413165;

// Caches are dropped whole when they grow past these sizes; live handles
// keep their definitions.
constexpr std::size_t kMaxDefinitions = 256;
constexpr std::size_t kMaxChains = 64;

struct Definition {
    ClassicDefinition classic;
    PjHandle projection;  // geographic radians -> the definition's coordinates
    PjHandle helmert;     // local geocentric -> WGS84 geocentric (3/7 parameters)
    double a = 0, es = 0;
    bool latlong = false;
};

struct Step {
    PJ* op;
    PJ_DIRECTION dir;
};

// The steps from one definition to another, with the operations only they use.
struct Chain {
    std::shared_ptr<const Definition> from, to;
    std::vector<PjHandle> owned;
    std::vector<Step> steps;
};

bool same_datum(const Definition& s, const Definition& d)
{
    const auto& a = s.classic;
    const auto& b = d.classic;
    if (a.datum != b.datum) return false;
    if (s.a != d.a || std::fabs(s.es - d.es) > 0.000000000050) return false;
    switch (a.datum) {
    case DatumKind::ThreeParam:
        return std::equal(a.towgs84.begin(), a.towgs84.begin() + 3, b.towgs84.begin());
    case DatumKind::SevenParam:
        return a.towgs84 == b.towgs84;
    case DatumKind::GridShift:
        return a.nadgrids == b.nadgrids;
    default:
        return true;
    }
}

bool has_parameters(DatumKind k) { return k == DatumKind::ThreeParam || k == DatumKind::SevenParam; }

int transform_error(int proj_errno_value)
{
    switch (proj_errno_value) {
    case PROJ_ERR_COORD_TRANSFM_INVALID_COORD:
    case PROJ_ERR_COORD_TRANSFM_OUTSIDE_PROJECTION_DOMAIN:
        return kOutOfRange;
    case PROJ_ERR_COORD_TRANSFM_OUTSIDE_GRID:
    case PROJ_ERR_COORD_TRANSFM_GRID_AT_NODATA:
    case PROJ_ERR_INVALID_OP_FILE_NOT_FOUND_OR_INVALID:
        return kGridFailed;
    default:
        return kToleranceCondition;
    }
}

class Pj9Library final : public ProjLibrary {
public:
    explicit Pj9Library(const std::string& program_folder) : ctx_(proj_context_create())
    {
        proj_log_func(ctx_.get(), this, &Pj9Library::on_log);
        proj_log_level(ctx_.get(), PJ_LOG_ERROR);
        proj_context_set_enable_network(ctx_.get(), 0);
        // Grids are looked up in the program's own folder first, then
        // wherever PROJ looks by itself (its database lives there too).
        std::vector<std::string> paths{program_folder + "/proj/nad"};
        std::string_view rest = proj_info().searchpath ? proj_info().searchpath : "";
        while (!rest.empty()) {
            const auto colon = rest.find(':');
            if (colon != 0) paths.emplace_back(rest.substr(0, colon));
            if (colon == std::string_view::npos) break;
            rest.remove_prefix(colon + 1);
        }
        std::vector<const char*> cpaths;
        for (const auto& p : paths) cpaths.push_back(p.c_str());
        proj_context_set_search_paths(ctx_.get(), static_cast<int>(cpaths.size()), cpaths.data());
    }

    ~Pj9Library() override
    {
        // Everything made in the context goes before it.
        handles_.clear();
        chains_.clear();
        definitions_.clear();
        wgs84_cart_.reset();
    }

    Handle pjInitPlus(const std::string& definition) override
    {
        errnum_ = 0;
        auto def = definition_for(definition);
        if (!def) return 0;
        if (next_handle_ == INT32_MAX) next_handle_ = 1;
        while (handles_.count(next_handle_)) ++next_handle_;
        const Handle h = next_handle_++;
        handles_.emplace(h, std::move(def));
        return h;
    }

    int pjTransform(Handle from, Handle to, std::int32_t count, std::int32_t offset, double& x, double& y,
                    double& z) override
    {
        errnum_ = 0;
        const auto f = handles_.find(from);
        const auto t = handles_.find(to);
        if (f == handles_.end() || t == handles_.end()) return fail(kToleranceCondition);
        if (count <= 0) return 0;  // nothing to convert
        const Chain* chain = chain_for(f->second, t->second);
        if (!chain) return errnum_;
        PJ_COORD c = proj_coord(x, y, z, 0);
        for (const auto& step : chain->steps) {
            proj_errno_reset(step.op);
            c = proj_trans(step.op, step.dir, c);
            const int e = proj_errno(step.op);
            if (e != 0 || !std::isfinite(c.v[0]) || !std::isfinite(c.v[1])) return fail(transform_error(e));
        }
        x = c.v[0];
        y = c.v[1];
        z = c.v[2];
        return 0;
    }

    int pjIsLatLong(Handle h) override
    {
        const auto it = handles_.find(h);
        return it != handles_.end() && it->second->latlong ? 1 : 0;
    }

    int pjErrNum() override { return errnum_; }

    void pjFree(Handle h) override { handles_.erase(h); }

private:
    static void on_log(void* self, int, const char* message)
    {
        static_cast<Pj9Library*>(self)->last_message_ = message ? message : "";
    }

    int fail(int classic)
    {
        errnum_ = classic;
        return classic;
    }

    // The classic number for a definition PROJ refused, read from its message.
    int refusal_error() const
    {
        struct Rule {
            const char* text;
            int error;
        };
        static constexpr Rule rules[] = {
            {"Unknown projection", kUnknownProjection},
            {"Invalid value for zone", kInvalidUtmZone},
            {"Invalid value for units", kUnknownUnit},
            {"Unknown value for datum", kUnknownEllipsoidName},
            {"Unknown ellipsoid", kUnknownEllipsoidName},
        };
        for (const auto& r : rules)
            if (last_message_.find(r.text) != std::string::npos) return r.error;
        return kUnparseable;
    }

    PjHandle create(const std::string& text)
    {
        last_message_.clear();
        return PjHandle(proj_create(ctx_.get(), text.c_str()));
    }

    std::shared_ptr<const Definition> definition_for(const std::string& text)
    {
        ClassicDefinition classic = proj_detail::parse_classic_definition(text);
        if (classic.error != 0) {
            fail(classic.error);
            return nullptr;
        }
        if (auto it = definitions_.find(classic.text); it != definitions_.end()) return it->second;

        auto def = std::make_shared<Definition>();
        def->projection = create(classic.projection);
        // Only projections from geographic coordinates are definitions here.
        if (!def->projection || !proj_angular_input(def->projection.get(), PJ_FWD)) {
            fail(def->projection ? kUnknownProjection : refusal_error());
            return nullptr;
        }
        def->latlong = proj_angular_output(def->projection.get(), PJ_FWD) != 0;
        if (!ellipsoid_of(classic.ellipsoid, def->a, def->es)) {
            fail(kUnparseable);
            return nullptr;
        }
        if (classic.datum == DatumKind::ThreeParam && classic.towgs84[0] == 0 && classic.towgs84[1] == 0 &&
            classic.towgs84[2] == 0 && def->a == kWgs84A && std::fabs(def->es - kWgs84Es) < 0.000000000050)
            classic.datum = DatumKind::Wgs84;
        if (has_parameters(classic.datum)) {
            const auto& p = classic.towgs84;
            std::string h = "+proj=helmert +convention=position_vector";
            const char* names[] = {"x", "y", "z", "rx", "ry", "rz", "s"};
            for (int i = 0; i < 7; ++i) h += " +" + std::string(names[i]) + "=" + number(p[i]);
            def->helmert = create(h);
            if (!def->helmert) {
                fail(kUnparseable);
                return nullptr;
            }
        }
        def->classic = std::move(classic);
        if (definitions_.size() >= kMaxDefinitions) definitions_.clear();
        std::shared_ptr<const Definition> shared = std::move(def);
        definitions_.emplace(shared->classic.text, shared);
        return shared;
    }

    static std::string number(double v)
    {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.17g", v);
        return buf;
    }

    // Semi-major axis and squared eccentricity of the ellipsoid tokens, as
    // PROJ reads them (PROJ's default ellipsoid when there are none).
    bool ellipsoid_of(const std::string& tokens, double& a, double& es)
    {
        PjHandle crs = create("+proj=longlat " + tokens + " +no_defs +type=crs");
        if (!crs) return false;
        PjHandle ellps(proj_get_ellipsoid(ctx_.get(), crs.get()));
        double b = 0, inv_f = 0;
        int b_computed = 0;
        if (!ellps || !proj_ellipsoid_get_parameters(ctx_.get(), ellps.get(), &a, &b, &b_computed, &inv_f))
            return false;
        es = a > 0 ? 1.0 - (b * b) / (a * a) : 0.0;
        return a > 0;
    }

    PJ* wgs84_cart()
    {
        if (!wgs84_cart_) wgs84_cart_ = create("+proj=cart +ellps=WGS84");
        return wgs84_cart_.get();
    }

    const Chain* chain_for(const std::shared_ptr<const Definition>& from,
                           const std::shared_ptr<const Definition>& to)
    {
        auto key = std::make_pair(from->classic.text, to->classic.text);
        if (auto it = chains_.find(key); it != chains_.end()) return &it->second;
        Chain chain;
        if (!build_chain(*from, *to, chain)) return nullptr;
        chain.from = from;
        chain.to = to;
        if (chains_.size() >= kMaxChains) chains_.clear();
        return &chains_.emplace(std::move(key), std::move(chain)).first->second;
    }

    PJ* own(Chain& chain, PjHandle op)
    {
        PJ* p = op.get();
        if (p) chain.owned.push_back(std::move(op));
        return p;
    }

    // The grid shift of a +nadgrids list; a required grid found nowhere fails.
    PJ* grid_shift(Chain& chain, const std::string& grids)
    {
        PJ* p = own(chain, create("+proj=hgridshift +grids=" + grids));
        if (!p) fail(kGridFailed);
        return p;
    }

    bool build_chain(const Definition& s, const Definition& d, Chain& chain)
    {
        chain.steps.push_back({s.projection.get(), PJ_INV});
        const auto sk = s.classic.datum, dk = d.classic.datum;
        if (sk != DatumKind::Unknown && dk != DatumKind::Unknown && !same_datum(s, d)) {
            double src_a = s.a, src_es = s.es, dst_a = d.a, dst_es = d.es;
            PJ* src_cart = nullptr;
            PJ* dst_cart = nullptr;
            if (sk == DatumKind::GridShift) {
                PJ* g = grid_shift(chain, s.classic.nadgrids);
                if (!g) return false;
                chain.steps.push_back({g, PJ_FWD});
                src_a = kWgs84A;
                src_es = kWgs84Es;
                src_cart = wgs84_cart();
            }
            PJ* dst_grid = nullptr;
            if (dk == DatumKind::GridShift) {
                dst_grid = grid_shift(chain, d.classic.nadgrids);
                if (!dst_grid) return false;
                dst_a = kWgs84A;
                dst_es = kWgs84Es;
                dst_cart = wgs84_cart();
            }
            if (src_a != dst_a || src_es != dst_es || has_parameters(sk) || has_parameters(dk)) {
                if (!src_cart) src_cart = own(chain, create("+proj=cart " + s.classic.ellipsoid));
                if (!dst_cart) dst_cart = own(chain, create("+proj=cart " + d.classic.ellipsoid));
                if (!src_cart || !dst_cart) {
                    fail(kUnparseable);
                    return false;
                }
                chain.steps.push_back({src_cart, PJ_FWD});
                if (has_parameters(sk)) chain.steps.push_back({s.helmert.get(), PJ_FWD});
                if (has_parameters(dk)) chain.steps.push_back({d.helmert.get(), PJ_INV});
                chain.steps.push_back({dst_cart, PJ_INV});
            }
            if (dst_grid) chain.steps.push_back({dst_grid, PJ_INV});
        }
        chain.steps.push_back({d.projection.get(), PJ_FWD});
        return true;
    }

    PjContextHandle ctx_;  // first member: destroyed last
    PjHandle wgs84_cart_;
    std::map<std::string, std::shared_ptr<const Definition>> definitions_;
    std::map<std::pair<std::string, std::string>, Chain> chains_;
    std::unordered_map<Handle, std::shared_ptr<const Definition>> handles_;
    Handle next_handle_ = 1;
    int errnum_ = 0;
    std::string last_message_;
};

} // namespace

std::unique_ptr<ProjLibrary> make_proj_library(const std::string& program_folder)
{
    return std::make_unique<Pj9Library>(program_folder);
}

} // namespace platform
