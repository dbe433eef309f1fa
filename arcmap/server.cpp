// The library's exports.
#include "arcmap/trekfold_arcmap.h"

#define TREKFOLD_ARCMAP_EXPORT extern "C" __attribute__((visibility("default")))

TREKFOLD_ARCMAP_EXPORT long DllRegisterServer(platform::ClassRegistry* registry)
{
    if (!registry) return 1;
    trekfold_arcmap::Register(*registry);
    return 0;
}

TREKFOLD_ARCMAP_EXPORT long DllUnregisterServer(platform::ClassRegistry* registry)
{
    if (!registry) return 1;
    trekfold_arcmap::Unregister(*registry);
    return 0;
}

TREKFOLD_ARCMAP_EXPORT long DllCanUnloadNow()
{
    // The host holds our objects for as long as it runs.
    return 1;
}
