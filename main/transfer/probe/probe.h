// Commands of trekfold-probe on the main window's transfer state, each
// answering with the JSON object the probe prints.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

namespace app { class frmMain; }

namespace transfer::probe {

using Json = nlohmann::ordered_json;

// controls N: Set_Controls(N); {"controls":N}.
Json controls(app::frmMain& main, std::int16_t state);
// select FIRST LAST: whole rows FIRST to LAST selected (current cell
// (FIRST, 1), opposite corner (LAST, last column)), then the grid's
// selection-change handler; the first, last and count it stored:
// {"select":{"first":N,"last":N,"count":N}}.
Json select(app::frmMain& main, int first, int last);
// menus: {"menus":{"NAME" or "NAME(INDEX)":{"enabled":B,"checked":B}}}.
Json menus(const app::frmMain& main);
// window NAME (frmMain, frmInfo or frmGPSStatus, any case): {"window":NAME,"loaded":B,
// "visible":B,"caption":T,"controls":{NAME:{"text":T,"enabled":B,
// "visible":B,"value":B}}}, frmMain with "StatusBar1":[T,T,T]. Looking
// does not load frmInfo. A window registered with frmMain::register_form
// (exact name): {"window":NAME,"loaded":B,"visible":B,"caption":T,
// "controls":{NAME:{"enabled":B,"visible":B,"caption":T,"value":B,
// "text":T,"items":[T],"hint":T,"left":N,...}},"menus":{as menus prints}}.
// frmImage adds "pictures":{"picImage":[W,H],"picSized":[W,H]},
// "timers":{"Timer3":{"enabled":B,"interval":MS}} and "topmost":B.
// Another name: {"window":NAME,"error":T}.
Json window(app::frmMain& main, const std::string& name);
// symbols: {"d103":{KEY:N},"d1xx":{KEY:N}}.
Json symbols(const app::frmMain& main);
// massstorage DIR: LoadGPS(DIR) on a new unit, kept as GPS_MassStorageUnit
// when True; {"LoadGPS":B, PROPERTY:T...}.
Json massstorage(app::frmMain& main, const std::string& folder);

} // namespace transfer::probe
