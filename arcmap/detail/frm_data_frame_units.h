// The dialog that asks for the data frame's units when its coordinate system
// names none: its state as data, the host showing it modally. Its buttons
// hide it, so a later showing keeps the last choice and value; closing it
// unloads it, and the next showing loads it afresh.
#pragma once

#include "platform/automation/class_registry.h"

#include <string>

namespace trekfold_arcmap {

class frmDataFrameUnits {
public:
    static constexpr const char* Caption = "Unknown Data Frame Units";

    // The window as the host shows it: the labels, cboDataUnits, tbxUnits,
    // cmdOK and cmdCancel.
    platform::ModalWindow Window() const;

    void Form_Load();
    void cboDataUnits_Click(const std::string& choice);
    void tbxUnits_Change(const std::string& text);
    void cmdOK_Click() { Tag = "OK", visible = false; }
    void cmdCancel_Click() { Tag = "Cancel", visible = false; }
    // The window's close box: the form is unloaded.
    void Unload() { *this = frmDataFrameUnits(); }

    // Applies a person's answer: "Meters", "Feet" or "Other N" then OK,
    // "Cancel", or "Close" (the close box). Anything else cancels.
    void Answer(const std::string& answer);

    bool loaded = false, visible = false;
    std::string Tag;
    std::string cboDataUnits = "Meters";
    std::string tbxUnits = "1";
    bool tbxUnits_enabled = false;
};

// Shows the form as a window where the host runs a widget application and
// returns true once it was closed; false (nothing shown) elsewhere.
bool Show_DataFrameUnits_View(frmDataFrameUnits& form);

} // namespace trekfold_arcmap
