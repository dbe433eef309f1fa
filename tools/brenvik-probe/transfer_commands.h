// brenvik-probe's transfer commands: downloads that print the records read
// as JSON lines, and an upload from a JSON file, driven the way a host
// drives the control (transfer_host.h).
//
//   waypoints | proxwaypoints | routes | tracks
//                     download; one line per waypoint, route (with its points)
//                     or track (with its points)
//   datetime          Request_Date_Time, then the unit's date and time
//   position          Request_Position_Data, then the position
//   pvt SECONDS       Pvt_Data_Start, a line per PVT record for SECONDS, Pvt_Data_Stop
//   counts            Request_Counts, then the four counts
//   upload FILE       identifies the unit (Request_Product_Data), then
//                     uploads the records of FILE in the unit's own formats:
//                     either the lines these commands print (the probe's
//                     whole output will do: lines without a record kind are
//                     passed over) or one object with the arrays
//                     "waypoints", "proximity", "routes" and "tracks". Each
//                     kind is one transfer; serial: the next record on each
//                     acknowledgement, USB: one loop.
//
// Every argument and the whole upload file are read and checked before the
// command line runs, so a bad one sends nothing.
#pragma once

#include "platform/automation/dispatch.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace brenvik::probe {

bool Is_Transfer_Command(const std::string& word);

// A transfer command with its arguments read and checked.
struct Transfer_Command {
    std::string name;
    int seconds = 0;      // pvt
    std::string file;     // upload
    nlohmann::json set;   // upload: the records, as Parse_Upload_Set gives them
};

// Reads the arguments of `cmd` from args[i] on (i is moved past them); an
// upload reads and checks its file. Throws std::invalid_argument naming the
// argument, the file or the entry at fault.
Transfer_Command Parse_Transfer_Command(const std::string& cmd, const std::vector<std::string>& args,
                                        std::size_t& i);

// Runs the command on the control object, printing every record line
// through `print`, and returns the command's own line: "ok" says whether it
// did what it was asked, "why" says what went wrong when it did not.
nlohmann::json Run_Transfer_Command(const Transfer_Command& command, platform::Dispatch& control,
                                    const std::function<void(const nlohmann::json&)>& print);

// The upload set of a file's text (see "upload FILE"), every entry checked;
// throws std::invalid_argument naming the line or array entry at fault.
nlohmann::json Parse_Upload_Set(const std::string& text);

// A whole number argument in [low, high]; throws std::invalid_argument
// naming `what` otherwise.
std::int64_t Number_Argument(const std::string& what, const std::string& text, std::int64_t low, std::int64_t high);

// The bytes of an upload file (a regular file of at most 512 MB); throws
// std::invalid_argument naming the file and why it cannot be read.
std::string Read_Upload_File(const std::string& path);

// The most packets one transfer can announce.
inline constexpr std::size_t kMaxTransferPackets = 32767;

} // namespace brenvik::probe
