// The class registry: program identifiers ("brenvik2006.Brenvik") and class
// identifiers mapped to the factories of the shared libraries that serve
// them. A library fills it through its exported registration function
//
//     extern "C" long DllRegisterServer(platform::ClassRegistry* registry);
//
// (and removes its classes with DllUnregisterServer). Creating an object of
// a class nobody registered yet loads "lib<library>.so", <library> being the
// program identifier's part before the first ".", from the registry's
// folders (the program folder by default), registers it and creates.
#pragma once

#include "platform/automation/dispatch.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class ClassRegistry {
public:
    using Factory = std::function<ObjectRef()>;

    ClassRegistry();
    ~ClassRegistry();
    ClassRegistry(const ClassRegistry&) = delete;
    ClassRegistry& operator=(const ClassRegistry&) = delete;

    // Registering a program identifier again replaces it; several program
    // identifiers may name one class identifier.
    void Register(std::string progid, std::string clsid, Factory factory);
    // By class identifier: every program identifier of the class.
    void Unregister(std::string_view progid_or_clsid);
    bool IsRegistered(std::string_view progid_or_clsid) const;
    std::string ClassIdOf(std::string_view progid) const; // empty when unknown

    // Folders searched for libraries, in order; starts with the program folder.
    void AddFolder(std::string folder);
    // Loads a library by path and runs its registration function. Throws
    // VbError 48 "Error in loading DLL" (with the loader's reason) when it
    // cannot be loaded or has no registration function.
    void LoadLibrary(const std::string& path);
    // CreateObject: by program or class identifier (any case). Throws
    // VbError 429 "ActiveX component can't create object" when no library
    // serves the class.
    ObjectRef CreateObject(std::string_view progid_or_clsid);

private:
    struct Entry {
        std::string progid, clsid;
        Factory factory;
    };
    const Entry* find(std::string_view key) const;
    std::vector<Entry> entries_;
    std::vector<std::string> folders_;
    std::vector<void*> libraries_; // kept loaded while the process runs
};

// The folder of the running executable.
std::string ProgramFolder();

} // namespace platform
