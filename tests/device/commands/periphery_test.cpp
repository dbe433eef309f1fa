// The periphery commands against the receiver simulator (serial) and the
// scripted USB device: almanac, laps and flight book both ways, the unit's
// name, icons, voltages and NMEA sentences.
#include "rig.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include <unistd.h>

namespace brenvik::commands_test {
namespace {

json periphery_json()
{
    std::ifstream in(TREKFOLD_SOURCE_DIR "/tools/gpsim/scenarios/periphery-unit.json");
    return json::parse(in);
}

struct Icon_Events : Transfer_Events {
    std::vector<std::string> order;
    ByteArray bmp;
    std::string text;
    void ReceiveIcon(std::int16_t seq, const PictureRef&, const ByteArray& b) override
    {
        order.push_back("ReceiveIcon " + std::to_string(seq));
        bmp = b;
    }
    void vcReceiveIcon(std::int16_t seq, const PictureRef&, const std::string& t) override
    {
        order.push_back("vcReceiveIcon " + std::to_string(seq));
        text = t;
    }
};

// A periphery unit at 115200 baud.
struct Unit : Rig {
    explicit Unit(json j = periphery_json(), gpsim::Options o = {}) : Rig(gpsim::parse_scenario(j), std::move(o), 115200)
    {
    }
    // Runs `request`, keeping a copy of `T` (read by `get`) at each packet
    // with ID `id`, until the transfer-complete packet.
    template <class T>
    std::vector<T> download(std::uint8_t id, std::function<void()> request, std::function<T()> get)
    {
        std::vector<T> got;
        const std::size_t seen = events.received_ids.size();
        events.on_receive = [&](const ByteArray& p) {
            if (p.size() > 1 && p[1] == id) got.push_back(get());
        };
        request();
        auto complete = [&] {
            for (std::size_t k = seen; k < events.received_ids.size(); ++k)
                if (events.received_ids[k] == 12) return true;
            return false;
        };
        pump.wait_until(complete, pump.clock().now_us() + 20'000'000);
        events.on_receive = nullptr;
        EXPECT_TRUE(complete());
        return got;
    }
    // The data (hex) of the packets with ID `id`, sent by the unit ("out")
    // or the host ("in").
    std::vector<std::string> packets(const std::string& dir, int id)
    {
        settle(50);
        std::vector<std::string> out;
        for (const json& t : sim->trace())
            if (t.value("dir", "") == dir && t.value("id", -1) == id) out.push_back(t["data"]);
        return out;
    }
    template <class T>
    void upload(std::uint8_t (Brenvik::*pid)(), const std::vector<T>& records, std::function<void(Brenvik&, const T&)> send)
    {
        std::vector<probe::Upload_Step> steps;
        for (const T& r : records) steps.push_back({pid, [r, send](Brenvik& g) { send(g, r); }});
        probe::Uploader up(*gps, events, pump);
        EXPECT_TRUE(up.Run(steps));
    }
};

void round_trip_almanac(Unit& u, bool with_svid)
{
    const json want = periphery_json()["almanac"];
    const auto got = u.download<cAlmanac>(31, [&] { u.gps->Request_Almanac_Data(); }, [&] { return *u.gps->Almanac(); });
    ASSERT_EQ(got.size(), 32u);
    for (std::size_t k = 0; k < got.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(got[k].svid, with_svid ? want[k]["svid"].get<int>() : 0);
        EXPECT_EQ(got[k].wn, want[k]["wn"].get<int>());
        EXPECT_EQ(got[k].toa, want[k]["toa"].get<float>());
        EXPECT_EQ(got[k].af0, want[k]["af0"].get<float>());
        EXPECT_EQ(got[k].sqrta, want[k]["sqrta"].get<float>());
        EXPECT_EQ(got[k].i, want[k]["i"].get<float>());
    }
    u.upload<cAlmanac>(&Brenvik::PID_Almanac_Data, got, [](Brenvik& g, const cAlmanac& a) {
        *g.Almanac() = a;
        g.Send_Almanac_Data();
    });
    EXPECT_EQ(u.packets("in", 31), u.packets("out", 31));
}

TEST(Periphery, AlmanacD500FromTheCapabilityTable)
{
    json j = periphery_json();
    j.erase("protocol_array");
    j["product"]["id"] = 13; // D500 in the table
    j["formats"] = {{"waypoint", "D100"}, {"almanac", "D500"}};
    Unit u(j);
    round_trip_almanac(u, false);
    EXPECT_EQ(u.gps->Almanac_Data_Format(), "D500");
    EXPECT_EQ(u.packets("in", 31).front().size(), 2u * 42);
}

TEST(Periphery, AlmanacUploadToAUnitThatStopsAcknowledgingIsGivenUp)
{
    gpsim::Options o;
    o.faults.stop_ack = {{31, 2}};
    Unit u(periphery_json(), o);
    const auto got = u.download<cAlmanac>(31, [&] { u.gps->Request_Almanac_Data(); }, [&] { return *u.gps->Almanac(); });
    ASSERT_FALSE(got.empty());
    u.gps->Send_Almanac_Data();
    EXPECT_TRUE(u.events.errors.empty());
    u.gps->Send_Almanac_Data(); // waits the reply time-out, goes again, then gives up
    ASSERT_EQ(u.events.errors.size(), 1u);
    EXPECT_EQ(u.events.errors[0].message, "No response from device");
    EXPECT_EQ(u.packets("in", 31).size(), 3u);
}

TEST(Periphery, LapsAndFlightBookDownloadAndGoBackByteExact)
{
    Unit u;
    u.gps->Request_Product_Data();
    const json want = periphery_json();
    const auto laps = u.download<cLap>(149, [&] { u.gps->Request_Laps(); }, [&] { return *u.gps->Lap(); });
    ASSERT_EQ(laps.size(), 2u);
    EXPECT_EQ(laps[0].Start_Time, "2024/05/01-12:00:00");
    EXPECT_EQ(laps[0].Total_Time, 360000);
    EXPECT_EQ(laps[0].Total_Distance, 1234.5f);
    EXPECT_NEAR(laps[1].Begin_Lat, -33.9, 1e-6);
    EXPECT_EQ(laps[1].Calories, 80);
    EXPECT_EQ(laps[1].Track_Index, 4);
    EXPECT_EQ(u.gps->Laps()->size(), 2u);
    const auto book = u.download<cFlightbook_Record>(134, [&] { u.gps->Request_Flightbook(); },
                                                     [&] { return *u.gps->Flightbook_Record(); });
    ASSERT_EQ(book.size(), 1u);
    EXPECT_EQ(book[0].Landing_Time, "2024/06/01-09:30:00");
    EXPECT_TRUE(book[0].Cross_Country);
    EXPECT_EQ(book[0].Max_Alt, 3048.0f);
    EXPECT_EQ(book[0].Departure_Airport_Name, "SEATTLE TACOMA");
    EXPECT_EQ(book[0].Arrival_Airport_Ident, "KPDX");
    EXPECT_EQ(book[0].Aircraft_ID, "N123AB");

    u.upload<cLap>(&Brenvik::PID_Lap, laps, [](Brenvik& g, const cLap& l) {
        *g.Lap() = l;
        g.Send_Lap();
    });
    u.upload<cFlightbook_Record>(&Brenvik::PID_Flightbook_Record, book, [](Brenvik& g, const cFlightbook_Record& r) {
        *g.Flightbook_Record() = r;
        g.Send_Flightbook_Record();
    });
    EXPECT_EQ(u.packets("in", 149), u.packets("out", 149));
    EXPECT_EQ(u.packets("in", 134), u.packets("out", 134));
    EXPECT_TRUE(u.events.errors.empty());
}

TEST(Periphery, WithoutLapProtocolTwoSendsGiveOneError)
{
    json j = periphery_json();
    j["protocol_array"] = {"P000", "L001", "A010", "A100", "D108"};
    Unit u(j);
    u.gps->Request_Product_Data();
    u.gps->Send_Lap();
    u.gps->Send_Lap();
    ASSERT_EQ(u.events.errors.size(), 1u);
    EXPECT_EQ(u.events.errors[0].message, "GPS model/version does not support Lap Data");
    EXPECT_TRUE(u.packets("in", 149).empty());
}

// The BMP of icon n as the simulator draws it: colour byte i = 5i + n,
// pixel i = 3i + n; entry k of the table takes blue, green, red from bytes
// 4k + 2, 4k + 1, 4k.
ByteArray expected_icon(int n)
{
    ByteArray b(1334, 0);
    const std::uint8_t head[] = {'B', 'M', 0x36, 0x05, 0, 0, 0, 0, 0, 0, 0x36, 0x04, 0, 0, 40, 0, 0, 0, 16, 0, 0, 0, 16,
                                 0,   0,   0,    1,    0, 8, 0, 0, 0, 0, 0, 0,    1,    0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                 0,   1,   0,    0};
    std::copy(std::begin(head), std::end(head), b.begin());
    for (int k = 0; k < 256; ++k) {
        b[54 + 4 * k] = std::uint8_t(5 * (4 * k + 2) + n);
        b[55 + 4 * k] = std::uint8_t(5 * (4 * k + 1) + n);
        b[56 + 4 * k] = std::uint8_t(5 * (4 * k) + n);
        b[1078 + k] = std::uint8_t(3 * k + n);
    }
    return b;
}

TEST(Periphery, IconOverSerialWithContinuations)
{
    Unit u;
    Icon_Events ev;
    u.gps->Advise(&ev);
    std::int32_t seq = 5;
    u.gps->Request_Icon(seq);
    u.pump.wait_until([&] { return ev.order.size() >= 2; }, u.pump.clock().now_us() + 5'000'000);
    u.settle(100);
    EXPECT_EQ(ev.order, (std::vector<std::string>{"ReceiveIcon 5", "vcReceiveIcon 5"}));
    EXPECT_EQ(ev.bmp, expected_icon(5));
    EXPECT_EQ(ev.text, std::string(ev.bmp.begin(), ev.bmp.end()));
    EXPECT_EQ(u.gps->PID_Icon(), 0x1005);
    // 881, 886, four continuation requests, 884, one more, 883.
    std::vector<int> ids;
    for (auto& [id, data] : u.host_packets()) ids.push_back(id);
    EXPECT_EQ(ids, (std::vector<int>{123, 123, 125, 125, 125, 125, 123, 125, 123}));

    // Sending needs USB: on serial nothing goes out.
    const std::size_t before = u.host_packets().size();
    seq = 5;
    u.gps->Send_Icon(seq, expected_icon(5));
    EXPECT_EQ(seq, -1);
    ASSERT_EQ(ev.errors.size(), 1u);
    EXPECT_EQ(ev.errors[0].message, "Icons can only be sent over USB");
    EXPECT_EQ(u.host_packets().size(), before);
    u.gps->Advise(&u.events);
}

TEST(Periphery, VoltagesAndNmeaSentences)
{
    Unit u;
    u.gps->Request_Voltages();
    EXPECT_FLOAT_EQ(u.gps->Voltages()->Internal_Voltage, 12.34f);
    EXPECT_FLOAT_EQ(u.gps->Voltages()->External_Voltage, -0.05f);
    std::string a = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,", b = "$PGRMO,,2*",
                c = "$PGRMO*,x";
    u.gps->NMEA_Send(a);
    u.gps->NMEA_Send(b);
    u.gps->NMEA_Send(c);
    EXPECT_EQ(a, "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47");
    EXPECT_EQ(b, "$PGRMO,,2*" + u.gps->NMEA_Checksum("$PGRMO,,2*"));
    EXPECT_EQ(c, "$PGRMO*,x");
    std::vector<std::string> heard;
    auto all = [&] {
        heard.clear();
        for (const json& t : u.sim->trace())
            if (t.contains("nmea")) heard.push_back(t["nmea"]);
        return heard.size() >= 3;
    };
    u.pump.wait_until(all, u.pump.clock().now_us() + 5'000'000);
    EXPECT_EQ(heard, (std::vector<std::string>{a, b, c}));
    // A closed port: the failure goes to the caller.
    u.gps->PortClose();
    EXPECT_THROW(u.gps->NMEA_Send(a), std::exception);
}

// The USB unit: the icon exchange as rules keyed by expanded ID.
class UsbIcons : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = ::testing::TempDir() + "usb_icons_" + std::to_string(::getpid());
        std::string colours = "00100000", pixels = "00100000";
        char hx[3];
        for (int i = 0; i < 1024; ++i) std::snprintf(hx, 3, "%02X", (5 * i + 2) & 255), colours += hx;
        for (int i = 0; i < 256; ++i) std::snprintf(hx, 3, "%02X", (3 * i + 2) & 255), pixels += hx;
        rules_ = {{{"id", 881}, {"interrupt", {{{"id", 882}, {"data", "00100000"}}}}},
                  {{"id", 886}, {"bulk", {{{"id", 887}, {"data", colours}}}}},
                  {{"id", 884}, {"bulk", {{{"id", 885}, {"data", pixels}}}}},
                  {{"id", 887}, {"interrupt", {{{"id", 888}, {"data", "00100000"}}}}},
                  {{"id", 885}, {"interrupt", {{{"id", 888}, {"data", "00100000"}}}}}};
        scenario_ = dir_ + ".json";
        start();
    }
    // The control on a device answering the rules as they stand.
    void start()
    {
        usb_.reset();
        std::ofstream(scenario_) << json{{"rules", rules_}}.dump();
        usb_ = std::make_unique<Usb_Control>(scenario_, ev_);
        gps_ = usb_->gps;
        record_ = usb_->record;
    }
    void TearDown() override
    {
        usb_.reset();
        std::remove(scenario_.c_str());
    }
    // The application-layer writes: "ID:data size".
    std::vector<std::string> writes()
    {
        std::vector<std::string> out;
        std::ifstream in(record_);
        for (std::string line; std::getline(in, line);) {
            if (line.size() < 24 || line.substr(0, 2) != "14") continue;
            auto byte = [&](std::size_t k) { return std::stoi(line.substr(2 * k, 2), nullptr, 16); };
            out.push_back(std::to_string(byte(4) | byte(5) << 8) + ":" + std::to_string(byte(8) | byte(9) << 8));
        }
        return out;
    }
    platform::EventPump& pump_ = platform::qt_event_pump();
    json rules_;
    std::string dir_, scenario_, record_;
    std::unique_ptr<Usb_Control> usb_;
    Brenvik* gps_ = nullptr;
    Icon_Events ev_;
};

TEST_F(UsbIcons, RequestGivesOneIconAndTheSameBmpAsSerial)
{
    std::int32_t seq = 2;
    gps_->Request_Icon(seq);
    pump_.wait_until([&] { return ev_.order.size() >= 2; }, pump_.clock().now_us() + 5'000'000);
    EXPECT_EQ(ev_.order, (std::vector<std::string>{"ReceiveIcon 2", "vcReceiveIcon 2"}));
    EXPECT_EQ(ev_.bmp, expected_icon(2));
}

TEST_F(UsbIcons, SendWritesFourPacketsOnly)
{
    const std::size_t before = writes().size();
    std::int32_t seq = 2;
    gps_->Send_Icon(seq, expected_icon(2));
    EXPECT_EQ(seq, 2);
    auto all = writes();
    EXPECT_EQ(std::vector<std::string>(all.begin() + std::ptrdiff_t(before), all.end()),
              (std::vector<std::string>{"881:2", "887:1028", "885:260", "883:4"}));
    EXPECT_TRUE(ev_.errors.empty());
}

TEST_F(UsbIcons, AColourTableTheUnitNeverAnswersGivesTheIconUp)
{
    rules_.erase(3); // 887 goes unanswered
    start();
    std::int32_t seq = 2;
    gps_->Send_Icon(seq, expected_icon(2));
    EXPECT_EQ(seq, -1);
    const auto all = writes();
    EXPECT_EQ(std::count(all.begin(), all.end(), "887:1028"), 3); // the transport's three tries
    EXPECT_EQ(std::count(all.begin(), all.end(), "885:260"), 0);
    ASSERT_EQ(ev_.errors.size(), 1u);
    EXPECT_EQ(ev_.errors[0].message, "No response from device");
}

} // namespace
} // namespace brenvik::commands_test
