#include "main/transfer/probe/probe.h"

#include "main/app/form.h"
#include "main/app/frm_info.h"
#include "main/app/frm_main.h"
#include "main/transfer/frm_image.h"
#include "main/transfer/garmin_usb.h"
#include "main/transfer/transfer.h"
#include "platform/events/events.h"
#include "platform/text/vb.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace transfer::probe {

namespace {

void add_menus(Json& out, const std::vector<app::MenuItem>& items)
{
    for (const app::MenuItem& m : items) {
        std::string key = m.index < 0 ? m.name : m.name + "(" + std::to_string(m.index) + ")";
        out[key] = {{"enabled", m.enabled}, {"checked", m.checked}};
        add_menus(out, m.children);
    }
}

void add_control(Json& out, const app::Control& c, const std::string& key)
{
    out[key] = {{"text", c.caption}, {"enabled", c.enabled}, {"visible", c.visible}, {"value", c.value}};
}

Json main_window(app::frmMain& main)
{
    Json controls = Json::object();
    for (const app::Control* c : {&main.cmdAdvanced, &main.cmdAddRec, &main.cmdDeleteSel, &main.cmdClearSel,
                                  &main.cmdCopy, &main.cmdPaste, &main.cmdConvert, &main.optWpt, &main.optTrk,
                                  &main.optRte, &main.optRTWpt, &main.lblGPSDesc1, &main.lbllat, &main.lbllon,
                                  &main.lblepe, &main.lblAlt, &main.ToDDE, &main.FromDDE})
        add_control(controls, *c, c->name);
    for (std::size_t i = 0; i < main.Label1.size(); ++i)
        add_control(controls, main.Label1[i], "Label1(" + std::to_string(i) + ")");
    Json timers = Json::object();
    if (main.Timer1)
        timers["Timer1"] = {{"interval", main.Timer1->interval_ms()}, {"enabled", main.Timer1->enabled()}};
    return {{"window", "frmMain"},     {"loaded", true},         {"visible", main.Visible},
            {"caption", main.Caption}, {"controls", controls}, {"StatusBar1", main.StatusBar1},
            {"timers", timers}};
}

Json info_window(app::frmMain& main)
{
    // Looking must not load the window: an unloaded one shows its design.
    app::InfoWindow design;
    app::InfoWindow& info = main.frmInfo_loaded() ? main.frmInfo() : design;
    Json controls = Json::object();
    for (const app::Control* c : info.controls()) add_control(controls, *c, c->name);
    return {{"window", "frmInfo"},
            {"loaded", main.frmInfo_loaded()},
            {"visible", main.frmInfo_loaded() && info.window.visible},
            {"caption", info.window.caption},
            {"controls", controls}};
}

// A window driven by control name: its caption, state, controls (as the
// settings dialog prints them) and menus (as `menus` prints the main
// window's).
Json form_window(app::Form& form)
{
    Json controls = Json::object();
    for (const app::DialogControl& c : form.controls()) {
        Json j = {{"enabled", c.enabled}, {"visible", c.visible}};
        if (!c.caption.empty()) j["caption"] = c.caption;
        using K = app::DialogControl;
        if (c.kind == K::Option || c.kind == K::Check) j["value"] = c.value;
        if (c.kind == K::Text || c.kind == K::Combo || c.kind == K::List) j["text"] = c.text;
        if (c.kind == K::Combo || c.kind == K::List) j["items"] = c.items;
        if (!c.tooltip.empty() || c.kind == K::Combo) j["hint"] = c.tooltip;
        j["left"] = c.left, j["top"] = c.top, j["width"] = c.width, j["height"] = c.height;
        controls[c.name] = j;
    }
    Json menus = Json::object();
    add_menus(menus, form.menus());
    Json out = {{"window", form.Name()}, {"loaded", form.Loaded()}, {"visible", form.Visible()},
                {"caption", form.Caption()}, {"controls", controls}, {"menus", menus}};
    if (const auto* screen = dynamic_cast<const frmImage*>(&form)) {
        auto size = [](const platform::Image& p) { return Json{p.width, p.height}; };
        out["pictures"] = {{"picImage", size(screen->picImage())}, {"picSized", size(screen->picSized())}};
        out["timers"] = {{"Timer3", {{"enabled", screen->Timer3().enabled()}, {"interval", screen->Timer3().interval_ms()}}}};
        out["topmost"] = screen->topmost();
    }
    return out;
}

} // namespace

Json controls(app::frmMain& main, std::int16_t state)
{
    main.transfer().Set_Controls(state);
    return {{"controls", state}};
}

Json select(app::frmMain& main, int first, int last)
{
    platform::Grid& g = main.MSFlexGrid1;
    g.SetRow(first);
    g.SetCol(1);
    g.SetRowSel(last);
    g.SetColSel(g.Cols() - 1);
    main.grid_Event("SelChange");
    const app::AppState& s = main.state();
    return {{"select", {{"first", s.first_selected_row}, {"last", s.last_selected_row}, {"count", s.selection_count}}}};
}

Json menus(const app::frmMain& main)
{
    Json out = Json::object();
    add_menus(out, main.menus().top());
    return {{"menus", out}};
}

Json window(app::frmMain& main, const std::string& name)
{
    const std::string wanted = platform::vb::LCase(name);
    if (wanted == "frmmain") return main_window(main);
    if (wanted == "frminfo") return info_window(main);
    if (app::Form* form = main.form(name)) return form_window(*form);
    return {{"window", name}, {"error", "no such window"}};
}

Json symbols(const app::frmMain& main)
{
    auto table = [](const platform::Collection<std::int32_t>& c) {
        Json out = Json::object();
        for (const auto& e : c) out[e.key] = e.item;
        return out;
    };
    return {{"d103", table(main.state().d103_symbols)}, {"d1xx", table(main.state().d1xx_symbols)}};
}

Json massstorage(app::frmMain& main, const std::string& folder)
{
    auto unit = std::make_shared<clsGarminUSB>(main.dialogs());
    const bool loaded = unit->LoadGPS(folder);
    Json out = {{"LoadGPS", loaded}};
    for (const auto& [name, value] : unit->Properties()) out[name] = value;
    if (loaded) main.state().GPS_MassStorageUnit = unit;
    return out;
}

} // namespace transfer::probe
