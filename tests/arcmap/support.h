// An in-process map host for the extension's classes: the registry with the
// library's classes, scripted boxes, a recording launcher and an
// application whose Open command was created.
#pragma once

#include "arcmap/detail/arcmap_object.h"
#include "arcmap/detail/bas_arcmap_code.h"
#include "arcmap/trekfold_arcmap.h"
#include "platform/arcobjects/application.h"
#include "platform/automation/class_registry.h"
#include "platform/launcher/launcher.h"
#include "platform/ui/scripted_dialogs.h"
#include "memory_class.h"

#include <gtest/gtest.h>

namespace arcmaptest {

namespace ao = platform::arcobjects;
using platform::Variant;

struct Host {
    platform::ClassRegistry registry;
    platform::ScriptedDialogs dialogs;
    platform::Recording_Launcher launcher;
    std::vector<platform::ModalWindow> windows;
    TempSettings store;
    QueuedServices services;
    ao::MxApplicationRef app;

    explicit Host(bool open_created = true)
    {
        platform::LibraryServices s;
        s.dialogs = &dialogs;
        s.launcher = &launcher;
        s.settings = &store.settings;
        s.show_modal = [this](const platform::ModalWindow& w) { windows.push_back(w); };
        registry.SetServices(s);
        trekfold_arcmap::Register(registry);
        app = std::make_shared<ao::MxApplication>(registry);
        app->Services = &services;
        trekfold_arcmap::basArcMapCode::Application().reset();
        if (open_created) command("TREKFOLD_ARCMAP.clsCommandOpen")->OnCreate(app);
    }
    ~Host() { trekfold_arcmap::basArcMapCode::Application().reset(); }

    std::shared_ptr<ao::ICommand> command(const char* progid)
    {
        return ao::As<ao::ICommand>(registry.CreateObject(progid));
    }
    platform::ObjectRef arcmap() { return registry.CreateObject("Trekfold_ArcMap.clsArcMap"); }
    ao::Map& map() { return *app->Document()->FocusMap; }
    void set(const char* key, const char* value) { store.settings.SaveSetting("fields", key, value); }
};

// The class object itself, for its private members.
inline trekfold_arcmap::detail::clsArcMap& self(platform::ObjectRef& o)
{
    return dynamic_cast<trekfold_arcmap::detail::clsArcMap&>(*o);
}

inline Variant call(platform::ObjectRef& o, const char* member, std::vector<Variant>& args)
{
    return o->Invoke(platform::IdOfName(*o, member), platform::InvokeKind::Method, args);
}

} // namespace arcmaptest
