#include "platform/arcobjects/application.h"

#include "platform/automation/class_registry.h"
#include "platform/automation/vb_error.h"

namespace platform::arcobjects {

// --- Command bars ---------------------------------------------------------------------

HostCommandBar::HostCommandBar(MxApplication& app, std::string clsid, ObjectRef definition)
    : app_(app), clsid_(std::move(clsid)), definition_(std::move(definition)), bar_(As<IToolBarDef>(definition_))
{
}

std::string HostCommandBar::Name() const { return bar_ ? bar_->Name() : std::string(); }
std::string HostCommandBar::Caption() const { return bar_ ? bar_->Caption() : std::string(); }

namespace {

// Creates the item of one ProgID: a menu with its own items, or a command
// that receives the application in OnCreate. Failures stay with the item.
CommandItem make_item(MxApplication& app, const ItemDef& def, int depth)
{
    CommandItem item;
    item.progid = def.ID;
    item.group = def.Group;
    try {
        item.object = app.Registry().CreateObject(def.ID);
        item.menu = As<IMenuDef>(item.object);
        item.command = As<ICommand>(item.object);
        if (item.menu && depth < 8) {
            const std::int32_t n = item.menu->ItemCount();
            for (std::int32_t i = 0; i < n; ++i) {
                ItemDef sub;
                item.menu->GetItemInfo(i, sub);
                if (!sub.ID.empty()) item.items.push_back(make_item(app, sub, depth + 1));
            }
        }
        if (item.command) item.command->OnCreate(app.shared_from_this());
    } catch (const VbError& e) {
        item.error = e.description;
    }
    return item;
}

} // namespace

void HostCommandBar::create_items()
{
    if (created_ || !bar_) return;
    created_ = true;
    const std::int32_t n = bar_->ItemCount();
    for (std::int32_t i = 0; i < n; ++i) {
        ItemDef def;
        bar_->GetItemInfo(i, def);
        if (!def.ID.empty()) items_.push_back(make_item(app_, def, 0));
    }
}

void HostCommandBar::Show()
{
    visible_ = true;
    create_items();
    if (on_visible) on_visible(true);
}

void HostCommandBar::Hide()
{
    visible_ = false;
    if (on_visible) on_visible(false);
}

void HostCommandBar::Dock(int flags)
{
    dock_flags_ = flags;
    Show();
}

void HostCommandBar::Item0_Execute()
{
    // What a program attaching asks of a bar it has docked: its commands
    // made. None of them is run: the first is the extension's Open, which
    // would start the very program that attaches.
    create_items();
}

HostCommandBarRef CommandBarSet::Find(const std::string& clsid)
{
    Load();
    for (const auto& b : bars_)
        if (NameEquals(b->ClassId(), clsid)) return b;
    return nullptr;
}

void CommandBarSet::Load()
{
    for (const std::string& clsid : app_.Registry().ClassesIn(CATID_MxCommandBars)) {
        bool known = false;
        for (const auto& b : bars_) known = known || NameEquals(b->ClassId(), clsid);
        if (known) continue;
        try {
            ObjectRef def = app_.Registry().CreateObject(clsid);
            if (As<IToolBarDef>(def)) bars_.push_back(std::make_shared<HostCommandBar>(app_, clsid, def));
        } catch (const VbError&) {
            // A library that is gone or broken offers no toolbar.
        }
    }
}

// --- Document and application ----------------------------------------------------------

MxDocument::MxDocument(MxApplication& app) : PageLayout(std::make_shared<class ActiveView>()), bars_(app)
{
    Maps.push_back(std::make_shared<Map>());
    FocusMap = Maps.front();
}

const ActiveViewRef& MxDocument::ActiveView() const { return layout || !FocusMap ? PageLayout : FocusMap->View(); }

void* MxDocument::QueryInterface(std::string_view iid) { return iid == IID ? this : nullptr; }

MxApplication::MxApplication(ClassRegistry& registry)
    : registry_(registry), document_(std::make_shared<MxDocument>(*this))
{
}

void MxApplication::SetStatus(int pane, const std::string& text)
{
    if (pane < 0) return;
    if (static_cast<std::size_t>(pane) >= StatusBar.size()) StatusBar.resize(static_cast<std::size_t>(pane) + 1);
    StatusBar[static_cast<std::size_t>(pane)] = text;
    if (on_status) on_status(pane, text);
}

std::shared_ptr<CommandBar> MxApplication::FindBar(const std::string& uid) { return document_->CommandBars().Find(uid); }

ObjectRef MxApplication::Create(const std::string& progid) { return registry_.CreateObject(progid); }

void* MxApplication::QueryInterface(std::string_view iid) { return iid == IID ? static_cast<MxApplication*>(this) : nullptr; }

} // namespace platform::arcobjects
