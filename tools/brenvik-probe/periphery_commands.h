// brenvik-probe's commands for the receiver's periphery: screen capture,
// almanac, laps and flight book, unit name, icons, voltages and NMEA. Each
// prints JSON lines; record lines name their fields as the record classes
// do ("svid", "wn", ... "Start_Time", "Total_Time", ... "Aircraft_ID").
//
//   screen FILE [MS]   Request_Display; events run until the 100 % event or
//                      MS ms (default 10000); the picture goes to FILE as a
//                      binary PPM; prints "complete", "width", "height" and
//                      "progress" (the percentages in order)
//   palette PATH       sets Palette_File ("" for the unit's colours)
//   almanac            Request_Almanac_Data; a line per almanac record
//   laps | flightbook  download; a line per record, read at its Receive
//   send-almanac FILE | send-lap FILE | send-flightbook FILE
//                      uploads the record lines of FILE (as the downloads
//                      print them), bracketed, one record per acknowledgement
//   name               Request_GPS_Name; prints GPS_Name
//   change-name TEXT   Change_GPS_Name
//   icon N FILE        Request_Icon; the icon's BMP goes to FILE; prints seq
//   send-icon N FILE   Send_Icon with the BMP of FILE; prints seq
//   voltages           Request_Voltages; prints both voltages
//   nmea-send TEXT     NMEA_Send; prints the sentence sent
#pragma once

#include "platform/automation/dispatch.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace brenvik::probe {

bool Is_Periphery_Command(const std::string& word);

struct Periphery_Command {
    std::string name;
    std::string text;            // palette, change-name, nmea-send; the FILE of screen, icon, send-*
    std::int64_t number = 0;     // screen MS, icon N
    nlohmann::json records;      // send-almanac, send-lap, send-flightbook
    std::vector<std::uint8_t> bytes; // send-icon: the BMP
};

// Reads the arguments of `cmd` from args[i] on (i moves past them); files
// to upload are read and checked here. Throws std::invalid_argument.
Periphery_Command Parse_Periphery_Command(const std::string& cmd, const std::vector<std::string>& args,
                                          std::size_t& i);

// Runs it; returns the command's own line ("ok", and "why" when not ok).
nlohmann::json Run_Periphery_Command(const Periphery_Command& command, platform::Dispatch& control,
                                     const std::function<void(const nlohmann::json&)>& print);

} // namespace brenvik::probe
