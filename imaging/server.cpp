// The library's exports: registration of both classes, the class objects,
// and whether the library may be unloaded.
#include "imaging/detail/image_object.h"
#include "imaging/glimmerax.h"
#include "platform/automation/class_registry.h"
#include "platform/automation/vb_error.h"

#include <cstring>

namespace glimmerax {
namespace {

class Factory : public ClassFactory {
public:
    explicit Factory(bool image) : image_(image) {}
    platform::ObjectRef CreateInstance() override { return image_ ? CreateImageObject() : CreateImageInfo(); }
    void LockServer(bool lock) override
    {
        if (lock) ++g_alive;
        else --g_alive;
    }

private:
    bool image_;
};

} // namespace

} // namespace glimmerax

#define GLIMMERAX_EXPORT extern "C" __attribute__((visibility("default")))

GLIMMERAX_EXPORT long DllRegisterServer(platform::ClassRegistry* registry)
{
    using namespace glimmerax;
    if (!registry) return 1;
    registry->Register(ProgID_Image_1, CLSID_Image, CreateImageObject);
    registry->Register(ProgID_Image, CLSID_Image, CreateImageObject);
    registry->Register(ProgID_ImageInfo_1, CLSID_ImageInfo, CreateImageInfo);
    registry->Register(ProgID_ImageInfo, CLSID_ImageInfo, CreateImageInfo);
    return 0;
}

GLIMMERAX_EXPORT long DllUnregisterServer(platform::ClassRegistry* registry)
{
    if (!registry) return 1;
    registry->Unregister(glimmerax::CLSID_Image);
    registry->Unregister(glimmerax::CLSID_ImageInfo);
    return 0;
}

// The class object of a class identifier; it lives as long as the library.
GLIMMERAX_EXPORT long DllGetClassObject(const char* clsid, glimmerax::ClassFactory** out)
{
    static glimmerax::Factory image(true), info(false);
    if (!out) return long(platform::E_POINTER);
    *out = nullptr;
    if (!clsid) return long(platform::E_POINTER);
    if (platform::NameEquals(clsid, glimmerax::CLSID_Image)) *out = &image;
    else if (platform::NameEquals(clsid, glimmerax::CLSID_ImageInfo)) *out = &info;
    else return long(0x80040111u); // CLASS_E_CLASSNOTAVAILABLE
    return 0;
}

GLIMMERAX_EXPORT long DllCanUnloadNow()
{
    return glimmerax::g_alive.load() == 0 ? long(platform::S_OK) : long(platform::S_FALSE);
}

// Install and uninstall do what registration does; there is nothing else.
GLIMMERAX_EXPORT long DllInstall(int install, const char*)
{
    return 0;
}
