// The device protocol control Brenvik, as its host sees it.
//
// One object, two faces: this typed interface (`_Brenvik`), and the late-bound
// face (platform::Dispatch) that the class registry hands out for the program
// identifier "brenvik2006.Brenvik", whose members carry the dispatch
// identifiers the host binds to. The control answers through the events of
// BrenvikEvents only; record objects and collections stay the control's own.
// Everything runs on the host's thread; methods that wait let events run.
#pragma once

#include "device/protocols/records.h"
#include "platform/automation/dispatch.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {
class EventPump;
class ClassRegistry;
} // namespace platform

namespace brenvik {

inline constexpr const char* LIBID_brenvik2006 = "{E67A1C15-E4B0-4D60-9416-D9E8DC3C916B}";
inline constexpr const char* CLSID_Brenvik = "{8655BD32-841A-4ED8-A67B-77EE1EE89B1C}";
inline constexpr const char* ProgID_Brenvik = "brenvik2006.Brenvik";
inline constexpr const char* IID__Brenvik = "{0C637465-20E0-401E-AADC-277A56096C7F}";
inline constexpr const char* DIID___Brenvik = "{8CD59208-C9B5-4EB8-B614-AC3ACA39756B}";

enum Handshaking_Values : std::int16_t { comNone = 0, comXOnXoff = 1, comRTS = 2, comRTSXOnXOff = 3 };

using ByteArray = std::vector<std::uint8_t>;

// The control's size in its container, whatever size the host asks for.
inline constexpr int Control_Width = 540;
inline constexpr int Control_Height = 570;


// The events of `__Brenvik`, in their order (dispatch identifiers 1 to 17).
class BrenvikEvents {
public:
    virtual ~BrenvikEvents() = default;
    virtual void vcReceive(const std::string& Packet) {}
    virtual void Receive(const ByteArray& Packet) {}
    virtual void HexDebug(const std::string& dbgText) {}
    virtual void NMEA(const std::string& Sentence, bool chkerr) {}
    virtual void cError(std::int16_t cErr, const std::string& message, const ByteArray& Packet) {}
    virtual void uError(std::int32_t errnum, const std::string& message) {}
    virtual void vcError(std::int16_t cErr, const std::string& message, const std::string& Packet) {}
    virtual void ReceiveCounts(std::int16_t wCount, std::int16_t pCount, std::int16_t rCount, std::int16_t tCount) {}
    virtual void ReceivedWaypoints(const RecordListRef<cWaypoint>& Waypoints) {}
    virtual void ReceivedRoutes(const RecordListRef<cRoute>& Routes) {}
    virtual void ReceivedTracks(const RecordListRef<cTrack>& Tracks) {}
    virtual void ReceivedFlightbook(const RecordListRef<cFlightbook_Record>& Flightbook_records) {}
    virtual void ReceivedLaps(const RecordListRef<cLap>& Laps) {}
    virtual void ReceiveImage(std::int16_t pct, const PictureRef& Image) {}
    virtual void ReceiveIcon(std::int16_t seq, const PictureRef& Image, const ByteArray& BMP) {}
    virtual void vcReceiveIcon(std::int16_t seq, const PictureRef& Image, const std::string& BMP) {}
    virtual void USBprogress(std::int32_t numpackage) {}
};

// `_Brenvik`: methods and properties. A property reads as Name() and, where
// the host may assign it, is set with Name(value).
class Brenvik {
public:
    virtual ~Brenvik() = default;
    // Connects the host's event handlers (null disconnects). The sink must
    // outlive the connection.
    virtual void Advise(BrenvikEvents* sink) = 0;

    // Methods.
    virtual std::int32_t FindBaud(const std::string& isettings) = 0;
    virtual bool PortOpen() = 0;
    virtual void PortClose() = 0;
    virtual std::string TrimNull(std::string& instring) = 0;
    virtual void Reset() = 0;
    virtual std::int32_t Address_Of(std::int32_t pfn) = 0;
    virtual void WaitFor(std::int32_t d) = 0;
    virtual void Request_Product_Data() = 0;
    virtual void Start_of_Records(std::int16_t ocount) = 0;
    virtual void Power_Off() = 0;
    virtual void Request_Date_Time() = 0;
    virtual void Pvt_Data_Start() = 0;
    virtual void Async_Start() = 0;
    virtual void Pvt_Data_Stop() = 0;
    virtual void Async_Stop() = 0;
    virtual void Request_Waypoints() = 0;
    virtual void Request_Flightbook() = 0;
    virtual void Request_Laps() = 0;
    virtual void Request_Prox_Waypoints() = 0;
    virtual void Request_Routes() = 0;
    virtual void Request_Tracks() = 0;
    virtual void Send_Route_Header() = 0;
    virtual void Send_Track() = 0;
    virtual void Send_Flightbook_Record() = 0;
    virtual void End_of_Records() = 0;
    virtual void Send_Waypoint() = 0;
    virtual void Send_Prox_Waypoint() = 0;
    virtual void Send_Route_Waypoint() = 0;
    virtual std::string NMEA_Checksum(const std::string& msg) = 0;
    virtual void Send_Track_Header() = 0;
    virtual void Send_Route_Link() = 0;
    virtual void Request_Voltages() = 0;
    virtual void Request_Display() = 0;
    virtual void Request_Almanac_Data() = 0;
    virtual void Request_Position_Data() = 0;
    virtual void Send_Almanac_Data() = 0;
    virtual void Send_Position_Data() = 0;
    virtual void Request_Counts() = 0;
    virtual void Send(const ByteArray& Packet, std::uint8_t Response = 0, std::int32_t WaitTime = 0) = 0;
    virtual bool Change_Baud_Rate(std::int32_t Baud) = 0;
    virtual void Send_Lap() = 0;
    virtual void Change_GPS_Name(const std::string& NewName) = 0;
    virtual void Request_Icon(std::int32_t& seq) = 0; // seq: -1 when the unit did not answer
    virtual void Send_Icon(std::int32_t& seq, const ByteArray& BMP) = 0;
    virtual std::string xLate(const std::string& Phrase) = 0;
    virtual void Request_GPS_Name() = 0;
    virtual void NMEA_Send(std::string& message) = 0; // message: the sentence sent, without CR LF
    virtual std::int32_t tf_test(const std::string& cmd) = 0;

    // Object-valued properties (read, and assignable by reference).
    virtual std::shared_ptr<cWaypoint> Waypoint() = 0;
    virtual void Waypoint(std::shared_ptr<cWaypoint> v) = 0;
    virtual std::shared_ptr<cRoute> Route() = 0;
    virtual void Route(std::shared_ptr<cRoute> v) = 0;
    virtual std::shared_ptr<cTrack> Track() = 0;
    virtual void Track(std::shared_ptr<cTrack> v) = 0;
    virtual std::shared_ptr<cPosition> Position() = 0;
    virtual void Position(std::shared_ptr<cPosition> v) = 0;
    virtual std::shared_ptr<cPvtData> PvtData() = 0;
    virtual void PvtData(std::shared_ptr<cPvtData> v) = 0;
    virtual std::shared_ptr<cDate_Time> Date_Time() = 0;
    virtual void Date_Time(std::shared_ptr<cDate_Time> v) = 0;
    virtual std::shared_ptr<cVoltages> Voltages() = 0;
    virtual void Voltages(std::shared_ptr<cVoltages> v) = 0;
    virtual std::shared_ptr<cDisplay> Display() = 0;
    virtual void Display(std::shared_ptr<cDisplay> v) = 0;
    virtual std::shared_ptr<cAlmanac> Almanac() = 0;
    virtual void Almanac(std::shared_ptr<cAlmanac> v) = 0;
    virtual std::shared_ptr<cProduct_Data> Product_Data() = 0;
    virtual void Product_Data(std::shared_ptr<cProduct_Data> v) = 0;
    virtual std::shared_ptr<cRecord_Counts> Counts() = 0;
    virtual void Counts(std::shared_ptr<cRecord_Counts> v) = 0;
    virtual std::shared_ptr<cFlightbook_Record> Flightbook_Record() = 0;
    virtual void Flightbook_Record(std::shared_ptr<cFlightbook_Record> v) = 0;
    virtual std::shared_ptr<cLap> Lap() = 0;
    virtual void Lap(std::shared_ptr<cLap> v) = 0;
    virtual RecordListRef<cLap> Laps() = 0; // made on first read
    virtual void Laps(RecordListRef<cLap> v) = 0;
    virtual std::shared_ptr<cSat> sat() = 0; // empty unless the host assigns one
    virtual void sat(std::shared_ptr<cSat> v) = 0;
    virtual RecordListRef<cSat> Sats() = 0; // made on first read
    virtual void Sats(RecordListRef<cSat> v) = 0;

    // Properties the host may assign.
    virtual std::int16_t Port() = 0;
    virtual void Port(std::int16_t v) = 0;
    virtual bool IgnoreCheckSum() = 0;
    virtual void IgnoreCheckSum(bool v) = 0;
    virtual std::string Settings() = 0;
    virtual void Settings(const std::string& v) = 0;
    virtual bool UserFlowControl() = 0;
    virtual void UserFlowControl(bool v) = 0;
    virtual bool DebugLog() = 0;
    virtual void DebugLog(bool v) = 0;
    virtual std::int16_t Time_Out() = 0;
    virtual void Time_Out(std::int16_t v) = 0;
    virtual bool RTSEnable() = 0;
    virtual void RTSEnable(bool v) = 0;
    virtual bool DTREnable() = 0;
    virtual void DTREnable(bool v) = 0;
    virtual Handshaking_Values Handshaking() = 0;
    virtual void Handshaking(Handshaking_Values v) = 0;
    virtual std::string Language() = 0;
    virtual void Language(const std::string& v) = 0;
    virtual std::string Palette_File() = 0;
    virtual void Palette_File(const std::string& v) = 0;

    // Read-only properties: protocol and data-format names.
    virtual std::string Link_Protocol() = 0;
    virtual std::string WayPoint_Transfer_Protocol() = 0;
    virtual std::string Laps_Transfer_Protocol() = 0;
    virtual std::string Flightbook_Transfer_Protocol() = 0;
    virtual std::string Route_Transfer_Protocol() = 0;
    virtual std::string Track_Transfer_Protocol() = 0;
    virtual std::string Prox_Wpt_Transfer_Protocol() = 0;
    virtual std::string Waypoint_Data_Format() = 0;
    virtual std::string Laps_Data_Format() = 0;
    virtual std::string Flightbook_Data_Format() = 0;
    virtual std::string Route_Header_Format() = 0;
    virtual std::string Route_Link_Format() = 0;
    virtual std::string Route_Wpt_Data_Format() = 0;
    virtual std::string Track_Header_Format() = 0;
    virtual std::string Track_Point_Format() = 0;
    virtual std::string Prox_Wpt_Data_Format() = 0;
    virtual std::string Date_Data_Format() = 0;
    virtual std::string Date_Transfer_Protocol() = 0;
    virtual std::string Posn_Transfer_Protocol() = 0;
    virtual std::string Pvt_Transfer_Protocol() = 0;
    virtual std::string Posn_Data_Format() = 0;
    virtual std::string Pvt_Data_Format() = 0;
    virtual std::string Almanac_Transfer_Protocol() = 0;
    virtual std::string Almanac_Data_Format() = 0;

    // Read-only: command values.
    virtual std::uint8_t CMND_Reset_Transfer() = 0;
    virtual std::uint8_t CMND_Transfer_Alm() = 0;
    virtual std::uint8_t CMND_Transfer_Posn() = 0;
    virtual std::uint8_t CMND_Transfer_Flightbook() = 0;
    virtual std::uint8_t CMND_Transfer_Lap() = 0;
    virtual std::uint8_t CMND_Transfer_Prx() = 0;
    virtual std::uint8_t CMND_Transfer_Rte() = 0;
    virtual std::uint8_t CMND_Transfer_Time() = 0;
    virtual std::uint8_t CMND_Transfer_Trk() = 0;
    virtual std::uint8_t CMND_Transfer_Wpt() = 0;
    virtual std::uint8_t CMND_Turn_Off_Pwr() = 0;
    virtual std::uint8_t CMND_Start_Pvt_Data() = 0;
    virtual std::uint8_t CMND_Stop_Pvt_Data() = 0;
    virtual std::uint8_t CMND_Start_Async() = 0;
    virtual std::uint8_t CMND_Change_Baud() = 0;

    // Read-only: packet identifiers.
    virtual std::uint8_t PID_Command_Data() = 0;
    virtual std::uint8_t PID_Xfer_Cmplt() = 0;
    virtual std::uint8_t PID_Position_Data() = 0;
    virtual std::uint8_t PID_Date_Time() = 0;
    virtual std::uint8_t PID_Prx_Wpt_Data() = 0;
    virtual std::uint8_t PID_Records() = 0;
    virtual std::uint8_t PID_Rte_Wpt_Data() = 0;
    virtual std::uint8_t PID_Almanac_Data() = 0;
    virtual std::uint8_t PID_Trk_Data() = 0;
    virtual std::uint8_t PID_Wpt_Data() = 0;
    virtual std::uint8_t PID_Pvt_Data() = 0;
    virtual std::uint8_t PID_Product_Rqst() = 0;
    virtual std::uint8_t PID_Product_Data() = 0;
    virtual std::uint8_t PID_Baud_Reply() = 0;
    virtual std::uint8_t PID_Ack_Byte() = 0;
    virtual std::uint8_t PID_Nak_Byte() = 0;
    virtual std::uint8_t PID_Protocol_Array() = 0;
    virtual std::uint8_t PID_Rte_Hdr() = 0;
    virtual std::uint8_t PID_Trk_Hdr() = 0;
    virtual std::uint8_t PID_Lap() = 0;
    virtual std::uint8_t PID_Sats() = 0;
    virtual std::uint8_t PID_Flightbook_Record() = 0;
    virtual std::uint8_t PID_Rte_Link() = 0;
    virtual std::uint8_t PID_Voltages() = 0;
    virtual std::uint8_t PID_Display_Data() = 0;
    virtual std::uint8_t PID_Unit_ID() = 0;
    virtual std::uint8_t PID_Expanded_Packet() = 0;

    // Read-only: values from received packets, and the control's version.
    virtual std::int16_t Incoming_Records_Count() = 0;
    virtual std::int32_t PID_Expanded_ID() = 0;
    virtual std::int32_t PID_Icon() = 0;
    virtual std::int32_t PID_Expanded_Length() = 0;
    virtual std::string version() = 0;
};

// What a control needs from its surroundings; tests put fakes here.
struct Brenvik_Services {
    platform::EventPump* pump = nullptr; // null: the Qt event pump
    // The device path of serial port n (null: PortMap over the environment).
    std::function<std::string(int)> port_path;
    // A message box with an OK button (null: the text goes out as HexDebug).
    std::function<void(const std::string&)> message_box;
};

// Makes a control directly (a host linked against the library). The late-
// bound face is the returned object; the typed face is As_Brenvik of it.
std::shared_ptr<platform::Dispatch> Create_Brenvik(const Brenvik_Services& services = {});
// The typed face of a control object (null for any other object); valid
// while the object lives. Works as well for an object made by the registry.
inline Brenvik* As_Brenvik(platform::Dispatch* object)
{
    return object ? static_cast<Brenvik*>(object->QueryInterface(IID__Brenvik)) : nullptr;
}

} // namespace brenvik

// The library's registration functions (the class registry calls them).
extern "C" long DllRegisterServer(platform::ClassRegistry* registry);
extern "C" long DllUnregisterServer(platform::ClassRegistry* registry);
extern "C" long DllCanUnloadNow();
