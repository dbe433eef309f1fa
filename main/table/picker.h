// The waypoint picker frmWptSelect: a modal dialog listing the symbol image
// list's symbols as "code (name)" or "name (code)", sorted by text, all of
// them or only those receivers with the d103 format know. It answers
// through its tag ("OK" or "Cancel"); OK and Cancel only hide it, so the
// list, options and selection stay for the next use.
#pragma once

#include "main/table/table.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace flxgrd {

class frmWptSelect {
public:
    struct Item {
        std::string key;  // the image's key, "*" + code
        std::string text; // "18 (Waypoint)" or "Waypoint (18)"
        int icon;         // the image's index in the symbol image list (0-based)
    };
    // A control of the dialog as the view draws it.
    struct Control {
        const char* name;
        const char* caption;
        const char* tooltip;
    };
    static const std::array<Control, 10>& controls();

    frmWptSelect(const platform::Collection<Table::Image>& images,
                 const platform::Collection<std::int32_t>& d103_symbols);

    std::string Caption = "Select a Waypoint Symbol";
    std::string Tag;
    std::vector<Item> listView; // in display order
    int selected = -1;          // index into listView
    std::array<bool, 2> optSort = {true, false}; // Code, Name
    std::array<bool, 2> optID = {true, false};   // Other, d103
    bool loaded = false, visible = false;

    void Form_Load();
    void optSort_Click(int index);
    void OKButton_Click();
    void CancelButton_Click();
    void listView_DblClick() { OKButton_Click(); }
    // Shows the dialog modally, loading it first; returns once it answered.
    void Show();
    void Unload();
    const Item* SelectedItem() const { return selected >= 0 ? &listView[size_t(selected)] : nullptr; }

    // The modal part: the view's dialog, or a script in tests. It must end
    // with OK or Cancel; without one the dialog answers "Cancel".
    std::function<void(frmWptSelect&)> on_show;

private:
    void fill(bool name_first, bool d103_only);
    const platform::Collection<Table::Image>& images_;
    const platform::Collection<std::int32_t>& d103_;
};

} // namespace flxgrd
