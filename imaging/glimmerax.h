// The imaging server, libglimmerax.so: the drawable image object
// "glimmerax.image" and the image information object
// "Glimmerax.ImageInfo", served through the class registry.
//
// Exports (C linkage): DllRegisterServer(ClassRegistry*),
// DllUnregisterServer(ClassRegistry*), DllGetClassObject(clsid, factory),
// DllCanUnloadNow() (S_OK when no object and no server lock is alive),
// DllInstall(install, command line).
#pragma once

#include "platform/automation/dispatch.h"

namespace glimmerax {

inline constexpr const char* ProgID_Image = "glimmerax.image";
inline constexpr const char* ProgID_Image_1 = "glimmerax.image.1";
inline constexpr const char* CLSID_Image = "{B9F7D335-AC62-11D1-8558-0000C050C497}";
inline constexpr const char* IID_IGlimmerax = "{B9F7D333-AC62-11D1-8558-0000C050C497}";
inline constexpr const char* ProgID_ImageInfo = "Glimmerax.ImageInfo";
inline constexpr const char* ProgID_ImageInfo_1 = "Glimmerax.ImageInfo.1";
inline constexpr const char* CLSID_ImageInfo = "{05ED9C4E-9742-4E46-8763-756BFBE058B5}";
inline constexpr const char* IID_IGlimmeraxImageInfo = "{5D9D4575-FE8F-4622-8442-B001F52D399E}";
inline constexpr const char* LIBID_GLIMMERAXLib = "{3D98D473-AC62-11D1-8558-0000C050C497}";

platform::ObjectRef CreateImageObject();
platform::ObjectRef CreateImageInfo();

// A class factory: creates objects of its class and holds the server with
// LockServer, as the library's class object does.
class ClassFactory {
public:
    virtual ~ClassFactory() = default;
    virtual platform::ObjectRef CreateInstance() = 0;
    virtual void LockServer(bool lock) = 0;
};

} // namespace glimmerax
