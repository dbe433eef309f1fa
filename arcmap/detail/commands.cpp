// The toolbar and menu definitions and the three commands, and the
// registration of every class of the library.
#include "arcmap/detail/bas_arcmap_code.h"
#include "arcmap/detail/cls_arcmap.h"
#include "arcmap/trekfold_arcmap.h"

#include "platform/arcobjects/extension.h"
#include "platform/automation/class_registry.h"
#include "platform/launcher/launcher.h"
#include "platform/ui/dialogs.h"
#include "platform/version/about.h"

namespace trekfold_arcmap {

namespace {

using platform::arcobjects::ICommand;
using platform::arcobjects::IMenuDef;
using platform::arcobjects::IToolBarDef;
using platform::arcobjects::ItemDef;
using platform::arcobjects::Object;

class clsToolbar : public Object, public IToolBarDef {
public:
    std::int32_t ItemCount() override { return 2; }
    void GetItemInfo(std::int32_t pos, ItemDef& item) override
    {
        if (pos == 0) item.ID = ProgID_clsMenu;
        else if (pos == 1) item.ID = ProgID_clsCommandOpen;
    }
    std::string Name() override { return "Trekfold Toolbar"; }
    std::string Caption() override { return "Trekfold Toolbar"; }

    std::string Kind() const override { return "clsToolbar"; }
    void* QueryInterface(std::string_view iid) override
    {
        if (iid == IToolBarDef::IID) return static_cast<IToolBarDef*>(this);
        if (platform::NameEquals(iid, IID__clsToolbar)) return static_cast<platform::Dispatch*>(this);
        return nullptr;
    }
};

class clsMenu : public Object, public IMenuDef {
public:
    std::string Caption() override { return "Trekfold Menu"; }
    void GetItemInfo(std::int32_t pos, ItemDef& item) override
    {
        if (pos == 0) item.ID = ProgID_clsCommandOpen;
        else if (pos == 1) {
            item.ID = ProgID_clsCommandHelp;
            item.Group = true;
        } else if (pos == 2)
            item.ID = ProgID_clsCommandAbout;
    }
    std::int32_t ItemCount() override { return 3; }
    std::string Name() override { return "Trekfold Menu"; }

    std::string Kind() const override { return "clsMenu"; }
    void* QueryInterface(std::string_view iid) override
    {
        if (iid == IMenuDef::IID) return static_cast<IMenuDef*>(this);
        if (platform::NameEquals(iid, IID__clsMenu)) return static_cast<platform::Dispatch*>(this);
        return nullptr;
    }
};

// The fixed properties of a command.
struct CommandText {
    const char* name;
    const char* caption;
    const char* message;
};

class Command : public Object, public ICommand {
public:
    Command(CommandText text, const char* iid) : text_(text), iid_(iid) {}
    bool Enabled() override { return true; }
    bool Checked() override { return false; }
    std::string Name() override { return text_.name; }
    std::string Caption() override { return text_.caption; }
    std::string Tooltip() override { return text_.caption; }
    std::string Message() override { return text_.message; }
    std::string HelpFile() override { return {}; }
    std::int32_t HelpContextID() override { return 0; }
    std::int32_t Bitmap() override { return 0; }
    std::string Category() override { return "TREKFOLD"; }
    void OnCreate(platform::ObjectRef) override {}

    std::string Kind() const override { return text_.name; }
    void* QueryInterface(std::string_view iid) override
    {
        if (iid == ICommand::IID) return static_cast<ICommand*>(this);
        if (iid_ && platform::NameEquals(iid, iid_)) return static_cast<platform::Dispatch*>(this);
        return nullptr;
    }

private:
    CommandText text_;
    const char* iid_;
};

class clsCommandOpen : public Command {
public:
    clsCommandOpen() : Command({"TREKFOLD_Open", "Open Trekfold", "Open Trekfold"}, IID__clsCommandOpen) {}
    // Keeps the host's application for clsArcMap; a hook that is not the
    // application fails the call and leaves the reference as it was.
    void OnCreate(platform::ObjectRef hook) override
    {
        auto app = platform::arcobjects::As<platform::arcobjects::MxApplication>(hook);
        if (!app) throw platform::VbError(13, "clsCommandOpen.ICommand_OnCreate", "Type mismatch");
        basArcMapCode::Application() = std::move(app);
    }
    void OnClick() override { basArcMapCode::Trekfold_Open(); }
};

class clsCommandAbout : public Command {
public:
    clsCommandAbout() : Command({"TREKFOLD_About", "About Trekfold...", "Returns Trekfold version"}, nullptr) {}
    // The program's About window, for the programs beside the library.
    void OnClick() override
    {
        try {
            const platform::LibraryServices* s = basArcMapCode::Services();
            if (!s || !s->show_modal) return;
            const platform::About_Texts t = platform::About_For(basArcMapCode::Library_Folder());
            platform::ModalWindow w;
            w.name = "frmAbout";
            w.caption = t.caption;
            for (const auto& [name, text] : std::initializer_list<std::pair<const char*, std::string>>{
                     {"lblTitle", t.title}, {"lblVersionLabel", "Version:"}, {"lblVersion", t.version},
                     {"lblPathLabel", "Path:"}, {"lblPath", t.path}, {"tbxText", t.text},
                     {"lblDisclaimer", t.disclaimer}, {"cmdOK", "OK"}}) {
                platform::ModalWindow::Control c;
                c.name = name, c.text = text;
                w.controls.push_back(std::move(c));
            }
            s->show_modal(w);
        } catch (...) {
        }
    }
};

class clsCommandHelp : public Command {
public:
    clsCommandHelp()
        : Command({"TREKFOLD_Help", "Osv Help File Index...", "Opens Trekfold Help Documentation"}, nullptr)
    {
    }
    // The help file beside the library, given to the viewer as one argument.
    void OnClick() override
    {
        try {
            const std::string folder = basArcMapCode::Library_Folder();
            const std::string file = platform::Find_Help_File(folder);
            if (file.empty()) {
                basArcMapCode::Box(platform::Help_Missing_Text(folder), platform::vbExclamation);
                return;
            }
            platform::System_Launcher system;
            platform::Launcher* launcher = basArcMapCode::Launcher() ? basArcMapCode::Launcher() : &system;
            if (!launcher->Start(platform::Open_Document_Command(file)))
                throw platform::VbError(53, "clsCommandHelp.OnClick", "File not found");
        } catch (const platform::VbError& e) {
            basArcMapCode::Box("Error #" + std::to_string(e.number) + " - " + e.description, platform::vbCritical,
                               "clsCommandHelp.OnClick");
        }
    }
};

template <class T>
platform::ClassRegistry::Factory make()
{
    return [] { return platform::ObjectRef(std::make_shared<T>()); };
}

} // namespace

void Register(platform::ClassRegistry& registry)
{
    basArcMapCode::Set_Registry(&registry);
    registry.Register(ProgID_clsToolbar, CLSID_clsToolbar, make<clsToolbar>());
    registry.Register(ProgID_clsMenu, CLSID_clsMenu, make<clsMenu>());
    registry.Register(ProgID_clsCommandOpen, CLSID_clsCommandOpen, make<clsCommandOpen>());
    registry.Register(ProgID_clsCommandHelp, CLSID_clsCommandHelp, make<clsCommandHelp>());
    registry.Register(ProgID_clsCommandAbout, CLSID_clsCommandAbout, make<clsCommandAbout>());
    registry.Register(ProgID_clsArcMap, CLSID_clsArcMap, [] { return Create_clsArcMap(); });
    registry.RegisterCategory(platform::arcobjects::CATID_MxCommandBars, CLSID_clsToolbar);
    for (const char* c : {CLSID_clsCommandOpen, CLSID_clsCommandHelp, CLSID_clsCommandAbout})
        registry.RegisterCategory(platform::arcobjects::CATID_MxCommands, c);
}

void Unregister(platform::ClassRegistry& registry)
{
    for (const char* c : {CLSID_clsToolbar, CLSID_clsMenu, CLSID_clsCommandOpen, CLSID_clsCommandHelp,
                          CLSID_clsCommandAbout, CLSID_clsArcMap})
        registry.Unregister(c);
    registry.UnregisterCategory(platform::arcobjects::CATID_MxCommandBars, CLSID_clsToolbar);
    for (const char* c : {CLSID_clsCommandOpen, CLSID_clsCommandHelp, CLSID_clsCommandAbout})
        registry.UnregisterCategory(platform::arcobjects::CATID_MxCommands, c);
}

} // namespace trekfold_arcmap
