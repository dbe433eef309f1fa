// The ArcMap link: the extension's class object made inside the running
// ArcMap, and the ArcMap menu commands that go through it.
#include "main/links/gis_links.h"

#include "main/app/frm_info.h"
#include "main/app/frm_main.h"
#include "main/coords/coords.h"
#include "main/files/files.h"
#include "main/files/table_files.h"
#include "main/table/table.h"
#include "platform/arcobjects/arcobjects.h"
#include "platform/arcobjects/served.h"
#include "platform/automation/collection_object.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/vb_error.h"
#include "platform/events/events.h"
#include "platform/text/vb.h"
#include "platform/ui/dialogs.h"
#include "platform/windows/windows.h"

namespace links {

using platform::Variant;
using platform::VbError;

namespace {

const char* const kToolbarUid = "{F1F911DD-E0FD-4267-8A53-2E8FC5C0470A}";
constexpr int kDockFlags = 32;

files::FileFrontEnd& front_end(app::frmMain& main)
{
    auto* fe = dynamic_cast<files::FileFrontEnd*>(&main.files());
    if (!fe) throw VbError(91, "", "Object variable or With block variable not set");
    return *fe;
}

platform::Dispatch& extension(app::frmMain& main)
{
    if (!main.state().arcmap_extension) throw VbError(91, "", "Object variable or With block variable not set");
    return *main.state().arcmap_extension;
}

// Graphics_Save's vertices handed to the class object; notes whether every
// call went through.
class ExtensionGraphics : public files::GraphicsTarget {
public:
    explicit ExtensionGraphics(platform::ObjectRef object) : object_(std::move(object)) {}
    void Graphics_SaveTo(const std::string& shape, const std::string& lat, const std::string& lon,
                         const std::string& y_proj, const std::string& x_proj, bool new_segment, bool end) override
    {
        try {
            if (!object_) throw VbError(91, "", "Object variable or With block variable not set");
            platform::CallByName(*object_, "Graphics_SaveTo",
                                 {Variant(shape), Variant(lat), Variant(lon), Variant(y_proj), Variant(x_proj),
                                  Variant(new_segment), Variant(end)});
            ++sent_;
        } catch (...) {
            failed_ = true;
            throw;
        }
    }
    bool went_through() const { return !failed_ && sent_ > 0; }

private:
    platform::ObjectRef object_;
    int sent_ = 0;
    bool failed_ = false;
};

} // namespace

platform::ObjectRef Links::Get_ArcMapObject()
{
    try {
        const std::int32_t hwnd = Get_ArcMapWindow();
        auto table = platform::arcobjects::Create_Running_Applications();
        std::shared_ptr<platform::arcobjects::Application> app;
        for (int i = 0; i < table->Count(); ++i) {
            auto entry = table->Item(i);
            if (entry->IsArcMap() && entry->hWnd() == hwnd) app = entry; // the walk goes on past a match
        }
        if (!app) return nullptr;
        if (auto bar = app->FindBar(kToolbarUid); bar && !bar->IsVisible()) {
            bar->Dock(kDockFlags);
            bar->Item0_Execute();
        }
        return app->Create("Trekfold_ArcMap.clsArcMap");
    } catch (const std::exception&) {
        return nullptr;
    }
}

void Links::ArcMap_SendData(const std::string& kind)
{
    app::AppState& st = main_.state();
    files::FileInfo info;
    try {
        info = front_end(main_).getFileInfo(kind);
    } catch (const std::exception&) {
    }
    if (info.name.empty()) return;
    if (!st.arcmap_running) {
        Start_ArcMap();
        // Until ArcMap has given the class object its window; with no
        // object (or a dead one) the call fails and the wait ends.
        platform::EventPump& pump = main_.pump();
        try {
            while (platform::CallByName(extension(main_), "Get_WindowHandle").ToInt32() == -1)
                pump.wait_until([] { return false; }, pump.clock().now_us() + 100'000);
        } catch (const std::exception&) {
        }
    }
    bool reached = false;
    try {
        files::TableFiles& tf = front_end(main_).table_files();
        if (platform::vb::LCase(kind) == "shapefile") {
            const bool projected = !info.type_key.empty() && info.type_key.back() == 'p';
            if (tf.Shapefile_Save(info.shape, projected, info.name, info.append)) {
                platform::CallByName(extension(main_), "Shapefile_ToDataFrame", {Variant(info.name)});
                reached = true;
            }
        } else {
            ExtensionGraphics target(st.arcmap_extension);
            tf.Graphics_Save(info.shape, target);
            reached = target.went_through();
        }
    } catch (const std::exception&) {
    }
    // Only what ArcMap took is reported as sent.
    if (reached) main_.Set_Msg("Sent " + info.shape + " " + kind + " to ArcMap");
}

void Links::mnuArcMapGDBS_Click()
{
    try {
        files::FileFrontEnd& fe = front_end(main_);
        const std::string shape = fe.getFileInfo_UserShapeType("geodatabase", main_.state().record_type);
        Variant array = fe.table_files().Save_Array();
        const std::int32_t hwnd = platform::CallByName(extension(main_), "Get_WindowHandle").ToInt32();
        platform::windows::SetWindowPos_Top(hwnd);
        platform::arcobjects::Raise_Host(hwnd, &main_.pump());
        if (on_raise) on_raise(hwnd);
        platform::Collection<Variant> catalogue;
        const auto fields = flxgrd::Fields_Catalog();
        for (int i = 1; i <= fields.Count(); ++i) {
            const flxgrd::CatalogField& f = fields.Item(i);
            platform::VariantArray row(0, 5);
            row.at(0) = Variant(f.name);
            row.at(1) = Variant(f.type);
            row.at(2) = Variant(std::int32_t(f.width));
            row.at(3) = Variant(std::int32_t(f.decimals));
            row.at(4) = Variant(std::int32_t(f.ordinal));
            // Keyed as the table's headers name the fields ("unused2" holds
            // the dBASE field "unused").
            catalogue.Add(Variant(std::move(row)), fields.KeyOf(i));
        }
        platform::ObjectRef catalogue_object = std::make_shared<platform::CollectionObject>(std::move(catalogue));
        platform::CallByName(extension(main_), "Save_ToGeodatabase",
                             {array, Variant(catalogue_object), Variant(main_.state().record_type), Variant(shape)});
    } catch (const VbError& e) {
        main_.dialogs().MsgBox("Error #" + std::to_string(e.number) + " - " + e.description, platform::vbCritical,
                               "frmMain.mnuArcMapGDBS_Click");
    }
}

void Links::mnuArcMapGraphicL_Click()
{
    try {
        Variant result = platform::CallByName(extension(main_), "Graphics_LoadFrom");
        if (result.IsArray() && result.ToArray().UBound(1) >= 1) front_end(main_).table_files().Open_Array(result);
    } catch (const VbError& e) {
        main_.dialogs().MsgBox("Error #" + std::to_string(e.number) + " - " + e.description, platform::vbCritical,
                               "frmMain.mnuArcMapGraphicL");
    }
}

std::string Unit_Model(const std::string& description)
{
    const std::size_t at = description.find(" Software");
    return platform::vb::Trim(at == std::string::npos ? description : description.substr(0, at));
}

void Links::mnuArcMapLayerL_Click()
{
    // Errors reach the menu's own box ("frmMain.mnuArcMapLayerL_Click").
    const std::string model = Unit_Model(main_.frmInfo().lblGPSDesc1.caption);
    Variant result = platform::CallByName(extension(main_), "FeatureClass_ToGarmin", {Variant(model)});
    if (!result.IsArray()) return;
    front_end(main_).table_files().Open_Array(result);
    main_.coords().Project_Table(false);
}

} // namespace links
