// The receiver chooser frmGPSStatus as data.
#include "main/transfer/discovery.h"

#include <algorithm>
#include <stdexcept>

namespace transfer {

std::string Unit_Detail(const platform::Variant& entry)
{
    if (!entry.IsArray()) return {};
    const platform::VariantArray& a = entry.ToArray();
    const int count = a.UBound() - a.LBound() + 1;
    if (count < 5) return "PORT: " + a.at(2).ToString() + ", BAUD: " + a.at(3).ToString();
    return "Upload To: " + a.at(4).ToString() + ", Download From: " + a.at(5).ToString();
}

frmGPSStatus::frmGPSStatus(const std::vector<platform::Variant>& units) : units_(units)
{
    using K = app::DialogControl;
    auto make = [](const char* name, K::Kind kind, const char* caption, int left, int top, int width, int height) {
        return K{.name = name, .kind = kind, .caption = caption, .left = left, .top = top, .width = width,
                 .height = height};
    };
    controls_ = {make("lblStatus", K::Label, "", 120, 120, 4455, 1335),
                 make("lblGPSUnits", K::Label, "Connected GPS Units:", 120, 1560, 1815, 255),
                 make("cboGPSUnits", K::Combo, "", 120, 1860, 4455, 315),
                 make("cmdConnect", K::Button, "Connect", 1920, 2340, 1215, 375),
                 make("cmdCancel", K::Button, "Cancel", 3360, 2340, 1215, 375)};
    List_Clear();
}

app::DialogControl& frmGPSStatus::control(const std::string& name)
{
    for (auto& c : controls_)
        if (c.name == name) return c;
    throw std::out_of_range("frmGPSStatus has no control " + name);
}

void frmGPSStatus::Show()
{
    loaded_ = visible_ = true;
    Cancelled = false; // loading and activating the window
    changed();
}

void frmGPSStatus::Hide()
{
    visible_ = false;
    changed();
}

void frmGPSStatus::Unload()
{
    loaded_ = visible_ = false;
    changed();
}

void frmGPSStatus::set_status(const std::string& text)
{
    control("lblStatus").caption = text;
    changed();
}

void frmGPSStatus::List_Clear()
{
    app::DialogControl& list = control("cboGPSUnits");
    list.items.clear();
    list.text.clear();
    list.tooltip.clear();
    list.ListIndex = -1;
    for (const char* n : {"lblGPSUnits", "cboGPSUnits", "cmdConnect"}) control(n).enabled = false;
    changed();
}

void frmGPSStatus::List_Add(int i, const std::string& item)
{
    app::DialogControl& list = control("cboGPSUnits");
    list.items.insert(list.items.begin() + std::min<std::size_t>(std::size_t(std::max(i, 0)), list.items.size()),
                      item);
    list.text = item;
    list.ListIndex = i;
    list.tooltip = i >= 0 && std::size_t(i) < units_.size() ? Unit_Detail(units_[std::size_t(i)]) : std::string();
    changed();
}

void frmGPSStatus::List_Enable()
{
    for (const char* n : {"lblGPSUnits", "cboGPSUnits", "cmdConnect"}) control(n).enabled = true;
    changed();
}

app::Form::Result frmGPSStatus::Click(const std::string& name, int)
{
    auto it = std::find_if(controls_.begin(), controls_.end(), [&](const auto& c) { return c.name == name; });
    if (it == controls_.end() || it->kind != app::DialogControl::Button) return NoControl;
    if (!it->enabled || !visible_) return Disabled;
    if (name == "cmdCancel") Cancelled = true;
    Hide();
    return Done;
}

app::Form::Result frmGPSStatus::SetValue(const std::string&, bool) { return NoControl; }

app::Form::Result frmGPSStatus::SetText(const std::string& name, const std::string& text)
{
    if (name != "cboGPSUnits") return NoControl;
    app::DialogControl& list = control(name);
    if (!list.enabled) return Disabled;
    auto it = std::find(list.items.begin(), list.items.end(), text);
    list.text = text;
    list.ListIndex = it == list.items.end() ? -1 : int(it - list.items.begin());
    if (list.ListIndex >= 0 && std::size_t(list.ListIndex) < units_.size())
        list.tooltip = Unit_Detail(units_[std::size_t(list.ListIndex)]);
    changed();
    return it == list.items.end() ? NoItem : Done;
}

void frmGPSStatus::Close()
{
    // The close box does what Cancel does.
    Cancelled = true;
    Hide();
}

} // namespace transfer
