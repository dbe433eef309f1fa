// Protocol negotiation: the product request, the product data and protocol
// array it brings, the default protocol set and the built-in capability
// table for units that send no array, and the switch to the second link
// protocol's packet IDs.
#include "device/protocols/detail/control.h"

#include "device/protocols/codec/fields.h"
#include "platform/text/cp1252.h"

#include <string_view>

namespace brenvik {

namespace {

// The texts of a run of NUL-terminated strings, one character per byte.
std::vector<std::string> split_texts(PacketView bytes, std::size_t count)
{
    std::vector<std::string> out;
    std::string_view all(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    while (out.size() < count) {
        auto nul = all.find('\0');
        out.push_back(platform::cp1252_to_utf8(all.substr(0, nul)));
        if (nul == std::string_view::npos) break;
        all.remove_prefix(nul + 1);
    }
    out.resize(count);
    return out;
}

const std::string Blank4 = "    ";

} // namespace

void Control::Default_Protocols()
{
    ProtocolProperties& p = props_;
    p.Link_Protocol = "L001";
    p.WayPoint_Transfer_Protocol = "A100";
    p.Route_Transfer_Protocol = "A200";
    p.Track_Transfer_Protocol = Blank4;
    p.Prox_Wpt_Transfer_Protocol = Blank4;
    p.Almanac_Transfer_Protocol = "A500";
    p.Flightbook_Transfer_Protocol = "A650";
    p.Laps_Transfer_Protocol = "A906";
    p.Date_Transfer_Protocol = "A600";
    p.Posn_Transfer_Protocol = "A700";
    p.Pvt_Transfer_Protocol = "A800";
    p.Waypoint_Data_Format = "D100";
    p.Route_Header_Format = "D200";
    p.Route_Wpt_Data_Format = "D100";
    p.Route_Link_Format = Blank4;
    p.Track_Header_Format = Blank4;
    p.Track_Point_Format = Blank4;
    p.Prox_Wpt_Data_Format = Blank4;
    p.Almanac_Data_Format = "D500";
    p.Flightbook_Data_Format = "D650";
    p.Laps_Data_Format = "D906";
    p.Date_Data_Format = "D600";
    p.Posn_Data_Format = "D700";
    p.Pvt_Data_Format = "D800";
    p.Command_Protocol.clear();
}

void Control::Clear_Protocols()
{
    ProtocolProperties& p = props_;
    p.Link_Protocol = "   ";
    for (std::string* s :
         {&p.WayPoint_Transfer_Protocol, &p.Route_Transfer_Protocol, &p.Track_Transfer_Protocol,
          &p.Prox_Wpt_Transfer_Protocol, &p.Almanac_Transfer_Protocol, &p.Flightbook_Transfer_Protocol,
          &p.Laps_Transfer_Protocol, &p.Date_Transfer_Protocol, &p.Posn_Transfer_Protocol, &p.Pvt_Transfer_Protocol,
          &p.Waypoint_Data_Format, &p.Route_Header_Format, &p.Route_Wpt_Data_Format, &p.Route_Link_Format,
          &p.Track_Header_Format, &p.Track_Point_Format, &p.Prox_Wpt_Data_Format, &p.Almanac_Data_Format,
          &p.Flightbook_Data_Format, &p.Laps_Data_Format, &p.Date_Data_Format, &p.Posn_Data_Format,
          &p.Pvt_Data_Format})
        *s = Blank4;
    p.Command_Protocol.clear();
}

// Copies a capability-table row into the slots; the command, flight-book and
// lap names stay as they are.
void Control::Apply_Product_Row(const Product_Protocol_Row& row)
{
    ProtocolProperties& p = props_;
    p.Link_Protocol = row.Names[Row_Link];
    p.WayPoint_Transfer_Protocol = row.Names[Row_Wpt_Transfer];
    p.Waypoint_Data_Format = row.Names[Row_Wpt_Format];
    p.Route_Transfer_Protocol = row.Names[Row_Rte_Transfer];
    p.Route_Header_Format = row.Names[Row_Rte_Header];
    p.Route_Wpt_Data_Format = row.Names[Row_Rte_Wpt_Format];
    p.Route_Link_Format = row.Names[Row_Rte_Link_Format];
    p.Track_Transfer_Protocol = row.Names[Row_Trk_Transfer];
    p.Track_Point_Format = row.Names[Row_Trk_Point_Format];
    p.Track_Header_Format = row.Names[Row_Trk_Header_Format];
    p.Prox_Wpt_Transfer_Protocol = row.Names[Row_Prx_Transfer];
    p.Prox_Wpt_Data_Format = row.Names[Row_Prx_Format];
    p.Almanac_Transfer_Protocol = row.Names[Row_Alm_Transfer];
    p.Almanac_Data_Format = row.Names[Row_Alm_Format];
    p.Date_Transfer_Protocol = row.Names[Row_Date_Transfer];
    p.Date_Data_Format = row.Names[Row_Date_Format];
    p.Posn_Transfer_Protocol = row.Names[Row_Posn_Transfer];
    p.Posn_Data_Format = row.Names[Row_Posn_Format];
    p.Pvt_Transfer_Protocol = row.Names[Row_Pvt_Transfer];
    p.Pvt_Data_Format = row.Names[Row_Pvt_Format];
    if (p.Link_Protocol == "L002") p.apply_L002_ids();
}

void Control::Decode_Product_Data(const Packet& packet)
{
    PacketView pv = packet;
    cProduct_Data& pd = *store_.Product_Data;
    pd.Product_ID = Packet_To_Integer(pv, 3);
    pd.Software_Version = Packet_To_Integer(pv, 5);
    auto texts = split_texts(Packet_Tail(pv, 7), 3);
    pd.Product_Description_1 = texts[0];
    pd.Product_Description_2 = texts[1];
    pd.Product_Description_3 = texts[2];

    if (protocol_array_received_) return;
    // A unit identifies itself: start again from the first link protocol's
    // IDs, so a unit on L001 that follows one on L002 is spoken to rightly.
    props_.apply_L001_ids();
    Default_Protocols();
    if (const Product_Protocol_Row* row = Find_Product_Row(table_, pd.Product_ID, pd.Software_Version))
        Apply_Product_Row(*row);
}

void Control::Decode_Ext_Product_Data(const Packet& packet)
{
    auto texts = split_texts(Packet_Tail(packet, 3), 3);
    cProduct_Data& pd = *store_.Product_Data;
    pd.Product_Description_4 = texts[0];
    pd.Product_Description_5 = texts[1];
    pd.Product_Description_6 = texts[2];
}

void Control::Parse_Protocol_Array(const Packet& packet)
{
    Clear_Protocols();
    protocol_array_received_ = true;
    ProtocolProperties& p = props_;
    PacketView pv = packet;
    const std::size_t end = Packet_Data_End(pv);
    std::string current_a;
    int d_count = 0;
    // Whole three-byte entries only: a partial one at the end is ignored.
    for (std::size_t i = Packet_Data_Start; i + 3 <= end; i += 3) {
        const char tag = static_cast<char>(pv[i]);
        const int n = pv[i + 1] | (pv[i + 2] << 8);
        std::string number = std::to_string(n);
        if (number.size() < 3) number.insert(0, 3 - number.size(), '0');
        const std::string name = tag + number;
        if (tag == 'L') {
            p.Link_Protocol = name;
        } else if (tag == 'A') {
            d_count = 0;
            current_a = name;
            if (n == 100) p.WayPoint_Transfer_Protocol = name;
            else if (n == 200 || n == 201) p.Route_Transfer_Protocol = name;
            else if (n >= 300 && n <= 302) p.Track_Transfer_Protocol = name;
            else if (n == 400 || n == 401) p.Prox_Wpt_Transfer_Protocol = name;
            else if (n == 500 || n == 501) p.Almanac_Transfer_Protocol = name;
            else if (n == 600) p.Date_Transfer_Protocol = name;
            else if (n == 650) p.Flightbook_Transfer_Protocol = name;
            else if (n == 700) p.Posn_Transfer_Protocol = name;
            else if (n >= 800 && n <= 802) p.Pvt_Transfer_Protocol = name;
            else if (n == 906) p.Laps_Transfer_Protocol = name;
            else if (n == 10 || n == 11) p.Command_Protocol = name;
        } else if (tag == 'D') {
            ++d_count;
            if (n >= 100 && n <= 199) {
                if (current_a == "A100") p.Waypoint_Data_Format = name;
                else if (current_a.rfind("A2", 0) == 0) p.Route_Wpt_Data_Format = name;
                else if (current_a.rfind("A4", 0) == 0) p.Prox_Wpt_Data_Format = name;
            } else if (n >= 200 && n <= 299) {
                if (d_count == 1) p.Route_Header_Format = name;
                else if (d_count == 3) p.Route_Link_Format = name;
            } else if (n >= 300 && n <= 309) {
                p.Track_Point_Format = name;
            } else if (n >= 310 && n <= 313) {
                p.Track_Header_Format = name;
            } else if (n >= 400 && n <= 499) {
                p.Prox_Wpt_Data_Format = name;
            } else if (n >= 500 && n <= 599) {
                p.Almanac_Data_Format = name;
            } else if (n == 600) {
                p.Date_Data_Format = name;
            } else if (n == 650) {
                p.Flightbook_Data_Format = name;
            } else if (n == 700) {
                p.Posn_Data_Format = name;
            } else if (n >= 800 && n <= 802) {
                p.Pvt_Data_Format = name;
            } else if (n == 906) {
                p.Laps_Data_Format = name;
            }
        }
    }
    // The array names the link protocol the unit speaks: use its IDs.
    if (p.Link_Protocol == "L002")
        p.apply_L002_ids();
    else
        p.apply_L001_ids();
}

void Control::Request_Product_Data() { Identify(); }

bool Control::Identify()
{
    Stop_Polling_Timers();
    Unsupported_Reported = false;
    link_->Counting_Records = false;
    Clear_Input();

    if (props_.Port == 0) {
        if (!usb_->Start_Session()) {
            if (!usb_->Reset_Device()) {
                Report("USB connection failure");
                return false;
            }
            if (!usb_->Start_Session()) {
                link_->No_Response();
                return false;
            }
        }
        usb_->Drain_Input();
    }

    store_.Product_Data->Unit_ID.clear();
    protocol_array_received_ = false;

    if (!Send_Packet(Make_Packet(props_.PID_Product_Rqst, {0, 0}), props_.PID_Product_Data, 0)) {
        link_->No_Response();
        return false;
    }
    // Units that know the protocol array send it right after the product
    // data; give it a moment to arrive.
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (protocol_array_received_) {
            Send_Packet(Command_Packet(14), props_.PID_Unit_ID, 500);
            Send_Packet(Make_Packet(28, {0, 0}), props_.PID_Ack_Byte, 500);
            break;
        }
        WaitFor(50);
    }
    return true;
}

} // namespace brenvik
