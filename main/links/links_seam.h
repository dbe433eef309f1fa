// The GIS links as far as they are built: no GIS program is ever found,
// and the quiet-mode driver only keeps the command line it was given.
#pragma once

#include "main/links/links.h"

#include <vector>

namespace links {

class LinksSeam : public GisLinks {
public:
    explicit LinksSeam(app::frmMain& main) : main_(main) {}
    void Refresh_Apps() override;
    void Quiet_Driver(std::string& command_line) override;
    void Timer1_Timer() override;
    void ToDDE_Poke(const std::string&) override {}
    bool LV_Exists(bool) override { return false; }
    bool Arcview_Exists(bool) override { return false; }
    void lblGPSDesc1_LinkExecute(const std::string&) override {}
    void menu_Click(const std::string&, int) override {}

    // Every command line the quiet-mode driver received, in order.
    const std::vector<std::string>& quiet_command_lines() const { return quiet_; }

private:
    app::frmMain& main_;
    std::vector<std::string> quiet_;
};

} // namespace links
