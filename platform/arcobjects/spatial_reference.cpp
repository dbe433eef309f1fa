#include "platform/arcobjects/spatial_reference.h"

#include "platform/automation/vb_error.h"

#include <cpl_error.h>
#include <ogr_spatialref.h>

#include <cerrno>
#include <cmath>
#include <fstream>
#include <sstream>
#include <vector>

namespace platform::arcobjects {

struct SpatialReference::Impl {
    OGRSpatialReference srs;
    // The last conversions from this system, by the target's text: making
    // one looks PROJ's database up, which costs more than converting.
    std::vector<std::pair<std::string, std::unique_ptr<OGRCoordinateTransformation>>> to;
};

namespace {

// GDAL's own messages stay quiet: failures reach callers as VbErrors.
struct QuietErrors {
    QuietErrors() { CPLPushErrorHandler(CPLQuietErrorHandler); }
    ~QuietErrors() { CPLPopErrorHandler(); }
};

VbError no_system(const std::string& what)
{
    return VbError(5, "SpatialReferenceEnvironment", "No coordinate system can be made of " + what);
}

// The WKT text's root node: its keyword, its name and its direct children
// (keyword and text), read without interpreting anything.
struct RootNode {
    std::string keyword, name;
    std::vector<std::pair<std::string, std::string>> children;
};

RootNode read_root(const std::string& text)
{
    RootNode root;
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    std::size_t k = i;
    while (k < text.size() && (std::isalnum(static_cast<unsigned char>(text[k])) || text[k] == '_')) ++k;
    root.keyword = text.substr(i, k - i);
    if (k >= text.size() || (text[k] != '[' && text[k] != '(')) return root;
    // Walk the bracket tree, noting the name and the children at depth 1.
    int depth = 0;
    bool in_quote = false, named = false;
    std::size_t child_start = std::string::npos;
    std::string word;
    for (std::size_t p = k; p < text.size(); ++p) {
        const char c = text[p];
        if (in_quote) {
            if (c == '"') in_quote = false;
            else if (depth == 1 && !named) root.name += c;
            continue;
        }
        if (c == '"') {
            in_quote = true;
            continue;
        }
        if (c == '[' || c == '(') {
            if (depth == 1) {
                std::size_t s = p;
                while (s > 0 && (std::isalnum(static_cast<unsigned char>(text[s - 1])) || text[s - 1] == '_')) --s;
                word = text.substr(s, p - s);
                child_start = s;
            }
            ++depth;
        } else if (c == ']' || c == ')') {
            --depth;
            if (depth == 1 && child_start != std::string::npos) {
                root.children.emplace_back(word, text.substr(child_start, p + 1 - child_start));
                child_start = std::string::npos;
            }
            if (depth == 0) break;
        } else if (c == ',' && depth == 1) {
            named = true;
        }
    }
    return root;
}

std::string upper(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The code of an AUTHORITY["EPSG","26915"] node; 0 when there is none.
int authority_code(const std::string& node)
{
    const auto comma = node.find(',');
    if (comma == std::string::npos) return 0;
    std::string code;
    for (std::size_t p = comma + 1; p < node.size(); ++p)
        if (std::isdigit(static_cast<unsigned char>(node[p]))) code += node[p];
        else if (!code.empty()) break;
    if (code.empty() || code.size() > 9) return 0;
    return std::stoi(code);
}

std::string quoted_first(const std::string& node)
{
    const auto a = node.find('"');
    if (a == std::string::npos) return {};
    const auto b = node.find('"', a + 1);
    return b == std::string::npos ? std::string() : node.substr(a + 1, b - a - 1);
}

} // namespace

SpatialReference::SpatialReference() : impl_(std::make_unique<Impl>())
{
    impl_->srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
}

SpatialReference::~SpatialReference() = default;

std::shared_ptr<SpatialReference> SpatialReference::MakeUnknown()
{
    std::shared_ptr<SpatialReference> sr(new SpatialReference());
    sr->name_ = "Unknown";
    return sr;
}

std::shared_ptr<SpatialReference> SpatialReference::FromText(const std::string& prj_text)
{
    return read(prj_text, true);
}

std::shared_ptr<SpatialReference> SpatialReference::read(const std::string& prj_text, bool identify)
{
    QuietErrors quiet;
    std::shared_ptr<SpatialReference> sr(new SpatialReference());
    std::string text = prj_text;
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
    const RootNode root = read_root(text);
    const std::string kw = upper(root.keyword);
    if (kw != "PROJCS" && kw != "GEOGCS" && kw != "GEOCCS" && kw != "LOCAL_CS" && kw != "PROJCRS" && kw != "GEOGCRS")
        throw no_system("the text \"" + text.substr(0, 60) + "\"");
    sr->name_ = root.name;
    sr->text_ = text;
    const bool local = kw == "LOCAL_CS";
    bool has_unit = false;
    for (const auto& [word, node] : root.children) has_unit = has_unit || upper(word) == "UNIT" || upper(word) == "LENGTHUNIT";
    if (!local) {
        // PROJ reads no PROJCS without a UNIT node; such a system converts
        // in metres and reports no unit.
        std::string readable = text;
        if (kw == "PROJCS" && !has_unit && !readable.empty() && readable.back() == ']')
            readable.insert(readable.size() - 1, ",UNIT[\"Meter\",1.0]");
        if (sr->impl_->srs.importFromWkt(readable.c_str()) != OGRERR_NONE)
            throw no_system("the text \"" + text.substr(0, 60) + "\"");
        sr->kind_ = sr->impl_->srs.IsProjected()    ? SpatialReferenceKind::Projected
                    : sr->impl_->srs.IsGeographic() ? SpatialReferenceKind::Geographic
                                                    : SpatialReferenceKind::Unknown;
    }
    // The factory code: the root's own AUTHORITY, else what PROJ names with
    // full confidence.
    for (const auto& [word, node] : root.children)
        if (upper(word) == "AUTHORITY" || upper(word) == "ID") sr->code_ = authority_code(node);
    if (sr->code_ == 0 && !local && identify) {
        int count = 0;
        int* confidence = nullptr;
        OGRSpatialReferenceH* matches = sr->impl_->srs.FindMatches(nullptr, &count, &confidence);
        for (int m = 0; m < count && sr->code_ == 0; ++m) {
            if (confidence[m] < 100) continue;
            auto* found = OGRSpatialReference::FromHandle(matches[m]);
            const char* auth = found->GetAuthorityName(nullptr);
            const char* code = found->GetAuthorityCode(nullptr);
            if (auth && code && std::string(auth) == "EPSG") sr->code_ = std::atoi(code);
        }
        OSRFreeSRSArray(matches);
        CPLFree(confidence);
    }
    // The linear unit of a projected system: its own UNIT node only.
    if (sr->kind_ == SpatialReferenceKind::Projected)
        for (const auto& [word, node] : root.children)
            if (upper(word) == "UNIT" || upper(word) == "LENGTHUNIT")
                sr->unit_ = LinearUnit{quoted_first(node), sr->impl_->srs.GetLinearUnits(nullptr)};
    return sr;
}

std::shared_ptr<SpatialReference> SpatialReference::FromCode(int code)
{
    static std::vector<std::shared_ptr<SpatialReference>> made;
    for (const auto& m : made)
        if (m->code_ == code) return m;
    QuietErrors quiet;
    OGRSpatialReference srs;
    char* wkt = nullptr;
    const char* options[] = {"FORMAT=WKT1_ESRI", nullptr};
    if (srs.importFromEPSG(code) != OGRERR_NONE || srs.exportToWkt(&wkt, options) != OGRERR_NONE || !wkt) {
        CPLFree(wkt);
        throw no_system("the code " + std::to_string(code));
    }
    std::string text(wkt);
    CPLFree(wkt);
    auto sr = read(text, false);
    sr->code_ = code;
    if (made.size() >= 16) made.erase(made.begin());
    made.push_back(sr);
    return sr;
}

std::shared_ptr<SpatialReference> SpatialReference::FromFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw FileError(errno ? errno : ENOENT, "SpatialReferenceEnvironment");
    std::ostringstream s;
    s << in.rdbuf();
    if (!in && !in.eof()) throw FileError(errno, "SpatialReferenceEnvironment");
    return FromText(s.str());
}

void* SpatialReference::QueryInterface(std::string_view iid) { return iid == IID ? this : nullptr; }

void Project_Points(const SpatialReference& from, const SpatialReference& to, double* x, double* y, std::size_t n)
{
    if (!from.Usable() || !to.Usable())
        throw VbError(5, "Project", "The coordinate system \"" + (from.Usable() ? to.Name() : from.Name()) + "\" is unknown");
    if (n == 0) return;
    QuietErrors quiet;
    auto& cache = from.impl()->to;
    OGRCoordinateTransformation* ct = nullptr;
    const std::string key = to.Text().empty() ? to.Name() : to.Text();
    for (auto& [text, made] : cache)
        if (text == key) ct = made.get();
    if (!ct) {
        std::unique_ptr<OGRCoordinateTransformation> made(
            OGRCreateCoordinateTransformation(&from.impl()->srs, &to.impl()->srs));
        if (!made) throw VbError(5, "Project", "No conversion from \"" + from.Name() + "\" to \"" + to.Name() + "\"");
        if (cache.size() >= 4) cache.erase(cache.begin());
        ct = made.get();
        cache.emplace_back(key, std::move(made));
    }
    std::vector<double> xs(x, x + n), ys(y, y + n);
    std::vector<int> ok(n, 0);
    ct->Transform(n, xs.data(), ys.data(), nullptr, ok.data());
    for (std::size_t i = 0; i < n; ++i) {
        if (!ok[i] || !std::isfinite(xs[i]) || !std::isfinite(ys[i])) {
            std::ostringstream why;
            why.precision(15);
            why << "The point (" << x[i] << ", " << y[i] << ") cannot be projected from \"" << from.Name()
                << "\" to \"" << to.Name() << "\"";
            throw VbError(5, "Project", why.str());
        }
        x[i] = xs[i];
        y[i] = ys[i];
    }
}

} // namespace platform::arcobjects
