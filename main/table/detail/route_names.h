// What the route defaults know of the rows they have already named, so a
// route table built a record at a time is named in one walk instead of one
// walk per route start.
#pragma once

#include "platform/grid/grid.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace flxgrd::detail {

struct RouteNames {
    // Rows 1..named hold their final names; the two collections and the
    // two counters are as a walk from row 1 leaves them after that row.
    // Naming a row depends only on the rows above it and a second walk over
    // named rows changes nothing, so a walk may go on from named + 1 while
    // the grid reports no change at or above that row. The counters only
    // skip names the collections already hold, so keeping them gives the
    // names a walk starting at 1 would give.
    int named = 0;
    std::shared_ptr<platform::Grid::RowChanges> changes;
    std::unordered_map<std::string, std::pair<std::string, std::string>> points; // key: point name
    std::unordered_set<std::string> routes;                                     // keys: route names
    int point_counter = 1, route_counter = 1;

    void forget()
    {
        named = 0;
        points.clear();
        routes.clear();
        point_counter = route_counter = 1;
    }
};

} // namespace flxgrd::detail
