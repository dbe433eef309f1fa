// The main window against the receiver simulator over a pty, through the
// real device control: downloads into the table, uploads from it, and the
// ends of transfers the receiver abandons.
#include "main/app/compose.h"
#include "main/app/frm_info.h"
#include "main/app/frm_main.h"
#include "main/table/table.h"
#include "main/transfer/transfer.h"
#include "platform/events/events.h"
#include "platform/serial/portmap.h"
#include "platform/settings/settings.h"
#include "platform/ui/cursor.h"
#include "platform/ui/scripted_dialogs.h"
#include "tools/gpsim/gpsim.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

using nlohmann::json;

QCoreApplication& qt()
{
    static int argc = 1;
    static char name[] = "receiver_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

struct Unit {
    gpsim::Simulator sim;
    // A unit of tools/gpsim/scenarios, or of this folder's data.
    explicit Unit(const std::string& name, gpsim::Options o = {})
        : sim(gpsim::load_scenario_file(path(name)), o)
    {
        sim.start();
    }
    static std::string path(const std::string& name)
    {
        const std::string own = TREKFOLD_SOURCE_DIR "/tests/main/transfer/data/" + name + ".json";
        if (std::filesystem::exists(own)) return own;
        return TREKFOLD_SOURCE_DIR "/tools/gpsim/scenarios/" + name + ".json";
    }
};

// A main window with the real control on COM7, linked to `unit`.
struct Window {
    std::string dir;
    platform::Settings settings;
    platform::ScriptedDialogs dialogs;
    platform::RecordingCursor cursor;
    platform::PortMap ports;
    app::frmMain main;

    explicit Window(Unit& unit)
        : dir(make_dir()), settings(dir + "/trekfold.ini"), ports(&settings),
          main({settings, dialogs, cursor, (qt(), platform::qt_event_pump()), ports}, TREKFOLD_BINARY_DIR "/bin")
    {
        ::setenv("TREKFOLD_COM7", unit.sim.slave_path().c_str(), 1);
        app::install_subsystems(main);
        std::string why;
        auto control = app::make_brenvik_control(why, TREKFOLD_BINARY_DIR "/bin");
        if (!control) throw std::runtime_error(why);
        main.host_garmin_owned(std::move(control));
        settings.SaveSetting("proj", "proj", "4326");
        main.Form_Load();
        main.garmin->Port(7);
        main.garmin->Settings("9600,N,8,1");
        if (!main.garmin->PortOpen()) throw std::runtime_error("port did not open");
        main.garmin->Request_Product_Data();
        main.transfer().Set_Controls(3);
    }
    ~Window()
    {
        main.host_garmin_owned(nullptr);
        std::filesystem::remove_all(dir);
    }
    static std::string make_dir()
    {
        char d[] = "/tmp/receiver-test-XXXXXX";
        return ::mkdtemp(d);
    }
    // Runs a menu command and waits, letting events run, until no transfer runs.
    void run(const char* menu)
    {
        main.transfer().menu_Click(menu, -1);
        platform::EventPump& pump = platform::qt_event_pump();
        pump.wait_until([&] { return !main.state().transfer_running; }, pump.clock().now_us() + 60'000'000);
        ASSERT_FALSE(main.state().transfer_running) << menu << " did not end";
    }
    int rows() { return main.MSFlexGrid1.Rows() - 1; }
    std::string cell(int row, const char* field)
    {
        return main.MSFlexGrid1.TextMatrix(row, main.table().Column_Find(field, true));
    }
    std::vector<std::string> texts()
    {
        std::vector<std::string> out;
        for (const auto& b : dialogs.boxes()) out.push_back(b.text);
        dialogs.clear();
        return out;
    }
};

TEST(Receiver, ArrayUnitDownloadsEveryKindInTheTablesForms)
{
    Unit unit("d110-array-unit");
    Window w(unit);
    w.run("mnuWDownload");
    ASSERT_EQ(w.rows(), 3);
    EXPECT_EQ(w.cell(1, "ident"), "TRAILHEAD");
    EXPECT_EQ(w.cell(1, "lat"), "44.27083301"); // to the nearest semicircle
    EXPECT_EQ(w.cell(1, "comment"), "PARKING LOT");
    EXPECT_EQ(w.cell(1, "altitude"), "610");
    EXPECT_EQ(w.cell(1, "model"), "GPSMAP 60CSx");
    EXPECT_NE(w.cell(1, "ltime"), "");
    EXPECT_EQ(w.cell(1, "x_proj"), "-71.30361102"); // WGS84: the degrees again
    EXPECT_EQ(w.texts(), (std::vector<std::string>{"Received 3 records."}));

    w.run("mnuRDownload");
    ASSERT_EQ(w.rows(), 3);
    EXPECT_EQ(w.cell(1, "type"), "Route");
    EXPECT_EQ(w.cell(1, "rident"), "ASCENT");
    EXPECT_EQ(w.texts(), (std::vector<std::string>{"Received 3 records."}));

    w.run("mnuTDownload");
    ASSERT_EQ(w.rows(), 4);
    EXPECT_EQ(w.cell(4, "lat"), "44.27055599");
    EXPECT_EQ(w.texts(), (std::vector<std::string>{"Received 4 records."}));
    EXPECT_FALSE(w.main.state().transfer_busy);
    EXPECT_TRUE(w.main.state().transfer_complete);
}

TEST(Receiver, A200UnitRoutesCountWithoutLinksAndTextsStayWhole)
{
    Unit unit("a200-unit");
    Window w(unit);
    w.run("mnuRDownload");
    ASSERT_EQ(w.rows(), 5);
    EXPECT_EQ(w.texts(), (std::vector<std::string>{"Received 5 records."}));
    w.run("mnuWDownload");
    EXPECT_EQ(w.cell(1, "comment"), "DOCK; NORTH SIDE");
    EXPECT_EQ(w.cell(1, "symbol"), "170");
    EXPECT_EQ(w.texts(), (std::vector<std::string>{"Received 2 records."}));
}

TEST(Receiver, AStalledDownloadEndsOnSilenceAndTheNextOneRuns)
{
    gpsim::Options o;
    o.faults.stall = 2;
    Unit unit("d110-array-unit", o);
    Window w(unit);
    w.run("mnuTDownload");
    EXPECT_EQ(w.main.StatusBar1[1], "No response from device");
    EXPECT_FALSE(w.main.state().transfer_busy);
    EXPECT_TRUE(w.main.state().transfer_complete);
    EXPECT_EQ(w.rows(), 1); // the header and one point came
    w.texts();
    w.run("mnuWDownload");
    EXPECT_EQ(w.rows(), 2); // this one stalls too, and ends likewise
}

TEST(Receiver, DownloadUploadDownloadKeepsTheRows)
{
    for (const std::string kind : {"W", "T", "R"}) {
        Unit from("d110-array-unit");
        Unit to("a200-unit");
        Window w(from);
        w.run(("mnu" + kind + "Download").c_str());
        std::vector<std::vector<std::string>> first;
        for (int r = 1; r <= w.rows(); ++r)
            first.push_back({w.cell(r, "ident"), w.cell(r, "lat"), w.cell(r, "long"), w.cell(r, "time")});
        w.texts();
        // The same window, now linked to a second unit: upload, download.
        w.main.garmin->PortClose();
        ::setenv("TREKFOLD_COM7", to.sim.slave_path().c_str(), 1);
        ASSERT_TRUE(w.main.garmin->PortOpen());
        w.main.garmin->Request_Product_Data();
        w.run(("mnu" + kind + "Upload").c_str());
        const auto boxes = w.texts();
        ASSERT_EQ(boxes.size(), 1u) << kind;
        EXPECT_EQ(boxes[0].rfind("Transfer Complete.", 0), 0u) << boxes[0];
        w.run(("mnu" + kind + "Download").c_str());
        w.texts();
        if (kind == "R") continue; // the second unit keeps its own routes beside ours
        std::vector<std::vector<std::string>> again;
        for (int r = w.rows() - static_cast<int>(first.size()) + 1; r <= w.rows(); ++r)
            again.push_back({w.cell(r, "ident"), w.cell(r, "lat"), w.cell(r, "long"), w.cell(r, "time")});
        EXPECT_EQ(again.size(), first.size());
        for (std::size_t i = 0; i < first.size() && i < again.size(); ++i) {
            EXPECT_NEAR(std::stod(again[i][1]), std::stod(first[i][1]), 1e-5) << kind << i;
            EXPECT_NEAR(std::stod(again[i][2]), std::stod(first[i][2]), 1e-5) << kind << i;
        }
    }
}

} // namespace
