#include "platform/automation/class_registry.h"

#include "platform/registry/registry.h"

#include "platform/automation/vb_error.h"

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace platform {

using RegisterFunction = long (*)(ClassRegistry*);

std::string ProgramFolder()
{
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return ".";
    return exe.parent_path().string();
}

ClassRegistry::ClassRegistry() { folders_.push_back(ProgramFolder()); }

// Libraries stay loaded: objects they made may outlive the registry.
ClassRegistry::~ClassRegistry() = default;

void ClassRegistry::Register(std::string progid, std::string clsid, Factory factory)
{
    // A class may carry several program identifiers (the versioned one and
    // the version-independent one); registering a program identifier again
    // replaces its entry.
    for (Entry& e : entries_) {
        if (NameEquals(e.progid, progid)) {
            e = Entry{std::move(progid), std::move(clsid), std::move(factory), loading_};
            return;
        }
    }
    entries_.push_back(Entry{std::move(progid), std::move(clsid), std::move(factory), loading_});
}

void ClassRegistry::Unregister(std::string_view key)
{
    std::erase_if(entries_, [&](const Entry& e) { return NameEquals(e.progid, key) || NameEquals(e.clsid, key); });
}

const ClassRegistry::Entry* ClassRegistry::find(std::string_view key) const
{
    for (const Entry& e : entries_)
        if (NameEquals(e.progid, key) || NameEquals(e.clsid, key)) return &e;
    return nullptr;
}

bool ClassRegistry::IsRegistered(std::string_view key) const { return find(key) != nullptr; }

std::string ClassRegistry::ClassIdOf(std::string_view progid) const
{
    const Entry* e = find(progid);
    return e ? e->clsid : std::string();
}

void ClassRegistry::AddFolder(std::string folder) { folders_.push_back(std::move(folder)); }

void ClassRegistry::LoadLibrary(const std::string& path)
{
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        throw VbError(48, "", std::string("Error in loading DLL: ") + (why ? why : path));
    }
    auto reg = reinterpret_cast<RegisterFunction>(dlsym(handle, "DllRegisterServer"));
    if (!reg) throw VbError(48, "", "Error in loading DLL: " + path + " has no DllRegisterServer");
    libraries_.push_back(handle);
    const std::string outer = loading_;
    loading_ = path;
    long rc = 0;
    try {
        rc = reg(this);
    } catch (...) {
        loading_ = outer;
        throw;
    }
    loading_ = outer;
    if (rc != 0) throw VbError(48, "", "Error in loading DLL: " + path + " failed to register");
}

std::string ClassRegistry::LibraryOf(std::string_view key) const
{
    const Entry* e = find(key);
    return e ? e->library : std::string();
}

void ClassRegistry::RegisterCategory(std::string_view category, std::string clsid)
{
    for (const auto& [cat, id] : categories_)
        if (NameEquals(cat, category) && NameEquals(id, clsid)) return;
    categories_.emplace_back(std::string(category), std::move(clsid));
}

void ClassRegistry::UnregisterCategory(std::string_view category, std::string_view clsid)
{
    std::erase_if(categories_, [&](const auto& c) { return NameEquals(c.first, category) && NameEquals(c.second, clsid); });
}

std::vector<std::string> ClassRegistry::ClassesIn(std::string_view category) const
{
    std::vector<std::string> out;
    for (const auto& [cat, id] : categories_)
        if (NameEquals(cat, category)) out.push_back(id);
    return out;
}

void ClassRegistry::UseRegistrationFile(std::string path) { registration_file_ = std::move(path); }

std::string ClassRegistry::DefaultRegistrationFile() { return {}; }

void ClassRegistry::RegisterInFile(const std::string& library) { LoadLibrary(library); }

void ClassRegistry::UnregisterInFile(const std::string& library) {}

ObjectRef ClassRegistry::CreateObject(std::string_view key)
{
    const Entry* e = find(key);
    if (!e) {
        // Look for the library that serves the program identifier.
        std::string_view lib = key.substr(0, key.find('.'));
        if (!lib.empty() && lib.front() != '{' && lib.find('/') == std::string_view::npos) {
            std::string file = "lib" + std::string(lib) + ".so";
            for (auto& c : file) c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
            for (const std::string& folder : folders_) {
                std::filesystem::path p = std::filesystem::path(folder) / file;
                std::error_code ec;
                if (std::filesystem::exists(p, ec)) {
                    LoadLibrary(p.string());
                    break;
                }
            }
        }
        // A class identifier nobody registered: the library the machine's
        // registry names for it, as COM finds an in-process server.
        if (!lib.empty() && lib.front() == '{' && key.back() == '}') {
            const auto server = Registry::Machine().Value("HKEY_CLASSES_ROOT",
                                                          "CLSID\\" + std::string(key) + "\\InprocServer32", "@");
            std::error_code ec;
            if (server && !server->empty() && std::filesystem::exists(*server, ec)) LoadLibrary(*server);
        }
        e = find(key);
    }
    if (!e || !e->factory) throw VbError(429, "", "ActiveX component can't create object");
    ObjectRef obj = e->factory();
    if (!obj) throw VbError(429, "", "ActiveX component can't create object");
    return obj;
}

} // namespace platform
