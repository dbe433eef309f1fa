// The main window's menu tree as data: every item with its control name,
// caption, check mark, enabled and visible state. Menu arrays (mnuPort,
// mnuBaud, mnuUnit) are items sharing one name, told apart by their index.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace app {

struct MenuItem {
    std::string name;
    std::string caption; // "-" for a separator
    int index = -1;      // position in a menu array, -1 for a plain item
    bool checked = false;
    bool enabled = true;
    bool visible = true;
    std::vector<MenuItem> children;

    bool separator() const { return caption == "-"; }
};

class MenuTree {
public:
    // The main window's menus as they stand at design time.
    MenuTree();
    MenuTree(const MenuTree& other);
    MenuTree& operator=(const MenuTree& other);

    // The mutable tree: items may be added or moved through it, so lookups
    // index it afresh afterwards.
    std::vector<MenuItem>& top()
    {
        indexed_ = false;
        return top_;
    }
    const std::vector<MenuItem>& top() const { return top_; }

    // The item of that name (and array index), or nullptr. Names compare
    // exactly, as control names do.
    MenuItem* find(std::string_view name, int index = -1);
    const MenuItem* find(std::string_view name, int index = -1) const;
    // Like find, but a missing item is a programming error (throws
    // std::out_of_range).
    MenuItem& at(std::string_view name, int index = -1);

    // Every item of a menu array, in index order.
    std::vector<MenuItem*> array(std::string_view name);

private:
    void reindex();

    std::vector<MenuItem> top_;
    // Every item by name, in tree order (menu arrays share a name).
    std::map<std::string, std::vector<MenuItem*>, std::less<>> index_;
    bool indexed_ = false;
};

} // namespace app
