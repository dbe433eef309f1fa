// The interfaces an extension library's classes implement for the map
// host: toolbar and menu definitions and commands, taken from the object
// the class registry creates through QueryInterface (As<T>).
//
// A library registers its classes in DllRegisterServer and puts its
// toolbars' class identifiers in the toolbar category. When a toolbar is
// shown or docked the host creates each item by its ProgID: a menu
// definition gives a menu of items of its own, a command becomes a button
// (or menu entry), and each command's OnCreate receives the application
// (take it with As<MxApplication>(hook)). An extension's commands may keep
// the application for the life of the library.
//
// Failures are VbErrors thrown to the host, which treats them as the
// call's failure code.
#pragma once

#include "platform/arcobjects/object.h"

#include <cstdint>
#include <string>

namespace platform::arcobjects {

// The component category of toolbars the host offers.
inline constexpr const char* CATID_MxCommandBars = "ESRI Mx CommandBars";
// The component category of commands (registered for completeness; the
// host creates commands by the ProgIDs the bars name).
inline constexpr const char* CATID_MxCommands = "ESRI Mx Commands";

// What GetItemInfo fills in for one position: the item's ProgID and
// whether a group line comes before it. Left as it is (ID empty) for a
// position without an item.
struct ItemDef {
    std::string ID;
    bool Group = false;
};

class IToolBarDef {
public:
    static constexpr const char* IID = "esriSystemUI.IToolBarDef";
    virtual ~IToolBarDef() = default;
    virtual std::int32_t ItemCount() = 0;
    virtual void GetItemInfo(std::int32_t pos, ItemDef& item) = 0;
    virtual std::string Name() = 0;
    virtual std::string Caption() = 0;
};

class IMenuDef {
public:
    static constexpr const char* IID = "esriSystemUI.IMenuDef";
    virtual ~IMenuDef() = default;
    virtual std::string Caption() = 0;
    virtual void GetItemInfo(std::int32_t pos, ItemDef& item) = 0;
    virtual std::int32_t ItemCount() = 0;
    virtual std::string Name() = 0;
};

// The twelve members of a command, in their slot order.
class ICommand {
public:
    static constexpr const char* IID = "esriSystemUI.ICommand";
    virtual ~ICommand() = default;
    virtual bool Enabled() = 0;
    virtual bool Checked() = 0;
    virtual std::string Name() = 0;
    virtual std::string Caption() = 0;
    virtual std::string Tooltip() = 0;
    virtual std::string Message() = 0;
    virtual std::string HelpFile() = 0;
    virtual std::int32_t HelpContextID() = 0;
    virtual std::int32_t Bitmap() = 0; // 0: no bitmap
    virtual std::string Category() = 0;
    // hook: the application object (or, in another program, something else).
    virtual void OnCreate(ObjectRef hook) = 0;
    virtual void OnClick() = 0;
};

} // namespace platform::arcobjects
