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
//
// A class registered while a library is loaded names that library's file,
// so every ProgID it registers ("TREKFOLD_ARCMAP.clsMenu",
// "Trekfold_ArcMap.clsArcMap") leads back to the one file. A registration
// file (an INI file beside the settings) keeps the classes of libraries
// registered once for later runs: ProgID and class identifier to library
// file, and the component categories the library put its classes in.
//
// The services of the program that loads a library (message boxes, the
// launcher, the settings, the event pump, modal windows) reach it through
// one entry, Services(), set by the host before any library is loaded; a
// library reads it in DllRegisterServer or whenever it needs one. A null
// service is one the host does not offer.
#pragma once

#include "platform/automation/dispatch.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class Dialogs;
class EventPump;
class Launcher;
class Settings;

// A window of a library shown modally, as the host presents it (a test
// host prints it and closes it at once).
struct ModalWindow {
    struct Control {
        std::string name, text;
        bool enabled = true, visible = true;
        std::string value;
    };
    std::string name, caption;
    std::vector<Control> controls;
};

struct LibraryServices {
    Dialogs* dialogs = nullptr;
    Launcher* launcher = nullptr;
    Settings* settings = nullptr;
    EventPump* pump = nullptr;
    // Shows the window until it is closed.
    std::function<void(const ModalWindow&)> show_modal;
};

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

    // The library file that registered the class ("" for one registered by
    // the program itself, or unknown).
    std::string LibraryOf(std::string_view progid_or_clsid) const;

    // Component categories: a category name ("ESRI Mx CommandBars") and
    // the class identifiers in it, in registration order.
    void RegisterCategory(std::string_view category, std::string clsid);
    void UnregisterCategory(std::string_view category, std::string_view clsid);
    std::vector<std::string> ClassesIn(std::string_view category) const;

    // The registration file: classes it names are found (their library
    // loaded on first use) like registered ones, and its categories count.
    void UseRegistrationFile(std::string path);
    // "registrations.ini" beside the settings file.
    static std::string DefaultRegistrationFile();
    // Loads the library, runs its DllRegisterServer and writes its classes
    // and categories into the registration file (replacing what the file
    // held for that library). Throws VbError 48 as LoadLibrary does, or 75
    // when the file cannot be written.
    void RegisterInFile(const std::string& library);
    // Runs the library's DllUnregisterServer (when it has one) and removes
    // its classes and categories from the file.
    void UnregisterInFile(const std::string& library);

    void SetServices(LibraryServices services) { services_ = std::move(services); }
    const LibraryServices& Services() const { return services_; }

private:
    struct Entry {
        std::string progid, clsid;
        Factory factory;
        std::string library;
    };
    const Entry* find(std::string_view key) const;
    std::vector<Entry> entries_;
    std::vector<std::string> folders_;
    std::vector<void*> libraries_; // kept loaded while the process runs
    std::string loading_;          // the library whose DllRegisterServer runs
    struct Category {
        std::string category, clsid, library;
    };
    std::vector<Category> categories_;
    std::string library_in_file(std::string_view key) const;
    static void forget_in_file(Settings& file, const std::string& library);
    std::string registration_file_;
    LibraryServices services_;
};

// The folder of the running executable.
std::string ProgramFolder();

} // namespace platform
