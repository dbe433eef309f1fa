// The device control hosted on the main window as `garmin`, as the GPS
// commands use it: the link (port, settings, opening, baud, reset), the
// packet identifiers and negotiated protocol names read on every test, the
// record objects the control decodes into and encodes from, and its query,
// download and upload methods. The control answers through GarminEvents.
// The program hosts the real control (make_brenvik_control); tests put a
// fake behind the same face.
#pragma once

#include "device/protocols/records.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace app {

using Packet = std::vector<std::uint8_t>;

// The control's events the main window handles; all arguments as the
// control raises them, cErr writable for the control to read back.
class GarminEvents {
public:
    virtual ~GarminEvents() = default;
    virtual void Receive(const Packet& packet) = 0;
    virtual void cError(std::int16_t& cErr, const std::string& message, const Packet& packet) = 0;
    virtual void ReceiveCounts(std::int16_t wCount, std::int16_t pCount, std::int16_t rCount, std::int16_t tCount) = 0;
    // Screen capture: per cent done, with the picture when whole (100).
    virtual void ReceiveImage(std::int16_t pct, const brenvik::PictureRef& Image) = 0;
    virtual void HexDebug(const std::string& dbgText) = 0;
    virtual void NMEA(const std::string& sentence, bool chkerr) = 0;
};

// Byte properties: packet identifiers and transfer commands.
#define GARMIN_ID_PROPERTIES(X)                                                                                   \
    X(PID_Records) X(PID_Product_Data) X(PID_Unit_ID) X(PID_Protocol_Array) X(PID_Date_Time) X(PID_Pvt_Data)     \
    X(PID_Sats) X(PID_Position_Data) X(PID_Almanac_Data) X(PID_Wpt_Data) X(PID_Prx_Wpt_Data) X(PID_Rte_Hdr)      \
    X(PID_Rte_Link) X(PID_Rte_Wpt_Data) X(PID_Trk_Hdr) X(PID_Trk_Data) X(PID_Xfer_Cmplt) X(PID_Display_Data)     \
    X(PID_Nak_Byte) X(PID_Ack_Byte) X(PID_Command_Data) X(PID_Baud_Reply) X(CMND_Transfer_Wpt)                  \
    X(CMND_Transfer_Prx) X(CMND_Transfer_Trk)

// Text properties: negotiated protocol and data format names.
#define GARMIN_NAME_PROPERTIES(X)                                                                                 \
    X(Link_Protocol) X(WayPoint_Transfer_Protocol) X(Route_Transfer_Protocol) X(Track_Transfer_Protocol)         \
    X(Prox_Wpt_Transfer_Protocol) X(Almanac_Transfer_Protocol) X(Date_Transfer_Protocol)                         \
    X(Posn_Transfer_Protocol) X(Pvt_Transfer_Protocol) X(Route_Header_Format) X(Track_Header_Format)             \
    X(Waypoint_Data_Format) X(Route_Wpt_Data_Format) X(Track_Point_Format) X(Prox_Wpt_Data_Format)               \
    X(Almanac_Data_Format) X(Date_Data_Format) X(Posn_Data_Format) X(Pvt_Data_Format)

// Methods without arguments: queries, downloads, sends.
#define GARMIN_COMMANDS(X)                                                                                        \
    X(Request_Product_Data) X(Request_Date_Time) X(Request_Position_Data) X(Request_Counts) X(Pvt_Data_Start)    \
    X(Pvt_Data_Stop) X(Request_Waypoints) X(Request_Tracks) X(Request_Routes) X(Send_Waypoint)                   \
    X(Send_Route_Header) X(Send_Route_Waypoint) X(Send_Route_Link) X(Send_Track_Header) X(Send_Track)            \
    X(End_of_Records) X(Request_Display)

class GarminControl {
public:
    virtual ~GarminControl() = default;
    // Connects the window's handlers (null disconnects).
    virtual void Advise(GarminEvents* sink) = 0;

    // Link.
    virtual std::int16_t Port() = 0; // 0 = the USB link
    virtual void Port(std::int16_t port) = 0;
    virtual std::string Settings() = 0; // "9600,N,8,1"
    virtual void Settings(const std::string& settings) = 0;
    virtual bool PortOpen() = 0;
    virtual void PortClose() = 0;
    virtual void Reset() = 0;
    virtual void WaitFor(std::int32_t d) = 0;
    virtual std::int32_t FindBaud(const std::string& settings) = 0;
    virtual bool Change_Baud_Rate(std::int32_t baud) = 0;
    virtual void Send(const Packet& packet) = 0;
    virtual std::int16_t Incoming_Records_Count() = 0;

#define GARMIN_DECLARE_ID(n) virtual std::uint8_t n() = 0;
#define GARMIN_DECLARE_NAME(n) virtual std::string n() = 0;
#define GARMIN_DECLARE_COMMAND(n) virtual void n() = 0;
    GARMIN_ID_PROPERTIES(GARMIN_DECLARE_ID)
    GARMIN_NAME_PROPERTIES(GARMIN_DECLARE_NAME)
    GARMIN_COMMANDS(GARMIN_DECLARE_COMMAND)
#undef GARMIN_DECLARE_ID
#undef GARMIN_DECLARE_NAME
#undef GARMIN_DECLARE_COMMAND
    virtual void Start_of_Records(std::int16_t count) = 0;

    // The record objects (the control's own; valid while it lives).
    virtual brenvik::cWaypoint& Waypoint() = 0;
    virtual brenvik::cTrack& Track() = 0;
    virtual brenvik::cRoute& Route() = 0;
    virtual brenvik::cProduct_Data& Product_Data() = 0;
    virtual brenvik::cDate_Time& Date_Time() = 0;
    virtual brenvik::cPosition& Position() = 0;
    // The position record, filled from each PVT packet before Receive runs.
    virtual brenvik::cPvtData& PvtData() = 0;
};

// Creates the device control "brenvik2006.Brenvik" through the class
// registry (libraries in the program folder, then in `folder` when given).
// Null, with the reason in `why`, when no library serves it.
std::unique_ptr<GarminControl> make_brenvik_control(std::string& why, const std::string& folder = {});

} // namespace app
