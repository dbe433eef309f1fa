// The map host's application and document: what an extension reaches
// through the application object its commands receive in OnCreate.
//
//   MxApplication  window handle, document, status bar, mouse pointer, the
//                  display transformation's rotation, the object factory
//                  (Create by ProgID through the class registry); also the
//                  running-application face (arcobjects.h) the main program
//                  attaches through
//   MxDocument     maps, focus map, active view (the focus map's data view,
//                  or the layout), command bars
//   CommandBarSet  the toolbars of the registered libraries, found by their
//                  class identifier; each starts hidden, and showing or
//                  docking it creates its items by ProgID and calls each
//                  command's OnCreate with the application
//
// Everything runs on the host's one thread.
#pragma once

#include "platform/arcobjects/arcobjects.h"
#include "platform/arcobjects/extension.h"
#include "platform/arcobjects/map.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {
class ClassRegistry;
}

namespace platform::arcobjects {

class MxApplication;
class HostServices; // services.h

// One item of a bar or menu: a command, or a menu with items of its own.
struct CommandItem {
    std::string progid;
    bool group = false;                 // a group line before it
    ObjectRef object;                   // what the registry created
    std::shared_ptr<ICommand> command;  // a command
    std::shared_ptr<IMenuDef> menu;     // a menu definition
    std::vector<CommandItem> items;     // a menu's items
    std::string error;                  // why it could not be created or its OnCreate failed
};

class HostCommandBar : public CommandBar, public std::enable_shared_from_this<HostCommandBar> {
public:
    HostCommandBar(MxApplication& app, std::string clsid, ObjectRef definition);

    const std::string& ClassId() const { return clsid_; }
    std::string Name() const;
    std::string Caption() const;
    const std::vector<CommandItem>& Items() const { return items_; }
    int DockFlags() const { return dock_flags_; }
    bool Created() const { return created_; }

    // Visible; the first time also creates the items.
    void Show();
    void Hide();
    // Told each time the bar is shown or hidden (a view follows it).
    std::function<void(bool visible)> on_visible;

    // The running-application face.
    bool IsVisible() override { return visible_; }
    void Dock(int flags) override;
    // Item 0 taken and its first method called: the items are created
    // (as showing does), none is clicked.
    void Item0_Execute() override;

private:
    void create_items();
    MxApplication& app_;
    std::string clsid_;
    ObjectRef definition_;
    std::shared_ptr<IToolBarDef> bar_;
    std::vector<CommandItem> items_;
    bool visible_ = false, created_ = false;
    int dock_flags_ = 0;
};

using HostCommandBarRef = std::shared_ptr<HostCommandBar>;

class CommandBarSet {
public:
    explicit CommandBarSet(MxApplication& app) : app_(app) {}
    // The bar of the toolbar class (any case of the identifier); null when
    // no registered library has that toolbar.
    HostCommandBarRef Find(const std::string& clsid);
    const std::vector<HostCommandBarRef>& Bars() const { return bars_; }
    // Makes a bar for every class of the toolbar category not yet known.
    void Load();

private:
    MxApplication& app_;
    std::vector<HostCommandBarRef> bars_;
};

class MxDocument : public Object {
public:
    static constexpr const char* IID = "arcobjects.IMxDocument";

    explicit MxDocument(MxApplication& app);
    std::string Title = "Untitled";
    std::vector<MapRef> Maps;
    MapRef FocusMap;
    // The layout's view; the active view when `layout` is true.
    ActiveViewRef PageLayout;
    bool layout = false;
    const ActiveViewRef& ActiveView() const;
    CommandBarSet& CommandBars() { return bars_; }
    // The table of contents' selected items (Selected_Layer in layers.h).
    std::vector<LayerRef> ContentsSelection;

    std::string Kind() const override { return "document"; }
    void* QueryInterface(std::string_view iid) override;

private:
    CommandBarSet bars_;
};

class MxApplication : public Object, public Application, public std::enable_shared_from_this<MxApplication> {
public:
    static constexpr const char* IID = "arcobjects.IApplication";

    // Objects are created through `registry`, which outlives the application.
    explicit MxApplication(ClassRegistry& registry);

    std::int32_t WindowHandle = 0;
    std::string Caption = "Untitled - ArcMap";
    const std::shared_ptr<MxDocument>& Document() const { return document_; }
    // The status bar's pane texts; pane 0 is the message pane.
    std::vector<std::string> StatusBar = std::vector<std::string>(1);
    std::function<void(int pane, const std::string& text)> on_status;
    void SetStatus(int pane, const std::string& text);
    std::int32_t MousePointer = 0;
    // The display transformation's rotation in degrees.
    double Rotation = 0;

    ClassRegistry& Registry() { return registry_; }
    // The host's dialogs and copy services; null when it offers none.
    HostServices* Services = nullptr;

    // The running-application face.
    bool IsArcMap() override { return true; }
    std::int32_t hWnd() override { return WindowHandle; }
    std::shared_ptr<CommandBar> FindBar(const std::string& uid) override;
    // The object factory: creates by ProgID or class identifier; throws the
    // registry's VbError 429 when no library serves the class.
    ObjectRef Create(const std::string& progid) override;

    std::string Kind() const override { return "application"; }
    void* QueryInterface(std::string_view iid) override;

private:
    ClassRegistry& registry_;
    std::shared_ptr<MxDocument> document_;
};

using MxApplicationRef = std::shared_ptr<MxApplication>;

} // namespace platform::arcobjects
