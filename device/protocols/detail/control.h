// The control's implementation: one object behind both faces (the typed
// Brenvik interface and the late-bound Dispatch), host of the link layer.
// Private to the library; the command files of each subsystem include it.
#pragma once

#include "device/link/link.h"
#include "device/protocols/brenvik.h"
#include "device/protocols/codec/icon.h"
#include "device/protocols/codec/screen.h"
#include "device/protocols/codec/store.h"
#include "device/protocols/detail/capability_table.h"
#include "device/protocols/detail/usb_device.h"
#include "platform/automation/dispatch.h"
#include "platform/events/events.h"
#include "platform/serial/serial_port.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace brenvik {

class Control final : public Brenvik, public platform::Dispatch, public LinkHost {
public:
    explicit Control(const Brenvik_Services& services);
    ~Control() override;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    // ---- late-bound face ------------------------------------------------
    std::optional<platform::DispId> GetIDOfName(std::string_view name) const override;
    platform::Variant Invoke(platform::DispId id, platform::InvokeKind kind,
                             std::vector<platform::Variant>& args) override;
    void* QueryInterface(std::string_view iid) override;
    void Advise(std::shared_ptr<platform::EventSink> sink) override;

    // ---- typed face -------------------------------------------------------
    void Advise(BrenvikEvents* sink) override { typed_sink_ = sink; }

    std::int32_t FindBaud(const std::string& isettings) override;
    bool PortOpen() override;
    void PortClose() override;
    std::string TrimNull(std::string& instring) override;
    void Reset() override;
    std::int32_t Address_Of(std::int32_t pfn) override { return pfn; }
    void WaitFor(std::int32_t d) override;
    void Request_Product_Data() override;
    void Start_of_Records(std::int16_t ocount) override;
    void Power_Off() override;
    void Request_Date_Time() override;
    void Pvt_Data_Start() override;
    void Async_Start() override;
    void Pvt_Data_Stop() override;
    void Async_Stop() override;
    void Request_Waypoints() override;
    void Request_Flightbook() override;
    void Request_Laps() override;
    void Request_Prox_Waypoints() override;
    void Request_Routes() override;
    void Request_Tracks() override;
    void Send_Route_Header() override;
    void Send_Track() override;
    void Send_Flightbook_Record() override;
    void End_of_Records() override;
    void Send_Waypoint() override;
    void Send_Prox_Waypoint() override;
    void Send_Route_Waypoint() override;
    std::string NMEA_Checksum(const std::string& msg) override { return Link::NMEA_Checksum(msg); }
    void Send_Track_Header() override;
    void Send_Route_Link() override;
    void Request_Voltages() override;
    void Request_Display() override;
    void Request_Almanac_Data() override;
    void Request_Position_Data() override;
    void Send_Almanac_Data() override;
    void Send_Position_Data() override;
    void Request_Counts() override;
    void Send(const ByteArray& Packet, std::uint8_t Response, std::int32_t WaitTime) override;
    // Send with the caller's Response and WaitTime written back (late-bound face).
    void Send_Reference(const ByteArray& Packet, std::uint8_t& Response, std::int32_t& WaitTime)
    {
        link_->Send_Reference(Packet, Response, WaitTime);
    }
    bool Change_Baud_Rate(std::int32_t Baud) override;
    void Send_Lap() override;
    void Change_GPS_Name(const std::string& NewName) override;
    void Request_Icon(std::int32_t& seq) override;
    void Send_Icon(std::int32_t& seq, const ByteArray& BMP) override;
    std::string xLate(const std::string& Phrase) override { return sak_.xLate(Phrase); }
    void Request_GPS_Name() override;
    void NMEA_Send(std::string& message) override;
    std::int32_t tf_test(const std::string& cmd) override;

#define BRENVIK_OBJECT_PROPERTY(Type, Name)                                                                            \
    std::shared_ptr<Type> Name() override { return store_.Name; }                                                      \
    void Name(std::shared_ptr<Type> v) override { store_.Name = std::move(v); }
    BRENVIK_OBJECT_PROPERTY(cWaypoint, Waypoint)
    BRENVIK_OBJECT_PROPERTY(cRoute, Route)
    BRENVIK_OBJECT_PROPERTY(cTrack, Track)
    BRENVIK_OBJECT_PROPERTY(cPosition, Position)
    BRENVIK_OBJECT_PROPERTY(cPvtData, PvtData)
    BRENVIK_OBJECT_PROPERTY(cDate_Time, Date_Time)
    BRENVIK_OBJECT_PROPERTY(cVoltages, Voltages)
    BRENVIK_OBJECT_PROPERTY(cDisplay, Display)
    BRENVIK_OBJECT_PROPERTY(cAlmanac, Almanac)
    BRENVIK_OBJECT_PROPERTY(cProduct_Data, Product_Data)
    BRENVIK_OBJECT_PROPERTY(cRecord_Counts, Counts)
    BRENVIK_OBJECT_PROPERTY(cFlightbook_Record, Flightbook_Record)
    BRENVIK_OBJECT_PROPERTY(cLap, Lap)
#undef BRENVIK_OBJECT_PROPERTY
    RecordListRef<cLap> Laps() override;
    void Laps(RecordListRef<cLap> v) override { store_.Laps = std::move(v); }
    std::shared_ptr<cSat> sat() override { return sat_; }
    void sat(std::shared_ptr<cSat> v) override { sat_ = std::move(v); }
    RecordListRef<cSat> Sats() override;
    void Sats(RecordListRef<cSat> v) override { store_.Sats = std::move(v); }

    std::int16_t Port() override { return props_.Port; }
    void Port(std::int16_t v) override { props_.Port = v; }
    bool IgnoreCheckSum() override { return props_.IgnoreCheckSum; }
    void IgnoreCheckSum(bool v) override { props_.IgnoreCheckSum = v; }
    std::string Settings() override { return props_.Settings; }
    void Settings(const std::string& v) override { props_.Settings = v; }
    bool UserFlowControl() override { return link_->UserFlowControl; }
    void UserFlowControl(bool v) override { link_->UserFlowControl = v; }
    bool DebugLog() override { return link_->DebugLog; }
    void DebugLog(bool v) override { link_->DebugLog = v; }
    std::int16_t Time_Out() override { return link_->Time_Out(); }
    void Time_Out(std::int16_t v) override { link_->set_Time_Out(v); }
    bool RTSEnable() override { return rts_enable_; }
    void RTSEnable(bool v) override { rts_enable_ = v; }
    bool DTREnable() override { return dtr_enable_; }
    void DTREnable(bool v) override { dtr_enable_ = v; }
    Handshaking_Values Handshaking() override { return handshaking_; }
    void Handshaking(Handshaking_Values v) override { handshaking_ = v; }
    std::string Language() override { return sak_.Language; }
    void Language(const std::string& v) override;
    std::string Palette_File() override { return palette_file_; }
    void Palette_File(const std::string& v) override { palette_file_ = v; }

#define BRENVIK_READ_ONLY(Type, Name)                                                                                  \
    Type Name() override { return props_.Name; }
    BRENVIK_READ_ONLY(std::string, Link_Protocol)
    BRENVIK_READ_ONLY(std::string, WayPoint_Transfer_Protocol)
    BRENVIK_READ_ONLY(std::string, Laps_Transfer_Protocol)
    BRENVIK_READ_ONLY(std::string, Flightbook_Transfer_Protocol)
    BRENVIK_READ_ONLY(std::string, Route_Transfer_Protocol)
    BRENVIK_READ_ONLY(std::string, Track_Transfer_Protocol)
    BRENVIK_READ_ONLY(std::string, Prox_Wpt_Transfer_Protocol)
    BRENVIK_READ_ONLY(std::string, Waypoint_Data_Format)
    BRENVIK_READ_ONLY(std::string, Laps_Data_Format)
    BRENVIK_READ_ONLY(std::string, Flightbook_Data_Format)
    BRENVIK_READ_ONLY(std::string, Route_Header_Format)
    BRENVIK_READ_ONLY(std::string, Route_Link_Format)
    BRENVIK_READ_ONLY(std::string, Route_Wpt_Data_Format)
    BRENVIK_READ_ONLY(std::string, Track_Header_Format)
    BRENVIK_READ_ONLY(std::string, Track_Point_Format)
    BRENVIK_READ_ONLY(std::string, Prox_Wpt_Data_Format)
    BRENVIK_READ_ONLY(std::string, Date_Data_Format)
    BRENVIK_READ_ONLY(std::string, Date_Transfer_Protocol)
    BRENVIK_READ_ONLY(std::string, Posn_Transfer_Protocol)
    BRENVIK_READ_ONLY(std::string, Pvt_Transfer_Protocol)
    BRENVIK_READ_ONLY(std::string, Posn_Data_Format)
    BRENVIK_READ_ONLY(std::string, Pvt_Data_Format)
    BRENVIK_READ_ONLY(std::string, Almanac_Transfer_Protocol)
    BRENVIK_READ_ONLY(std::string, Almanac_Data_Format)
    BRENVIK_READ_ONLY(std::uint8_t, CMND_Reset_Transfer)
    BRENVIK_READ_ONLY(std::uint8_t, CMND_Transfer_Alm)
    BRENVIK_READ_ONLY(std::uint8_t, CMND_Transfer_Posn)
    BRENVIK_READ_ONLY(std::uint8_t, CMND_Transfer_Flightbook)
    BRENVIK_READ_ONLY(std::uint8_t, CMND_Transfer_Lap)
    BRENVIK_READ_ONLY(std::uint8_t, CMND_Transfer_Prx)
    BRENVIK_READ_ONLY(std::uint8_t, CMND_Transfer_Rte)
    BRENVIK_READ_ONLY(std::uint8_t, CMND_Transfer_Time)
    BRENVIK_READ_ONLY(std::uint8_t, CMND_Transfer_Trk)
    BRENVIK_READ_ONLY(std::uint8_t, CMND_Transfer_Wpt)
    BRENVIK_READ_ONLY(std::uint8_t, CMND_Turn_Off_Pwr)
    BRENVIK_READ_ONLY(std::uint8_t, CMND_Start_Pvt_Data)
    BRENVIK_READ_ONLY(std::uint8_t, CMND_Stop_Pvt_Data)
    BRENVIK_READ_ONLY(std::uint8_t, CMND_Start_Async)
    BRENVIK_READ_ONLY(std::uint8_t, CMND_Change_Baud)
    BRENVIK_READ_ONLY(std::uint8_t, PID_Command_Data)
    BRENVIK_READ_ONLY(std::uint8_t, PID_Xfer_Cmplt)
    BRENVIK_READ_ONLY(std::uint8_t, PID_Position_Data)
    BRENVIK_READ_ONLY(std::uint8_t, PID_Date_Time)
    BRENVIK_READ_ONLY(std::uint8_t, PID_Prx_Wpt_Data)
    BRENVIK_READ_ONLY(std::uint8_t, PID_Records)
    BRENVIK_READ_ONLY(std::uint8_t, PID_Rte_Wpt_Data)
    BRENVIK_READ_ONLY(std::uint8_t, PID_Almanac_Data)
    BRENVIK_READ_ONLY(std::uint8_t, PID_Trk_Data)
    BRENVIK_READ_ONLY(std::uint8_t, PID_Wpt_Data)
    BRENVIK_READ_ONLY(std::uint8_t, PID_Pvt_Data)
    BRENVIK_READ_ONLY(std::uint8_t, PID_Product_Rqst)
    BRENVIK_READ_ONLY(std::uint8_t, PID_Product_Data)
    BRENVIK_READ_ONLY(std::uint8_t, PID_Baud_Reply)
    BRENVIK_READ_ONLY(std::uint8_t, PID_Ack_Byte)
    BRENVIK_READ_ONLY(std::uint8_t, PID_Nak_Byte)
    BRENVIK_READ_ONLY(std::uint8_t, PID_Protocol_Array)
    BRENVIK_READ_ONLY(std::uint8_t, PID_Rte_Hdr)
    BRENVIK_READ_ONLY(std::uint8_t, PID_Trk_Hdr)
    BRENVIK_READ_ONLY(std::uint8_t, PID_Lap)
    BRENVIK_READ_ONLY(std::uint8_t, PID_Sats)
    BRENVIK_READ_ONLY(std::uint8_t, PID_Flightbook_Record)
    BRENVIK_READ_ONLY(std::uint8_t, PID_Rte_Link)
    BRENVIK_READ_ONLY(std::uint8_t, PID_Voltages)
    BRENVIK_READ_ONLY(std::uint8_t, PID_Display_Data)
    BRENVIK_READ_ONLY(std::uint8_t, PID_Unit_ID)
    BRENVIK_READ_ONLY(std::uint8_t, PID_Expanded_Packet)
    BRENVIK_READ_ONLY(std::int16_t, Incoming_Records_Count)
    BRENVIK_READ_ONLY(std::int32_t, PID_Expanded_ID)
    BRENVIK_READ_ONLY(std::int32_t, PID_Icon)
    BRENVIK_READ_ONLY(std::int32_t, PID_Expanded_Length)
#undef BRENVIK_READ_ONLY
    std::string version() override;

    // ---- LinkHost ---------------------------------------------------------
    void Dispatch_Packet(const Packet& packet) override;
    void raise_Receive(const Packet& packet) override;
    void raise_cError(std::int16_t code, const std::string& message, const Packet& packet) override;
    void raise_uError(std::int32_t errnum, const std::string& message) override;
    void raise_HexDebug(const std::string& text) override;
    void raise_NMEA(const std::string& sentence, bool chkerr) override;
    void raise_USBprogress(std::int32_t numpackage) override;
    void show_message(const std::string& text) override;

    // ---- inside the control -----------------------------------------------
    // Request_Product_Data: false when the unit did not answer (reported).
    bool Identify();
    // Decoders run by Dispatch_Packet (negotiation and the one-field ones).
    void Decode_Records(const Packet& packet);
    void Decode_Baud_Reply(const Packet& packet);
    void Decode_Product_Data(const Packet& packet);
    void Decode_Ext_Product_Data(const Packet& packet);
    void Parse_Protocol_Array(const Packet& packet);
    void Default_Protocols();
    void Clear_Protocols();
    void Apply_Product_Row(const Product_Protocol_Row& row);
    // The rest of the dispatch rows, filled by their subsystems.
    void Decode_Unit_ID(const Packet& packet);
    void Decode_Voltages(const Packet& packet);
    void Build_Image(const Packet& packet);
    void Decode_Flightbook(const Packet& packet);
    void Decode_Lap(const Packet& packet);
    void Decode_Almanac(const Packet& packet);
    void Receive_Expanded_Packet(const Packet& packet);
    // The transfer-complete packet: ReceivedWaypoints, -Routes or -Tracks.
    void Transfer_Complete(const Packet& packet);

    // Packets built from the identifiers in force now.
    Packet Make_Packet(std::uint8_t id, std::initializer_list<std::uint8_t> data) const;
    Packet Make_Packet(std::uint8_t id, const std::vector<std::uint8_t>& data) const;
    Packet Command_Packet(std::uint8_t command) const;
    Packet Abort_Packet() const { return Command_Packet(props_.CMND_Reset_Transfer); }
    // Send_Packet with plain values.
    bool Send_Packet(const Packet& packet, std::uint8_t response, std::int32_t wait);
    // The serial input buffer and the link's text buffer, emptied.
    void Clear_Input();
    void Stop_Polling_Timers();
    UsbDevice& usb() { return *usb_; }
    // A cError with code 0 and a translated message.
    void Report(const std::string& english, const Packet& packet = {});
    // Sends one record of an upload (see Send_Upload_Packet); without a
    // packet (a kind or format the unit does not support) raises
    // `unsupported` once per transfer instead.
    void Send_Record(const std::optional<Packet>& packet, const char* unsupported);
    // Sends one packet of an upload: the records packet, each record, the
    // transfer's end. On a serial port the unit acknowledges every one, and
    // the next goes out from that acknowledgement's Receive: a packet left
    // unacknowledged for the reply time-out is sent once more, then the
    // transfer is given up with cError 0 "No response from device", so the
    // host ends it instead of waiting for ever. On USB the packet goes out
    // with `usb_response` (the transport answers for delivery). True when
    // acknowledged (USB: as Send_Packet says).
    bool Send_Upload_Packet(const Packet& packet, std::uint8_t usb_response);
    // The serial port NMEA_Send writes to (tests look at it).
    platform::SerialPort& serial() { return *serial_; }
    cSAK& sak() { return sak_; }
    Screen_Capture& screen() { return screen_; }

    ProtocolProperties& props() { return props_; }
    RecordStore& store() { return store_; }
    Link& link() { return *link_; }
    platform::EventPump& pump() { return pump_; }
    const std::vector<Product_Protocol_Row>& capability_table() const { return table_; }
    bool Protocol_Array_Received() const { return protocol_array_received_; }
    std::int32_t Accepted_Baud() const { return accepted_baud_; }
    bool Unsupported_Reported = false;
    // Ports opened for the search, in order (the probe and the benches read it).
    const std::vector<std::string>& Baud_List() const { return baud_list_; }

private:
    void open_serial_port(bool& already_open_error);
    bool port_can_take(const std::string& settings) const;
    void raise_late(platform::DispId id, std::vector<platform::Variant> args);

    platform::EventPump& pump_;
    Brenvik_Services services_;
    ProtocolProperties props_;
    cSAK sak_;
    RecordStore store_;
    std::shared_ptr<cSat> sat_;
    std::unique_ptr<platform::SerialPort> serial_;
    std::unique_ptr<Link> link_;
    std::unique_ptr<UsbDevice> usb_;
    // The USB polling timers (owned by the USB device).
    platform::Timer* tmrAsync_ = nullptr;
    platform::Timer* tmrPVTData_ = nullptr;
    std::vector<Product_Protocol_Row> table_;
    std::vector<std::string> baud_list_;
    bool rts_enable_ = false;
    bool dtr_enable_ = false;
    Handshaking_Values handshaking_ = comNone;
    std::string palette_file_;
    Screen_Capture screen_;
    Icon_Exchange icons_;
    std::int16_t icon_seq_ = 0;
    bool protocol_array_received_ = false;
    std::int32_t accepted_baud_ = 0;
    BrenvikEvents* typed_sink_ = nullptr;
    std::shared_ptr<platform::EventSink> late_sink_;

};

} // namespace brenvik
