// A simulated receiver: identity, link behaviour and stored records, read
// from a JSON scenario file (see tools/gpsim/scenarios/). Keys:
//   "product": {"id", "version" (3.61 or "3.61"), "descriptions": [..],
//               "ext_descriptions": [..] (packet 248, optional)}
//   "unit_id", "unit_name", "voltages": {"internal", "external"} (volts),
//   "protocol_array": ["P000","L001","A100","D108",..] or absent,
//   "link": "L001"|"L002" (default: from the array, else L001),
//   "ids": {"rte_wpt": 39, ..} overrides of packet IDs,
//   "formats": {"waypoint","route_header","route_waypoint","route_link",
//               "track_header","track_point","proximity","almanac"} (needed
//               without an array; "" or absent = the unit has no such data),
//   "serial": {"speed", "any_speed" (true: it hears and talks at whatever
//              speed the line has), "baud_change", "baud_rates", "answers", "nmea",
//              "nmea_period_ms" (how often the NMEA sentences repeat)},
//   "waypoints", "proximity": [{"ident","lat","lon","symbol","comment","alt",
//       "depth","dist","color","display","class","subclass","state",
//       "country","facility","city","address","cross_road","time",..}],
//   "routes": [{"number","ident","comment","points":[waypoints],"links":[{"class","subclass","ident"}]}],
//   "tracks": [{"ident","color","display","index","points":[{"lat","lon",
//       "time" ("2024-05-01T12:00:00Z") or "seconds","alt","depth","temp","new_segment"}]}],
//   "almanac": [{"svid","wn","toa","af0",..,"hlth"}], "date_time": {"year",..},
//   "position": {"lat","lon"}, "pvt": {D800 fields}, "pvt_path": [{D800 fields}, ..]
//       (the PVT stream's fixes in turn from each start, over "pvt"; the last repeats), "satellites": [{"svid","snr","elev","azimuth","status"}],
//   "laps": [{"time","total_time","total_distance","begin_lat","begin_lon","end_lat",
//       "end_lon","calories","track_index"}] (D906, served with A906 in the array),
//   "flightbook": [{"takeoff_time","landing_time","takeoff_lat",..,"night_time",
//       "num_landings","max_speed","max_alt","distance","cross_country",
//       "departure_name","departure_ident","arrival_name","arrival_ident","aircraft_id"}]
//       (served with A650),
//   "screens": [{"header": "short"|"long", "bits", "pixels" (bytes a line), "lines",
//       "line_length" (short header; default from pixels and bits), "strict" (long
//       header's visible width; default the same), "colours": [[r,g,b],..] (colour
//       records, entry n in turn), "chunk" (pixel bytes a record, default 200),
//       "data": hex (the screen's bytes; default byte i = (i * 13 + 7) & 255)}]:
//       one screen per command 32, in turn,
//   "icons": true (answers the icon exchange: icon n has colour byte i =
//       (5i + n) & 255 and pixel i = (3i + n) & 255, identifier 0x1000 + n).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace gpsim {

using json = nlohmann::json;

// Packet IDs and command numbers of one link protocol.
struct LinkIds {
  int command = 10, xfer_cmplt = 12, date_time = 14, position = 17, prx_wpt = 19, records = 27,
      rte_hdr = 29, rte_wpt = 30, almanac = 31, trk_data = 34, wpt_data = 35, pvt = 51,
      rte_link = 98, trk_hdr = 99, sats = 114, unit_id = 38, baud_request = 48, baud_reply = 49;
  int cmd_abort = 0, cmd_alm = 1, cmd_posn = 2, cmd_prx = 3, cmd_rte = 4, cmd_time = 5, cmd_trk = 6,
      cmd_wpt = 7, cmd_off = 8, cmd_unit_id = 14, cmd_start_pvt = 49, cmd_stop_pvt = 50,
      cmd_flightbook = 92, cmd_laps = 117, cmd_voltages = 17;
  int voltages = 40, expanded = 123, lap = 149, flightbook = 134, display = 69, cmd_screen = 32;
};

struct Formats {
  std::string waypoint, route_header, route_waypoint, route_link, track_header, track_point,
      proximity, almanac, date_time = "D600", position = "D700", pvt = "D800";
};

struct Scenario {
  std::string name;
  int product_id = 0;
  int software_version = 0;                   // hundredths
  std::vector<std::string> descriptions;      // in the product data packet
  std::vector<std::string> ext_descriptions;  // packet 248, none when empty
  bool has_protocol_array = false;
  std::vector<std::string> protocol_array;    // "P000", "L001", "A100", "D108" ...
  std::string link = "L001";
  LinkIds ids;
  Formats formats;
  std::uint32_t unit_id = 0;
  bool has_unit_id = false;
  std::string unit_name;            // answered to expanded request 526 when set
  bool has_voltages = false;        // answered to command 17 when set
  double internal_voltage = 0, external_voltage = 0;

  int speed = 9600;                 // the speed it listens at after power-on
  bool any_speed = false;           // follows the line's speed, whatever it is
  bool baud_change = true;          // answers baud-change requests
  std::vector<int> baud_rates = {9600, 19200, 38400, 57600, 115200};
  bool answers = true;              // false: a unit that never answers
  bool nmea = false;                // streams NMEA text instead of the binary protocol
  int nmea_period_ms = 0;           // NMEA repeat period; 0: the PVT period

  json waypoints = json::array();   // each an object of decoded values
  json proximity = json::array();
  json routes = json::array();      // {number, ident, comment, points: [...], links: [...]}
  json tracks = json::array();      // {ident, color, display, index, points: [...]}
  json almanac = json::array();
  json date_time = json::object();  // {year, month, day, hour, minute, second}
  json position = json::object();   // {lat, lon} degrees
  json pvt = json::object();        // D800 fields; lat/lon default to position
  json pvt_path = json::array();    // fixes in turn from each start of the PVT stream
  json satellites = json::array();  // up to 12 {svid, snr, elev, azimuth, status}
  json laps = json::array();        // D906 records
  json flightbook = json::array();  // flight-book records
  json screens = json::array();     // served in turn to command 32
  bool icons = false;               // answers the icon exchange
};

// Reads a scenario; throws std::runtime_error with the file name and reason.
Scenario load_scenario_file(const std::string& path);
Scenario parse_scenario(const json& j, const std::string& origin = "scenario");

}  // namespace gpsim
