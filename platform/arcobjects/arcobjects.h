// The ArcObjects the main program reaches in a running ArcMap: the
// running-application table, each entry's type test and window handle, the
// document's command bars (Find, visibility, Dock, item 0's first method)
// and the application's object factory (Create). Calls are late-bound: the
// table comes from whatever source is installed (the map host's remote
// objects, or the in-process fake below); with none, creating it fails.
#pragma once

#include "platform/automation/variant.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace platform::arcobjects {

class CommandBar {
public:
    virtual ~CommandBar() = default;
    virtual bool IsVisible() = 0;
    virtual void Dock(int flags) = 0;
    // Item 0 taken through the command item interface, its first method.
    virtual void Item0_Execute() = 0;
};

class Application {
public:
    virtual ~Application() = default;
    // The ArcMap application type test.
    virtual bool IsArcMap() = 0;
    virtual std::int32_t hWnd() = 0;
    // The document's command bar by UID value; null when there is none.
    virtual std::shared_ptr<CommandBar> FindBar(const std::string& uid) = 0;
    // The object factory: an object of the program identifier inside ArcMap.
    virtual ObjectRef Create(const std::string& progid) = 0;
};

class RunningApplications {
public:
    virtual ~RunningApplications() = default;
    virtual int Count() = 0;
    virtual std::shared_ptr<Application> Item(int index) = 0;
};

// The table now; throws VbError 429 "ActiveX component can't create
// object" when no source is installed.
std::shared_ptr<RunningApplications> Create_Running_Applications();
void Install_Source(std::function<std::shared_ptr<RunningApplications>()> source);

// --- the in-process stand-in --------------------------------------------------

// One call on a fake object: its member and arguments.
struct FakeCall {
    std::string member;
    std::vector<Variant> args;
};

// A running-application table of fake ArcMaps. Each entry records what is
// done to it; the class object its factory makes records every call and
// answers with the scripted result of the member (Empty by default),
// `Get_WindowHandle` with what `Set_WindowHandle` was given (-1 before).
class FakeArcMaps : public RunningApplications {
public:
    struct Entry {
        std::int32_t hwnd = 0;
        bool arcmap = true;
        bool bar_present = true;   // the extension's toolbar is loaded
        bool bar_visible = true;
        bool creatable = true;     // the extension's class can be made
        bool gone = false;         // the process has ended: every call fails (462)
    };
    // What happened, in order, with the arguments given: "Find" (the UID's
    // text), "Dock" (the flags), "Item0", "Create" (the ProgID); and the
    // class objects' calls.
    std::function<void(const FakeCall&)> on_app_call;
    std::function<void(const FakeCall&)> on_object_call;
    std::map<std::string, std::vector<Variant>> answers; // queued per member (any case: lower-cased key)

    Entry& add(Entry e);
    Entry* find(std::int32_t hwnd);
    void remove(std::int32_t hwnd);

    int Count() override;
    std::shared_ptr<Application> Item(int index) override;

private:
    struct App;
    struct Object;
    std::vector<std::shared_ptr<Entry>> entries_;
};

// The fault of a call on an object whose process has gone.
constexpr int kServerGone = 462; // "The remote server machine does not exist or is unavailable"

} // namespace platform::arcobjects
