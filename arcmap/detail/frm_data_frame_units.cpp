#include "arcmap/detail/frm_data_frame_units.h"

#include "platform/text/vb.h"

namespace trekfold_arcmap {

platform::ModalWindow frmDataFrameUnits::Window() const
{
    platform::ModalWindow w;
    w.name = "frmDataFrameUnits";
    w.caption = Caption;
    auto label = [](const char* name, const char* text) {
        return platform::ModalWindow::Control{name, text, true, true, ""};
    };
    w.controls = {label("lblPrompt", "Please Specify Data Frame Data Units Below:"),
                  label("lblDataUnits", "Data Units:"),
                  {"cboDataUnits", "Meters|Feet|Other", true, true, cboDataUnits},
                  label("lblUnits", "Meters per Unit"),
                  {"tbxUnits", tbxUnits, tbxUnits_enabled, true, tbxUnits},
                  label("cmdOK", "OK"),
                  label("cmdCancel", "Cancel")};
    return w;
}

void frmDataFrameUnits::Form_Load()
{
    loaded = true;
    cboDataUnits_Click("Meters");
}

void frmDataFrameUnits::cboDataUnits_Click(const std::string& choice)
{
    cboDataUnits = choice;
    if (choice == "Meters") tbxUnits_Change("1");
    else if (choice == "Feet") tbxUnits_Change("0.3048");
    else tbxUnits_Change("");
    tbxUnits_enabled = choice != "Meters" && choice != "Feet";
}

void frmDataFrameUnits::tbxUnits_Change(const std::string& text)
{
    // A text that is no number becomes the number its leading digits form.
    tbxUnits = platform::vb::IsNumeric(text) ? text : platform::vb::CStr(platform::vb::Val(text));
}

void frmDataFrameUnits::Answer(const std::string& answer)
{
    if (answer == "Close") return Unload();
    if (answer == "Meters" || answer == "Feet") {
        cboDataUnits_Click(answer);
        return cmdOK_Click();
    }
    if (answer.rfind("Other", 0) == 0) {
        cboDataUnits_Click("Other");
        tbxUnits_Change(answer.size() > 6 ? answer.substr(6) : "");
        return cmdOK_Click();
    }
    cmdCancel_Click();
}

} // namespace trekfold_arcmap
