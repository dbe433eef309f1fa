// The main window against the receiver simulator over a pty, through the
// real device control: downloads into the table, uploads from it, and the
// ends of transfers the receiver abandons.
#include "tests/main/transfer/receiver.h"

namespace {

using namespace receivertest;

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

// A table of `type` with the rows given as ";" texts in the stored order.
void table(Window& w, const char* type, std::initializer_list<const char*> rows)
{
    w.main.state().record_type = type;
    w.main.table().Table_SetType(type);
    for (const char* r : rows) w.main.table().Records_Insert(r, "", "", ";", false);
}

TEST(Receiver, AUnitThatNeverAcknowledgesTheCountEndsTheUploadByItself)
{
    gpsim::Options o;
    o.faults.withhold_ack_ids = {27};
    Unit unit("d110-array-unit", o);
    Window w(unit);
    table(w, "waypoint", {"WAYPOINT;A;1;1", "WAYPOINT;B;2;2"});
    w.run("mnuWUpload");
    EXPECT_EQ(w.main.StatusBar1[1], "No response from device");
    EXPECT_TRUE(w.texts().empty());
    EXPECT_FALSE(w.main.state().transfer_busy);
    EXPECT_TRUE(w.main.state().transfer_complete);
    int counts = 0;
    for (const auto& t : unit.sim.trace()) counts += t.value("dir", "") == "in" && t.value("id", 0) == 27;
    EXPECT_EQ(counts, 2); // sent, and once more
    EXPECT_TRUE(unit.sim.uploads().empty());
}

// A unit that stops taking an upload at one of its packets: the upload
// ends by itself with "No response from device" (that packet sent once
// more, no completion box), and a download chosen after it runs.
struct StopAt {
    const char* kind;  // W, R or T
    int id;            // the packet ID the unit stops at
    int nth;           // ... the nth of them
};

void PrintTo(const StopAt& c, std::ostream* os) { *os << c.kind << " upload, packet " << c.id << " #" << c.nth; }

class ReceiverStopping : public ::testing::TestWithParam<StopAt> {};

TEST_P(ReceiverStopping, TheUploadEndsByItselfAndADownloadRunsAfterIt)
{
    const StopAt c = GetParam();
    gpsim::Options o;
    o.faults.stop_ack = {{c.id, c.nth}};
    Unit unit("d110-array-unit", o);
    Window w(unit);
    // The unit's own records make the table: commands are still answered.
    const std::string kind = c.kind;
    w.run(("mnu" + kind + "Download").c_str());
    ASSERT_GE(w.rows(), 3);
    w.texts();
    w.run(("mnu" + kind + "Upload").c_str());
    EXPECT_EQ(w.main.StatusBar1[1], "No response from device");
    EXPECT_TRUE(w.texts().empty());
    EXPECT_FALSE(w.main.state().transfer_busy);
    EXPECT_TRUE(w.main.state().transfer_complete);
    int stopped = 0, ended = 0;
    for (const auto& t : unit.sim.trace()) {
        stopped += t.value("fault", "") == "stop_ack" && t.value("id", 0) == c.id;
        ended += t.value("dir", "") == "in" && t.value("id", 0) == 12;
    }
    EXPECT_EQ(stopped, 2); // sent, and once more
    if (c.id != 12) {
        EXPECT_EQ(ended, 0); // nothing after the packet given up
    }
    w.run("mnuTDownload");
    EXPECT_EQ(w.texts(), (std::vector<std::string>{"Received 4 records."}));
    EXPECT_FALSE(w.main.state().transfer_busy);
}

INSTANTIATE_TEST_SUITE_P(EveryRecordKind, ReceiverStopping,
                         ::testing::Values(StopAt{"W", 35, 2}, StopAt{"W", 12, 1}, StopAt{"R", 29, 1},
                                           StopAt{"R", 30, 2}, StopAt{"R", 98, 1}, StopAt{"T", 99, 1},
                                           StopAt{"T", 34, 2}),
                         [](const auto& info) {
                             return std::string(info.param.kind) + "At" + std::to_string(info.param.id) + "_" +
                                    std::to_string(info.param.nth);
                         });

TEST(Receiver, ARealTimeTableAfterAWaypointUploadSendsNoRecord)
{
    Unit unit("d110-array-unit");
    Window w(unit);
    table(w, "waypoint", {"WAYPOINT;A;1;1", "WAYPOINT;B;2;2"});
    w.run("mnuWUpload");
    EXPECT_EQ(w.texts(), (std::vector<std::string>{"Transfer Complete. 2 Waypoints uploaded."}));
    table(w, "rtimewpt", {"RTIMEWPT;R1;1;1", "RTIMEWPT;R2;2;2"});
    transfer::StartUpload(w.main);
    platform::EventPump& pump = platform::qt_event_pump();
    // The unit's dump ends with the second transfer's end.
    auto ends = [&] {
        int n = 0;
        for (const auto& d : unit.sim.uploads()) n += d["kind"] == "transfer_complete";
        return n;
    };
    pump.wait_until([&] { return ends() == 2; }, pump.clock().now_us() + 60'000'000);
    std::vector<std::string> kinds;
    for (const auto& d : unit.sim.uploads()) kinds.push_back(d["kind"]);
    EXPECT_EQ(kinds, (std::vector<std::string>{"records", "waypoint", "waypoint", "transfer_complete", "records",
                                               "transfer_complete"}));
    EXPECT_TRUE(w.texts().empty());
    EXPECT_FALSE(w.main.state().transfer_busy);
}

TEST(Receiver, ARouteDownloadChosenDuringAWaypointDownloadWaitsItsTurn)
{
    gpsim::Options o;
    o.pace = true;
    Unit unit("d110-array-unit", o);
    Window w(unit);
    w.main.transfer().menu_Click("mnuWDownload", -1);
    ASSERT_TRUE(w.main.state().transfer_running); // the records are still coming
    w.run("mnuRDownload");
    EXPECT_EQ(w.texts(), (std::vector<std::string>{"Received 3 records.", "Received 3 records."}));
    EXPECT_EQ(w.cell(1, "type"), "Route");
}

} // namespace
