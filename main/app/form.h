// A secondary window as data: its controls (captions, texts, values,
// enabled and visible flags) and its menus, driven by control name the way
// a click, a tick or typing drives them. A Qt view draws such a window;
// tests and the probe act on it through this face.
#pragma once

#include "main/app/menu.h"

#include <functional>
#include <string>
#include <vector>

namespace app {

struct DialogControl {
    enum Kind { Button, Option, Check, Label, Text, List, Combo, Frame, Grid, Picture };
    std::string name;
    Kind kind = Label;
    std::string caption, tooltip;
    int tab = -1;      // the tab it sits on; -1: on the dialog itself
    std::string frame; // the frame holding it, if any
    int left = 0, top = 0, width = 0, height = 0;
    bool enabled = true, visible = true;
    bool value = false;              // options and check boxes
    bool bold = false;               // caption in the bold face
    std::string picture;             // picture buttons: "point", "start", "pause" or "stop"
    std::string text;                // text boxes, combos; lists: the selected entry
    std::vector<std::string> items;  // lists and combos
    int ListIndex = -1;
};

class Form {
public:
    enum Result { Done, Disabled, NoControl, NoItem };
    virtual ~Form() = default;

    virtual std::string Name() const = 0; // "frmImage"
    virtual std::string Caption() const = 0;
    virtual bool Loaded() const = 0;
    virtual bool Visible() const = 0;
    virtual const std::vector<DialogControl>& controls() const = 0;
    // The window's menu bar (empty for a window without menus).
    virtual const std::vector<MenuItem>& menus() const
    {
        static const std::vector<MenuItem> none;
        return none;
    }

    // A button, option or menu item (with its array index) clicked.
    virtual Result Click(const std::string& name, int index = -1) = 0;
    // A check box ticked or cleared.
    virtual Result SetValue(const std::string& name, bool checked) = 0;
    // Text typed into a text box (its Change handler runs) or a combo.
    virtual Result SetText(const std::string& name, const std::string& text) = 0;
    // The focus leaving a control (its LostFocus handler runs).
    virtual Result LostFocus(const std::string&) { return NoControl; }
    // A key pressed on the window: key code and shift state (1 Shift,
    // 2 Ctrl, 4 Alt).
    virtual Result KeyDown(int, int) { return NoControl; }
    // The close box.
    virtual void Close() = 0;
    // The mouse pressed on a control with a Shift state (1 Shift, 2 Ctrl,
    // 4 Alt, added), before its click; windows without such a handler have
    // none to run.
    virtual Result MouseDown(const std::string& name, int shift) { return NoControl; }
    // The window resized by the user to `width` x `height` twips.
    virtual Result Resize(int width, int height) { return NoControl; }
    // A cell of a grid clicked (`twice`: double-clicked) with the mouse;
    // on a data row the current cell moves there first, the selection
    // reaching to (row_sel, col_sel).
    virtual Result CellClick(const std::string& grid, int row, int col, int row_sel, int col_sel, bool twice)
    {
        return NoControl;
    }
    // The current cell of a grid moved by the user, with the mouse or the
    // keyboard, to (row, col), the selection reaching to (row_sel, col_sel);
    // the grid's EnterCell runs when the current cell changed.
    virtual Result CellMove(const std::string& grid, int row, int col, int row_sel, int col_sel)
    {
        return NoControl;
    }

    // The view: told after every change.
    std::function<void()> on_changed;

protected:
    void changed()
    {
        if (on_changed) on_changed();
    }
};

} // namespace app
