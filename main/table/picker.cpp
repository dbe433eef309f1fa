#include "main/table/picker.h"

#include <algorithm>

namespace flxgrd {

namespace vb = platform::vb;

const std::array<frmWptSelect::Control, 10>& frmWptSelect::controls()
{
    static const std::array<Control, 10> c = {{
        {"optSort(0)", "Code", "Numeric code used by the GPS to reference symbols"},
        {"optSort(1)", "Name", "Descriptive Name of Symbol"},
        {"optID(0)", "Other", "Most GPS models"},
        {"optID(1)", "d103", "Models such as GPS 12, 12XL, 48, II+"},
        {"Frame1", "Sort By:", ""},
        {"Frame2", "Wpt Format:", "To determine your Waypoint Data Format go to GPS => Garmin Info"},
        {"Frame3", "Note:", ""},
        {"Label1", "Your GPS may not accept all symbols.", "New symbols are being added all the time by Garmin."},
        {"OKButton", "OK", ""},
        {"CancelButton", "Cancel", ""},
    }};
    return c;
}

frmWptSelect::frmWptSelect(const platform::Collection<Table::Image>& images,
                           const platform::Collection<std::int32_t>& d103_symbols)
    : images_(images), d103_(d103_symbols)
{
}

void frmWptSelect::fill(bool name_first, bool d103_only)
{
    listView.clear();
    int index = 0;
    for (const auto& entry : images_) {
        const Table::Image& image = entry.item;
        int icon = index++;
        std::string code = image.key.substr(1);
        if (d103_only && !platform::itemExists(d103_, code))
            continue;
        std::string text = name_first ? image.tag + " (" + code + ")" : code + " (" + image.tag + ")";
        listView.push_back({image.key, std::move(text), icon});
    }
    // The list view sorts by its item texts, ignoring case.
    std::stable_sort(listView.begin(), listView.end(),
                     [](const Item& a, const Item& b) { return vb::LCase(a.text) < vb::LCase(b.text); });
    selected = listView.empty() ? -1 : 0;
}

void frmWptSelect::Form_Load()
{
    loaded = true;
    fill(false, false);
}

void frmWptSelect::optSort_Click(int index)
{
    optSort = {index == 0, index == 1};
    fill(index == 1, optID[1]);
}

void frmWptSelect::OKButton_Click()
{
    Tag = "OK";
    visible = false;
}

void frmWptSelect::CancelButton_Click()
{
    Tag = "Cancel";
    visible = false;
}

void frmWptSelect::Show()
{
    if (!loaded)
        Form_Load();
    visible = true;
    if (on_show)
        on_show(*this);
    if (visible) // nobody answered
        CancelButton_Click();
}

void frmWptSelect::Unload()
{
    loaded = visible = false;
    listView.clear();
    selected = -1;
    optSort = {true, false};
    optID = {true, false};
    Tag.clear();
}

} // namespace flxgrd
