#include "platform/automation/class_registry.h"

#include "platform/registry/registry.h"
#include "platform/settings/settings.h"

#include "platform/automation/vb_error.h"

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace platform {

using RegisterFunction = long (*)(ClassRegistry*);

namespace {

// A library's file as its classes name it: the full path, links resolved.
std::string library_path(const std::string& library)
{
    std::error_code ec;
    auto p = std::filesystem::weakly_canonical(std::filesystem::absolute(library, ec), ec);
    return ec ? library : p.string();
}

} // namespace

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
    loading_ = library_path(path);
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
    for (const Category& c : categories_)
        if (NameEquals(c.category, category) && NameEquals(c.clsid, clsid)) return;
    categories_.push_back(Category{std::string(category), std::move(clsid), loading_});
}

void ClassRegistry::UnregisterCategory(std::string_view category, std::string_view clsid)
{
    std::erase_if(categories_,
                  [&](const Category& c) { return NameEquals(c.category, category) && NameEquals(c.clsid, clsid); });
}

namespace {

const char* const kClasses = "classes";  // ProgID = library
const char* const kClassIds = "clsids";  // class identifier = library
const char* const kCategories = "categories"; // category "|" class identifier = library
std::string category_key(std::string_view category, std::string_view clsid)
{
    return std::string(category) + "|" + std::string(clsid);
}


} // namespace

std::vector<std::string> ClassRegistry::ClassesIn(std::string_view category) const
{
    std::vector<std::string> out;
    auto add = [&](const std::string& id) {
        for (const std::string& o : out)
            if (NameEquals(o, id)) return;
        out.push_back(id);
    };
    for (const Category& c : categories_)
        if (NameEquals(c.category, category)) add(c.clsid);
    if (!registration_file_.empty()) {
        Settings file(registration_file_);
        for (const auto& [key, library] : file.GetAllSettings(kCategories)) {
            const auto bar = key.rfind('|');
            if (bar != std::string::npos && NameEquals(std::string_view(key).substr(0, bar), category))
                add(key.substr(bar + 1));
        }
    }
    return out;
}

std::string ClassRegistry::library_in_file(std::string_view key) const
{
    if (registration_file_.empty()) return {};
    Settings file(registration_file_);
    const std::string k(key);
    if (auto v = file.get(kClasses, k)) return *v;
    if (auto v = file.get(kClassIds, k)) return *v;
    return {};
}

void ClassRegistry::UseRegistrationFile(std::string path) { registration_file_ = std::move(path); }

std::string ClassRegistry::DefaultRegistrationFile()
{
    return (std::filesystem::path(Settings::default_path()).parent_path() / "registrations.ini").string();
}

void ClassRegistry::RegisterInFile(const std::string& library)
{
    const std::string path = library_path(library);
    LoadLibrary(path);
    if (registration_file_.empty()) registration_file_ = DefaultRegistrationFile();
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(registration_file_).parent_path(), ec);
    Settings file(registration_file_);
    file.hold();
    forget_in_file(file, path);
    for (const Entry& e : entries_) {
        if (e.library != path) continue;
        file.SaveSetting(kClasses, e.progid, path);
        if (!e.clsid.empty()) file.SaveSetting(kClassIds, e.clsid, path);
    }
    for (const Category& c : categories_)
        if (c.library == path) file.SaveSetting(kCategories, category_key(c.category, c.clsid), path);
    const std::string why = file.release();
    if (!why.empty()) throw VbError(75, "", "Path/File access error: " + registration_file_ + ": " + why);
}

void ClassRegistry::forget_in_file(Settings& file, const std::string& path)
{
    for (const char* section : {kClasses, kClassIds, kCategories})
        for (const auto& [key, value] : file.GetAllSettings(section))
            if (value == path) file.DeleteSetting(section, key);
}

void ClassRegistry::UnregisterInFile(const std::string& library)
{
    const std::string path = library_path(library);
    if (void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
        if (auto unreg = reinterpret_cast<RegisterFunction>(dlsym(handle, "DllUnregisterServer"))) {
            // Its classes and categories first, so the library's unregistration
            // knows them.
            LoadLibrary(path);
            unreg(this);
        }
        libraries_.push_back(handle);
    }
    if (registration_file_.empty()) registration_file_ = DefaultRegistrationFile();
    Settings file(registration_file_);
    file.hold();
    forget_in_file(file, path);
    const std::string why = file.release();
    if (!why.empty()) throw VbError(75, "", "Path/File access error: " + registration_file_ + ": " + why);
    std::erase_if(entries_, [&](const Entry& e) { return e.library == path; });
    std::erase_if(categories_, [&](const Category& c) { return c.library == path; });
}

ObjectRef ClassRegistry::CreateObject(std::string_view key)
{
    const Entry* e = find(key);
    if (!e) {
        // A library the registration file names for the class.
        const std::string registered = library_in_file(key);
        std::error_code ec;
        if (!registered.empty() && std::filesystem::exists(registered, ec)) {
            LoadLibrary(registered);
            e = find(key);
        }
    }
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
