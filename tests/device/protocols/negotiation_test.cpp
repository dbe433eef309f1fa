// Protocol negotiation: the capability table, product data, protocol arrays
// and the L002 switch, driven through the dispatcher.
#include "support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <tuple>

namespace brenvik::test {
namespace {

struct Names {
    const char* wpt_format;
    const char* rte_header;
    const char* trk_transfer;
    const char* trk_point;
    const char* prx_transfer;
    const char* prx_format;
    const char* alm_transfer;
    const char* alm_format;
};

struct Case {
    std::int16_t product;
    std::int16_t version;
    Names want;
};

// Expected names written from the product table: group, then product/version.
const Case kCases[] = {
    {77, 361, {"D103", "D201", "A300", "D300", "A400", "D403", "A500", "D501"}}, // 3.61 up
    {77, 355, {"D103", "D201", "A300", "D300", "    ", "    ", "A500", "D501"}}, // 3.50 to 3.60
    {77, 360, {"D103", "D201", "A300", "D300", "    ", "    ", "A500", "D501"}}, // upper bound inclusive
    {77, 350, {"D103", "D201", "A300", "D300", "    ", "    ", "A500", "D501"}}, // lower bound inclusive
    {77, 349, {"D103", "D201", "A300", "D300", "A400", "D403", "A500", "D501"}}, // 3.01 to 3.49
    {77, 300, {"D100", "D201", "A300", "D300", "A400", "D400", "A500", "D501"}}, // up to 3.00
    {77, 301, {"D103", "D201", "A300", "D300", "A400", "D403", "A500", "D501"}}, // from 3.01
    {29, 399, {"D101", "D201", "A300", "D300", "A400", "D101", "A500", "D500"}},
    {29, 400, {"D102", "D201", "A300", "D300", "A400", "D102", "A500", "D500"}},
    {36, 299, {"D152", "D200", "A300", "D300", "A400", "D152", "A500", "D500"}},
    {36, 300, {"D152", "D200", "A300", "D300", "    ", "    ", "A500", "D500"}},
    {7, 250, {"D100", "D200", "    ", "    ", "    ", "    ", "A500", "D500"}},
    {128, 270, {"D108", "D202", "A301", "D301", "    ", "    ", "A500", "D501"}},
    {15, 0, {"D151", "D200", "    ", "    ", "A400", "D151", "A500", "D500"}},
};

TEST(CapabilityTable, BuiltInTableHas55RowsInProductOrder)
{
    auto table = Load_Product_Protocol_Table(Product_Protocol_Text());
    ASSERT_EQ(table.size(), 55u);
    for (std::size_t i = 1; i < table.size(); ++i) {
        EXPECT_LE(table[i - 1].Product_ID, table[i].Product_ID);
        if (table[i - 1].Product_ID == table[i].Product_ID)
            EXPECT_LT(table[i - 1].Max_Version, table[i].Min_Version);
    }
    EXPECT_EQ(table.front().Product_ID, 7);
    EXPECT_EQ(table.back().Product_ID, 128);
    EXPECT_EQ(table.back().Names[Row_Rte_Link_Format], "D210");
    EXPECT_EQ(table.back().Names[Row_Date_Transfer], ""); // the six names the text lacks
}

// The capability table as the product list gives it: 22 groups of names
// (link, command, waypoint transfer and format, route transfer, header,
// waypoint and link formats, track transfer, point and header formats,
// proximity transfer and format, almanac transfer and format; "" = not
// supported) and the products of each group with their version bounds in
// hundredths.
struct Group_Names {
    int group;
    std::array<const char*, 15> names;
};
const Group_Names kGroups[] = {
    {1, {"L001", "A010", "A100", "D100", "A200", "D200", "D100", "", "", "", "", "", "", "A500", "D500"}},
    {2, {"L001", "A010", "A100", "D100", "A200", "D200", "D100", "", "A300", "D300", "", "A400", "D400", "A500", "D500"}},
    {3, {"L001", "A010", "A100", "D100", "A200", "D200", "D100", "", "", "", "", "A400", "D400", "A500", "D500"}},
    {4, {"L001", "A010", "A100", "D151", "A200", "D200", "D151", "", "", "", "", "A400", "D151", "A500", "D500"}},
    {5, {"L002", "A011", "A100", "D150", "A200", "D201", "D150", "", "", "", "", "A400", "D450", "A500", "D550"}},
    {6, {"L001", "A010", "A100", "D152", "A200", "D200", "D152", "", "A300", "D300", "", "A400", "D152", "A500", "D500"}},
    {7, {"L001", "A010", "A100", "D101", "A200", "D201", "D101", "", "A300", "D300", "", "A400", "D101", "A500", "D500"}},
    {8, {"L001", "A010", "A100", "D102", "A200", "D201", "D102", "", "A300", "D300", "", "A400", "D102", "A500", "D500"}},
    {9, {"L001", "A010", "A100", "D100", "A200", "D201", "D100", "", "A300", "D300", "", "", "", "A500", "D500"}},
    {10, {"L001", "A010", "A100", "D152", "A200", "D200", "D152", "", "A300", "D300", "", "", "", "A500", "D500"}},
    {11, {"L001", "A010", "A100", "D151", "A200", "D201", "D151", "", "A300", "D300", "", "", "", "A500", "D500"}},
    {12, {"L001", "A010", "A100", "D152", "A200", "D201", "D152", "", "A300", "D300", "", "", "", "A500", "D500"}},
    {13, {"L001", "A010", "A100", "D154", "A200", "D201", "D154", "", "A300", "D300", "", "", "", "A500", "D501"}},
    {14, {"L001", "A010", "A100", "D102", "A200", "D201", "D102", "", "A300", "D300", "", "A400", "D102", "A500", "D501"}},
    {15, {"L001", "A010", "A100", "D152", "A200", "D201", "D152", "", "A300", "D300", "", "", "", "A500", "D501"}},
    {16, {"L002", "A011", "A100", "D150", "A200", "D201", "D150", "", "", "", "", "A400", "D450", "A500", "D551"}},
    {17, {"L001", "A010", "A100", "D155", "A200", "D201", "D155", "", "A300", "D300", "", "", "", "A500", "D501"}},
    {18, {"L001", "A010", "A100", "D104", "A200", "D201", "D104", "", "A300", "D300", "", "", "", "A500", "D501"}},
    {19, {"L001", "A010", "A100", "D103", "A200", "D201", "D103", "", "A300", "D300", "", "", "", "A500", "D501"}},
    {20, {"L001", "A010", "A100", "D100", "A200", "D201", "D100", "", "A300", "D300", "", "A400", "D400", "A500", "D501"}},
    {21, {"L001", "A010", "A100", "D103", "A200", "D201", "D103", "", "A300", "D300", "", "A400", "D403", "A500", "D501"}},
    {22, {"L001", "A010", "A100", "D108", "A201", "D202", "D108", "D210", "A301", "D301", "D310", "", "", "A500", "D501"}},
};
struct Product_Bounds {
    int product, min, max, group;
};
const Product_Bounds kProducts[] = {
    {7, 0, 99900, 1},
    {13, 0, 99900, 2},
    {18, 0, 99900, 2},
    {23, 0, 99900, 2},
    {24, 0, 99900, 2},
    {25, 0, 99900, 2},
    {35, 0, 99900, 2},
    {42, 0, 99900, 2},
    {14, 0, 99900, 3},
    {15, 0, 99900, 4},
    {20, 0, 99900, 5},
    {33, 0, 99900, 5},
    {34, 0, 99900, 5},
    {52, 0, 99900, 5},
    {22, 0, 99900, 6},
    {36, 0, 299, 6},
    {29, 0, 399, 7},
    {44, 0, 99900, 7},
    {29, 400, 99900, 8},
    {31, 0, 99900, 9},
    {41, 0, 99900, 9},
    {47, 0, 99900, 9},
    {55, 0, 99900, 9},
    {56, 0, 99900, 9},
    {59, 0, 99900, 9},
    {61, 0, 99900, 9},
    {62, 0, 99900, 9},
    {74, 0, 99900, 9},
    {36, 300, 99900, 10},
    {39, 0, 99900, 11},
    {45, 0, 99900, 12},
    {48, 0, 99900, 13},
    {49, 0, 99900, 14},
    {76, 0, 99900, 14},
    {88, 0, 99900, 14},
    {50, 0, 99900, 15},
    {53, 0, 99900, 15},
    {112, 0, 99900, 15},
    {64, 0, 99900, 16},
    {98, 0, 99900, 16},
    {71, 0, 99900, 17},
    {72, 0, 99900, 18},
    {73, 0, 99900, 19},
    {97, 0, 99900, 19},
    {77, 350, 360, 19},
    {77, 0, 300, 20},
    {77, 301, 349, 21},
    {77, 361, 99900, 21},
    {87, 0, 99900, 21},
    {95, 0, 99900, 21},
    {96, 0, 99900, 21},
    {100, 0, 99900, 21},
    {105, 0, 99900, 21},
    {106, 0, 99900, 21},
    {128, 0, 99900, 22},
};

TEST(CapabilityTable, EveryRowMatchesTheProductList)
{
    std::vector<Product_Bounds> want(std::begin(kProducts), std::end(kProducts));
    std::sort(want.begin(), want.end(),
              [](const Product_Bounds& a, const Product_Bounds& b) { return std::tie(a.product, a.min) < std::tie(b.product, b.min); });
    auto table = Load_Product_Protocol_Table(Product_Protocol_Text());
    ASSERT_EQ(table.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE("row " + std::to_string(i) + ", product " + std::to_string(want[i].product));
        EXPECT_EQ(table[i].Product_ID, want[i].product);
        EXPECT_EQ(table[i].Min_Version, want[i].min);
        EXPECT_EQ(table[i].Max_Version, want[i].max);
        const Group_Names& g = kGroups[want[i].group - 1];
        ASSERT_EQ(g.group, want[i].group);
        for (int n = 0; n < 15; ++n) {
            std::string name = g.names[n];
            name.resize(4, ' ');
            EXPECT_EQ(table[i].Names[n], name) << "name " << n;
        }
    }
}

TEST(CapabilityTable, ParsesVersionsExactlyAndSkipsBrokenLines)
{
    auto t = Load_Product_Protocol_Table("5, 3.6, 3.61, L001, A010, A100, D100\n"
                                         "x, 0, 999, L001\n"
                                         "6, 0.5, 999,  L2 , ,ABCDEFG\n"
                                         "*END\n"
                                         "7, 0, 999, L001\n");
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].Min_Version, 360);
    EXPECT_EQ(t[0].Max_Version, 361);
    EXPECT_EQ(t[0].Names[Row_Wpt_Format], "D100");
    EXPECT_EQ(t[0].Names[Row_Rte_Transfer], "    "); // missing field: not supported
    EXPECT_EQ(t[1].Min_Version, 50);
    EXPECT_EQ(t[1].Max_Version, 99900);
    EXPECT_EQ(t[1].Names[Row_Link], "L2  ");
    EXPECT_EQ(t[1].Names[Row_Wpt_Transfer], "ABCD");
    EXPECT_EQ(Find_Product_Row(t, 5, 359), nullptr);
    EXPECT_EQ(Find_Product_Row(t, 5, 360), &t[0]);
    EXPECT_EQ(Find_Product_Row(t, 7, 100), nullptr);
}

TEST(Negotiation, ProductDataAppliesTheTableRowForProductAndVersion)
{
    for (const Case& c : kCases) {
        SCOPED_TRACE("product " + std::to_string(c.product) + " version " + std::to_string(c.version));
        Fixture f;
        f.control->Dispatch_Packet(product(c.product, c.version));
        Control& b = *f.control;
        EXPECT_EQ(b.Waypoint_Data_Format(), c.want.wpt_format);
        EXPECT_EQ(b.Route_Header_Format(), c.want.rte_header);
        EXPECT_EQ(b.Track_Transfer_Protocol(), c.want.trk_transfer);
        EXPECT_EQ(b.Track_Point_Format(), c.want.trk_point);
        EXPECT_EQ(b.Prox_Wpt_Transfer_Protocol(), c.want.prx_transfer);
        EXPECT_EQ(b.Prox_Wpt_Data_Format(), c.want.prx_format);
        EXPECT_EQ(b.Almanac_Transfer_Protocol(), c.want.alm_transfer);
        EXPECT_EQ(b.Almanac_Data_Format(), c.want.alm_format);
        // A table match leaves date, position and PVT unsupported, and
        // flight book and laps as the defaults had them.
        EXPECT_EQ(b.Date_Transfer_Protocol(), "");
        EXPECT_EQ(b.Pvt_Data_Format(), "");
        EXPECT_EQ(b.Flightbook_Transfer_Protocol(), "A650");
        EXPECT_EQ(b.Laps_Data_Format(), "D906");
    }
}

TEST(Negotiation, UnknownProductKeepsTheDefaults)
{
    Fixture f;
    f.control->Dispatch_Packet(product(9999, 100, std::string("UNKNOWN\0MORE\0", 13)));
    Control& b = *f.control;
    EXPECT_EQ(b.Product_Data()->Product_ID, 9999);
    EXPECT_EQ(b.Product_Data()->Software_Version, 100);
    EXPECT_EQ(b.Product_Data()->Product_Description_1, "UNKNOWN");
    EXPECT_EQ(b.Product_Data()->Product_Description_2, "MORE");
    EXPECT_EQ(b.Link_Protocol(), "L001");
    EXPECT_EQ(b.WayPoint_Transfer_Protocol(), "A100");
    EXPECT_EQ(b.Waypoint_Data_Format(), "D100");
    EXPECT_EQ(b.Route_Header_Format(), "D200");
    EXPECT_EQ(b.Route_Wpt_Data_Format(), "D100");
    EXPECT_EQ(b.Date_Transfer_Protocol(), "A600");
    EXPECT_EQ(b.Posn_Data_Format(), "D700");
    EXPECT_EQ(b.Pvt_Transfer_Protocol(), "A800");
    EXPECT_EQ(b.Track_Transfer_Protocol(), "    ");
    EXPECT_EQ(b.Prox_Wpt_Transfer_Protocol(), "    ");
}

TEST(Negotiation, ShortAndOddProductPacketsReadOnlyWhatIsThere)
{
    Fixture f;
    // Two data bytes only: the ID, no version, no texts.
    f.control->Dispatch_Packet(pkt(255, {77, 0}));
    EXPECT_EQ(f.control->Product_Data()->Product_ID, 77);
    EXPECT_EQ(f.control->Product_Data()->Software_Version, 0);
    EXPECT_EQ(f.control->Product_Data()->Product_Description_1, "");
    // A truncated array (size says more than there is) and an empty packet.
    f.control->Dispatch_Packet(Packet{0x10, 255, 200, 77});
    f.control->Dispatch_Packet(Packet{0x10});
    f.control->Dispatch_Packet(Packet{});
    // Texts without a final NUL, in Windows-1252.
    f.control->Dispatch_Packet(pkt(255, {1, 0, 100, 0, 'A', 0xE9}));
    EXPECT_EQ(f.control->Product_Data()->Product_Description_1, "A\xC3\xA9");
    // Extended product data: three more descriptions.
    f.control->Dispatch_Packet(pkt(248, text_bytes(std::string("X\0Y\0Z", 5))));
    EXPECT_EQ(f.control->Product_Data()->Product_Description_4, "X");
    EXPECT_EQ(f.control->Product_Data()->Product_Description_5, "Y");
    EXPECT_EQ(f.control->Product_Data()->Product_Description_6, "Z");
}

TEST(Negotiation, ProtocolArrayNamesEverySlotItSupports)
{
    Fixture f;
    f.control->Dispatch_Packet(product(77, 361)); // the table first, then the array replaces it
    f.control->Dispatch_Packet(protocol_array({"P000", "L001", "A010", "A100", "D108", "A201", "D202", "D108",
                                                "D210", "A301", "D310", "D301", "A500", "D501", "A600", "D600",
                                                "A700", "D700", "A800", "D800"}));
    Control& b = *f.control;
    EXPECT_TRUE(b.Protocol_Array_Received());
    EXPECT_EQ(b.Link_Protocol(), "L001");
    EXPECT_EQ(b.WayPoint_Transfer_Protocol(), "A100");
    EXPECT_EQ(b.Waypoint_Data_Format(), "D108");
    EXPECT_EQ(b.Route_Transfer_Protocol(), "A201");
    EXPECT_EQ(b.Route_Header_Format(), "D202");
    EXPECT_EQ(b.Route_Wpt_Data_Format(), "D108");
    EXPECT_EQ(b.Route_Link_Format(), "D210");
    EXPECT_EQ(b.Track_Transfer_Protocol(), "A301");
    EXPECT_EQ(b.Track_Header_Format(), "D310");
    EXPECT_EQ(b.Track_Point_Format(), "D301");
    EXPECT_EQ(b.Almanac_Data_Format(), "D501");
    EXPECT_EQ(b.Date_Data_Format(), "D600");
    EXPECT_EQ(b.Posn_Transfer_Protocol(), "A700");
    EXPECT_EQ(b.Pvt_Data_Format(), "D800");
    // What the array does not name is blank, whatever the table said.
    EXPECT_EQ(b.Prox_Wpt_Transfer_Protocol(), "    ");
    EXPECT_EQ(b.Prox_Wpt_Data_Format(), "    ");
    EXPECT_EQ(b.Flightbook_Transfer_Protocol(), "    ");
    EXPECT_EQ(b.Laps_Transfer_Protocol(), "    ");
}

TEST(Negotiation, ArrayEdgeEntries)
{
    Fixture f;
    // A D1xx after A101 sets nothing; A4xx routes its D1xx to proximity.
    f.control->Dispatch_Packet(protocol_array({"L001", "A101", "D109", "A400", "D101"}));
    EXPECT_EQ(f.control->Waypoint_Data_Format(), "    ");
    EXPECT_EQ(f.control->Prox_Wpt_Transfer_Protocol(), "A400");
    EXPECT_EQ(f.control->Prox_Wpt_Data_Format(), "D101");
    // A partial entry at the end is ignored, not read past the data.
    Packet p = protocol_array({"L001", "A100", "D110"});
    p.insert(p.end() - 3, {'D', 0x67}); // two more bytes of data
    p[2] = static_cast<std::uint8_t>(p[2] + 2);
    f.control->Dispatch_Packet(p);
    EXPECT_EQ(f.control->Waypoint_Data_Format(), "D110");
    EXPECT_EQ(f.control->Route_Header_Format(), "    ");
}

void expect_l002_ids(Control& b)
{
    EXPECT_EQ(b.PID_Almanac_Data(), 4);
    EXPECT_EQ(b.PID_Command_Data(), 11);
    EXPECT_EQ(b.PID_Xfer_Cmplt(), 12);
    EXPECT_EQ(b.PID_Date_Time(), 20);
    EXPECT_EQ(b.PID_Position_Data(), 24);
    EXPECT_EQ(b.PID_Prx_Wpt_Data(), 27);
    EXPECT_EQ(b.PID_Records(), 35);
    EXPECT_EQ(b.PID_Rte_Hdr(), 37);
    EXPECT_EQ(b.PID_Rte_Wpt_Data(), 39);
    EXPECT_EQ(b.PID_Wpt_Data(), 43);
    EXPECT_EQ(b.CMND_Transfer_Alm(), 4);
    EXPECT_EQ(b.CMND_Transfer_Prx(), 17);
    EXPECT_EQ(b.CMND_Transfer_Rte(), 8);
    EXPECT_EQ(b.CMND_Transfer_Time(), 20);
    EXPECT_EQ(b.CMND_Transfer_Wpt(), 21);
    EXPECT_EQ(b.CMND_Turn_Off_Pwr(), 26);
}

void expect_l001_ids(Control& b)
{
    EXPECT_EQ(b.PID_Almanac_Data(), 31);
    EXPECT_EQ(b.PID_Command_Data(), 10);
    EXPECT_EQ(b.PID_Date_Time(), 14);
    EXPECT_EQ(b.PID_Position_Data(), 17);
    EXPECT_EQ(b.PID_Prx_Wpt_Data(), 19);
    EXPECT_EQ(b.PID_Records(), 27);
    EXPECT_EQ(b.PID_Rte_Hdr(), 29);
    EXPECT_EQ(b.PID_Rte_Wpt_Data(), 30);
    EXPECT_EQ(b.PID_Wpt_Data(), 35);
    EXPECT_EQ(b.CMND_Transfer_Wpt(), 7);
    EXPECT_EQ(b.CMND_Turn_Off_Pwr(), 8);
}

TEST(Negotiation, L002ByTableOrByArraySwitchesTheSameIds)
{
    for (std::int16_t id : {20, 33, 34, 52, 64, 98}) {
        SCOPED_TRACE(id);
        Fixture f;
        f.control->Dispatch_Packet(product(id, 100));
        EXPECT_EQ(f.control->Link_Protocol(), "L002");
        expect_l002_ids(*f.control);
    }
    Fixture f;
    f.control->Dispatch_Packet(protocol_array({"L002", "A011", "A100", "D150"}));
    expect_l002_ids(*f.control);
}

TEST(Negotiation, AnL001UnitAfterAnL002UnitGetsTheL001Ids)
{
    Fixture f;
    f.control->Dispatch_Packet(product(20, 100));
    expect_l002_ids(*f.control);
    f.control->Dispatch_Packet(product(77, 361));
    EXPECT_EQ(f.control->Link_Protocol(), "L001");
    expect_l001_ids(*f.control);
    // The same by arrays.
    f.control->Dispatch_Packet(protocol_array({"L002", "A100", "D150"}));
    expect_l002_ids(*f.control);
    f.control->Dispatch_Packet(protocol_array({"L001", "A100", "D108"}));
    expect_l001_ids(*f.control);
    // Packets are built from the IDs in force when they go out.
    EXPECT_EQ(f.control->Command_Packet(f.control->CMND_Transfer_Wpt())[1], 10);
    EXPECT_EQ(f.control->Command_Packet(f.control->CMND_Transfer_Wpt())[3], 7);
}

TEST(Negotiation, DefaultAndClearProtocols)
{
    Fixture f;
    f.control->Clear_Protocols();
    EXPECT_EQ(f.control->Link_Protocol(), "   ");
    EXPECT_EQ(f.control->WayPoint_Transfer_Protocol(), "    ");
    EXPECT_EQ(f.control->Pvt_Data_Format(), "    ");
    f.control->Default_Protocols();
    EXPECT_EQ(f.control->Link_Protocol(), "L001");
    EXPECT_EQ(f.control->Laps_Transfer_Protocol(), "A906");
    EXPECT_EQ(f.control->Route_Link_Format(), "    ");
}

TEST(Negotiation, NoReplyChangesNeitherNamesNorIds)
{
    Fixture f;
    f.control->Dispatch_Packet(product(20, 100)); // an L002 unit was here
    f.control->Request_Product_Data();           // nobody answers now
    EXPECT_EQ(f.control->Link_Protocol(), "L002");
    EXPECT_EQ(f.control->Waypoint_Data_Format(), "D150");
    expect_l002_ids(*f.control);
    ASSERT_FALSE(f.events.log.empty());
    EXPECT_EQ(f.events.log.back(), "cError:0:No response from device");
}

} // namespace
} // namespace brenvik::test
