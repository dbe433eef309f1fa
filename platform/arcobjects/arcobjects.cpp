#include "platform/arcobjects/arcobjects.h"

#include "platform/automation/dispatch.h"
#include "platform/automation/vb_error.h"

#include <algorithm>

namespace platform::arcobjects {

namespace {

std::function<std::shared_ptr<RunningApplications>()>& source()
{
    static std::function<std::shared_ptr<RunningApplications>()> s;
    return s;
}

VbError gone() { return VbError(kServerGone, "", "The remote server machine does not exist or is unavailable"); }

std::string lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

} // namespace

std::shared_ptr<RunningApplications> Create_Running_Applications()
{
    if (!source()) throw VbError(429, "", "ActiveX component can't create object");
    auto t = source()();
    if (!t) throw VbError(429, "", "ActiveX component can't create object");
    return t;
}

void Install_Source(std::function<std::shared_ptr<RunningApplications>()> s) { source() = std::move(s); }

// The extension's class object inside one fake ArcMap: any member name is
// accepted and recorded.
struct FakeArcMaps::Object : Dispatch {
    FakeArcMaps* owner;
    std::weak_ptr<Entry> entry;
    std::vector<std::string> names;
    Variant window_handle = Variant(std::int32_t{-1});

    std::optional<DispId> GetIDOfName(std::string_view name) const override
    {
        auto* self = const_cast<Object*>(this);
        for (std::size_t i = 0; i < names.size(); ++i)
            if (NameEquals(names[i], name)) return static_cast<DispId>(i + 1);
        self->names.emplace_back(name);
        return static_cast<DispId>(names.size());
    }

    Variant Invoke(DispId id, InvokeKind, std::vector<Variant>& args) override
    {
        auto e = entry.lock();
        if (!e || e->gone) throw gone();
        const std::string& member = names.at(static_cast<std::size_t>(id - 1));
        if (owner->on_object_call) owner->on_object_call({member, args});
        const std::string key = lower(member);
        if (key == "set_windowhandle" && !args.empty()) window_handle = args[0];
        auto it = owner->answers.find(key);
        if (it != owner->answers.end() && !it->second.empty()) {
            Variant v = it->second.front();
            it->second.erase(it->second.begin());
            return v;
        }
        if (key == "get_windowhandle") return window_handle;
        return Variant();
    }
};

struct FakeArcMaps::App : Application, std::enable_shared_from_this<App> {
    FakeArcMaps* owner;
    std::shared_ptr<Entry> entry;

    void note(const std::string& member, std::vector<Variant> args = {})
    {
        if (entry->gone) throw gone();
        if (owner->on_app_call) owner->on_app_call({member, std::move(args)});
    }
    bool IsArcMap() override { return !entry->gone && entry->arcmap; }
    std::int32_t hWnd() override
    {
        if (entry->gone) throw gone();
        return entry->hwnd;
    }
    std::shared_ptr<CommandBar> FindBar(const std::string& uid) override;
    ObjectRef Create(const std::string& progid) override
    {
        note("Create", {Variant(progid)});
        if (!entry->creatable || !NameEquals(progid, "Trekfold_ArcMap.clsArcMap"))
            throw VbError(-2147221005, "", "Invalid class string");
        auto o = std::make_shared<Object>();
        o->owner = owner;
        o->entry = entry;
        return o;
    }
};

namespace {

struct FakeBar : CommandBar {
    std::function<void(const std::string&, std::vector<Variant>)> note;
    std::shared_ptr<FakeArcMaps::Entry> entry;
    bool IsVisible() override { return entry->bar_visible; }
    void Dock(int flags) override
    {
        note("Dock", {Variant(std::int32_t(flags))});
        entry->bar_visible = true;
    }
    void Item0_Execute() override { note("Item0", {}); }
};

} // namespace

std::shared_ptr<CommandBar> FakeArcMaps::App::FindBar(const std::string& uid)
{
    note("Find", {Variant(uid)});
    if (!entry->bar_present || uid != "{F1F911DD-E0FD-4267-8A53-2E8FC5C0470A}") return nullptr;
    auto b = std::make_shared<FakeBar>();
    b->entry = entry;
    b->note = [self = shared_from_this()](const std::string& m, std::vector<Variant> a) {
        self->note(m, std::move(a));
    };
    return b;
}

FakeArcMaps::Entry& FakeArcMaps::add(Entry e)
{
    entries_.push_back(std::make_shared<Entry>(e));
    return *entries_.back();
}

FakeArcMaps::Entry* FakeArcMaps::find(std::int32_t hwnd)
{
    for (auto& e : entries_)
        if (e->hwnd == hwnd) return e.get();
    return nullptr;
}

void FakeArcMaps::remove(std::int32_t hwnd)
{
    for (auto& e : entries_)
        if (e->hwnd == hwnd) e->gone = true;
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(), [&](auto& e) { return e->hwnd == hwnd; }),
                   entries_.end());
}

int FakeArcMaps::Count() { return static_cast<int>(entries_.size()); }

std::shared_ptr<Application> FakeArcMaps::Item(int index)
{
    if (index < 0 || index >= Count()) throw VbError(9, "", "Subscript out of range");
    auto a = std::make_shared<App>();
    a->owner = this;
    a->entry = entries_[static_cast<std::size_t>(index)];
    return a;
}

} // namespace platform::arcobjects
