#include "main/files/detail/polygon_rings.h"

#include <algorithm>

namespace files::detail {

double signed_area2(const std::vector<Pt>& r)
{
    double a = 0;
    for (size_t i = 0; i + 1 < r.size(); ++i) a += r[i].x * r[i + 1].y - r[i + 1].x * r[i].y;
    if (!r.empty() && !(r.front() == r.back())) a += r.back().x * r.front().y - r.front().x * r.back().y;
    return a;
}

bool inside(const Pt& p, const std::vector<Pt>& r)
{
    bool in = false;
    for (size_t i = 0, j = r.size() - 1; i < r.size(); j = i++) {
        if ((r[i].y > p.y) != (r[j].y > p.y) &&
            p.x < (r[j].x - r[i].x) * (p.y - r[i].y) / (r[j].y - r[i].y) + r[i].x)
            in = !in;
    }
    return in;
}

std::vector<std::vector<Pt>> normalized_rings(std::vector<std::vector<Pt>> rings)
{
    for (auto& r : rings)
        if (!r.empty() && !(r.front() == r.back())) r.push_back(r.front());
    std::vector<bool> hole(rings.size(), false);
    for (size_t a = 0; a < rings.size(); ++a) {
        if (rings[a].empty()) continue;
        // A vertex of ring a that is not on ring b decides containment.
        int depth = 0;
        for (size_t b = 0; b < rings.size(); ++b) {
            if (a == b || rings[b].size() < 4) continue;
            for (const Pt& p : rings[a]) {
                if (std::find(rings[b].begin(), rings[b].end(), p) != rings[b].end()) continue;
                if (inside(p, rings[b])) ++depth;
                break;
            }
        }
        hole[a] = depth % 2 == 1;
    }
    for (size_t a = 0; a < rings.size(); ++a) {
        const double area = signed_area2(rings[a]);
        // Clockwise has a negative signed area; holes want a positive one.
        if ((hole[a] && area < 0) || (!hole[a] && area > 0)) std::reverse(rings[a].begin(), rings[a].end());
    }
    return rings;
}

} // namespace files::detail
