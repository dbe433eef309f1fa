// The ArcMap extension, libtrekfold_arcgis.so (type library Trekfold_ArcMap):
// a toolbar with a menu and three commands for the map host, and the
// automation class clsArcMap through which the main program works inside
// the host. The host loads the library and runs its DllRegisterServer,
// which registers every class and puts the toolbar into the toolbar
// category; it finds the host's services through the registry.
//
// Exports (C linkage): DllRegisterServer(ClassRegistry*),
// DllUnregisterServer(ClassRegistry*).
#pragma once

#include "platform/automation/class_registry.h"

namespace trekfold_arcmap {

inline constexpr const char* CLSID_clsToolbar = "{F1F911DD-E0FD-4267-8A53-2E8FC5C0470A}";
inline constexpr const char* CLSID_clsMenu = "{09F176A8-04D4-438D-870D-87A5C2B3CD72}";
inline constexpr const char* CLSID_clsCommandOpen = "{77CC847F-2D8D-4D3A-853C-1F8D9535F592}";
inline constexpr const char* CLSID_clsCommandHelp = "{D220FA11-E62C-4611-B87E-4F54006348F3}";
inline constexpr const char* CLSID_clsCommandAbout = "{F77FF0C2-5EFE-4583-BE57-6F4424638D0F}";
inline constexpr const char* CLSID_clsArcMap = "{5AB355A1-C81D-43E1-BB21-DC833D12FC38}";
// The default interfaces.
inline constexpr const char* IID__clsToolbar = "{7522DAC2-BB1C-4D5D-AEA0-867CF14586DC}";
inline constexpr const char* IID__clsMenu = "{B6A1F777-3ECD-46B9-A3DF-6E6B47B76D64}";
inline constexpr const char* IID__clsCommandOpen = "{2CC1F558-DD7F-4804-86DB-4DFCACF03FAF}";
inline constexpr const char* IID__clsArcMap = "{D0CEE0A9-E1F7-40DA-B47D-D2D4A5752866}";

inline constexpr const char* ProgID_clsToolbar = "TREKFOLD_ARCMAP.clsToolbar";
inline constexpr const char* ProgID_clsMenu = "TREKFOLD_ARCMAP.clsMenu";
inline constexpr const char* ProgID_clsCommandOpen = "TREKFOLD_ARCMAP.clsCommandOpen";
inline constexpr const char* ProgID_clsCommandHelp = "TREKFOLD_ARCMAP.clsCommandHelp";
inline constexpr const char* ProgID_clsCommandAbout = "TREKFOLD_ARCMAP.clsCommandAbout";
inline constexpr const char* ProgID_clsArcMap = "Trekfold_ArcMap.clsArcMap";

// What DllRegisterServer and DllUnregisterServer do; the host's services
// are taken from `registry` whenever a class needs one.
void Register(platform::ClassRegistry& registry);
void Unregister(platform::ClassRegistry& registry);

} // namespace trekfold_arcmap
