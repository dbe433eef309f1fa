#include "platform/arcobjects/served.h"

#include "platform/arcobjects/application.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/remote.h"
#include "platform/automation/vb_error.h"
#include "platform/settings/user_folder.h"
#include "platform/windows/windows.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <unistd.h>

namespace platform::arcobjects {

namespace {

// A command bar of the host, as the root object's FindBar hands it out.
class BarObject : public platform::TableDispatch<> {
public:
    explicit BarObject(std::shared_ptr<CommandBar> bar) : bar_(std::move(bar))
    {
        members_.Add({"IsVisible", 1, [this](std::vector<Variant>&) { return Variant(bar_->IsVisible()); }, {}, {},
                      {}, 0, 0});
        members_.Add({"Dock", 2, [this](std::vector<Variant>& a) {
                          bar_->Dock(a[0].ToInt32());
                          return Variant();
                      }, {}, {}, {}, 1, 1});
        members_.Add({"Item0_Execute", 3, [this](std::vector<Variant>&) {
                          bar_->Item0_Execute();
                          return Variant();
                      }, {}, {}, {}, 0, 0});
        // The host's own: shown where it is (its items made), and its name.
        members_.Add({"Show", 4, [this](std::vector<Variant>&) {
                          if (auto h = std::dynamic_pointer_cast<HostCommandBar>(bar_)) h->Show();
                          return Variant();
                      }, {}, {}, {}, 0, 0});
        members_.Add({"Name", 5, [this](std::vector<Variant>&) {
                          auto h = std::dynamic_pointer_cast<HostCommandBar>(bar_);
                          return Variant(h ? h->Name() : std::string());
                      }, {}, {}, {}, 0, 0});
    }

private:
    std::shared_ptr<CommandBar> bar_;
};

// The application as other processes see it.
class RootObject : public platform::TableDispatch<> {
public:
    // The host's hooks are read at each call: they may be set after it serves.
    RootObject(MxApplication& app, const ServedHost& host, std::function<std::string()> dump)
        : app_(app), host_(host), dump_(std::move(dump))
    {
        members_.Add({"IsArcMap", 1, [this](std::vector<Variant>&) { return Variant(app_.IsArcMap()); }, {}, {}, {},
                      0, 0});
        members_.Add({"hWnd", 2, [this](std::vector<Variant>&) { return Variant(app_.hWnd()); }, {}, {}, {}, 0, 0});
        members_.Add({"FindBar", 3, [this](std::vector<Variant>& a) {
                          auto bar = app_.FindBar(a[0].ToString());
                          return Variant(bar ? std::make_shared<BarObject>(bar) : ObjectRef());
                      }, {}, {}, {}, 1, 1});
        members_.Add({"Create", 4, [this](std::vector<Variant>& a) {
                          const std::string progid = a[0].ToString();
                          ObjectRef o = app_.Create(progid);
                          if (host_.on_create) host_.on_create(progid, o);
                          return Variant(o);
                      }, {}, {}, {}, 1, 1});
        members_.Add({"Dump", 5, [this](std::vector<Variant>&) { return Variant(dump_ ? dump_() : std::string()); },
                      {}, {}, {}, 0, 0});
        members_.Add({"Raise", 6, [this](std::vector<Variant>&) {
                          if (host_.on_raise) host_.on_raise();
                          return Variant();
                      }, {}, {}, {}, 0, 0});
        members_.Add({"Word", 7, [this](std::vector<Variant>& a) {
                          if (!host_.on_word) throw VbError(438, "", "Object doesn't support this property or method");
                          const VariantArray words = a[0].ToArray();
                          if (words.Dimensions() != 1) throw VbError(13, "", "Type mismatch");
                          std::vector<std::string> texts;
                          for (const Variant& w : words.items()) texts.push_back(w.ToString());
                          return Variant(host_.on_word(texts));
                      }, {}, {}, {}, 1, 1});
    }

private:
    MxApplication& app_;
    const ServedHost& host_;
    std::function<std::string()> dump_;
};

// The client's view of a served host's bar and application.
class RemoteBar : public CommandBar {
public:
    explicit RemoteBar(ObjectRef bar) : bar_(std::move(bar)) {}
    bool IsVisible() override { return CallByName(*bar_, "IsVisible").ToBool(); }
    void Dock(int flags) override { CallByName(*bar_, "Dock", {Variant(std::int32_t(flags))}); }
    void Item0_Execute() override { CallByName(*bar_, "Item0_Execute"); }

private:
    ObjectRef bar_;
};

class RemoteApplication : public Application {
public:
    explicit RemoteApplication(ObjectRef root) : root_(std::move(root)) {}
    bool IsArcMap() override { return CallByName(*root_, "IsArcMap").ToBool(); }
    std::int32_t hWnd() override { return CallByName(*root_, "hWnd").ToInt32(); }
    std::shared_ptr<CommandBar> FindBar(const std::string& uid) override
    {
        ObjectRef bar = CallByName(*root_, "FindBar", {Variant(uid)}).ToObject();
        return bar ? std::make_shared<RemoteBar>(bar) : nullptr;
    }
    ObjectRef Create(const std::string& progid) override
    {
        return CallByName(*root_, "Create", {Variant(progid)}).ToObject();
    }

private:
    ObjectRef root_;
};

class Table : public RunningApplications {
public:
    std::vector<std::shared_ptr<Application>> apps;
    int Count() override { return static_cast<int>(apps.size()); }
    std::shared_ptr<Application> Item(int index) override
    {
        if (index < 0 || index >= Count()) throw VbError(9, "", "Subscript out of range");
        return apps[static_cast<std::size_t>(index)];
    }
};

bool all_digits(const char* s)
{
    if (!*s) return false;
    for (; *s; ++s)
        if (*s < '0' || *s > '9') return false;
    return true;
}

} // namespace

std::vector<std::int32_t> Served_Handles()
{
    std::vector<std::int32_t> out;
    const std::string folder = Apps_Folder();
    if (folder.empty()) return out;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(d)) {
            if (!all_digits(e->d_name) || std::strlen(e->d_name) > 10) continue;
            const long long h = std::strtoll(e->d_name, nullptr, 10);
            if (h > 0 && h <= INT32_MAX) out.push_back(static_cast<std::int32_t>(h));
        }
        ::closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

ObjectRef Attach_Host(std::int32_t handle, EventPump* pump)
{
    const std::string folder = Apps_Folder();
    if (folder.empty()) throw remote::Server_Gone();
    return remote::Connection::Connect(folder + "/" + std::to_string(handle), pump)->Root();
}

std::string Apps_Folder() { return Private_User_Folder("TREKFOLD_APPS_DIR", "apps"); }

struct ServedHost::Impl {
    MxApplication& app;
    std::int32_t handle = 0;
    std::string path;
    std::unique_ptr<remote::Server> server;
    explicit Impl(MxApplication& a) : app(a) {}
};

ServedHost::ServedHost(MxApplication& app, EventPump& pump, std::function<std::string()> dump)
    : impl_(std::make_unique<Impl>(app))
{
    const std::string folder = Apps_Folder();
    if (folder.empty()) throw VbError(70, "", "Permission denied");
    impl_->handle = windows::Announce("Afx:00400000:b:" + std::to_string(::getpid()), app.Caption);
    if (impl_->handle == 0) throw VbError(70, "", "Permission denied");
    app.WindowHandle = impl_->handle;
    impl_->path = folder + "/" + std::to_string(impl_->handle);
    try {
        impl_->server = std::make_unique<remote::Server>(
            pump, impl_->path, std::make_shared<RootObject>(app, *this, std::move(dump)));
        impl_->server->on_closed = [this] {
            if (on_closed) on_closed();
        };
    } catch (...) {
        windows::Withdraw(impl_->handle);
        throw;
    }
}

ServedHost::~ServedHost()
{
    impl_->server.reset();
    windows::Withdraw(impl_->handle);
}

std::int32_t ServedHost::Handle() const { return impl_->handle; }
const std::string& ServedHost::SocketPath() const { return impl_->path; }
std::size_t ServedHost::Connections() const { return impl_->server->connections(); }

std::shared_ptr<RunningApplications> Running_Table(EventPump* pump, std::shared_ptr<RunningApplications> fake)
{
    auto table = std::make_shared<Table>();
    if (fake)
        for (int i = 0; i < fake->Count(); ++i) table->apps.push_back(fake->Item(i));
    for (std::int32_t h : Served_Handles()) {
        try {
            table->apps.push_back(std::make_shared<RemoteApplication>(Attach_Host(h, pump)));
        } catch (const VbError&) {
            // Not answering: a host that has ended without removing its socket.
        }
    }
    return table;
}

bool Raise_Host(std::int32_t handle, EventPump* pump)
{
    try {
        CallByName(*Attach_Host(handle, pump), "Raise");
        return true;
    } catch (const VbError&) {
        return false;
    }
}

} // namespace platform::arcobjects
