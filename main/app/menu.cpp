#include "main/app/menu.h"

#include <functional>
#include <stdexcept>

namespace app {
namespace {

MenuItem item(std::string name, std::string caption, std::vector<MenuItem> children = {})
{
    MenuItem m;
    m.name = std::move(name);
    m.caption = std::move(caption);
    m.children = std::move(children);
    return m;
}

MenuItem sep(std::string name) { return item(std::move(name), "-"); }

MenuItem indexed(std::string name, int index, std::string caption)
{
    MenuItem m = item(std::move(name), std::move(caption));
    m.index = index;
    return m;
}

std::vector<MenuItem> port_items()
{
    std::vector<MenuItem> v;
    v.push_back(indexed("mnuPort", 0, "USB"));
    for (int i = 1; i <= 20; ++i)
        v.push_back(indexed("mnuPort", i, "Port " + std::to_string(i)));
    return v;
}

std::vector<MenuItem> baud_items()
{
    static const char* const captions[] = {"4800 (NMEA Mode)", "9600 (Garmin Default)", "19200", "28800",
                                           "38400", "57600", "115200"};
    std::vector<MenuItem> v;
    for (int i = 0; i < 7; ++i)
        v.push_back(indexed("mnuBaud", i, captions[i]));
    return v;
}

std::vector<MenuItem> design_menus()
{
    std::vector<MenuItem> top;

    top.push_back(item("mnuFile", "&File", {
        item("mnuLoad", "Load From", {
            item("mnuFileL", "File..."),
            item("mnuArcViewL", "ArcView", {item("mnuAVTheme", "Theme"), item("mnuAVGraphic", "Graphic")}),
            item("mnuArcMapL", "ArcMap", {item("mnuArcMapLayerL", "Layer"), item("mnuArcMapGraphicL", "Graphic")}),
            item("mnuLandviewL", "Landview", {
                item("mnuLandviewCurrentLocationLoad", "Current Location"),
                item("mnuLandviewListLoad", "User List"),
                item("mnuLandviewMeasureToolLoad", "Measure Tool", {
                    item("mnuLandViewMeasureLoadPoint", "Point"),
                    item("mnuLandViewMeasureLoadLine", "Line"),
                    item("mnuLandViewMeasureLoadPolygon", "Polygon"),
                }),
                item("mnuLandviewLayerLoad", "Layer"),
            }),
            item("mnuGoogleLoad", "Google Earth", {item("mnuGoogleLoadMyPlaces", "My Places")}),
        }),
        item("mnuSaveAs", "Save To", {
            item("mnuAFile", "File..."),
            item("mnuArcViewS", "ArcView", {item("mnuShapefile", "Shapefile..."), item("mnuGraphic", "Graphic")}),
            item("mnuArcMapS", "ArcMap", {
                item("mnuArcMapLayerS", "Shapefile Layer..."),
                item("mnuArcMapGDBS", "Geodatabase Feature Class ..."),
                item("mnuArcMapGraphicS", "Graphic"),
            }),
            item("mnuLandViewS", "Landview", {
                item("mnuLandviewCurrentLocationSave", "Current Location"),
                item("mnuLandviewListSave", "User List"),
                item("mnuLandviewMeasureToolSave", "Measure Tool", {
                    item("mnuLandviewMeasureToolPoint", "Point"),
                    item("mnuLandviewMeasureToolLine", "Line"),
                    item("mnuLandviewMeasureToolPolygon", "Polygon"),
                }),
                item("mnuLandVeiwLayerSave", "Layer..."),
            }),
            item("mnuArcExplorerS", "ArcExplorer 2.0", {item("mnuShapefileAE", "Shapefile Layer...")}),
            item("mnuGoogleSave", "Google Earth", {item("mnuGoogleSaveMyPlaces", "My Places")}),
        }),
        sep("mnuSpace1"),
        item("mnuSetProjection", "Set Projection"),
        item("mnuGetProjection", "Get Projection"),
        sep("mnuSpace2"),
        item("mnuGeneralProperties", "General Properties"),
        item("mnuArcMapProperties", "ArcMap 9.x Properties"),
        sep("mnuSpace22"),
        item("mnuRefreshApps", "Refresh Apps"),
        item("mnuSetAppRefreshRate", "Set App Refresh Rate"),
        sep("mnuSpace14"),
        item("mnuExit", "E&xit"),
    }));

    top.push_back(item("mnuEdit", "Edit", {
        item("mnuCopy", "Copy"),
        item("mnuPaste", "Paste"),
        sep("mnuSpace3"),
        item("mnuAddRecord", "Add Record"),
        item("mnuDelete", "Delete Selection"),
        item("mnuClearTable", "Empty Table"),
        item("mnuClearSelection", "Clear Selection"),
        item("mnuColumnsAutoFit", "Auto Fit Columns"),
        sep("mnuSpace4"),
        item("mnuProjectCoordinates", "Project Coordinates"),
        item("mnuUnProjectCoordinates", "Unproject Coordinates"),
        sep("mnuSpace5"),
        item("mnuCalculateLocalTime", "Calculate Local Time"),
        item("mnuCalculateUTCTime", "Calculate UTC Time"),
        item("mnuCalculateCEP", "Calculate CEP..."),
        sep("mnuSpace23"),
        item("mnuHotlinks", "Add Image Hotlinks..."),
        item("mnuAddWorldFile", "Add World File for Hotlinked Images ..."),
    }));

    top.push_back(item("mnuGPS", "GPS", {
        item("mnuAssign", "&Set  Port", port_items()),
        item("mnuBaudRate", "Set Baud Rate", baud_items()),
        sep("mnuSpace7"),
        item("mnuOpen", "&Open Port"),
        item("mnuAutoGPSConnect", "Auto Connect to GPS"),
        item("mnuClose", "&Close Port"),
        item("mnuReset", "Reset Garmin"),
        sep("mnuSpace8"),
        item("mnuUnits", "Units", {indexed("mnuUnit", 0, "Meters"), indexed("mnuUnit", 1, "Feet")}),
        item("mnuDDownload", "Garmin Screen Shot"),
        item("mnuGInfo", "Garmin Info"),
    }));

    top.push_back(item("mnuWayPoint", "Waypoint", {
        item("mnuWDownload", "Download"),
        item("mnuWUpload", "Upload"),
        sep("mnuSpace9"),
        item("mnuWProperties", "Waypoint Properties..."),
    }));
    top.push_back(item("mnuTrack", "Track", {
        item("mnuTDownload", "Download"),
        item("mnuTUpload", "Upload"),
        sep("mnuSpace10"),
        item("mnuTProperties", "Track Properties..."),
    }));
    top.push_back(item("mnuRoute", "Route", {
        item("mnuRDownload", "Download"),
        item("mnuRUpload", "Upload"),
        sep("mnuSpace11"),
        item("mnuRProperties", "Route Properties..."),
    }));

    top.push_back(item("mnuRT", "Real Time", {
        item("mnuStartRealTime", "START Real Time Tracking"),
        item("mnuStopRealTime", "STOP Real Time Tracking"),
        sep("mnuSpace12"),
        item("mnuViewNMEA", "View NMEA Strings"),
        item("mnuRTProperties", "Real Time Properties..."),
    }));

    top.push_back(item("mnuHelp", "Help", {
        item("mnuHelpFile", "Osv Help File Index..."),
        sep("mnuSpace13"),
        item("mnuAbout", "About Trekfold Extension..."),
    }));
    return top;
}

template <class Items, class Fn>
void walk(Items& items, const Fn& fn)
{
    for (auto& m : items) {
        fn(m);
        walk(m.children, fn);
    }
}

} // namespace

MenuTree::MenuTree() : top_(design_menus()) {}


MenuTree::MenuTree(const MenuTree& other) : top_(other.top_) {}

MenuTree& MenuTree::operator=(const MenuTree& other)
{
    top_ = other.top_;
    index_.clear();
    indexed_ = false;
    return *this;
}

void MenuTree::reindex()
{
    index_.clear();
    walk(top_, [&](MenuItem& m) { index_[m.name].push_back(&m); });
    indexed_ = true;
}

MenuItem* MenuTree::find(std::string_view name, int index)
{
    if (!indexed_) reindex();
    auto it = index_.find(name);
    if (it == index_.end()) return nullptr;
    for (MenuItem* m : it->second)
        if (m->index == index) return m;
    return nullptr;
}

const MenuItem* MenuTree::find(std::string_view name, int index) const
{
    return const_cast<MenuTree*>(this)->find(name, index);
}

MenuItem& MenuTree::at(std::string_view name, int index)
{
    if (MenuItem* m = find(name, index)) return *m;
    throw std::out_of_range("no menu item " + std::string(name) + "(" + std::to_string(index) + ")");
}

std::vector<MenuItem*> MenuTree::array(std::string_view name)
{
    if (!indexed_) reindex();
    std::vector<MenuItem*> v;
    auto it = index_.find(name);
    if (it != index_.end())
        for (MenuItem* m : it->second)
            if (m->index >= 0) v.push_back(m);
    return v;
}

} // namespace app
