// The ArcView 3.x link: execute strings on lblGPSDesc1's conversation with
// ArcView's system topic, and the flag-file hand-shake of a load.
#include "main/links/gis_links.h"

#include "main/app/frm_main.h"
#include "main/files/files.h"
#include "main/files/table_files.h"
#include "platform/automation/vb_error.h"
#include "platform/events/events.h"
#include "platform/text/vb.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dialogs.h"

#include <cstdio>
#include <sys/stat.h>

namespace links {

namespace {

bool exists(const std::string& path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0;
}

files::FileFrontEnd& front_end(app::frmMain& main)
{
    auto* fe = dynamic_cast<files::FileFrontEnd*>(&main.files());
    if (!fe) throw platform::VbError(91, "", "Object variable or With block variable not set");
    return *fe;
}

} // namespace

std::string Av_Run(const std::string& script, const std::vector<std::string>& args)
{
    std::string s = "av.run(\"" + script + "\",{";
    for (std::size_t i = 0; i < args.size(); ++i) s += (i ? ",\"" : "\"") + args[i] + "\"";
    return s + "})";
}

void Links::Arcview_SendData(const std::string& kind)
{
    try {
        if (!Arcview_Exists(true)) return;
        files::FileFrontEnd& fe = front_end(main_);
        files::FileInfo info = fe.getFileInfo(kind);
        if (info.name.empty()) return;
        const bool projected = !info.type_key.empty() && info.type_key.back() == 'p';
        if (!fe.table_files().Shapefile_Save(info.shape, projected, info.name, info.append)) return;
        if (Arcview_Exists(true)) lblGPSDesc1_LinkExecute(Av_Run("GPS.ReceiveGarminFile", {info.name, kind}));
        main_.Set_Msg("Sent information to ArcView");
    } catch (const std::exception&) {
        // The send ends silently.
    }
}

void Links::Arcview_GetData(const std::string& kind)
{
    const std::string temp = main_.state().temp_shapefile;
    const std::string done = temp + ".done", error = temp + ".error";
    std::remove(error.c_str());
    std::remove(done.c_str());
    if (!Arcview_Exists(true)) {
        if (platform::vb::LCase(kind) == "shapefile" &&
            main_.dialogs().MsgBox("Would you like to load data from a file?", platform::vbYesNo) == platform::vbYes) {
            try {
                front_end(main_).mnuFileL_Click();
            } catch (const std::exception&) {
            }
        }
        return;
    }
    main_.Set_Msg("Retrieving Data");
    std::string description;
    if (main_.garmin) {
        try {
            description = main_.garmin->Product_Data().Product_Description_1;
        } catch (const std::exception&) {
        }
    }
    try {
        lblGPSDesc1_LinkExecute(Av_Run("GPS.DatatoGarmin", {kind, description, temp}));
    } catch (const std::exception&) {
    }
    // ArcView writes the file, then ".done" (or ".error"). Events run
    // meanwhile; ArcView's topic is looked at each second, and once it is
    // gone nobody will write either file.
    platform::EventPump& pump = main_.pump();
    for (int slice = 1;; ++slice) {
        if (exists(done)) break;
        if (exists(error)) {
            std::remove(error.c_str());
            return;
        }
        if (slice % 10 == 0 && !topic_alive("ArcView", "System")) return;
        pump.wait_until([&] { return exists(done) || exists(error); }, pump.clock().now_us() + 100'000);
    }
    std::remove(done.c_str());
    try {
        if (!front_end(main_).table_files().Shapefile_Load(temp)) main_.dialogs().MsgBox("Error Reading Arcview Data");
    } catch (const std::exception&) {
        main_.dialogs().MsgBox("Error Reading Arcview Data");
    }
    main_.cursor().set_pointer(platform::vbDefault);
}

} // namespace links
