// A small extension of our own for the map host's tests: a toolbar holding
// a menu (two commands, the second after a group line) and a button; the
// button's command keeps the application it is created with and starts
// "stand-in-program" through the host's launcher; a class with members that
// echo, change their arguments by reference, raise, show a box and a modal
// window, and draw through the application. Its ProgIDs differ in case and
// prefix ("STANDIN_LIB.", "StandIn_Lib.") and neither names the file.
#include "platform/arcobjects/application.h"
#include "platform/arcobjects/services.h"
#include "platform/arcobjects/extension.h"
#include "platform/automation/class_registry.h"
#include "platform/automation/vb_error.h"
#include "platform/launcher/launcher.h"
#include "platform/ui/dialogs.h"

#include <memory>

namespace {

namespace ao = platform::arcobjects;
using platform::Variant;

platform::ClassRegistry* g_registry = nullptr;
std::shared_ptr<ao::MxApplication> g_app;

const char* const kBar = "{0E2D1C3B-4A5F-4E6D-8C7B-9A0B1C2D3E4F}";

class Bar : public ao::Object, public ao::IToolBarDef {
public:
    std::string Kind() const override { return "toolbar_def"; }
    void* QueryInterface(std::string_view iid) override { return iid == IID ? static_cast<IToolBarDef*>(this) : nullptr; }
    std::int32_t ItemCount() override { return 3; }
    void GetItemInfo(std::int32_t pos, ao::ItemDef& item) override
    {
        if (pos == 0) item.ID = "STANDIN_LIB.clsMenu";
        if (pos == 1) item.ID = "STANDIN_LIB.clsStart";
        if (pos == 2) item.ID = "STANDIN_LIB.clsMissing"; // no such class: the item keeps its error
    }
    std::string Name() override { return "Stand-in Bar"; }
    std::string Caption() override { return "Stand-in Bar caption"; }
};

class Menu : public ao::Object, public ao::IMenuDef {
public:
    std::string Kind() const override { return "menu_def"; }
    void* QueryInterface(std::string_view iid) override { return iid == IID ? static_cast<IMenuDef*>(this) : nullptr; }
    std::string Caption() override { return "Stand-in Menu"; }
    void GetItemInfo(std::int32_t pos, ao::ItemDef& item) override
    {
        if (pos == 0) item.ID = "STANDIN_LIB.clsStart";
        if (pos == 1) item.ID = "StandIn_Lib.clsQuiet", item.Group = true;
    }
    std::int32_t ItemCount() override { return 2; }
    std::string Name() override { return "Stand-in Menu name"; }
};

class Command : public ao::Object, public ao::ICommand {
public:
    explicit Command(bool start) : start_(start) {}
    std::string Kind() const override { return "command"; }
    void* QueryInterface(std::string_view iid) override { return iid == IID ? static_cast<ICommand*>(this) : nullptr; }
    bool Enabled() override { return true; }
    bool Checked() override { return !start_; }
    std::string Name() override { return start_ ? "STANDIN_Start" : "STANDIN_Quiet"; }
    std::string Caption() override { return start_ ? "Start It" : "Quiet"; }
    std::string Tooltip() override { return "tip"; }
    std::string Message() override { return "message"; }
    std::string HelpFile() override { return ""; }
    std::int32_t HelpContextID() override { return 7; }
    std::int32_t Bitmap() override { return 0; }
    std::string Category() override { return "STANDIN"; }
    void OnCreate(platform::ObjectRef hook) override
    {
        auto app = ao::As<ao::MxApplication>(hook);
        if (!app) throw platform::VbError(13, "clsStart.OnCreate", "Type mismatch");
        if (start_) g_app = app;
    }
    void OnClick() override
    {
        if (!start_) return;
        const auto& s = g_registry->Services();
        if (!s.launcher->Start({"stand-in-program"}))
            throw platform::VbError(53, "clsStart.OnClick", "File not found");
    }

private:
    bool start_;
};

class Thing : public platform::TableDispatch<> {
public:
    Thing()
    {
        add("Echo", [](std::vector<Variant>& a) { return a.empty() ? Variant() : a[0]; }, 0, 8);
        add("Twice", [](std::vector<Variant>& a) {
            a[0] = Variant(a[0].ToDouble() * 2);
            return Variant(true);
        }, 1, 1);
        add("Fail", [](std::vector<Variant>&) -> Variant { throw platform::VbError(91, "clsThing.Fail", "Object variable or With block variable not set"); }, 0, 0);
        add("Ask", [](std::vector<Variant>& a) {
            return Variant(std::int32_t(g_registry->Services().dialogs->MsgBox(a[0].ToString(), platform::vbYesNo, "Stand-in"))); }, 1, 1);
        add("ShowWindow", [](std::vector<Variant>&) {
            platform::ModalWindow w{"frmStandIn", "Stand-in window", {{"lblText", "hello", true, true, ""}}};
            g_registry->Services().show_modal(w);
            return Variant();
        }, 0, 0);
        // Needs the application the Start command was created with.
        add("Draw", [](std::vector<Variant>& a) {
            if (!g_app) throw platform::VbError(91, "clsThing.Draw", "Object variable or With block variable not set");
            auto map = g_app->Document()->FocusMap;
            auto e = std::make_shared<ao::Element>(ao::ElementType::Marker);
            e->Geometry = ao::Geometry::MakePoint(a[0].ToDouble(), a[1].ToDouble());
            map->BasicGraphicsLayer()->AddElement(e);
            g_app->SetStatus(0, "drawn");
            map->View()->PartialRefresh(ao::esriViewGraphics, e, e->Geometry->Extent());
            map->View()->Refresh();
            return Variant(platform::ObjectRef(e->Geometry));
        }, 2, 2);
        // The host's browse dialog and window answers.
        add("Browse", [](std::vector<Variant>& a) {
            if (!g_app || !g_app->Services) throw platform::VbError(91, "clsThing.Browse", "No host services");
            auto path = g_app->Services->Browse({"Save To Existing Feature Class", "Save", a[0].ToString(),
                                                 ao::GxFilterPolylineFeatureClasses});
            return path ? Variant(*path) : Variant();
        }, 1, 1);
        add("Units", [](std::vector<Variant>&) {
            return Variant(g_app->Services->Window_Answer("frmDataFrameUnits"));
        }, 0, 0);
    }
private:
    void add(const char* name, platform::Member::Getter f, int lo, int hi)
    {
        members_.Add({name, static_cast<platform::DispId>(members_.members().size() + 1), std::move(f), {}, {}, {}, lo,
                      hi});
    }
};

} // namespace

extern "C" __attribute__((visibility("default"))) long DllRegisterServer(platform::ClassRegistry* registry)
{
    if (!registry) return 1;
    g_registry = registry;
    registry->Register("STANDIN_LIB.clsBar", kBar, [] { return std::make_shared<Bar>(); });
    registry->Register("STANDIN_LIB.clsMenu", "{1E2D1C3B-4A5F-4E6D-8C7B-9A0B1C2D3E4F}", [] { return std::make_shared<Menu>(); });
    registry->Register("STANDIN_LIB.clsStart", "{2E2D1C3B-4A5F-4E6D-8C7B-9A0B1C2D3E4F}", [] { return std::make_shared<Command>(true); });
    registry->Register("StandIn_Lib.clsQuiet", "{3E2D1C3B-4A5F-4E6D-8C7B-9A0B1C2D3E4F}", [] { return std::make_shared<Command>(false); });
    registry->Register("StandIn_Lib.clsThing", "{4E2D1C3B-4A5F-4E6D-8C7B-9A0B1C2D3E4F}", [] { return std::make_shared<Thing>(); });
    registry->RegisterCategory(ao::CATID_MxCommandBars, kBar);
    return 0;
}

extern "C" __attribute__((visibility("default"))) long DllUnregisterServer(platform::ClassRegistry* registry)
{
    registry->UnregisterCategory(ao::CATID_MxCommandBars, kBar);
    for (const char* id : {"STANDIN_LIB.clsBar", "STANDIN_LIB.clsMenu", "STANDIN_LIB.clsStart", "StandIn_Lib.clsQuiet",
                           "StandIn_Lib.clsThing"})
        registry->Unregister(id);
    return 0;
}
