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
//   upload FILE       uploads the records of FILE: either the lines these
//                     commands print ({"kind": "waypoint" | "proximity" |
//                     "route" | "track", ...}) or one object with the arrays
//                     "waypoints", "proximity", "routes" and "tracks". Each
//                     kind is one transfer; serial: the next record on each
//                     acknowledgement, USB: one loop.
#pragma once

#include "platform/automation/dispatch.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace brenvik::probe {

bool Is_Transfer_Command(const std::string& word);

// Runs `cmd` (its arguments start at args[i]; i is moved past them) on the
// control object, printing every record line through `print`, and returns
// the command's own line. Throws std::invalid_argument for bad arguments
// and std::runtime_error for an unreadable upload file.
nlohmann::json Run_Transfer_Command(const std::string& cmd, const std::vector<std::string>& args, std::size_t& i,
                                    platform::Dispatch& control,
                                    const std::function<void(const nlohmann::json&)>& print);

// The upload set of a file's text (see "upload FILE").
nlohmann::json Parse_Upload_Set(const std::string& text);

} // namespace brenvik::probe
